// A class of one's own with a dual interface (CDualDispatch): IDispatch from its type library,
// its errors for both kinds of caller, its event and its callback, in process.
#include <callback_property.h>
#include <dispatch_map_check.h>
#include <dual_dispatch.h>
#include <exceptions.h>
#include <reg_key.h>
#include <type_lib_registration.h>

#include <dual_probe_i.h>

#include <own_thread_cmd_target.h>
#include <wait_until.h>

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace {

bool g_bProbeDestroyed = false;
DWORD g_nScaleThread = 0;

// On TBase CZKOwnThreadCmdTarget it runs on a thread of its own.
template <class TBase> class CDualProbe : public CDualDispatch<TBase, IDualProbe> {
public:
    CDualProbe()
    {
        if constexpr (std::is_base_of_v<CZKOwnThreadCmdTarget, TBase>)
            this->EnableOwnThread();
    }
    ~CDualProbe() override { g_bProbeDestroyed = true; }
    STDMETHODIMP get_Name(BSTR* pName) override
    {
        *pName = SysAllocString(m_name.c_str());
        return S_OK;
    }
    STDMETHODIMP put_Name(BSTR name) override
    {
        m_name = name != nullptr ? name : L"";
        return S_OK;
    }
    STDMETHODIMP Scale(double x, LONG factor, double* pResult) override
    {
        g_nScaleThread = GetCurrentThreadId();
        *pResult = x * factor;
        return S_OK;
    }
    STDMETHODIMP Fail(LONG code) override
    {
        return this->Try([&] { throw COleDispatchException("failed with " + std::to_string(code), E_INVALIDARG, 0); });
    }
    STDMETHODIMP put_OnPinged(IDispatch* pCallback) override { return this->Try([&] { m_onPinged.Set(pCallback); }); }
    STDMETHODIMP Ping(LONG n) override
    {
        return this->Try([&] {
            this->FireEvent(1, n, L"ping");
            m_onPinged.Call(n);
        });
    }

private:
    std::wstring m_name;
    CCallbackProperty m_onPinged{this};
};

// Serves this thread's messages until the probe is gone: an own-thread object's deletion is
// posted to its creating thread.
bool WaitForProbeDestroyed()
{
    return WaitUntil([] {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        return g_bProbeDestroyed;
    });
}

// Records each call it receives as its dispid and its arguments, first first, as text.
class CRecorder final : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                       IsEqualIID(riid, DIID_IDualProbeEvents)
                   ? this
                   : nullptr;
        if (*ppv == nullptr)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nRef)); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(InterlockedDecrement(&m_nRef)); }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override { return *pctinfo = 0, S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*, EXCEPINFO*, UINT*) override
    {
        std::wstring call = std::to_wstring(dispid) + L":";
        for (UINT i = pParams->cArgs; i-- > 0;) {
            VARIANT text;
            VariantInit(&text);
            const bool bText = SUCCEEDED(VariantChangeType(&text, &pParams->rgvarg[i], 0, VT_BSTR));
            call += L" " + (bText ? std::wstring(text.bstrVal) : L"?");
            VariantClear(&text);
        }
        m_calls.push_back(call);
        return S_OK;
    }

    LONG m_nRef = 1;
    std::vector<std::wstring> m_calls;
};

VARIANT Arg(const wchar_t* psz)
{
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(psz);
    return v;
}

VARIANT Arg(long n)
{
    VARIANT v;
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

TEST(DualDispatchTest, DispatchFromTheTypeLibraryErrorsEventsAndCallbacks)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    g_bProbeDestroyed = false;
    auto* pObject = new CDualProbe<CCmdTarget>;  // its creation reference, given back last
    IDualProbe* pProbe = nullptr;
    IDispatch* pDisp = nullptr;
    ASSERT_EQ(S_OK, pObject->ExternalQueryInterface(&IID_IDualProbe, reinterpret_cast<void**>(&pProbe)));
    ASSERT_EQ(S_OK, pProbe->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&pDisp)));
    EXPECT_EQ(static_cast<IDispatch*>(pProbe), pDisp) << "IDispatch is the dual interface itself";
    EXPECT_EQ(3, pObject->m_dwRef) << "the interface's references are the object's";
    std::string problems;
    EXPECT_EQ(S_OK, AfxCheckDispatchMap(pObject, &problems)) << "no map to disagree with: " << problems;

    {
        SCOPED_TRACE("names from the type library, any case");
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"sCALE"), const_cast<LPOLESTR>(L"Nope")};
        DISPID id = 0;
        EXPECT_EQ(S_OK, pDisp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
        EXPECT_EQ(2, id);
        EXPECT_EQ(DISP_E_UNKNOWNNAME, pDisp->GetIDsOfNames(IID_NULL, names + 1, 1, LOCALE_USER_DEFAULT, &id));
    }
    {
        SCOPED_TRACE("conversions in the caller's locale, the default argument, puArgErr");
        VARIANT result;
        VariantInit(&result);
        VARIANT german = Arg(L"2,5");
        DISPPARAMS one = {&german, nullptr, 1, 0};
        EXPECT_EQ(S_OK, pDisp->Invoke(2, IID_NULL, 0x0407, DISPATCH_METHOD, &one, &result, nullptr, nullptr));
        EXPECT_EQ(VT_R8, result.vt);
        EXPECT_DOUBLE_EQ(5.0, result.dblVal) << "2,5 read as German, times the default 2";
        VARIANT args[] = {Arg(L"3"), Arg(L"1.5")};  // Scale(1.5, "3"): the last first
        DISPPARAMS two = {args, nullptr, 2, 0};
        EXPECT_EQ(S_OK, pDisp->Invoke(2, IID_NULL, 0x0409, DISPATCH_METHOD, &two, &result, nullptr, nullptr));
        EXPECT_DOUBLE_EQ(4.5, result.dblVal);
        VARIANT bad[] = {Arg(3), Arg(L"abc")};
        DISPPARAMS wrong = {bad, nullptr, 2, 0};
        UINT argErr = 99;
        EXPECT_EQ(DISP_E_TYPEMISMATCH, pDisp->Invoke(2, IID_NULL, 0x0409, DISPATCH_METHOD, &wrong, &result, nullptr, &argErr));
        EXPECT_EQ(1u, argErr) << "the first parameter, at the end of rgvarg";
        for (VARIANT* p : {&german, &args[0], &args[1], &bad[1]})
            VariantClear(p);
    }
    {
        SCOPED_TRACE("a property put and get by name");
        VARIANT value = Arg(42);
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params = {&value, &put, 1, 1};
        EXPECT_EQ(S_OK, pDisp->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr));
        VARIANT got;
        VariantInit(&got);
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        EXPECT_EQ(S_OK, pDisp->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none,
                                      &got, nullptr, nullptr));
        EXPECT_EQ(VT_BSTR, got.vt);
        EXPECT_STREQ(L"42", got.bstrVal);
        VariantClear(&got);
    }
    {
        SCOPED_TRACE("an exception: IErrorInfo early-bound, EXCEPINFO late-bound");
        EXPECT_EQ(E_INVALIDARG, pProbe->Fail(5));
        IErrorInfo* pError = nullptr;
        ASSERT_EQ(S_OK, GetErrorInfo(0, &pError));
        BSTR description = nullptr;
        GUID guid = GUID_NULL;
        pError->GetDescription(&description);
        pError->GetGUID(&guid);
        EXPECT_STREQ(L"failed with 5", description);
        EXPECT_TRUE(IsEqualGUID(IID_IDualProbe, guid));
        SysFreeString(description);
        pError->Release();
        ISupportErrorInfo* pSupport = nullptr;
        ASSERT_EQ(S_OK, pProbe->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&pSupport)));
        EXPECT_EQ(S_OK, pSupport->InterfaceSupportsErrorInfo(IID_IDualProbe));
        EXPECT_EQ(S_FALSE, pSupport->InterfaceSupportsErrorInfo(IID_IDispatch));
        pSupport->Release();

        VARIANT code = Arg(6);
        DISPPARAMS params = {&code, nullptr, 1, 0};
        EXCEPINFO excep = {};
        EXPECT_EQ(DISP_E_EXCEPTION, pDisp->Invoke(3, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &excep, nullptr));
        EXPECT_EQ(E_INVALIDARG, excep.scode);
        EXPECT_STREQ(L"failed with 6", excep.bstrDescription);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrHelpFile);
    }
    // Registered as a server registers it: the sink's interface, which the connection point hands
    // to COM's global interface table, and the dual interface, with the automation marshaler.
    ASSERT_TRUE(AfxOleRegisterTypeLib(GetModuleHandleW(nullptr), LIBID_QDDUALPROBE, 1, 0));
    CRegKey key;
    EXPECT_EQ(ERROR_SUCCESS, key.Open(HKEY_CLASSES_ROOT, "Interface\\{6E1C0A51-3D0B-4C7E-9B7A-0D5E3F1A2B02}\\ProxyStubClsid32"));
    EXPECT_EQ("{00020424-0000-0000-C000-000000000046}", key.GetStringValue(nullptr));
    CRecorder sink, callback;
    {
        SCOPED_TRACE("the coclass's source interface, its event and a callback, each a typed call");
        IProvideClassInfo2* pInfo = nullptr;
        ASSERT_EQ(S_OK, pProbe->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&pInfo)));
        IID source = GUID_NULL;
        EXPECT_EQ(S_OK, pInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
        EXPECT_TRUE(IsEqualIID(DIID_IDualProbeEvents, source));
        pInfo->Release();
        IConnectionPointContainer* pContainer = nullptr;
        IConnectionPoint* pPoint = nullptr;
        DWORD cookie = 0;
        ASSERT_EQ(S_OK, pProbe->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&pContainer)));
        ASSERT_EQ(S_OK, pContainer->FindConnectionPoint(DIID_IDualProbeEvents, &pPoint));
        ASSERT_EQ(S_OK, pPoint->Advise(&sink, &cookie));
        pContainer->Release();
        pPoint->Release();  // the sink stays advised until the object's final release

        VARIANT value;
        value.vt = VT_DISPATCH;
        value.pdispVal = &callback;
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params = {&value, &put, 1, 1};
        EXPECT_EQ(S_OK, pDisp->Invoke(4, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUTREF, &params, nullptr, nullptr, nullptr));
        EXPECT_EQ(S_OK, pProbe->Ping(7));
        value.vt = VT_NULL;  // a script's null clears it
        EXPECT_EQ(S_OK, pDisp->Invoke(4, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr));
        EXPECT_EQ(S_OK, pProbe->Ping(8));
        EXPECT_EQ((std::vector<std::wstring>{L"1: 7 ping", L"1: 8 ping"}), sink.m_calls);
        EXPECT_EQ((std::vector<std::wstring>{L"0: 7"}), callback.m_calls);
        EXPECT_EQ(1, callback.m_nRef) << "a cleared callback is given back";
    }
    pDisp->Release();
    pProbe->Release();
    EXPECT_FALSE(g_bProbeDestroyed);
    pObject->ExternalRelease();
    EXPECT_TRUE(g_bProbeDestroyed) << "the last reference, the creation's, ends the object";
    EXPECT_EQ(1, sink.m_nRef) << "its final release gives the sink back";
    {
        SCOPED_TRACE("on a thread of its own: the vtable through the automation marshaler");
        g_bProbeDestroyed = false;
        auto* pOwn = new CDualProbe<CZKOwnThreadCmdTarget>;
        IDualProbe* pOwnProbe = nullptr;
        ASSERT_EQ(S_OK, pOwn->ExternalQueryInterface(&IID_IDualProbe, reinterpret_cast<void**>(&pOwnProbe)));
        pOwn->ExternalRelease();  // as a class factory does
        double result = 0;
        EXPECT_EQ(S_OK, pOwnProbe->Scale(1.5, 3, &result));
        EXPECT_DOUBLE_EQ(4.5, result);
        EXPECT_NE(GetCurrentThreadId(), g_nScaleThread);
        pOwnProbe->Release();
        EXPECT_TRUE(WaitForProbeDestroyed());
    }
    EXPECT_TRUE(AfxOleUnregisterTypeLib(GetModuleHandleW(nullptr), LIBID_QDDUALPROBE, 1, 0));
    CoUninitialize();
}

}  // namespace
