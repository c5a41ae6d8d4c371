#include "dual_dispatch.h"

#include "exceptions.h"
#include "mistakes.h"
#include "reg_key.h"
#include "win_app.h"

#include <string>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

std::wstring Widen(const std::string& text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(n > 0 ? n : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

// The description ITypeInfo::Invoke calls through: a dual interface's vtable half.
HRESULT VtableInfo(ITypeInfo* pInfo, ITypeInfo** ppVtable)
{
    TYPEATTR* pAttr = nullptr;
    HRESULT hr = pInfo->GetTypeAttr(&pAttr);
    if (FAILED(hr))
        return hr;
    const bool bDispatchHalf = pAttr->typekind == TKIND_DISPATCH;
    pInfo->ReleaseTypeAttr(pAttr);
    HREFTYPE hRef = 0;
    if (bDispatchHalf)
        return FAILED(hr = pInfo->GetRefTypeOfImplType(static_cast<UINT>(-1), &hRef)) ? hr
                                                                                     : pInfo->GetRefTypeInfo(hRef, ppVtable);
    pInfo->AddRef();
    *ppVtable = pInfo;
    return S_OK;
}

// The parameter types of the member that the call names; false when there is none.
bool FindParams(ITypeInfo* pInfo, DISPID dispid, WORD wFlags, std::vector<VARTYPE>* pTypes)
{
    TYPEATTR* pAttr = nullptr;
    if (FAILED(pInfo->GetTypeAttr(&pAttr)))
        return false;
    const UINT cFuncs = pAttr->cFuncs;
    pInfo->ReleaseTypeAttr(pAttr);
    for (UINT i = 0; i < cFuncs; ++i) {
        FUNCDESC* pFunc = nullptr;
        if (FAILED(pInfo->GetFuncDesc(i, &pFunc)))
            continue;
        const bool bPut = pFunc->invkind == INVOKE_PROPERTYPUT || pFunc->invkind == INVOKE_PROPERTYPUTREF;
        const bool bMatch = pFunc->memid == dispid && bPut == ((wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0);
        if (bMatch)
            for (SHORT p = 0; p < pFunc->cParams; ++p)
                pTypes->push_back(pFunc->lprgelemdescParam[p].tdesc.vt);
        pInfo->ReleaseFuncDesc(pFunc);
        if (bMatch)
            return true;
    }
    return false;
}

// A put by reference (VBScript's Set) of a member the IDL declares with propput alone: the put.
WORD PutAsDeclared(ITypeInfo* pInfo, DISPID dispid, WORD wFlags)
{
    if ((wFlags & DISPATCH_PROPERTYPUTREF) == 0)
        return wFlags;
    FUNCDESC* pFunc = nullptr;
    for (UINT i = 0;; ++i) {
        if (FAILED(pInfo->GetFuncDesc(i, &pFunc)))
            return static_cast<WORD>((wFlags & ~DISPATCH_PROPERTYPUTREF) | DISPATCH_PROPERTYPUT);
        const bool bPutRef = pFunc->memid == dispid && pFunc->invkind == INVOKE_PROPERTYPUTREF;
        pInfo->ReleaseFuncDesc(pFunc);
        if (bPutRef)
            return wFlags;
    }
}

bool IsScalar(VARTYPE vt)
{
    switch (vt) {
    case VT_I1: case VT_I2: case VT_I4: case VT_I8: case VT_INT: case VT_UI1: case VT_UI2: case VT_UI4:
    case VT_UI8: case VT_UINT: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR: case VT_BOOL:
    case VT_DECIMAL:
        return true;
    default:
        return false;
    }
}

// The caller's arguments converted to their parameters' types in the caller's locale (the type
// library's own conversion knows no locale); other arguments are handed on as they are.
class CLocaleArgs {
public:
    CLocaleArgs() = default;
    CLocaleArgs(const CLocaleArgs&) = delete;
    CLocaleArgs& operator=(const CLocaleArgs&) = delete;
    ~CLocaleArgs()
    {
        for (size_t i = 0; i < m_args.size(); ++i)
            if (m_owned[i])
                VariantClear(&m_args[i]);  // the others are the caller's
    }

    HRESULT Convert(const DISPPARAMS& in, const std::vector<VARTYPE>& types, LCID lcid, UINT* puArgErr)
    {
        m_params = in;
        m_args.assign(in.rgvarg, in.rgvarg + in.cArgs);
        m_owned.assign(in.cArgs, false);
        m_params.rgvarg = m_args.empty() ? nullptr : m_args.data();
        const UINT cPositional = in.cArgs - in.cNamedArgs;
        for (UINT i = 0; i < in.cArgs; ++i) {
            // rgvarg holds the named arguments first, then the positional ones, the last first.
            size_t param = i >= in.cNamedArgs ? cPositional - 1 - (i - in.cNamedArgs) : types.size();
            if (i < in.cNamedArgs && in.rgdispidNamedArgs[i] == DISPID_PROPERTYPUT && !types.empty())
                param = types.size() - 1;
            if (param >= types.size())
                continue;
            const VARTYPE vt = types[param];
            const VARIANT& arg = in.rgvarg[i];
            const VARTYPE vtArg = arg.vt & ~VT_BYREF;
            if ((vt == VT_DISPATCH || vt == VT_UNKNOWN) && (vtArg == VT_EMPTY || vtArg == VT_NULL)) {
                m_args[i].vt = vt;  // "Nothing" and null: no object
                m_args[i].punkVal = nullptr;
                continue;
            }
            if (!IsScalar(vt) || vtArg == vt || (arg.vt == VT_ERROR && arg.scode == DISP_E_PARAMNOTFOUND))
                continue;
            VARIANT converted;
            VariantInit(&converted);
            HRESULT hr = VariantChangeTypeEx(&converted, const_cast<VARIANT*>(&arg), lcid, 0, vt);
            if (FAILED(hr)) {
                if (puArgErr != nullptr)
                    *puArgErr = i;
                return hr == DISP_E_OVERFLOW || hr == E_OUTOFMEMORY ? hr : DISP_E_TYPEMISMATCH;
            }
            m_args[i] = converted;
            m_owned[i] = true;
        }
        return S_OK;
    }
    DISPPARAMS* Params() { return &m_params; }

private:
    DISPPARAMS m_params = {nullptr, nullptr, 0, 0};
    std::vector<VARIANT> m_args;
    std::vector<bool> m_owned;
};

}  // namespace

namespace afx_dual {

HRESULT GetIDsOfNames(ITypeInfo* pInfo, REFIID riid, LPOLESTR* rgszNames, UINT cNames, DISPID* rgDispId)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (rgszNames == nullptr || rgDispId == nullptr || cNames == 0)
        return E_INVALIDARG;
    return DispGetIDsOfNames(pInfo, rgszNames, cNames, rgDispId);
}

HRESULT Invoke(IDispatch* pInterface, ITypeInfo* pInfo, DISPID dispid, REFIID riid, LCID lcid, WORD wFlags,
               DISPPARAMS* pParams, VARIANT* pResult, EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (pParams == nullptr || (pParams->cArgs > 0 && pParams->rgvarg == nullptr) || pParams->cNamedArgs > pParams->cArgs ||
        (pParams->cNamedArgs > 0 && pParams->rgdispidNamedArgs == nullptr))
        return E_INVALIDARG;
    ComPtr<ITypeInfo> pVtable;
    HRESULT hr = VtableInfo(pInfo, &pVtable);
    if (FAILED(hr))
        return hr;
    wFlags = PutAsDeclared(pVtable.Get(), dispid, wFlags);
    std::vector<VARTYPE> types;
    if (!FindParams(pVtable.Get(), dispid, wFlags, &types))
        return DISP_E_MEMBERNOTFOUND;
    CLocaleArgs args;
    if (FAILED(hr = args.Convert(*pParams, types, lcid, puArgErr)))
        return hr;
    SetErrorInfo(0, nullptr);  // what the method sets is what the caller hears
    if (pExcepInfo != nullptr)
        *pExcepInfo = EXCEPINFO{};
    // A method's failure HRESULT comes back as DISP_E_EXCEPTION, EXCEPINFO filled from its IErrorInfo.
    return pVtable->Invoke(pInterface, dispid, wFlags, args.Params(), pResult, pExcepInfo, puArgErr);
}

HRESULT SetErrorFromCurrentException(REFIID iid)
{
    SCODE sc = E_UNEXPECTED;
    const std::string text = AfxDescribeCurrentException(&sc);
    if (SUCCEEDED(sc))
        sc = E_UNEXPECTED;  // a failure must say so
    ComPtr<ICreateErrorInfo> pCreate;
    ComPtr<IErrorInfo> pError;
    if (SUCCEEDED(CreateErrorInfo(&pCreate)) && SUCCEEDED(pCreate.As(&pError))) {
        std::wstring source = Widen(AfxGetAppName());
        std::wstring description = Widen(text);
        pCreate->SetGUID(iid);
        pCreate->SetSource(source.data());
        pCreate->SetDescription(description.data());
        SetErrorInfo(0, pError.Get());
    }
    return sc;
}

void FindCoclass(CTypeLibCache* pCache, REFIID iid, CLSID* pClsid, IID* pSource)
{
    *pClsid = IID_NULL;
    *pSource = IID_NULL;
    ComPtr<ITypeLib> pLib;
    if (pCache == nullptr || FAILED(pCache->GetTypeLib(&pLib)))
        return;
    for (UINT i = 0, n = pLib->GetTypeInfoCount(); i < n; ++i) {
        ComPtr<ITypeInfo> pClass;
        TYPEATTR* pAttr = nullptr;
        if (FAILED(pLib->GetTypeInfo(i, &pClass)) || FAILED(pClass->GetTypeAttr(&pAttr)))
            continue;
        const bool bCoclass = pAttr->typekind == TKIND_COCLASS;
        const CLSID clsid = pAttr->guid;
        const WORD cImplTypes = pAttr->cImplTypes;
        pClass->ReleaseTypeAttr(pAttr);
        bool bDefaultIsIid = false;
        IID source = IID_NULL;
        for (UINT j = 0; bCoclass && j < cImplTypes; ++j) {
            INT flags = 0;
            HREFTYPE hRef = 0;
            ComPtr<ITypeInfo> pImpl;
            if (FAILED(pClass->GetImplTypeFlags(j, &flags)) || !(flags & IMPLTYPEFLAG_FDEFAULT) ||
                FAILED(pClass->GetRefTypeOfImplType(j, &hRef)) || FAILED(pClass->GetRefTypeInfo(hRef, &pImpl)) ||
                FAILED(pImpl->GetTypeAttr(&pAttr)))
                continue;
            if (flags & IMPLTYPEFLAG_FSOURCE)
                source = pAttr->guid;
            else
                bDefaultIsIid = IsEqualIID(pAttr->guid, iid) != FALSE;
            pImpl->ReleaseTypeAttr(pAttr);
        }
        if (bDefaultIsIid) {
            *pClsid = clsid;
            *pSource = source;
            return;
        }
    }
    // Without it the class has no IDispatch, events or class info: said once per class.
    AfxReportMistake(("CDualDispatch: no coclass of the module's type library (TYPELIB resource 1) has the "
                      "interface " + AfxRegGuidString(iid) + " as its [default]; add it to the IDL")
                         .c_str());
}

}  // namespace afx_dual
