// A client that dies during an event: it advises a sink to a new QDSERVER.DEMO object and calls
// "Test"; inside Progress(3) it signals the named event given as its argument and blocks, until the
// test kills it.
#include "event_sink.h"

#include <objbase.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    CoInitialize(nullptr);
    CLSID clsid;
    IDispatch* pObject = nullptr;
    if (FAILED(CLSIDFromProgID(L"QDSERVER.DEMO", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&pObject))))
        return 3;
    EventSink* pSink = EventSink::Create();
    HANDLE hInProgress = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[1]);
    pSink->SetProgressHook([hInProgress](long nStep) {
        if (nStep == 3) {
            SetEvent(hInProgress);
            Sleep(INFINITE);
        }
    });
    if (FAILED(pSink->Advise(pObject)))
        return 4;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    // The test kills this client inside the call; should it come back, the exit code says how.
    return FAILED(pObject->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr)) ? 5 : 0;
}
