#include "own_thread_test_support.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <string>

CCreatingThread& TheCreatingThread()
{
    // Never destroyed: it has to outlive every test, and the process ends it.
    static CCreatingThread* s_pThread = new CCreatingThread;
    return *s_pThread;
}

IDispatch* CreateProbe(BOOL bOwnThread, CThreadProbeTarget** ppObject)
{
    return TheCreatingThread().HandOut([&] {
        auto* pObject = new CThreadProbeTarget(bOwnThread);
        if (ppObject != nullptr)
            *ppObject = pObject;
        IDispatch* pDisp = nullptr;
        pObject->ExternalQueryInterface(&IID_IDispatch, reinterpret_cast<void**>(&pDisp));
        pObject->ExternalRelease();
        return pDisp;
    });
}

long CallLong(IDispatch* pDisp, const wchar_t* pszName, long nArg)
{
    DISPID dispid = DISPID_UNKNOWN;
    LPOLESTR name = const_cast<LPOLESTR>(pszName);
    // A failed call fails the test: a 0 alone could pass an expectation of 0 or of "not this thread".
    auto failed = [pszName](const char* lpszStep, HRESULT hr) {
        ADD_FAILURE() << lpszStep << " " << std::string(pszName, pszName + lstrlenW(pszName)) << " failed: 0x"
                      << std::hex << hr;
        return 0L;
    };
    HRESULT hr = pDisp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &dispid);
    if (FAILED(hr))
        return failed("naming", hr);
    VARIANT arg;
    VariantInit(&arg);
    arg.vt = VT_I4;
    arg.lVal = nArg;
    DISPPARAMS params{&arg, nullptr, nArg >= 0 ? 1u : 0u, 0};
    VARIANT result;
    VariantInit(&result);
    hr = pDisp->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    if (FAILED(hr))
        return failed("calling", hr);
    return result.vt == VT_I4 ? result.lVal : 0;
}

bool ReleaseAndWaitForDeletion(IDispatch* pDisp)
{
    if (pDisp != nullptr)
        pDisp->Release();
    if (!WaitUntil([] { return CThreadProbeTarget::s_nLive == 0; }))
        return false;
    // The count drops in the most derived destructor: let the bases' destructors finish too.
    TheCreatingThread().Run([] {});
    return true;
}

HRESULT WINAPI FailCreateStream(HGLOBAL, BOOL, LPSTREAM* ppStream)
{
    *ppStream = reinterpret_cast<LPSTREAM>(1);
    return E_OUTOFMEMORY;
}

HRESULT WINAPI FailMarshal(LPSTREAM, REFIID, LPUNKNOWN, DWORD, LPVOID, DWORD) { return E_FAIL; }

HRESULT WINAPI FailUnmarshal(LPSTREAM, REFIID, LPVOID* ppv)
{
    *ppv = nullptr;
    return E_FAIL;
}
