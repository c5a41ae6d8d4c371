#include "ole_dispatch_driver.h"

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Narrow(BSTR bstr)
{
    if (bstr == nullptr)
        return {};
    int n = WideCharToMultiByte(CP_ACP, 0, bstr, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_ACP, 0, bstr, -1, &s[0], n, nullptr, nullptr);
    return s;
}

}  // namespace

COleDispatchDriver::COleDispatchDriver(LPDISPATCH lpDispatch, BOOL bAutoRelease)
    : m_lpDispatch(lpDispatch), m_bAutoRelease(bAutoRelease) {}

COleDispatchDriver::~COleDispatchDriver() { ReleaseDispatch(); }

BOOL COleDispatchDriver::CreateDispatch(LPCSTR lpszProgID, COleException* pError)
{
    wchar_t wide[256];
    if (lpszProgID == nullptr || MultiByteToWideChar(CP_ACP, 0, lpszProgID, -1, wide, 256) == 0) {
        if (pError)
            pError->m_sc = E_INVALIDARG;
        return FALSE;
    }
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(wide, &clsid);
    if (FAILED(hr)) {
        if (pError)
            pError->m_sc = hr;
        return FALSE;
    }
    return CreateDispatch(clsid, pError);
}

BOOL COleDispatchDriver::CreateDispatch(REFCLSID clsid, COleException* pError)
{
    ReleaseDispatch();
    LPDISPATCH lpDispatch = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                                  reinterpret_cast<void**>(&lpDispatch));
    if (FAILED(hr)) {
        if (pError)
            pError->m_sc = hr;
        return FALSE;
    }
    AttachDispatch(lpDispatch, TRUE);
    return TRUE;
}

void COleDispatchDriver::AttachDispatch(LPDISPATCH lpDispatch, BOOL bAutoRelease)
{
    ReleaseDispatch();
    m_lpDispatch = lpDispatch;
    m_bAutoRelease = bAutoRelease;
}

void COleDispatchDriver::ReleaseDispatch()
{
    if (m_lpDispatch != nullptr) {
        if (m_bAutoRelease)
            m_lpDispatch->Release();
        m_lpDispatch = nullptr;
    }
}

void COleDispatchDriver::InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                                      const char* pbParamInfo, ...)
{
    if (m_lpDispatch == nullptr)
        AfxThrowOleException(E_POINTER);

    // Arguments travel last first.
    size_t nArgs = pbParamInfo ? std::strlen(pbParamInfo) : 0;
    std::vector<VARIANT> args(nArgs);
    va_list list;
    va_start(list, pbParamInfo);
    for (size_t i = 0; i < nArgs; ++i) {
        VARIANT& v = args[nArgs - 1 - i];
        VariantInit(&v);
        v.vt = static_cast<VARTYPE>(static_cast<unsigned char>(pbParamInfo[i]));
        switch (v.vt) {
        case VT_I2: v.iVal = static_cast<short>(va_arg(list, int)); break;
        case VT_I4: v.lVal = va_arg(list, long); break;
        case VT_R8: v.dblVal = va_arg(list, double); break;
        case VT_BSTR: v.bstrVal = SysAllocString(va_arg(list, LPCOLESTR)); break;
        default:
            va_end(list);
            for (size_t k = 0; k < i; ++k)
                VariantClear(&args[nArgs - 1 - k]);
            AfxThrowOleException(E_INVALIDARG);
        }
    }
    va_end(list);

    DISPPARAMS params{nArgs ? args.data() : nullptr, nullptr, static_cast<UINT>(nArgs), 0};
    DISPID putId = DISPID_PROPERTYPUT;
    if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep{};
    UINT argErr = 0;
    HRESULT hr = m_lpDispatch->Invoke(dwDispID, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params,
                                      vtRet == VT_EMPTY ? nullptr : &result, &excep, &argErr);
    for (auto& v : args)
        VariantClear(&v);

    if (hr == DISP_E_EXCEPTION) {
        if (excep.pfnDeferredFillIn)
            excep.pfnDeferredFillIn(&excep);
        std::string description = Narrow(excep.bstrDescription);
        SCODE sc = excep.scode ? excep.scode : DISP_E_EXCEPTION;
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
        throw COleDispatchException(description, sc, excep.wCode);
    }
    if (FAILED(hr))
        AfxThrowOleException(hr);
    if (vtRet == VT_EMPTY || pvRet == nullptr) {
        VariantClear(&result);
        return;
    }
    if (result.vt != vtRet) {
        hr = VariantChangeType(&result, &result, 0, vtRet);
        if (FAILED(hr)) {
            VariantClear(&result);
            AfxThrowOleException(hr);
        }
    }
    switch (vtRet) {
    case VT_I2: *static_cast<short*>(pvRet) = result.iVal; break;
    case VT_I4: *static_cast<long*>(pvRet) = result.lVal; break;
    case VT_R8: *static_cast<double*>(pvRet) = result.dblVal; break;
    case VT_BSTR: *static_cast<BSTR*>(pvRet) = result.bstrVal; return;  // the caller frees it
    default:
        VariantClear(&result);
        AfxThrowOleException(DISP_E_TYPEMISMATCH);
    }
}
