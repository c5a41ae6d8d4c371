#include "own_thread_engine.h"

#include "live_engines.h"
#include "own_thread_hand_out.h"
#include "own_thread_pool.h"
#include "own_thread_system_calls.h"

#include <ocidl.h>

#include <exceptions.h>
#include <interleaving_points.h>
#include <message_pump.h>
#include <ole_app.h>
#include <ole_object_factory.h>
#include <win_thread.h>

#include <objbase.h>

#include <algorithm>
#include <new>
#include <utility>

namespace {

// Whether this thread keeps a COM apartment from an earlier engine (own threads are reused).
thread_local bool t_bKeepsApartment = false;

DWORD CurrentThreadID() { return AfxGetThread()->m_nThreadID; }

}  // namespace

COwnThreadEngine::COwnThreadEngine()
    : m_bEnabled(FALSE),
      m_hrThread(E_PENDING),
      m_bStopThread(FALSE),
      m_bDisconnectOnStop(FALSE),
      m_bDisconnectRequested(FALSE),
      m_nCreatorThreadID(0),
      m_nOwnThreadID(0),
      m_finalReleaseWnd(this)
{
    m_nCreatorThreadID = CurrentThreadID();
    CLiveEngines::Instance().Add(this, m_nCreatorThreadID);
}

COwnThreadEngine::~COwnThreadEngine()
{
    m_finalReleaseWnd.DestroyWindow();
    if (m_bEnabled)
        StopOwnThread();
    CLiveEngines::Instance().Remove(this);
}

void COwnThreadEngine::DisconnectFromClients()
{
    if (m_bEnabled) {
        m_bDisconnectRequested = TRUE;
        SetThreadEvent();
        return;
    }
    // The stub lives in this apartment. Its references go at once, and with them, usually, the
    // object: a call that runs holds one of its own until it returns.
    DisconnectObjectAndPoints();
}

void COwnThreadEngine::DisconnectObjectAndPoints()
{
    // A connection point is an identity of its own, counted on the object: a client that keeps one
    // (to unadvise later) would keep the object past the end through the point's stub.
    LPDISPATCH pDispatch = GetIDispatch(FALSE);
    IConnectionPointContainer* pContainer = nullptr;
    IEnumConnectionPoints* pPoints = nullptr;
    if (SUCCEEDED(pDispatch->QueryInterface(IID_PPV_ARGS(&pContainer))) &&
        SUCCEEDED(pContainer->EnumConnectionPoints(&pPoints))) {
        IConnectionPoint* pPoint = nullptr;
        while (pPoints->Next(1, &pPoint, nullptr) == S_OK) {
            CoDisconnectObject(pPoint, 0);
            pPoint->Release();
        }
        pPoints->Release();
    }
    CoDisconnectObject(pDispatch, 0);
    if (pContainer != nullptr)
        pContainer->Release();  // may be the final release: touch nothing after it
}

void COwnThreadEngine::AskAllToDisconnect()
{
    const DWORD nThreadID = CurrentThreadID();
    // Disconnecting may delete an object at once, so the list is asked anew for each.
    while (COwnThreadEngine* pEngine = CLiveEngines::Instance().TakeNext(nThreadID))
        pEngine->DisconnectFromClients();
}

BOOL COwnThreadEngine::DisconnectAll(DWORD dwTimeoutMs)
{
    const DWORD nThreadID = CurrentThreadID();
    CLiveEngines& engines = CLiveEngines::Instance();
    AskAllToDisconnect();
    QD_INTERLEAVING_POINT(kPointDisconnectsAsked);

    // The final releases of own-thread objects arrive here as posted messages.
    if (AfxPumpMessagesUntil(nullptr, dwTimeoutMs, [&] { return engines.CountOf(nThreadID) == 0; }))
        return TRUE;
    // Said on the debugger output: which objects kept the end waiting, and where they stood.
    for (COwnThreadEngine* pEngine : engines.Of(nThreadID)) {
        char szLine[160];
        wsprintfA(szLine, "QD end: an object did not go: count %ld, own thread %lu, %s\n",
                  static_cast<long>(pEngine->OwnerRefCount()), static_cast<unsigned long>(pEngine->m_nOwnThreadID.load()),
                  pEngine->m_bEnabled ? "on its own thread" : "on its creating thread");
        OutputDebugStringA(szLine);
    }
    return FALSE;
}

BOOL COwnThreadEngine::EnableOwnThread()
{
    if (m_finalReleaseWnd.GetSafeHwnd() == nullptr)
        return m_bEnabled;
    if (m_hThreadStarted)
        return m_bEnabled;  // called before: one own thread per object
    // What the own thread marshals is taken in this thread's apartment; without one, nothing here
    // could take it, and the object stays on this thread.
    APTTYPE aptType;
    APTTYPEQUALIFIER aptQualifier;
    if (FAILED(CoGetApartmentType(&aptType, &aptQualifier)))
        return m_bEnabled;
    m_hThreadStarted.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    m_hThreadEnded.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!m_hThreadStarted || !m_hThreadEnded)
        return m_bEnabled;
    // The client's packet is made for the interface the creation asked for: COM writes the same
    // interface into the reply.
    m_iidCreation = COleObjectFactory::GetCreationIID();

    // The own thread's marshal gives up the reference the object was created with, and from then on
    // the stub's references keep it. Until the start-up is settled this reference stands in for it,
    // so that no release made elsewhere (a stub letting go after a failure) can reach zero while the
    // object is still being constructed.
    LPDISPATCH pDispatch = GetIDispatch(TRUE);
    if (!COwnThreadPool::Instance().Start(this)) {
        if (pDispatch != nullptr)
            pDispatch->Release();
        return m_bEnabled;  // no thread at all: the object runs on the creating thread
    }
    // A shared thread starts this object once it is done with the call it may be running, which may
    // take seconds: the creating thread's windows and the calls into its apartment are served
    // meanwhile, as in its own loop. Nothing reaches this object before its creation returns, and
    // an end that starts meanwhile passes it by. Once the server ends, a thread still in its call
    // may stay in it (a client that does not return from an event): the object then gives up its
    // own thread and stays on this one, and the end does not wait for that call through it.
    CLiveEngines::Instance().SetStarting(this, true);
    QD_INTERLEAVING_POINT(kPointStartWait);
    AfxPumpMessagesUntil(m_hThreadStarted.Get(), INFINITE, [this] {
        return AfxOleIsServerStopping() && COwnThreadPool::Instance().CancelStart(this);
    });
    CLiveEngines::Instance().SetStarting(this, false);

    if (m_hrThread != S_OK) {
        if (pDispatch != nullptr)
            pDispatch->Release();
        StopOwnThread();  // the thread must be done with this engine before the engine can go away
        return m_bEnabled;
    }
    m_pHandOut = new (std::nothrow) COwnThreadHandOut(std::move(m_forClient), std::move(m_forProxy));
    if (m_pHandOut != nullptr) {
        m_bEnabled = TRUE;
        if (pDispatch != nullptr)
            pDispatch->Release();  // the marshal took the creation reference, as intended
        return m_bEnabled;
    }
    // Marshaled but nothing to hand it out with: the stub would hold the object for ever. The own
    // thread disconnects the object in its apartment, which drops whatever the stub holds and
    // nothing more. The reference taken above now is the creation reference the marshal gave up.
    m_bDisconnectOnStop = TRUE;
    StopOwnThread();
    return m_bEnabled;
}

BOOL COwnThreadEngine::SetThreadEvent() { return COwnThreadPool::Instance().Wake(this); }

void COwnThreadEngine::StopOwnThread() { COwnThreadPool::Instance().Stop(this); }

BOOL COwnThreadEngine::IsOwnThreadShared() const
{
    return m_bEnabled && COwnThreadPool::Instance().GetEngineCount(m_nOwnThreadID) > 1;
}

void COwnThreadEngine::WaitAnsweringSentMessages(HANDLE hEvent)
{
    for (;;) {
        DWORD dwResult = MsgWaitForMultipleObjects(1, &hEvent, FALSE, INFINITE, QS_SENDMESSAGE);
        if (dwResult == WAIT_OBJECT_0)
            return;
        if (dwResult != WAIT_OBJECT_0 + 1) {
            WaitForSingleObject(hEvent, INFINITE);
            return;
        }
        // Dispatches the messages sent to this thread, and nothing posted.
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

BOOL COwnThreadEngine::DeferFinalRelease()
{
    if (CurrentThreadID() == m_nCreatorThreadID)
        return FALSE;
    // Usually the own thread; but COM may drop a stub's last reference on a thread of its own (Wine
    // does, for a release that its RPC thread takes in while the end disconnects). Posted from any
    // thread, the deletion reaches the creating thread: not posted, the object would never go.
    if (m_finalReleaseWnd.GetSafeHwnd() != nullptr) {
        PostMessageA(m_finalReleaseWnd.GetSafeHwnd(), WM_OWNTHREAD_FINALRELEASE, 0, 0);
        QD_INTERLEAVING_POINT(kPointFinalReleasePosted);
    }
    return TRUE;
}

LPUNKNOWN COwnThreadEngine::GetOwnThreadInterface(const void* piid, const IID* piidDispatch)
{
    // The thread is tested first so that m_bEnabled and m_pHandOut are only read where they are written.
    if (CurrentThreadID() != m_nCreatorThreadID || !m_bEnabled || m_pHandOut == nullptr || piid == nullptr)
        return nullptr;
    const IID& iid = *static_cast<const IID*>(piid);
    LPUNKNOWN pAnswer = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        (piidDispatch != nullptr && IsEqualIID(iid, *piidDispatch))) {
        pAnswer = static_cast<IDispatch*>(m_pHandOut);
        pAnswer->AddRef();
    } else if (FAILED(m_pHandOut->QueryInterface(iid, reinterpret_cast<void**>(&pAnswer)))) {
        // The object has no such interface. Where nothing was handed out yet, nothing will be: the
        // creator's release that follows must then delete the object, which the stub's references
        // would keep for ever. The creator's reference becomes one of the object's own, and the
        // hand-out goes, and with it the stub.
        if (!m_bHandedOut) {
            m_bHandedOut = TRUE;
            InterlockedIncrement(&OwnerRefCount());
            std::exchange(m_pHandOut, nullptr)->Release();
        }
        return nullptr;
    }
    if (!m_bHandedOut) {
        // The first answer takes over the hand-out's own reference, and the reference that the
        // framework adds to the object for it balances the creation reference (the marshal gave
        // that one to the stub), as a class factory's single request needs.
        m_bHandedOut = TRUE;
        m_pHandOut->Release();
    } else {
        // Every later answer already carries its reference, on the hand-out: the one the framework
        // is about to add to the object would never be given back. Taken beforehand, without a final
        // release: the hand-out keeps the stub, and so the object, alive meanwhile.
        InterlockedDecrement(&OwnerRefCount());
    }
    return pAnswer;
}

void COwnThreadEngine::StartOnOwnThread()
{
    const COwnThreadSystemCalls& sys = COwnThreadSystemCalls::Current();
    m_nOwnThreadID = CurrentThreadID();
    HRESULT hrInit = sys.pfnCoInitialize(nullptr);
    // The thread keeps the apartment of its first engine for every later one: there the call nests
    // (S_FALSE), which is success, and the nesting is undone at once.
    m_hrThread = hrInit == S_FALSE && t_bKeepsApartment ? S_OK : hrInit;
    if (SUCCEEDED(hrInit)) {
        if (t_bKeepsApartment)
            sys.pfnCoUninitialize();
        else
            t_bKeepsApartment = true;
    }
    if (m_hrThread == S_OK)
        m_hrThread = MarshalForCreatingThread();
    SetEvent(m_hThreadStarted.Get());
}

HRESULT COwnThreadEngine::MarshalForCreatingThread()
{
    LPDISPATCH pDispatch = GetIDispatch(FALSE);
    HRESULT hr = m_forClient.Marshal(pDispatch, m_iidCreation, MSHCTX_LOCAL);
    if (hr == S_OK) {
        hr = m_forProxy.Marshal(pDispatch, IID_IDispatch, MSHCTX_INPROC);
        if (hr != S_OK)
            m_forClient.Discard();
    }
    if (hr == S_OK)
        pDispatch->Release();  // from now on the stub's references keep the object
    return hr;
}

void COwnThreadEngine::LeaveOwnThread()
{
    if (m_bDisconnectOnStop)  // written before the stop request, read after it was seen
        CoDisconnectObject(GetIDispatch(FALSE), 0);
}

void COwnThreadEngine::LeaveApartmentOfThisThread()
{
    if (t_bKeepsApartment) {
        t_bKeepsApartment = false;
        COwnThreadSystemCalls::Current().pfnCoUninitialize();
    }
}

void COwnThreadEngine::RunThreadEventHook()
{
    QD_INTERLEAVING_POINT(kPointEventHook);
    if (m_bDisconnectRequested.exchange(FALSE)) {
        // The server ends: calls that come later fail at once. The stub's references go, and the
        // final release travels to the creating thread as usual. An object whose count already
        // reached zero has no client left, and its release is on its way: touching it (the
        // disconnect asks it for its identity) would post a second one.
        if (OwnerRefCount() != 0)
            DisconnectObjectAndPoints();
        return;
    }
    try {
        OnThreadEvent();
    } catch (...) {
        // The hook's failure must not take the thread, and with it its objects, down.
        AfxTraceEscapedException("OnThreadEvent");
    }
}
