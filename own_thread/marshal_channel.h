// Hands one IDispatch from the apartment that owns it to another apartment of the process: the
// owner marshals it into a stream on global memory, the other side unmarshals a proxy from it. An
// auto-reset event orders the two: a marshal takes the channel, an unmarshal gives it back.
#pragma once
#include <unique_handle.h>

#include <windows.h>
#include <objidl.h>
#include <oaidl.h>
#include <wrl/client.h>

class CMarshalChannel {
public:
    CMarshalChannel();
    virtual ~CMarshalChannel();

    CMarshalChannel(const CMarshalChannel&) = delete;
    CMarshalChannel& operator=(const CMarshalChannel&) = delete;

    BOOL IsValid() const { return m_pStream != nullptr; }

    // On the thread whose apartment owns pUnk. Waits until the channel is free and takes it. A
    // successful marshal consumes one reference to pUnk.
    HRESULT MarshalInterface(LPUNKNOWN pUnk);
    // On the thread that is to use the proxy. Never blocks; frees the channel whatever happens. The
    // proxy comes with the one reference that the unmarshal gives.
    HRESULT UnmarshalInterface(LPDISPATCH* ppDisp);

private:
    HRESULT Rewind();

    Microsoft::WRL::ComPtr<IStream> m_pStream;  // NULL when it could not be created
    CUniqueHandle m_hFreeEvent;                 // signaled: the channel is free
};
