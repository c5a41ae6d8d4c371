#include "event_sink.h"

#include "now_ms.h"

// {7C4E2D91-5A3B-4F6E-8D12-3B9A6E0F4C21}
const IID kDemoEventsIid = {0x7c4e2d91, 0x5a3b, 0x4f6e, {0x8d, 0x12, 0x3b, 0x9a, 0x6e, 0x0f, 0x4c, 0x21}};

EventSink::~EventSink()
{
    if (m_pPoint)
        m_pPoint->Release();
}

HRESULT EventSink::Advise(IDispatch* pObject)
{
    IConnectionPointContainer* pContainer = nullptr;
    HRESULT hr = pObject->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&pContainer));
    if (FAILED(hr))
        return hr;
    hr = pContainer->FindConnectionPoint(kDemoEventsIid, &m_pPoint);
    pContainer->Release();
    return SUCCEEDED(hr) ? m_pPoint->Advise(this, &m_dwCookie) : hr;
}

HRESULT EventSink::Unadvise()
{
    if (m_pPoint == nullptr)
        return E_UNEXPECTED;
    HRESULT hr = m_pPoint->Unadvise(m_dwCookie);
    m_pPoint->Release();
    m_pPoint = nullptr;
    return hr;
}

std::vector<EventSink::Event> EventSink::Events() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_events;
}

std::vector<EventSink::Event> EventSink::CallOf(long nSteps)
{
    std::vector<Event> events;
    for (long i = 1; i <= nSteps; ++i)
        events.push_back({1, i, 0, 0});
    events.push_back({2, nSteps, 0, 0});
    return events;
}

STDMETHODIMP EventSink::QueryInterface(REFIID riid, void** ppv)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, kDemoEventsIid)) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) EventSink::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_nRef)); }

std::vector<DWORD> EventSink::ReleaseThreads() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_releaseThreads;
}

STDMETHODIMP_(ULONG) EventSink::Release()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_releaseThreads.push_back(GetCurrentThreadId());
    }
    LONG n = InterlockedDecrement(&m_nRef);
    if (n == 0)
        delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP EventSink::GetTypeInfoCount(UINT* pctinfo)
{
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo)
{
    *ppTInfo = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP EventSink::Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*, EXCEPINFO*, UINT*)
{
    if ((dispid != 1 && dispid != 2) || pParams == nullptr || pParams->cArgs != 1 || pParams->rgvarg[0].vt != VT_I4)
        return DISP_E_MEMBERNOTFOUND;
    long value = pParams->rgvarg[0].lVal;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_events.push_back({dispid, value, GetCurrentThreadId(), NowMs()});
    }
    if (dispid == 1 && m_hook)
        m_hook(value);
    return m_answer;
}
