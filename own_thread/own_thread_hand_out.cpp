#include "own_thread_hand_out.h"

#include <utility>

COwnThreadHandOut::COwnThreadHandOut(CMarshalPacket forClient, CMarshalPacket forProxy)
    : m_forClient(std::move(forClient)), m_forProxy(std::move(forProxy))
{
}

COwnThreadHandOut::~COwnThreadHandOut()
{
    // The packets' references go back directly, on this thread, and first: while a proxy still holds
    // the object, the last of them cannot be its final release. The proxy's release is a call into
    // the own thread's apartment, where the final release then belongs.
    m_forClient.Discard();
    m_forProxy.Discard();
    if (m_pProxy != nullptr)
        m_pProxy->Release();
}

STDMETHODIMP COwnThreadHandOut::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
        *ppv = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(riid, IID_IMarshal)) {
        *ppv = static_cast<IMarshal*>(this);
    } else {
        IDispatch* pProxy = nullptr;
        HRESULT hr = GetProxy(&pProxy);
        return FAILED(hr) ? hr : pProxy->QueryInterface(riid, ppv);
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) COwnThreadHandOut::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }

STDMETHODIMP_(ULONG) COwnThreadHandOut::Release()
{
    LONG cRef = InterlockedDecrement(&m_cRef);
    if (cRef == 0)
        delete this;
    return static_cast<ULONG>(cRef);
}

HRESULT COwnThreadHandOut::GetProxy(IDispatch** ppProxy)
{
    if (m_pProxy == nullptr && !m_forProxy.IsEmpty())
        m_hrProxy = m_forProxy.Unmarshal(IID_IDispatch, reinterpret_cast<void**>(&m_pProxy));
    *ppProxy = m_pProxy;
    if (m_pProxy != nullptr)
        return S_OK;
    return FAILED(m_hrProxy) ? m_hrProxy : CO_E_OBJNOTCONNECTED;
}

HRESULT COwnThreadHandOut::GetProxyMarshal(IMarshal** ppMarshal)
{
    *ppMarshal = nullptr;
    IDispatch* pProxy = nullptr;
    HRESULT hr = GetProxy(&pProxy);
    return FAILED(hr) ? hr : pProxy->QueryInterface(IID_IMarshal, reinterpret_cast<void**>(ppMarshal));
}

STDMETHODIMP COwnThreadHandOut::GetTypeInfoCount(UINT* pctinfo)
{
    IDispatch* pProxy = nullptr;
    HRESULT hr = GetProxy(&pProxy);
    return FAILED(hr) ? hr : pProxy->GetTypeInfoCount(pctinfo);
}

STDMETHODIMP COwnThreadHandOut::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo)
{
    IDispatch* pProxy = nullptr;
    HRESULT hr = GetProxy(&pProxy);
    return FAILED(hr) ? hr : pProxy->GetTypeInfo(iTInfo, lcid, ppTInfo);
}

STDMETHODIMP COwnThreadHandOut::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                              DISPID* rgDispId)
{
    IDispatch* pProxy = nullptr;
    HRESULT hr = GetProxy(&pProxy);
    return FAILED(hr) ? hr : pProxy->GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
}

STDMETHODIMP COwnThreadHandOut::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                       DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                       UINT* puArgErr)
{
    IDispatch* pProxy = nullptr;
    HRESULT hr = GetProxy(&pProxy);
    return FAILED(hr) ? hr
                      : pProxy->Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr);
}

// The three calls of one marshal ask the same question of the same packet: the packet changes only
// when the third writes it.
STDMETHODIMP COwnThreadHandOut::GetUnmarshalClass(REFIID riid, void* pv, DWORD dwDestContext, void* pvDestContext,
                                                  DWORD mshlflags, CLSID* pCid)
{
    if (pCid == nullptr)
        return E_POINTER;
    if (m_forClient.CanStandFor(riid, dwDestContext, mshlflags)) {
        *pCid = CLSID_StdMarshal;
        return S_OK;
    }
    IMarshal* pMarshal = nullptr;
    HRESULT hr = GetProxyMarshal(&pMarshal);
    if (FAILED(hr))
        return hr;
    hr = pMarshal->GetUnmarshalClass(riid, pv, dwDestContext, pvDestContext, mshlflags, pCid);
    pMarshal->Release();
    return hr;
}

STDMETHODIMP COwnThreadHandOut::GetMarshalSizeMax(REFIID riid, void* pv, DWORD dwDestContext, void* pvDestContext,
                                                  DWORD mshlflags, DWORD* pSize)
{
    if (pSize == nullptr)
        return E_POINTER;
    if (m_forClient.CanStandFor(riid, dwDestContext, mshlflags)) {
        *pSize = m_forClient.GetSize();
        return S_OK;
    }
    IMarshal* pMarshal = nullptr;
    HRESULT hr = GetProxyMarshal(&pMarshal);
    if (FAILED(hr))
        return hr;
    hr = pMarshal->GetMarshalSizeMax(riid, pv, dwDestContext, pvDestContext, mshlflags, pSize);
    pMarshal->Release();
    return hr;
}

STDMETHODIMP COwnThreadHandOut::MarshalInterface(IStream* pStm, REFIID riid, void* pv, DWORD dwDestContext,
                                                 void* pvDestContext, DWORD mshlflags)
{
    if (pStm == nullptr)
        return E_POINTER;
    if (m_forClient.CanStandFor(riid, dwDestContext, mshlflags))
        return m_forClient.WriteTo(pStm);
    IMarshal* pMarshal = nullptr;
    HRESULT hr = GetProxyMarshal(&pMarshal);
    if (FAILED(hr))
        return hr;
    hr = pMarshal->MarshalInterface(pStm, riid, pv, dwDestContext, pvDestContext, mshlflags);
    pMarshal->Release();
    return hr;
}

// What was written is unmarshaled and released by the standard marshaler, never by this one.
STDMETHODIMP COwnThreadHandOut::UnmarshalInterface(IStream*, REFIID, void** ppv)
{
    if (ppv != nullptr)
        *ppv = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COwnThreadHandOut::ReleaseMarshalData(IStream*) { return E_NOTIMPL; }

STDMETHODIMP COwnThreadHandOut::DisconnectObject(DWORD) { return S_OK; }
