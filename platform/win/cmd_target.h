// CCmdTarget: the base of everything that handles messages or is a COM object. It carries the
// message map, the reference count (an object starts with one reference and deletes itself on its
// final release), and, once EnableAutomation has run, an IDispatch driven by the dispatch map.
#pragma once
#include "apartment_part.h"
#include "connection_map.h"
#include "dispatch_map.h"
#include "interface_map.h"
#include "message_map.h"
#include "runtime_class.h"

#include <oaidl.h>

class CCmdTarget;
class CTypeLibCache;

// The object's IDispatch. It shares the object's identity and reference count.
class CCmdTargetDispatch final : public IDispatch {
public:
    explicit CCmdTargetDispatch(CCmdTarget* pOwner) : m_pOwner(pOwner) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                        DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                        UINT* puArgErr) override;

private:
    CCmdTarget* m_pOwner;
};

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
public:
    CCmdTarget();
    ~CCmdTarget() override;

    // Routes a command or control notification through the message map. TRUE when handled.
    virtual BOOL OnCmdMsg(UINT nID, int nCode, WPARAM wParam, LPARAM lParam);

    // Automation.
    void EnableAutomation();
    LPDISPATCH GetIDispatch(BOOL bAddRef);
    // The dual interface that replaces the dispatch map's IDispatch (dual_dispatch.h); nullptr for
    // a class with a dispatch map.
    LPDISPATCH GetDualDispatch() const { return m_pDual; }

    // Reference counting and interface lookup (no aggregation: internal and external are one).
    ULONG InternalAddRef();
    ULONG InternalRelease();
    HRESULT InternalQueryInterface(const IID* piid, void** ppvObj);
    ULONG ExternalAddRef() { return InternalAddRef(); }
    ULONG ExternalRelease() { return InternalRelease(); }
    HRESULT ExternalQueryInterface(const IID* piid, void** ppvObj)
    {
        return InternalQueryInterface(piid, ppvObj);
    }

    // Hands the object an application lock that the caller took (AfxOleLockApp): the class
    // factory's objects keep their server running. The object's final release gives it back, and
    // the server ends no sooner than the object's destruction.
    void TakeAppLock();

    // Called when the count reaches zero, after the object's parts gave back what they hold in its
    // apartment (apartment_part.h); the default deletes the object.
    virtual void OnFinalRelease();

    // Consulted before the interface maps. A non-NULL result is the answer to the request; it is
    // handed out unchanged and the reference for the request is added to this object.
    virtual LPUNKNOWN GetInterfaceHook(const void* piid);

    // Type information: one type info, the dispatch interface's, for a class that declares a type
    // library (DECLARE_OLETYPELIB) and names its dispatch interface; none for any other class.
    virtual BOOL GetDispatchIID(IID* pIID);
    virtual UINT GetTypeInfoCount();
    HRESULT GetTypeInfoOfGuid(LCID lcid, REFGUID guid, ITypeInfo** ppTypeInfo);

    // Finds a dispatch member by DISPID or by name (case-insensitive); nullptr when there is none.
    const AFX_DISPMAP_ENTRY* FindDispatchEntry(DISPID dispid) const;
    const AFX_DISPMAP_ENTRY* FindDispatchEntry(LPCOLESTR lpszName, DISPID* pDispid) const;
    // Calls fn(entry, dispid) for every dispatch member, the most derived class's first; the static
    // form walks a class's map (its GetThisDispatchMap) without an object.
    template <class Fn> void ForEachDispatchEntry(Fn fn) const { ForEachDispatchEntry(GetDispatchMap(), fn); }
    template <class Fn> static void ForEachDispatchEntry(const AFX_DISPMAP* pMap, Fn fn);
    // The DISPID of the entry at nPosition (from 1) of the map nLevel steps above the object's class.
    static DISPID GetDispatchEntryID(const AFX_DISPMAP_ENTRY* pEntry, WORD nPosition, WORD nLevel)
    {
        return pEntry->lDispID != DISPID_UNKNOWN ? pEntry->lDispID : MAKELONG(nPosition, nLevel);
    }

    // In a property macro in place of a get or a put: the property is write-only or read-only.
    static afx_dispatch::NotSupported GetNotSupported() { return {}; }
    static afx_dispatch::NotSupported SetNotSupported() { return {}; }

    volatile LONG m_dwRef;

protected:
    virtual const AFX_MSGMAP* GetMessageMap() const;
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_DISPMAP* GetDispatchMap() const;
    static const AFX_DISPMAP* GetThisDispatchMap();
    virtual const AFX_INTERFACEMAP* GetInterfaceMap() const;
    static const AFX_INTERFACEMAP* GetThisInterfaceMap();
    virtual const AFX_CONNECTIONMAP* GetConnectionMap() const;
    static const AFX_CONNECTIONMAP* GetThisConnectionMap();

    // The class's type library; nullptr when it declares none. The static form answers for the
    // class without an object (DECLARE_OLETYPELIB declares both).
    virtual CTypeLibCache* GetTypeLibCache();
    static CTypeLibCache* GetThisTypeLibCache() { return nullptr; }

    // Looks an interface up in the maps only (no hook, no reference).
    LPUNKNOWN GetInterface(const IID* piid);

    // From the constructor of a dual interface's implementation: pDual answers IUnknown, IDispatch
    // and iid, and automation is enabled.
    void EnableDualDispatch(LPDISPATCH pDual, REFIID iid);

    friend class CWnd;
    friend class CCmdTargetDispatch;
    friend class CConnectionPointContainer;
    friend class CApartmentPart;

public:
    CCmdTargetDispatch m_xDispatch;

private:
    // Parts enroll as they are built and withdraw as they go, on the creating thread; the list is
    // only walked once the count has reached zero.
    void EnrollPart(CApartmentPart* pPart);
    void WithdrawPart(CApartmentPart* pPart);
    void ReleasePartsAtHome();
    CApartmentPart* m_pFirstPart = nullptr;

    BOOL m_bAutomationEnabled = FALSE;
    LPDISPATCH m_pDual = nullptr;
    IID m_iidDual = IID_NULL;
    enum class EAppLock { None, Held, Ending };
    EAppLock m_nAppLock = EAppLock::None;
};

template <class Fn> void CCmdTarget::ForEachDispatchEntry(const AFX_DISPMAP* pMap, Fn fn)
{
    WORD nLevel = 0;
    for (; pMap != nullptr;
         pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr, ++nLevel) {
        WORD nPosition = 1;
        for (const AFX_DISPMAP_ENTRY* p = pMap->lpEntries; p->lpszName != nullptr; ++p, ++nPosition)
            fn(p, GetDispatchEntryID(p, nPosition, nLevel));
    }
}

// Exposed for the window procedure: finds the thunk for a message in a target's map.
const AFX_MSGMAP_ENTRY* AfxFindMessageEntry(const AFX_MSGMAP* pMap, UINT nMessage, UINT nCode, UINT nID);
