#include "provide_class_info.h"

#include "cmd_target.h"

#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

STDMETHODIMP CProvideClassInfo::QueryInterface(REFIID riid, void** ppv)
{
    return m_pOwner->ExternalQueryInterface(&riid, ppv);
}

STDMETHODIMP_(ULONG) CProvideClassInfo::AddRef() { return m_pOwner->ExternalAddRef(); }

STDMETHODIMP_(ULONG) CProvideClassInfo::Release() { return m_pOwner->ExternalRelease(); }

STDMETHODIMP CProvideClassInfo::GetClassInfo(ITypeInfo** ppTI)
{
    if (ppTI == nullptr)
        return E_POINTER;
    return m_pOwner->GetTypeInfoOfGuid(LOCALE_USER_DEFAULT, *m_pClsid, ppTI);
}

STDMETHODIMP CProvideClassInfo::GetGUID(DWORD dwGuidKind, GUID* pGUID)
{
    if (pGUID == nullptr)
        return E_POINTER;
    *pGUID = GUID_NULL;
    if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID)
        return E_INVALIDARG;
    ComPtr<ITypeInfo> pClass;
    HRESULT hr = GetClassInfo(&pClass);
    if (FAILED(hr))
        return hr;
    TYPEATTR* pAttr = nullptr;
    if (FAILED(hr = pClass->GetTypeAttr(&pAttr)))
        return hr;
    const WORD cImplTypes = pAttr->cImplTypes;
    pClass->ReleaseTypeAttr(pAttr);
    for (UINT i = 0; i < cImplTypes; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        ComPtr<ITypeInfo> pSource;
        if (FAILED(pClass->GetImplTypeFlags(i, &flags)) ||
            (flags & (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) != (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE) ||
            FAILED(pClass->GetRefTypeOfImplType(i, &ref)) || FAILED(pClass->GetRefTypeInfo(ref, &pSource)) ||
            FAILED(pSource->GetTypeAttr(&pAttr)))
            continue;
        const bool bDispatch = pAttr->typekind == TKIND_DISPATCH;
        if (bDispatch)
            *pGUID = pAttr->guid;
        pSource->ReleaseTypeAttr(pAttr);
        if (bDispatch)
            return S_OK;
    }
    return E_INVALIDARG;
}
