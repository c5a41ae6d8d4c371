// The IDispatch that a dispatch map drives. Every argument a caller can get wrong is answered with an
// error code: automation clients, fuzzers and other processes call this directly.
#include "cmd_target.h"
#include "exceptions.h"

#include <cstring>

STDMETHODIMP CCmdTargetDispatch::QueryInterface(REFIID riid, void** ppv)
{
    return m_pOwner->ExternalQueryInterface(&riid, ppv);
}

STDMETHODIMP_(ULONG) CCmdTargetDispatch::AddRef() { return m_pOwner->ExternalAddRef(); }

STDMETHODIMP_(ULONG) CCmdTargetDispatch::Release() { return m_pOwner->ExternalRelease(); }

STDMETHODIMP CCmdTargetDispatch::GetTypeInfoCount(UINT* pctinfo)
{
    if (pctinfo == nullptr)
        return E_POINTER;
    *pctinfo = m_pOwner->GetTypeInfoCount();
    return S_OK;
}

STDMETHODIMP CCmdTargetDispatch::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo)
{
    if (ppTInfo == nullptr)
        return E_POINTER;
    *ppTInfo = nullptr;
    IID iid;
    if (iTInfo >= m_pOwner->GetTypeInfoCount() || !m_pOwner->GetDispatchIID(&iid))
        return DISP_E_BADINDEX;
    return m_pOwner->GetTypeInfoOfGuid(lcid, iid, ppTInfo);
}

STDMETHODIMP CCmdTargetDispatch::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                               DISPID* rgDispId)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (rgszNames == nullptr || rgDispId == nullptr || cNames == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i)
        rgDispId[i] = DISPID_UNKNOWN;
    if (rgszNames[0] == nullptr ||
        m_pOwner->FindDispatchEntry(rgszNames[0], &rgDispId[0]) == nullptr)
        return DISP_E_UNKNOWNNAME;
    // Members here take no named parameters, so any further name is unknown.
    return cNames > 1 ? DISP_E_UNKNOWNNAME : S_OK;
}

STDMETHODIMP CCmdTargetDispatch::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                        DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                        EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    const AFX_DISPMAP_ENTRY* pEntry = m_pOwner->FindDispatchEntry(dispIdMember);
    if (pEntry == nullptr)
        return DISP_E_MEMBERNOTFOUND;
    // Only methods are mapped. Script hosts add DISPATCH_PROPERTYGET when they use a result.
    if (!(wFlags & DISPATCH_METHOD) || (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)))
        return DISP_E_MEMBERNOTFOUND;
    if (pDispParams == nullptr)
        return E_INVALIDARG;
    if (pDispParams->cNamedArgs != 0)
        return DISP_E_NONAMEDARGS;
    if (pDispParams->cArgs != std::strlen(pEntry->lpszParams))
        return DISP_E_BADPARAMCOUNT;
    if (pDispParams->cArgs != 0 && pDispParams->rgvarg == nullptr)
        return E_INVALIDARG;
    if (pVarResult != nullptr)
        VariantInit(pVarResult);
    try {
        return pEntry->pfn(m_pOwner, pDispParams, pVarResult, puArgErr);
    } catch (...) {
        // Whatever the member threw travels back to the caller as an exception description; it
        // must not unwind into COM's stub, which could not take it (or ends the process).
        AfxFillExcepInfo(pExcepInfo);
        return DISP_E_EXCEPTION;
    }
}
