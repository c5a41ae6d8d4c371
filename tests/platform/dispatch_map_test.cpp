// The IDispatch that a dispatch map drives, against what automation clients and bad callers send.
#include "creating_thread.h"
#include "dispatch_probe_target.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class DispatchMapTest : public testing::Test {
protected:
    void SetUp() override { m_pDisp = m_pObject->GetIDispatch(FALSE); }
    void TearDown() override { m_pObject->ExternalRelease(); }

    DISPID IdOf(const wchar_t* pszName)
    {
        LPOLESTR name = const_cast<LPOLESTR>(pszName);
        DISPID id = 12345;
        HRESULT hr = m_pDisp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
        return hr == S_OK ? id : (id == DISPID_UNKNOWN ? -1000 : -2000);
    }
    HRESULT Invoke(DISPID id, DISPPARAMS* pParams, VARIANT* pResult = nullptr,
                   WORD wFlags = DISPATCH_METHOD, UINT* puArgErr = nullptr,
                   EXCEPINFO* pExcep = nullptr)
    {
        return m_pDisp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, wFlags, pParams, pResult, pExcep,
                               puArgErr);
    }

    CDispatchProbeTarget* m_pObject = new CDispatchProbeTarget;
    IDispatch* m_pDisp = nullptr;
};

VARIANT LongArg(long n)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = n;
    return v;
}

TEST_F(DispatchMapTest, NamesMatchWithoutRegardToCaseAndNumberByPosition)
{
    EXPECT_EQ(IdOf(L"Add"), 1);
    EXPECT_EQ(IdOf(L"gREETING"), 2);
    EXPECT_EQ(IdOf(L"HALF"), 3);
    EXPECT_EQ(IdOf(L"seven"), 70);
    EXPECT_EQ(IdOf(L"Fail"), 5) << "an explicit number still takes its position";
    EXPECT_EQ(IdOf(L"Missing"), -1000) << "DISP_E_UNKNOWNNAME with DISPID_UNKNOWN";
    EXPECT_EQ(IdOf(L""), -1000);
}

TEST_F(DispatchMapTest, BadNameRequestsAndTypeInformationRequestsGetErrors)
{
    LPOLESTR names[2] = {const_cast<LPOLESTR>(L"Add"), const_cast<LPOLESTR>(L"a")};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(m_pDisp->GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    EXPECT_EQ(m_pDisp->GetIDsOfNames(IID_NULL, nullptr, 1, 0, ids), E_INVALIDARG);
    EXPECT_EQ(m_pDisp->GetIDsOfNames(IID_NULL, names, 1, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(m_pDisp->GetIDsOfNames(IID_NULL, names, 0, 0, ids), E_INVALIDARG);
    LPOLESTR nullName = nullptr;
    EXPECT_EQ(m_pDisp->GetIDsOfNames(IID_NULL, &nullName, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(m_pDisp->GetIDsOfNames(IID_IDispatch, names, 1, 0, ids), DISP_E_UNKNOWNINTERFACE);

    UINT n = 99;
    EXPECT_EQ(m_pDisp->GetTypeInfoCount(&n), S_OK);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(m_pDisp->GetTypeInfoCount(nullptr), E_POINTER);
    ITypeInfo* pInfo = reinterpret_cast<ITypeInfo*>(1);
    EXPECT_EQ(m_pDisp->GetTypeInfo(0, 0, &pInfo), DISP_E_BADINDEX) << "a class without a type library";
    EXPECT_EQ(pInfo, nullptr);
    EXPECT_EQ(m_pDisp->GetTypeInfo(0, 0, nullptr), E_POINTER);
}

TEST_F(DispatchMapTest, InvokeAnswersBadCallsWithErrors)
{
    VARIANT args[2] = {LongArg(1), LongArg(2)};
    DISPPARAMS two{args, nullptr, 2, 0};
    DISPPARAMS one{args, nullptr, 1, 0};
    DISPID named = 0;
    DISPPARAMS withNames{args, &named, 2, 1};
    DISPPARAMS noArray{nullptr, nullptr, 2, 0};
    EXPECT_EQ(Invoke(99, &two), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoke(1, &two, nullptr, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoke(1, &two, nullptr, DISPATCH_PROPERTYGET), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Invoke(1, &one), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Invoke(1, &withNames), DISP_E_NONAMEDARGS);
    EXPECT_TRUE(FAILED(Invoke(1, nullptr)));
    EXPECT_TRUE(FAILED(Invoke(1, &noArray)));
    EXPECT_EQ(m_pDisp->Invoke(1, IID_IDispatch, 0, DISPATCH_METHOD, &two, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);

    // By-reference arguments with no referent, and types that are no types at all.
    args[0].vt = VT_BYREF | VT_I4;
    args[0].plVal = nullptr;
    EXPECT_TRUE(FAILED(Invoke(1, &two)));
    args[0].vt = 0x7FFF;
    EXPECT_TRUE(FAILED(Invoke(1, &two)));

    // A member that fails reports an exception.
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXCEPINFO excep;
    ASSERT_EQ(Invoke(5, &none, nullptr, DISPATCH_METHOD, nullptr, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, E_ACCESSDENIED);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);
    EXPECT_EQ(Invoke(5, &none), DISP_E_EXCEPTION);
}

struct CallOutcome {
    HRESULT hr;
    SCODE scode;
    std::wstring description;
    bool hasSource;
};

CallOutcome CallThroughProxy(IDispatch* pProxy, DISPID id)
{
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXCEPINFO excep{};
    HRESULT hr = pProxy->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, &excep, nullptr);
    CallOutcome outcome{hr, excep.scode, excep.bstrDescription ? excep.bstrDescription : L"",
                        SysStringLen(excep.bstrSource) > 0};
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrHelpFile);
    return outcome;
}

// The probe in an apartment of its own thread, called through a real proxy as a client in another
// apartment would call it: what a member throws must stop at the object's Invoke, not unwind into
// COM's stub (with the 32-bit build's unwinder, that would end the process).
TEST(DispatchExceptionTest, WhateverAMemberThrowsReachesTheCallerAsAnExceptionAndTheObjectServesOn)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    {
        CCreatingThread apartment;
        IDispatch* pProxy = apartment.HandOut([] {
            auto* pObject = new CDispatchProbeTarget;
            IDispatch* pDisp = pObject->GetIDispatch(TRUE);
            pObject->ExternalRelease();  // the stub holds it from now on
            return pDisp;
        });
        ASSERT_NE(pProxy, nullptr);
        const DISPID kFail = 5, kThrowStandard = 6, kThrowValue = 7;

        CallOutcome framework = CallThroughProxy(pProxy, kFail);
        EXPECT_EQ(framework.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(framework.scode, E_ACCESSDENIED);

        CallOutcome standard = CallThroughProxy(pProxy, kThrowStandard);
        EXPECT_EQ(standard.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(standard.scode, E_FAIL);
        EXPECT_EQ(standard.description, L"probe: index out of range");
        EXPECT_TRUE(standard.hasSource);

        CallOutcome value = CallThroughProxy(pProxy, kThrowValue);
        EXPECT_EQ(value.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(value.scode, E_UNEXPECTED);
        EXPECT_EQ(value.description, L"An unexpected error occurred.");

        VARIANT args[2] = {LongArg(2), LongArg(40)};
        DISPPARAMS two{args, nullptr, 2, 0};
        VARIANT result;
        VariantInit(&result);
        ASSERT_EQ(pProxy->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &two, &result, nullptr, nullptr), S_OK);
        EXPECT_EQ(result.lVal, 42) << "the object goes on serving after the exceptions";
        pProxy->Release();
    }
    EXPECT_EQ(CDispatchProbeTarget::s_nLive, 0) << "the proxy's release deleted the object";
    CoUninitialize();
}

// A German caller's "1,5" is one and a half, an American's fifteen; "1/2/2026" is the first of
// February or the second of January. Typed parameters and the member's own conversions alike.
TEST_F(DispatchMapTest, ConversionsUseTheLocaleOfTheCall)
{
    auto call = [this](DISPID id, const wchar_t* pszArg, LCID lcid) {
        CComVariant arg(pszArg), result;
        DISPPARAMS params{&arg, nullptr, 1, 0};
        EXPECT_EQ(m_pDisp->Invoke(id, IID_NULL, lcid, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
        return result;
    };
    constexpr LCID kGerman = 0x0407, kAmerican = 0x0409;
    EXPECT_DOUBLE_EQ(call(3, L"1,5", kGerman).dblVal, 0.75) << "Half: a typed parameter";
    EXPECT_DOUBLE_EQ(call(3, L"1,5", kAmerican).dblVal, 7.5);
    EXPECT_DOUBLE_EQ(call(8, L"1,5", kGerman).dblVal, 1.5) << "AsNumber: the member converts";
    EXPECT_DOUBLE_EQ(call(8, L"1,5", kAmerican).dblVal, 15.0);
    SYSTEMTIME german{}, american{};
    VariantTimeToSystemTime(call(9, L"1/2/2026", kGerman).date, &german);
    VariantTimeToSystemTime(call(9, L"1/2/2026", kAmerican).date, &american);
    EXPECT_EQ(german.wMonth, 2);
    EXPECT_EQ(american.wMonth, 1);
}

// A server that ends disconnects its objects, perhaps while one runs a member (inside an outgoing
// call), and the stub gives back every reference it held: the member keeps its object until it
// returns, and the object goes then. (Wine's stub holds a reference of its own for the call, so
// the member lets go of the last one itself.)
TEST(DispatchExceptionTest, AnObjectReleasedInsideItsOwnCallLivesUntilTheCallReturns)
{
    auto* pObject = new CDispatchProbeTarget;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    const DISPID kLetGo = 10;
    EXPECT_EQ(pObject->GetIDispatch(FALSE)->Invoke(kLetGo, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr,
                                                    nullptr),
              S_OK);
    EXPECT_EQ(CDispatchProbeTarget::s_nLiveAfterLetGo, 1) << "deleted under its own call";
    EXPECT_EQ(CDispatchProbeTarget::s_nLive, 0) << "the object went when its call returned";
}

}  // namespace
