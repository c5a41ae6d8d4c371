// What automation clients pass through a dispatch map: every supported type converted as automation
// converts, properties of each kind, optional and by-reference parameters, and the errors.
#include "automation_probe_target.h"

#include <gtest/gtest.h>

#include <string>

namespace {

CComVariant Text(const wchar_t* psz) { return CComVariant(psz); }
CComVariant Long(long n) { return CComVariant(n); }
CComVariant Double(double d) { return CComVariant(d); }

// The value as text, as automation renders it; the type apart.
std::wstring Render(const VARIANT& v)
{
    CComVariant text;
    if (FAILED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(&v), LOCALE_INVARIANT, 0, VT_BSTR)))
        return L"<no text>";
    return text.bstrVal ? text.bstrVal : L"";
}

class AutomationTest : public testing::Test {
protected:
    void TearDown() override { m_pObject->ExternalRelease(); }

    // Calls with the arguments in declaration order.
    HRESULT Call(DISPID id, std::initializer_list<CComVariant> args, VARIANT* pResult = nullptr,
                 WORD wFlags = DISPATCH_METHOD, UINT* puArgErr = nullptr)
    {
        std::vector<VARIANT> reversed(args.size());
        size_t i = args.size();
        for (const CComVariant& a : args)
            reversed[--i] = a;  // shallow: args own them
        DISPID put = DISPID_PROPERTYPUT;
        bool bPut = (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), bPut ? &put : nullptr,
                          static_cast<UINT>(args.size()), bPut ? 1u : 0u};
        return m_pDisp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params, pResult, nullptr, puArgErr);
    }

    CAutomationProbeTarget* m_pObject = new CAutomationProbeTarget;
    IDispatch* m_pDisp = m_pObject->GetIDispatch(FALSE);
};

TEST_F(AutomationTest, EveryTypeConvertsAsAutomationDoes)
{
    CY cy;
    cy.int64 = 12500;  // 1.25
    CComVariant currency;
    currency.vt = VT_CY;
    currency.cyVal = cy;
    CComVariant scode;
    scode.vt = VT_ERROR;
    scode.scode = E_ACCESSDENIED;
    CComVariant self;
    self.vt = VT_DISPATCH;
    self.pdispVal = m_pDisp;
    m_pDisp->AddRef();
    CComVariant null;
    null.vt = VT_NULL;
    struct Row {
        DISPID id;
        CComVariant arg;
        HRESULT hr;
        VARTYPE vt;
        std::wstring text;
    } rows[] = {
        {1, Long(5), S_OK, VT_BOOL, L"-1"},
        {1, Text(L"0"), S_OK, VT_BOOL, L"0"},
        {19, Text(L"1"), S_OK, VT_BOOL, L"-1"},
        {2, Text(L"-5"), S_OK, VT_I1, L"-5"},
        {2, Long(200), DISP_E_OVERFLOW, VT_EMPTY, L""},
        {3, Double(255), S_OK, VT_UI1, L"255"},
        {3, Long(-1), DISP_E_OVERFLOW, VT_EMPTY, L""},
        {4, Text(L"-32768"), S_OK, VT_I2, L"-32768"},
        {5, Long(65535), S_OK, VT_UI2, L"65535"},
        {6, Text(L"42"), S_OK, VT_I4, L"42"},
        {6, Text(L"forty-two"), DISP_E_TYPEMISMATCH, VT_EMPTY, L""},
        {7, Double(4294967295.0), S_OK, VT_UI4, L"4294967295"},
        {8, Text(L"-12345678901"), S_OK, VT_I8, L"-12345678901"},
        {9, Text(L"12345678901"), S_OK, VT_UI8, L"12345678901"},
        {10, Text(L"1.5"), S_OK, VT_R4, L"1.5"},
        {11, Long(3), S_OK, VT_R8, L"3"},
        {12, Double(1.25), S_OK, VT_CY, L"1.25"},
        {12, currency, S_OK, VT_CY, L"1.25"},
        {13, Double(2.0), S_OK, VT_DATE, L"01/01/1900"},  // day 2 of automation's calendar
        {14, scode, S_OK, VT_ERROR, L"<no text>"},
        {14, Text(L"x"), DISP_E_TYPEMISMATCH, VT_EMPTY, L""},
        {15, Long(42), S_OK, VT_BSTR, L"42"},
        {16, Text(L"as is"), S_OK, VT_BSTR, L"as is"},
        {16, Long(7), S_OK, VT_I4, L"7"},
        {17, self, S_OK, VT_DISPATCH, L"<no text>"},
        {17, null, S_OK, VT_DISPATCH, L"<no text>"},
        {17, Long(1), DISP_E_TYPEMISMATCH, VT_EMPTY, L""},
        {18, self, S_OK, VT_UNKNOWN, L"<no text>"},
    };
    for (const Row& row : rows) {
        const std::wstring arg = Render(row.arg);
        SCOPED_TRACE(testing::Message() << "DISPID " << row.id << ", argument " << row.arg.vt << " \""
                                        << std::string(arg.begin(), arg.end()) << "\"");
        CComVariant result;
        UINT nArgErr = 99;
        ASSERT_EQ(Call(row.id, {row.arg}, &result, DISPATCH_METHOD, &nArgErr), row.hr);
        if (FAILED(row.hr)) {
            EXPECT_EQ(nArgErr, 0u) << "the failing argument";
            continue;
        }
        EXPECT_EQ(result.vt, row.vt);
        if (row.vt == VT_ERROR)
            EXPECT_EQ(result.scode, E_ACCESSDENIED);
        else if (row.vt == VT_DISPATCH || row.vt == VT_UNKNOWN)
            EXPECT_EQ(result.punkVal != nullptr, row.arg.vt == VT_DISPATCH);
        else
            EXPECT_EQ(Render(result), row.text);
    }
}

TEST_F(AutomationTest, ReturnedStringsAreCopiesOfTheArguments)
{
    CComVariant arg = Text(L"mine");
    CComVariant result;
    ASSERT_EQ(Call(15, {arg}, &result), S_OK);
    EXPECT_STREQ(result.bstrVal, L"mine");
    EXPECT_NE(result.bstrVal, arg.bstrVal) << "both are freed: each must own its string";
    ASSERT_EQ(Call(16, {arg}, &result), S_OK);
    EXPECT_NE(result.bstrVal, arg.bstrVal);
    EXPECT_EQ(Call(15, {arg}), S_OK) << "a result nobody takes";
}

TEST_F(AutomationTest, PropertiesGetAndPutByKind)
{
    CComVariant result;
    ASSERT_EQ(Call(20, {Text(L"12")}, nullptr, DISPATCH_PROPERTYPUT), S_OK);
    ASSERT_EQ(Call(20, {}, &result, DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(result.lVal, 12);
    result.Clear();
    ASSERT_EQ(Call(20, {}, &result, DISPATCH_METHOD | DISPATCH_PROPERTYGET), S_OK) << "as script hosts ask";
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 12);
    EXPECT_EQ(Call(20, {Long(1), Long(2)}, nullptr, DISPATCH_PROPERTYPUT), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(20, {Long(1)}, &result, DISPATCH_PROPERTYGET), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(20, {Long(1)}, nullptr, DISPATCH_PROPERTYPUTREF), DISP_E_MEMBERNOTFOUND)
        << "by reference only for an object";

    ASSERT_EQ(Call(21, {Long(5)}, nullptr, DISPATCH_PROPERTYPUT), S_OK);
    ASSERT_EQ(Call(21, {}, &result, DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(result.vt, VT_BSTR);
    EXPECT_STREQ(result.bstrVal, L"5");
    EXPECT_NE(result.bstrVal, static_cast<BSTR>(m_pObject->m_strName)) << "a copy of the member";

    ASSERT_EQ(Call(22, {}, &result, DISPATCH_PROPERTYGET), S_OK);
    EXPECT_EQ(result.lVal, 7);
    EXPECT_EQ(Call(22, {Long(1)}, nullptr, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND) << "read-only";

    CComVariant self;
    self.vt = VT_DISPATCH;
    self.pdispVal = m_pDisp;
    m_pDisp->AddRef();
    ASSERT_EQ(Call(23, {self}, nullptr, DISPATCH_PROPERTYPUTREF), S_OK);
    EXPECT_EQ(m_pObject->m_pCallback.Get(), m_pDisp);
    m_pObject->m_pCallback.Reset();  // no cycle through the object itself
    CComVariant null;
    null.vt = VT_NULL;
    ASSERT_EQ(Call(23, {null}, nullptr, DISPATCH_PROPERTYPUT), S_OK) << "JScript's null clears it";
    EXPECT_EQ(m_pObject->m_pCallback.Get(), nullptr);
    EXPECT_EQ(Call(23, {}, &result, DISPATCH_PROPERTYGET), DISP_E_MEMBERNOTFOUND) << "write-only";
    EXPECT_EQ(Call(23, {Text(L"no object")}, nullptr, DISPATCH_PROPERTYPUT), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Call(6, {Long(1)}, nullptr, DISPATCH_PROPERTYPUT), DISP_E_MEMBERNOTFOUND) << "a method";
}

TEST_F(AutomationTest, OptionalAndByReferenceParametersAndTheirErrors)
{
    CComVariant result;
    ASSERT_EQ(Call(30, {Long(3)}, &result), S_OK);
    EXPECT_EQ(result.lVal, 3);
    EXPECT_EQ(m_pObject->m_vtSecond, VT_ERROR);
    EXPECT_EQ(m_pObject->m_scSecond, DISP_E_PARAMNOTFOUND) << "a missing optional argument";
    ASSERT_EQ(Call(30, {Long(3), Text(L"x")}, &result), S_OK);
    EXPECT_EQ(m_pObject->m_vtSecond, VT_BSTR);
    EXPECT_EQ(Call(30, {}, &result), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(30, {Long(1), Long(2), Long(3)}, &result), DISP_E_BADPARAMCOUNT);
    CComVariant missing;
    missing.vt = VT_ERROR;
    missing.scode = DISP_E_PARAMNOTFOUND;
    UINT nArgErr = 99;
    EXPECT_EQ(Call(30, {missing, Long(2)}, &result, DISPATCH_METHOD, &nArgErr), DISP_E_PARAMNOTOPTIONAL);
    EXPECT_EQ(nArgErr, 1u) << "counted from the last argument";

    long n = 41;
    BSTR s = SysAllocString(L"old");
    CComVariant v = Long(1);
    CComVariant refN, refS, refV;
    refN.vt = VT_BYREF | VT_I4;
    refN.plVal = &n;
    refS.vt = VT_BYREF | VT_BSTR;
    refS.pbstrVal = &s;
    refV.vt = VT_BYREF | VT_VARIANT;
    refV.pvarVal = &v;
    ASSERT_EQ(Call(31, {refN, refS, refV}), S_OK);
    EXPECT_EQ(n, 42);
    EXPECT_STREQ(s, L"bumped");
    EXPECT_EQ(v.vt, VT_R8);
    EXPECT_EQ(v.dblVal, 2.5);
    EXPECT_EQ(Call(31, {Long(1), refS, refV}, nullptr, DISPATCH_METHOD, &nArgErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(nArgErr, 2u) << "a value where a reference belongs";
    refN.vt = VT_BYREF | VT_I2;
    EXPECT_EQ(Call(31, {refN, refS, refV}), DISP_E_TYPEMISMATCH) << "a reference of another type";
    SysFreeString(s);
    refN.vt = refS.vt = refV.vt = VT_EMPTY;  // the caller's storage, not theirs to free

    EXPECT_EQ(Call(32, {Long(1), Long(2)}, &result, DISPATCH_METHOD, &nArgErr), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(nArgErr, 0u) << "the handler refused its second, the caller's last, argument";
}

}  // namespace
