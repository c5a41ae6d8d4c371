// Run-time class information and dynamic creation: a class describes itself with a static
// CRuntimeClass, and a class factory creates objects from it without knowing the C++ type.
#pragma once
#include <windows.h>

class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    UINT m_wSchema;                     // 0xFFFF: not serializable
    CObject* (*m_pfnCreateObject)();    // nullptr when the class is not dynamically creatable
    CRuntimeClass* m_pBaseClass;
    CRuntimeClass* m_pNextClass;        // the module's list of registered classes

    CObject* CreateObject() const;
    BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
    static const CRuntimeClass* FromName(const char* lpszClassName);
};

// Adds a run-time class to the module's list during static initialization.
struct AFX_CLASSINIT {
    explicit AFX_CLASSINIT(CRuntimeClass* pNewClass);
};

class CObject {
public:
    virtual ~CObject() = default;
    virtual CRuntimeClass* GetRuntimeClass() const;

    static CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;
};

#define RUNTIME_CLASS(theClass) (&theClass::class##theClass)

#define DECLARE_DYNAMIC(theClass)        \
public:                                  \
    static CRuntimeClass class##theClass; \
    CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(theClass) \
    DECLARE_DYNAMIC(theClass)       \
    static CObject* CreateObject();

#define IMPLEMENT_RUNTIMECLASS(theClass, baseClass, wSchema, pfnNew)                             \
    CRuntimeClass theClass::class##theClass = {#theClass, static_cast<int>(sizeof(theClass)),    \
                                               wSchema, pfnNew, RUNTIME_CLASS(baseClass), nullptr}; \
    static const AFX_CLASSINIT _init_##theClass(&theClass::class##theClass);                     \
    CRuntimeClass* theClass::GetRuntimeClass() const { return RUNTIME_CLASS(theClass); }

#define IMPLEMENT_DYNAMIC(theClass, baseClass) \
    IMPLEMENT_RUNTIMECLASS(theClass, baseClass, 0xFFFF, nullptr)

#define IMPLEMENT_DYNCREATE(theClass, baseClass)               \
    CObject* theClass::CreateObject() { return new theClass; } /* NOLINT(bugprone-macro-parentheses): a type */ \
    IMPLEMENT_RUNTIMECLASS(theClass, baseClass, 0xFFFF, theClass::CreateObject)
