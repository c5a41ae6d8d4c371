// Interface maps: a static table per class of (interface ID, implementing part), chained to the base
// class's table. A part is reached through a small thunk, so a table holds plain function pointers.
#pragma once
#include <windows.h>
#include <unknwn.h>

class CCmdTarget;

struct AFX_INTERFACEMAP_ENTRY {
    const IID* piid;                            // nullptr ends the table
    LPUNKNOWN (*pfnGetPart)(CCmdTarget* pTarget);
};

struct AFX_INTERFACEMAP {
    const AFX_INTERFACEMAP* (*pfnGetBaseMap)();
    const AFX_INTERFACEMAP_ENTRY* lpEntries;
};

#define DECLARE_INTERFACE_MAP()                          \
protected:                                               \
    static const AFX_INTERFACEMAP* GetThisInterfaceMap(); \
    const AFX_INTERFACEMAP* GetInterfaceMap() const override;

#define BEGIN_INTERFACE_MAP(theClass, baseClass)                                          \
    const AFX_INTERFACEMAP* theClass::GetInterfaceMap() const { return GetThisInterfaceMap(); } \
    const AFX_INTERFACEMAP* theClass::GetThisInterfaceMap()                              \
    {                                                                                      \
        typedef theClass ThisClass;                                                        \
        typedef baseClass TheBaseClass;                                                    \
        static const AFX_INTERFACEMAP_ENTRY _interfaceEntries[] = {

#define END_INTERFACE_MAP()                                                                \
            {nullptr, nullptr}};                                                           \
        static const AFX_INTERFACEMAP interfaceMap = {&TheBaseClass::GetThisInterfaceMap, \
                                                      _interfaceEntries};                  \
        return &interfaceMap;                                                              \
    }

// Maps an interface ID to the nested part m_x<localClass> (for automation: Dispatch).
#define INTERFACE_PART(theClass, iid, localClass)                                              \
    {&(iid), [](CCmdTarget* pTarget) -> LPUNKNOWN {                                            \
         return static_cast<LPUNKNOWN>(&static_cast<theClass*>(pTarget)->m_x##localClass); }},
