#include "tally.h"

#include <exceptions.h>

#include <climits>

IMPLEMENT_DYNCREATE(CTally, CZKOwnThreadCmdTarget)
IMPLEMENT_OLECREATE(CTally, "QDTALLY.TALLY", CLSID_Tally)

STDMETHODIMP CTally::get_Total(long* pnTotal)
{
    *pnTotal = m_nTotal;
    return S_OK;
}

STDMETHODIMP CTally::put_Total(long nTotal)
{
    m_nTotal = nTotal;
    return S_OK;
}

STDMETHODIMP CTally::Add(long n, long* pnTotal)
{
    return Try([&] {
        long long total = static_cast<long long>(m_nTotal) + n;
        if (total < LONG_MIN || total > LONG_MAX)
            AfxThrowOleException(DISP_E_OVERFLOW);
        *pnTotal = m_nTotal = static_cast<long>(total);
        FireEvent(1, m_nTotal);  // ITallyEvents::Changed
        m_onChanged.Call(m_nTotal);
    });
}

STDMETHODIMP CTally::put_OnChanged(IDispatch* pCallback)
{
    return Try([&] { m_onChanged.Set(pCallback); });
}

STDMETHODIMP CTally::Reset()
{
    m_nTotal = 0;
    return S_OK;
}
