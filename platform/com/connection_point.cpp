#include "connection_point.h"

#include "cmd_target.h"
#include "com_enum.h"

#include <interleaving_points.h>

#include <algorithm>

CConnectionPoint::CConnectionPoint(CCmdTarget* pOwner, IConnectionPointContainer* pContainer, REFIID iid)
    : m_pOwner(pOwner), m_pContainer(pContainer), m_iid(iid)
{
}

CConnectionPoint::~CConnectionPoint() = default;

STDMETHODIMP CConnectionPoint::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CConnectionPoint::AddRef() { return m_pOwner->ExternalAddRef(); }

STDMETHODIMP_(ULONG) CConnectionPoint::Release() { return m_pOwner->ExternalRelease(); }

STDMETHODIMP CConnectionPoint::GetConnectionInterface(IID* pIID)
{
    if (pIID == nullptr)
        return E_POINTER;
    *pIID = m_iid;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC)
{
    if (ppCPC == nullptr)
        return E_POINTER;
    *ppCPC = m_pContainer;
    m_pContainer->AddRef();
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie)
{
    if (pdwCookie == nullptr)
        return E_POINTER;
    *pdwCookie = 0;
    if (pUnkSink == nullptr)
        return E_POINTER;
    GiveBackRetiredAtHome();
    auto pSink = std::make_shared<CEventReceiver>(nullptr);
    HRESULT hr = pSink->Attach(pUnkSink, m_iid);
    if (hr == E_NOINTERFACE)
        return CONNECT_E_CANNOTCONNECT;
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::mutex> lock(m_lock);
    *pdwCookie = m_dwNextCookie++;
    m_connections.push_back({*pdwCookie, std::move(pSink)});
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Unadvise(DWORD dwCookie)
{
    GiveBackRetiredAtHome();
    return Drop(dwCookie) ? S_OK : CONNECT_E_NOCONNECTION;
}

BOOL CConnectionPoint::Drop(DWORD dwCookie)
{
    Connection gone{};
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto it = std::find_if(m_connections.begin(), m_connections.end(),
                               [dwCookie](const Connection& c) { return c.dwCookie == dwCookie; });
        if (it == m_connections.end())
            return FALSE;
        gone = std::move(*it);
        m_connections.erase(it);
        if (!gone.pSink->IsAtHome()) {
            // Its reference belongs to its home apartment: released here it would be released on
            // the wrong thread (a proxy's release is a call). Its home gives it back.
            m_retired.push_back(std::move(gone.pSink));
            return TRUE;
        }
    }
    // Outside the lock: a proxy's release is a call out of the process. A Fire in progress may
    // still hold the receiver; its table entry goes with the last holder.
    gone.pSink->Detach();
    return TRUE;
}

void CConnectionPoint::GiveBackRetiredAtHome()
{
    std::vector<std::shared_ptr<CEventReceiver>> atHome;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        auto it = std::stable_partition(m_retired.begin(), m_retired.end(),
                                        [](const std::shared_ptr<CEventReceiver>& p) { return !p->IsAtHome(); });
        atHome.assign(std::make_move_iterator(it), std::make_move_iterator(m_retired.end()));
        m_retired.erase(it, m_retired.end());
    }
    for (auto& pSink : atHome)
        pSink->Detach();
}

STDMETHODIMP CConnectionPoint::EnumConnections(IEnumConnections** ppEnum)
{
    if (ppEnum == nullptr)
        return E_POINTER;
    *ppEnum = nullptr;
    GiveBackRetiredAtHome();
    std::vector<CONNECTDATA> items;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const Connection& c : m_connections)
            if (IUnknown* pUnk = c.pSink->GetHomePointer())
                items.push_back({pUnk, c.dwCookie});
    }
    return CEnumConnections::Create(std::move(items), ppEnum);
}

void CConnectionPoint::FireDispatch(DISPID dispid, VARIANT* rgArgs, UINT cArgs)
{
    GiveBackRetiredAtHome();
    // A snapshot: sinks advised or unadvised during the calls take effect from the next event.
    std::vector<Connection> sinks;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        sinks = m_connections;
    }
    for (const Connection& c : sinks)
        if (AfxIsReceiverGone(c.pSink->Invoke(dispid, rgArgs, cArgs))) {
            QD_INTERLEAVING_POINT(kPointDroppingGoneSink);
            Drop(c.dwCookie);  // already gone if the sink unadvised itself
        }
}

std::vector<CConnectionPoint::Connection> CConnectionPoint::TakeConnections()
{
    std::vector<Connection> taken;
    std::lock_guard<std::mutex> lock(m_lock);
    taken.swap(m_connections);
    for (auto& pSink : m_retired)
        taken.push_back({0, std::move(pSink)});
    m_retired.clear();
    return taken;
}

void CConnectionPoint::ReleaseConnections()
{
    for (Connection& c : TakeConnections())
        c.pSink->ReleaseAtHome();
}
