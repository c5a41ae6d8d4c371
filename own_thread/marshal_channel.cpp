#include "marshal_channel.h"

#include "own_thread_system_calls.h"

#include <objbase.h>

CMarshalChannel::CMarshalChannel() : m_hFreeEvent(CreateEventA(nullptr, FALSE, TRUE, nullptr))
{
    // The stream comes with the one reference the channel keeps (MinGW's ComPtr::Attach would add a
    // second, and every object would leak its stream). What a failed creation leaves in the out
    // parameter is not a stream: it is forgotten, not released.
    if (COwnThreadSystemCalls::Current().pfnCreateStreamOnHGlobal(nullptr, TRUE, m_pStream.GetAddressOf()) != S_OK)
        m_pStream.Detach();
}

CMarshalChannel::~CMarshalChannel() = default;

HRESULT CMarshalChannel::Rewind()
{
    LARGE_INTEGER zero{};
    return m_pStream->Seek(zero, STREAM_SEEK_SET, nullptr);
}

HRESULT CMarshalChannel::MarshalInterface(LPUNKNOWN pUnk)
{
    WaitForSingleObject(m_hFreeEvent.Get(), INFINITE);
    HRESULT hr = Rewind();
    if (hr != S_OK)
        return hr;  // the channel stays taken: nothing may be unmarshaled from it
    hr = COwnThreadSystemCalls::Current().pfnCoMarshalInterface(m_pStream.Get(), IID_IDispatch, pUnk,
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
            m_pStream.Get(), IID_IDispatch, reinterpret_cast<LPVOID*>(ppDisp));
    SetEvent(m_hFreeEvent.Get());
    return hr;
}
