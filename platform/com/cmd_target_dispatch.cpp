// The IDispatch that a dispatch map drives. Every argument a caller can get wrong is answered with an
// error code: automation clients, fuzzers and other processes call this directly.
#include "cmd_target.h"
#include "exceptions.h"

#include <cstring>
#include <vector>

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

namespace {

// The locale of the call that runs on this thread, for the conversions its member asks for.
thread_local LCID t_callLocale = LOCALE_USER_DEFAULT;

class CCallLocaleScope {
public:
    explicit CCallLocaleScope(LCID lcid) : m_previous(t_callLocale) { t_callLocale = lcid; }
    ~CCallLocaleScope() { t_callLocale = m_previous; }  // a call inside a call gets its own
    CCallLocaleScope(const CCallLocaleScope&) = delete;
    CCallLocaleScope& operator=(const CCallLocaleScope&) = delete;

private:
    LCID m_previous;
};

bool IsMissing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

// Converts one argument to its parameter's code, as automation does. On failure the error that
// Invoke answers, for the argument at *puArgErr.
HRESULT ConvertArgument(const VARIANT* pSource, unsigned char code, LCID lcid, VARIANT* pDest)
{
    const bool bOptional = (code & VTS_OPTIONAL_FLAG) != 0;
    const VARTYPE vt = code & VTS_TYPE_MASK;
    if (pSource == nullptr || IsMissing(*pSource)) {
        if (!bOptional)
            return DISP_E_PARAMNOTOPTIONAL;
        pDest->vt = VT_ERROR;
        pDest->scode = DISP_E_PARAMNOTFOUND;
        return S_OK;
    }
    if (code & VTS_BYREF_FLAG) {
        // The caller's own storage, of exactly the parameter's type: nothing is converted.
        if (pSource->vt != (VT_BYREF | vt) || pSource->byref == nullptr)
            return DISP_E_TYPEMISMATCH;
        *pDest = *pSource;
        return S_OK;
    }
    if (vt == VT_VARIANT) {
        HRESULT hr = VariantCopyInd(pDest, const_cast<VARIANT*>(pSource));
        return hr == E_OUTOFMEMORY ? hr : FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
    }
    VARTYPE vtSource = pSource->vt & ~VT_BYREF;
    if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && (vtSource == VT_EMPTY || vtSource == VT_NULL)) {
        pDest->vt = vt;  // "Nothing" and null: no object
        pDest->punkVal = nullptr;
        return S_OK;
    }
    HRESULT hr = VariantChangeTypeEx(pDest, const_cast<VARIANT*>(pSource), lcid, 0, vt);
    if (SUCCEEDED(hr))
        return S_OK;
    return hr == DISP_E_OVERFLOW || hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
}

// The converted arguments of one call, freed with it.
class CConvertedArgs {
public:
    explicit CConvertedArgs(size_t n) : m_args(n)
    {
        for (VARIANT& v : m_args)
            VariantInit(&v);
    }
    ~CConvertedArgs()
    {
        for (VARIANT& v : m_args)
            VariantClear(&v);  // by-reference values are the caller's: VariantClear leaves them
    }
    VARIANT* Data() { return m_args.empty() ? nullptr : m_args.data(); }
    VARIANT& operator[](size_t i) { return m_args[i]; }

private:
    std::vector<VARIANT> m_args;
};

}  // namespace

void AfxThrowArgumentError(HRESULT hr, UINT nParam) { throw CDispatchArgumentError{hr, nParam}; }

CComVariant AfxChangeArgumentType(const VARIANT& arg, VARTYPE vt, UINT nParam)
{
    CComVariant result;
    HRESULT hr = ConvertArgument(&arg, static_cast<unsigned char>(vt), t_callLocale, &result);
    if (FAILED(hr))
        AfxThrowArgumentError(hr, nParam);
    return result;
}

STDMETHODIMP CCmdTargetDispatch::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                        DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                        EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    const AFX_DISPMAP_ENTRY* pEntry = m_pOwner->FindDispatchEntry(dispIdMember);
    if (pEntry == nullptr)
        return DISP_E_MEMBERNOTFOUND;

    // What is called, and with which parameters. Script hosts add DISPATCH_PROPERTYGET to a method
    // call whose result they use, and call a property's get as a method.
    const bool bPut = (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    AFX_DISPATCH_THUNK pfn = nullptr;
    char putParams[2] = {0, 0};
    const char* lpszParams = "";
    if (!pEntry->bProperty) {
        if (!(wFlags & DISPATCH_METHOD) || bPut)
            return DISP_E_MEMBERNOTFOUND;
        pfn = pEntry->pfn;
        lpszParams = pEntry->lpszParams;
    } else if (bPut) {
        // A put by reference (Set x.P = obj) only for an object property.
        const bool bObject = pEntry->vtReturn == VT_DISPATCH || pEntry->vtReturn == VT_UNKNOWN;
        if ((wFlags & DISPATCH_PROPERTYPUTREF) && !bObject && !(wFlags & DISPATCH_PROPERTYPUT))
            return DISP_E_MEMBERNOTFOUND;
        pfn = pEntry->pfnSet;  // nullptr: a read-only property
        putParams[0] = static_cast<char>(pEntry->vtReturn);
        lpszParams = putParams;
        pVarResult = nullptr;
    } else if (wFlags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) {
        pfn = pEntry->pfn;  // nullptr: a write-only property
    }
    if (pfn == nullptr)
        return DISP_E_MEMBERNOTFOUND;

    if (pDispParams == nullptr)
        return E_INVALIDARG;
    // A put names its value DISPID_PROPERTYPUT; no member takes other named arguments.
    if (pDispParams->cNamedArgs != 0 &&
        !(bPut && pDispParams->cNamedArgs == 1 && pDispParams->rgdispidNamedArgs != nullptr &&
          pDispParams->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT))
        return DISP_E_NONAMEDARGS;
    if (pDispParams->cArgs != 0 && pDispParams->rgvarg == nullptr)
        return E_INVALIDARG;
    const size_t nParams = std::strlen(lpszParams);
    size_t nRequired = nParams;
    while (nRequired > 0 && (static_cast<unsigned char>(lpszParams[nRequired - 1]) & VTS_OPTIONAL_FLAG))
        --nRequired;
    const UINT cArgs = pDispParams->cArgs;
    if (cArgs > nParams || cArgs < nRequired)
        return DISP_E_BADPARAMCOUNT;

    // The caller's arguments arrive last first; missing trailing ones are optional.
    CConvertedArgs args(nParams);
    for (size_t i = 0; i < nParams; ++i) {
        const VARIANT* pSource = i < cArgs ? &pDispParams->rgvarg[cArgs - 1 - i] : nullptr;
        HRESULT hr = ConvertArgument(pSource, static_cast<unsigned char>(lpszParams[i]), lcid, &args[i]);
        if (FAILED(hr)) {
            if (puArgErr != nullptr && pSource != nullptr)
                *puArgErr = static_cast<UINT>(cArgs - 1 - i);
            return hr;
        }
    }
    if (pVarResult != nullptr)
        VariantInit(pVarResult);
    // The object outlives its running member even when its clients are disconnected meanwhile (a
    // server that ends inside the member's outgoing call); its last release may then fall here.
    CCmdTarget* pOwner = m_pOwner;
    pOwner->InternalAddRef();
    const struct CCallReference {
        CCmdTarget* p;
        ~CCallReference() { p->InternalRelease(); }
    } callReference{pOwner};
    try {
        const CCallLocaleScope locale(lcid);
        pfn(pOwner, pEntry, args.Data(), pVarResult);
        return S_OK;
    } catch (const CDispatchArgumentError& error) {
        if (pVarResult != nullptr)
            VariantClear(pVarResult);
        if (puArgErr != nullptr && error.nParam < cArgs)
            *puArgErr = cArgs - 1 - error.nParam;
        return error.hr;
    } catch (...) {
        // Whatever the member threw travels back to the caller as an exception description; it
        // must not unwind into COM's stub, which could not take it (or ends the process).
        if (pVarResult != nullptr)
            VariantClear(pVarResult);
        AfxFillExcepInfo(pExcepInfo);
        return DISP_E_EXCEPTION;
    }
}
