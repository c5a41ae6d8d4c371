// The agreement check against a map that disagrees with QDSAMPLE's library in every way it can.
#include <counter.h>
#include <dispatch_map_check.h>

#include <gtest/gtest.h>

#include <objbase.h>

namespace {

class CWrongCounter : public CCmdTarget {
public:
    CWrongCounter() { EnableAutomation(); }
    BOOL GetDispatchIID(IID* pIID) override
    {
        *pIID = DIID_ICounter;
        return TRUE;
    }
    long Add(long a, long b) { return a + b; }
    CComBSTR Echo(const CComBSTR& s) { return s; }
    long Sum(const VARIANT&, const VARIANT&, const VARIANT&) { return 0; }
    long GetCount() { return 0; }
    long m_nThreadId = 0;

    DECLARE_DISPATCH_MAP()
    DECLARE_OLETYPELIB(CWrongCounter)
};

BEGIN_DISPATCH_MAP(CWrongCounter, CCmdTarget)
    DISP_FUNCTION_ID(CWrongCounter, "Add", 1, Add, VT_I4, VTS_I4 VTS_I4)
    DISP_FUNCTION(CWrongCounter, "Echo", Echo, VT_BSTR, VTS_BSTR)
    DISP_PROPERTY_EX_ID(CWrongCounter, "Count", 4, GetCount, SetNotSupported, VT_I4)
    DISP_PROPERTY_ID(CWrongCounter, "ThreadId", 5, m_nThreadId, VT_ERROR)
    DISP_FUNCTION_ID(CWrongCounter, "Total", 6, Sum, VT_I4, VTS_VARIANT VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION_ID(CWrongCounter, "Extra", 9, Add, VT_I4, VTS_I4 VTS_I4)
END_DISPATCH_MAP()

IMPLEMENT_OLETYPELIB(CWrongCounter, LIBID_QDSAMPLE, 1, 0)

TEST(TypeLibCheckTest, EveryDisagreementIsNamed)
{
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    auto* pObject = new CWrongCounter;
    std::string problems;
    EXPECT_EQ(AfxCheckDispatchMap(pObject, &problems), S_FALSE);
    for (const char* expected : {
             "Add: parameters VTS_I4 VTS_I4 (long, long) in the map, VTS_VARIANT VTS_VARIANT (VARIANT, VARIANT) "
             "in the type library",
             "Echo: no explicit DISPID in the map",
             "Count: get/put yes/no in the map, yes/yes in the type library",
             "ThreadId: get/put yes/yes in the map, yes/no in the type library",
             "ThreadId: type VT_ERROR (SCODE) in the map, VT_I4 (long) in the type library",
             "Total: the type library names DISPID 6 \"Sum\"",
             "Total: parameters VTS_VARIANT VTS_VARIANT VTS_VARIANT (VARIANT, VARIANT, VARIANT) in the map, "
             "VTS_OPTIONAL_VARIANT VTS_OPTIONAL_VARIANT VTS_OPTIONAL_VARIANT ([optional] VARIANT, [optional] "
             "VARIANT, [optional] VARIANT) in the type library",
             "Extra: method DISPID 9 is not in the type library",
             "IsOwnThread: DISPID 3 of the type library is not in the map",
         })
        EXPECT_NE(problems.find(expected), std::string::npos) << expected << "\nin:\n" << problems;
    pObject->ExternalRelease();
    CoUninitialize();
}

}  // namespace
