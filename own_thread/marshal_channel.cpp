#include "marshal_channel.h"

#include "own_thread_system_calls.h"

#include <objbase.h>

CMarshalChannel::CMarshalChannel() : m_pStream(nullptr), m_hFreeEvent(nullptr)
{
    m_hFreeEvent = CreateEventA(nullptr, FALSE, TRUE, nullptr);
    if (COwnThreadSystemCalls::Current().pfnCreateStreamOnHGlobal(nullptr, TRUE, &m_pStream) != S_OK)
        m_pStream = nullptr;
}

CMarshalChannel::~CMarshalChannel()
{
    if (m_pStream != nullptr)
        m_pStream->Release();
    if (m_hFreeEvent != nullptr)
        CloseHandle(m_hFreeEvent);
}

HRESULT CMarshalChannel::Rewind()
{
    LARGE_INTEGER zero{};
    return m_pStream->Seek(zero, STREAM_SEEK_SET, nullptr);
}

HRESULT CMarshalChannel::MarshalInterface(LPUNKNOWN pUnk)
{
    WaitForSingleObject(m_hFreeEvent, INFINITE);
    HRESULT hr = Rewind();
    if (hr != S_OK)
        return hr;  // the channel stays taken: nothing may be unmarshaled from it
    hr = COwnThreadSystemCalls::Current().pfnCoMarshalInterface(m_pStream, IID_IDispatch, pUnk,
                                                                MSHCTX_INPROC, nullptr,
                                                                MSHLFLAGS_NORMAL);
    if (hr == S_OK)
        pUnk->Release();  // from now on the stub's references keep the object
    return hr;
}

HRESULT CMarshalChannel::UnmarshalInterface(LPDISPATCH* ppDisp)
{
    HRESULT hr = Rewind();
    if (hr == S_OK)
        hr = COwnThreadSystemCalls::Current().pfnCoUnmarshalInterface(
            m_pStream, IID_IDispatch, reinterpret_cast<LPVOID*>(ppDisp));
    SetEvent(m_hFreeEvent);
    return hr;
}

HRESULT CMarshalChannel::ReleaseMarshalData()
{
    HRESULT hr = Rewind();
    if (hr == S_OK)
        hr = CoReleaseMarshalData(m_pStream);
    return hr;
}
