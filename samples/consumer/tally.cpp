#include "tally.h"

#include <exceptions.h>

#include <climits>

IMPLEMENT_DYNCREATE(CTally, CZKOwnThreadCmdTarget)
IMPLEMENT_OLECREATE(CTally, "QDTALLY.TALLY", CLSID_Tally)
IMPLEMENT_OLETYPELIB(CTally, LIBID_QDTALLY, 1, 0)

BEGIN_DISPATCH_MAP(CTally, CZKOwnThreadCmdTarget)
    DISP_PROPERTY_ID(CTally, "Total", 1, m_nTotal, VT_I4)
    DISP_FUNCTION_ID(CTally, "Add", 2, Add, VT_I4, VTS_I4)
    DISP_PROPERTY_EX_ID(CTally, "OnChanged", 3, GetNotSupported, SetOnChanged, VT_DISPATCH)
    DISP_FUNCTION_ID(CTally, "Reset", 4, Reset, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

BEGIN_INTERFACE_MAP(CTally, CCmdTarget)
    INTERFACE_PART(CTally, DIID_ITally, Dispatch)
    INTERFACE_PART(CTally, IID_IConnectionPointContainer, ConnPtContainer)
END_INTERFACE_MAP()

BEGIN_CONNECTION_MAP(CTally, CZKOwnThreadCmdTarget)
    CONNECTION_POINT(DIID_ITallyEvents)
END_CONNECTION_MAP()

// The server runs while objects live: the class factory's lock, held by each object it creates.
CTally::CTally()
{
    EnableAutomation();  // first: the own thread marshals the object's IDispatch at once
    EnableOwnThread();
}

BOOL CTally::GetDispatchIID(IID* pIID)
{
    *pIID = DIID_ITally;
    return TRUE;
}

long CTally::Add(long n)
{
    long long total = static_cast<long long>(m_nTotal) + n;
    if (total < LONG_MIN || total > LONG_MAX)
        AfxThrowArgumentError(DISP_E_OVERFLOW, 0);
    m_nTotal = static_cast<long>(total);
    VARIANT arg;
    arg.vt = VT_I4;
    arg.lVal = m_nTotal;
    m_xConnPtContainer.FireDispatch(DIID_ITallyEvents, 1, &arg, 1);
    // A callback whose client is gone is dropped, as the connection point drops such a sink.
    if (m_onChanged.IsAttached() && AfxIsReceiverGone(m_onChanged.Invoke(DISPID_VALUE, &arg, 1)))
        m_onChanged.Detach();
    return m_nTotal;
}

void CTally::SetOnChanged(IDispatch* pCallback)
{
    if (pCallback == nullptr) {
        m_onChanged.Detach();
        return;
    }
    HRESULT hr = m_onChanged.Attach(pCallback, IID_IDispatch);
    if (FAILED(hr))
        AfxThrowOleException(hr);
}
