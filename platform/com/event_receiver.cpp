#include "event_receiver.h"

namespace {
bool IsCurrentApartmentMTA()
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return SUCCEEDED(CoGetApartmentType(&type, &qualifier)) && type == APTTYPE_MTA;
}
}  // namespace

bool AfxIsReceiverGone(HRESULT hr)
{
    // RPC_S_CALL_FAILED: the receiver's process ended while it ran the call.
    return hr == RPC_E_DISCONNECTED || hr == RPC_E_SERVER_DIED || hr == RPC_E_SERVER_DIED_DNE ||
           hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) || hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) ||
           hr == CO_E_OBJNOTCONNECTED;
}

CEventReceiver::~CEventReceiver()
{
    m_global.Revoke();
    ReleaseAtHome();
}

void CEventReceiver::ReleaseAtHome()
{
    if (IsAtHome())
        Detach();
}

HRESULT CEventReceiver::Attach(IUnknown* pUnk, REFIID iid)
{
    Detach();
    IUnknown* p = nullptr;
    if (FAILED(pUnk->QueryInterface(iid, reinterpret_cast<void**>(&p))) || p == nullptr)
        return E_NOINTERFACE;
    HRESULT hr = m_global.Register(p, iid);
    if (FAILED(hr)) {
        p->Release();
        return hr;
    }
    m_pHome = p;
    m_nHomeThreadID = GetCurrentThreadId();
    m_bHomeIsMTA = IsCurrentApartmentMTA();
    m_iid = iid;
    return S_OK;
}

HRESULT CEventReceiver::Invoke(DISPID dispid, VARIANT* rgArgs, UINT cArgs) const
{
    IDispatch* pReceiver = nullptr;
    HRESULT hr = m_global.Get(m_iid, reinterpret_cast<void**>(&pReceiver));
    if (FAILED(hr))
        return hr;
    DISPPARAMS params{rgArgs, nullptr, cArgs, 0};
    hr = pReceiver->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                           nullptr, nullptr);
    pReceiver->Release();
    return hr;
}

IUnknown* CEventReceiver::GetHomePointer() const
{
    IUnknown* pUnk = nullptr;
    if (m_pHome == nullptr || FAILED(m_pHome->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnk))))
        return nullptr;
    return pUnk;
}

void CEventReceiver::Detach()
{
    m_global.Revoke();
    if (m_pHome != nullptr)
        m_pHome->Release();
    m_pHome = nullptr;
}

bool CEventReceiver::IsAtHome() const
{
    return m_pHome != nullptr &&
           (GetCurrentThreadId() == m_nHomeThreadID || (m_bHomeIsMTA && IsCurrentApartmentMTA()));
}
