// CDualDispatch: a class of one's own that implements a dual interface of its IDL (widl's C++
// interface TInterface: HRESULT methods, [out, retval] results) and takes everything else from the
// type library its module embeds (TYPELIB resource 1): IDispatch (names, DISPIDs, argument
// conversion in the caller's locale, optional and default arguments), the connection point of
// the coclass's [default, source] dispinterface, IProvideClassInfo2 and ISupportErrorInfo.
//
//     class CTally : public CDualDispatch<CZKOwnThreadCmdTarget, ITally> {
//         DECLARE_DYNCREATE(CTally)
//         DECLARE_OLECREATE(CTally)
//     public:
//         CTally() { EnableOwnThread(); }
//         STDMETHODIMP Add(long n, long* pnTotal) override
//         {
//             return Try([&] { *pnTotal = m_nTotal += n; FireEvent(1, m_nTotal); });
//         }
//         ...
//     };
//
// TBase is CCmdTarget or a class derived from it (CZKOwnThreadCmdTarget: the calls then run on
// the object's own thread). IUnknown is the object's (its count, its interface map). A method
// wraps its body in Try: what the body throws becomes the method's failure HRESULT with an
// IErrorInfo for early-bound callers, and DISP_E_EXCEPTION with an EXCEPINFO for late-bound ones.
// No dispatch map: the type library is the only description, so nothing can disagree with it.
#pragma once
#include "callback_property.h"  // what such a class uses besides: callbacks, exceptions, its factory
#include "cmd_target.h"
#include "connection_point_container.h"
#include "exceptions.h"
#include "ole_object_factory.h"
#include "provide_class_info.h"
#include "type_lib_cache.h"

#include <oleauto.h>

// What the template's members share, whatever the interface.
namespace afx_dual {
// Invoke through the type library's description of the interface pInterface implements.
HRESULT Invoke(IDispatch* pInterface, ITypeInfo* pInfo, DISPID dispid, REFIID riid, LCID lcid, WORD wFlags,
               DISPPARAMS* pParams, VARIANT* pResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);
HRESULT GetIDsOfNames(ITypeInfo* pInfo, REFIID riid, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId);
// Inside a catch block: the exception as this thread's IErrorInfo, and its failure HRESULT.
HRESULT SetErrorFromCurrentException(REFIID iid);
// The coclass whose [default] interface is iid, and that coclass's [default, source]
// dispinterface (IID_NULL when it has none). Both IID_NULL when the library has no such coclass,
// which is announced as a mistake (mistakes.h).
void FindCoclass(CTypeLibCache* pCache, REFIID iid, CLSID* pClsid, IID* pSource);
}  // namespace afx_dual

template <class TBase, class TInterface>
class CDualDispatch : public TBase, public TInterface, public ISupportErrorInfo {
public:
    CDualDispatch() { this->EnableDualDispatch(static_cast<TInterface*>(this), __uuidof(TInterface)); }

    // IUnknown: the object's.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return this->ExternalQueryInterface(&riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return this->ExternalAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return this->ExternalRelease(); }

    // IDispatch, from the type library.
    using TBase::GetTypeInfoCount;
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override
    {
        if (pctinfo == nullptr)
            return E_POINTER;
        *pctinfo = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override
    {
        if (ppTInfo == nullptr)
            return E_POINTER;
        *ppTInfo = nullptr;
        return iTInfo != 0 ? DISP_E_BADINDEX : this->GetTypeInfoOfGuid(lcid, __uuidof(TInterface), ppTInfo);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override
    {
        Microsoft::WRL::ComPtr<ITypeInfo> pInfo;
        HRESULT hr = GetTypeInfo(0, lcid, &pInfo);
        return FAILED(hr) ? hr : afx_dual::GetIDsOfNames(pInfo.Get(), riid, rgszNames, cNames, rgDispId);
    }
    STDMETHODIMP Invoke(DISPID dispid, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pParams, VARIANT* pResult,
                        EXCEPINFO* pExcepInfo, UINT* puArgErr) override
    {
        Microsoft::WRL::ComPtr<ITypeInfo> pInfo;
        HRESULT hr = GetTypeInfo(0, lcid, &pInfo);
        return FAILED(hr) ? hr
                          : afx_dual::Invoke(static_cast<TInterface*>(this), pInfo.Get(), dispid, riid, lcid,
                                             wFlags, pParams, pResult, pExcepInfo, puArgErr);
    }

    // ISupportErrorInfo: the dual interface's failures come with an IErrorInfo.
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override
    {
        return IsEqualIID(riid, __uuidof(TInterface)) ? S_OK : S_FALSE;
    }

    BOOL GetDispatchIID(IID* pIID) override
    {
        *pIID = __uuidof(TInterface);
        return TRUE;
    }

    // The coclass of the library whose [default] interface is TInterface.
    static const CLSID& GetCoclassID() { return Coclass().clsid; }

protected:
    // Runs a method's body; see above.
    template <class Fn> HRESULT Try(Fn&& fn) noexcept
    {
        try {
            fn();
            return S_OK;
        } catch (...) {
            return afx_dual::SetErrorFromCurrentException(__uuidof(TInterface));
        }
    }

    // Fires the coclass's [default, source] event dispid with C++ values (dispatch_args.h), to every
    // sink, from whatever thread the work runs on.
    template <class... Args> void FireEvent(DISPID dispid, const Args&... args)
    {
        m_xConnPtContainer.Fire(Coclass().source, dispid, args...);
    }

    // The library is the module's; no dispatch map (the server's check has nothing to compare).
    CTypeLibCache* GetTypeLibCache() override { return GetThisTypeLibCache(); }
    static CTypeLibCache* GetThisTypeLibCache()
    {
        static CTypeLibCache* const s_pCache = CTypeLibCache::ForThisModule();
        return s_pCache;
    }
    static const AFX_DISPMAP* GetThisDispatchMap() { return nullptr; }
    const AFX_DISPMAP* GetDispatchMap() const override { return nullptr; }

    const AFX_INTERFACEMAP* GetInterfaceMap() const override { return GetThisInterfaceMap(); }
    static const AFX_INTERFACEMAP* GetThisInterfaceMap()
    {
        static const AFX_INTERFACEMAP_ENTRY entries[] = {
            {&IID_ISupportErrorInfo,
             [](CCmdTarget* p) -> LPUNKNOWN { return static_cast<ISupportErrorInfo*>(Self(p)); }},
            {&IID_IConnectionPointContainer, [](CCmdTarget* p) -> LPUNKNOWN { return &Self(p)->m_xConnPtContainer; }},
            {&IID_IProvideClassInfo, [](CCmdTarget* p) -> LPUNKNOWN { return &Self(p)->m_xProvideClassInfo; }},
            {&IID_IProvideClassInfo2, [](CCmdTarget* p) -> LPUNKNOWN { return &Self(p)->m_xProvideClassInfo; }},
            {nullptr, nullptr}};
        static const AFX_INTERFACEMAP map = {&TBase::GetThisInterfaceMap, entries};
        return &map;
    }
    const AFX_CONNECTIONMAP* GetConnectionMap() const override { return GetThisConnectionMap(); }
    static const AFX_CONNECTIONMAP* GetThisConnectionMap()
    {
        static const AFX_CONNECTIONMAP_ENTRY entries[] = {
            {IsEqualIID(Coclass().source, IID_NULL) ? nullptr : &Coclass().source}, {nullptr}};
        static const AFX_CONNECTIONMAP map = {&TBase::GetThisConnectionMap, entries};
        return &map;
    }

public:
    CConnectionPointContainer m_xConnPtContainer{this};
    CProvideClassInfo m_xProvideClassInfo{this, &GetCoclassID()};

private:
    struct CCoclass {
        CLSID clsid = IID_NULL;
        IID source = IID_NULL;
    };
    static const CCoclass& Coclass()
    {
        static const CCoclass s_coclass = [] {
            CCoclass c;
            afx_dual::FindCoclass(GetThisTypeLibCache(), __uuidof(TInterface), &c.clsid, &c.source);
            return c;
        }();
        return s_coclass;
    }
    static CDualDispatch* Self(CCmdTarget* p) { return static_cast<CDualDispatch*>(p); }
};
