#include "counter.h"

#include <ole_app.h>

#include <climits>

IMPLEMENT_DYNCREATE(CCounter, CZKOwnThreadCmdTarget)
IMPLEMENT_OLECREATE(CCounter, "QDSAMPLE.COUNTER", CLSID_Counter)
IMPLEMENT_OLETYPELIB(CCounter, LIBID_QDSAMPLE, 1, 0)

// The DISPIDs are counter.idl's.
BEGIN_DISPATCH_MAP(CCounter, CZKOwnThreadCmdTarget)
    DISP_FUNCTION_ID(CCounter, "Add", 1, Add, VT_I4, VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION_ID(CCounter, "Echo", 2, Echo, VT_BSTR, VTS_BSTR)
    DISP_FUNCTION_ID(CCounter, "IsOwnThread", 3, IsOwnThread, VT_BOOL, VTS_NONE)
    DISP_PROPERTY_ID(CCounter, "Count", 4, m_nCount, VT_I4)
    DISP_PROPERTY_EX_ID(CCounter, "ThreadId", 5, GetThreadID, SetNotSupported, VT_I4)
    DISP_FUNCTION_ID(CCounter, "Sum", 6, Sum,
                     VT_I4, VTS_OPTIONAL_VARIANT VTS_OPTIONAL_VARIANT VTS_OPTIONAL_VARIANT)
END_DISPATCH_MAP()

// Asked for the dispatch interface's IID, the object answers with its IDispatch.
BEGIN_INTERFACE_MAP(CCounter, CCmdTarget)
    INTERFACE_PART(CCounter, DIID_ICounter, Dispatch)
END_INTERFACE_MAP()

CCounter::CCounter()
{
    EnableAutomation();  // first: the own thread marshals the object's IDispatch at once
    EnableOwnThread();
}

BOOL CCounter::GetDispatchIID(IID* pIID)
{
    *pIID = DIID_ICounter;
    return TRUE;
}

long CCounter::Add(const VARIANT& a, const VARIANT& b)
{
    // Numbers and numeric strings; anything else is a type mismatch of that argument.
    long long sum = static_cast<long long>(AfxChangeArgumentType(a, VT_I4, 0).lVal) +
                    AfxChangeArgumentType(b, VT_I4, 1).lVal;
    if (sum < LONG_MIN || sum > LONG_MAX)
        AfxThrowArgumentError(DISP_E_OVERFLOW, 1);
    ++m_nCount;
    return static_cast<long>(sum);
}

CComBSTR CCounter::Echo(const CComBSTR& s) { return s; }  // a copy: the caller frees its own

bool CCounter::IsOwnThread() { return IsOwnThreadEnabled() && GetCurrentThreadId() == m_nOwnThreadID; }

long CCounter::GetThreadID() { return static_cast<long>(GetCurrentThreadId()); }

long CCounter::Sum(const VARIANT& a, const VARIANT& b, const VARIANT& c)
{
    long long sum = 0;
    UINT nParam = 0;
    for (const VARIANT* p : {&a, &b, &c}) {
        if (!(p->vt == VT_ERROR && p->scode == DISP_E_PARAMNOTFOUND))  // missing: 0
            sum += AfxChangeArgumentType(*p, VT_I4, nParam).lVal;
        ++nParam;
    }
    if (sum < LONG_MIN || sum > LONG_MAX)
        AfxThrowArgumentError(DISP_E_OVERFLOW, 2);
    return static_cast<long>(sum);
}
