#include "event_source_probe.h"

BEGIN_INTERFACE_MAP(CEventSourceProbe, CCmdTarget)
    INTERFACE_PART(CEventSourceProbe, IID_IConnectionPointContainer, ConnPtContainer)
END_INTERFACE_MAP()

BEGIN_CONNECTION_MAP(CEventSourceProbe, CCmdTarget)
    CONNECTION_POINT(IID_IDispatch)
END_CONNECTION_MAP()

void CEventSourceProbe::Fire(long nValue)
{
    VARIANT arg;
    arg.vt = VT_I4;
    arg.lVal = nValue;
    m_xConnPtContainer.FireDispatch(IID_IDispatch, 1, &arg, 1);
}
