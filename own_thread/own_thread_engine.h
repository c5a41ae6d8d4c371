// Gives a COM automation object a worker thread of its own (its own thread) with a COM apartment of
// its own; past the process's cap of own threads it shares one with other objects (COwnThreadPool).
// The own thread marshals the object at its start; the creating thread hands out what leads there
// (COwnThreadHandOut) for every interface request made there, so that calls run on the own thread. A final
// release on the own thread is sent back to the creating thread through a hidden window, and the
// destructor, always on the creating thread, lets the own thread go.
#pragma once
#include "marshal_packet.h"
#include "own_thread_final_release_wnd.h"
#include "own_thread_pool.h"

#include <unique_handle.h>

#include <atomic>

class COwnThreadHandOut;

class COwnThreadEngine {
public:
    COwnThreadEngine();
    virtual ~COwnThreadEngine();

    COwnThreadEngine(const COwnThreadEngine&) = delete;
    COwnThreadEngine& operator=(const COwnThreadEngine&) = delete;

    // The owning object's final release; the hidden window calls it after a deferral.
    virtual void OnFinalRelease() = 0;
    // The owning object's own IDispatch.
    virtual LPDISPATCH GetIDispatch(BOOL bAddRef) = 0;
    // The owning object's reference count, which the interface hook keeps balanced.
    virtual volatile LONG& OwnerRefCount() = 0;
    // On the own thread, after SetThreadEvent, unless a stop is requested first.
    virtual void OnThreadEvent() {}

    // On the creating thread, at most once, from the most derived constructor after automation is
    // enabled. FALSE: the object runs its calls on the creating thread.
    BOOL EnableOwnThread();
    BOOL IsOwnThreadEnabled() const { return m_bEnabled; }
    // Asks the own thread to run OnThreadEvent (or to let the engine go once m_bStopThread is set).
    BOOL SetThreadEvent();
    // From the owning object's final release. TRUE: the object must not be deleted now; its deletion
    // was posted to the creating thread.
    BOOL DeferFinalRelease();
    // From the owning object's interface hook, on the creating thread: IUnknown, IDispatch and the
    // class's dispatch interface (piidDispatch, may be NULL) get the hand-out, any other interface
    // is asked of it, that is of the object on its own thread. Every pointer carries a reference of
    // its own. NULL elsewhere, or when the object has no such interface.
    // Requests are made by holders of the creation reference, as a class factory is.
    LPUNKNOWN GetOwnThreadInterface(const void* piid, const IID* piidDispatch = nullptr);

    // Whether the own thread serves other objects too (past the cap of own threads).
    BOOL IsOwnThreadShared() const;

    // Waits for hEvent, answering messages sent from other threads meanwhile: an own thread busy with
    // another object's call may be sending to this one (a bar's step) before it can answer.
    static void WaitAnsweringSentMessages(HANDLE hEvent);

    // The named points where a test can hold a thread (interleaving_points.h).
    static constexpr const char* kPointStartWait = "own_thread.start_wait";            // creating thread
    static constexpr const char* kPointFinalReleasePosted = "own_thread.final_release_posted";  // own thread
    static constexpr const char* kPointEventHook = "own_thread.event_hook";            // own thread
    static constexpr const char* kPointStopWait = "own_thread.stop_wait";              // creating thread
    static constexpr const char* kPointDisconnectsAsked = "own_thread.disconnects_asked";  // creating thread

    // On an own thread that ends: leaves the apartment its engines used.
    static void LeaveApartmentOfThisThread();

    // When a server ends, on the thread that created its objects: disconnects every object created
    // there from its clients, in the apartment that owns its stub (an own-thread object's own
    // thread, once its running call has returned; this thread for the others), so that each
    // client's next call fails at once; then serves this thread's messages, through which the
    // released objects are deleted, until no such object is left or dwTimeoutMs has passed. TRUE
    // when every object is gone, and with it every own thread has left its object. An object whose
    // creation waits for its thread (further down this thread's stack) is not counted: its creation
    // is refused once it returns, and its release follows.
    static BOOL DisconnectAll(DWORD dwTimeoutMs);
    // Its first half alone, which does not wait: for an end that may begin inside a call to one of
    // these objects, whose object cannot go before that call has returned.
    static void AskAllToDisconnect();

protected:
    BOOL m_bEnabled;
    CUniqueHandle m_hThreadStarted;
    CUniqueHandle m_hThreadEnded;
    std::atomic<HRESULT> m_hrThread;
    COwnThreadHandOut* m_pHandOut = nullptr;
    // The hand-out's own reference went to the first interface handed out on the creating thread.
    BOOL m_bHandedOut = FALSE;
    std::atomic<BOOL> m_bStopThread;
    // Set with the stop when the object was marshaled but cannot be handed out: the own thread then
    // disconnects the object in its apartment before it leaves the engine.
    std::atomic<BOOL> m_bDisconnectOnStop;
    // Set with a wake when the server ends: the own thread disconnects the object from its clients.
    std::atomic<BOOL> m_bDisconnectRequested;
    DWORD m_nCreatorThreadID;
    std::atomic<DWORD> m_nOwnThreadID;
    // Made by the own thread at the start, taken by the creating thread once it is signaled: the
    // object for the interface its creation asked for, for a client; and IDispatch, for a proxy here.
    IID m_iidCreation = IID_IDispatch;
    CMarshalPacket m_forClient;
    CMarshalPacket m_forProxy;
    COwnThreadFinalReleaseWnd m_finalReleaseWnd;

    // On the creating thread, before the owning object is destroyed: lets the own thread go, waiting
    // while it still acts for this object (a wake it is serving). Then no thread of the pool can
    // reach the object while its destructors run. Safe to repeat.
    void StopOwnThread();

private:
    friend class COwnThreadPool;
    // On the own thread, as its pool asks: marshal the object; leave it; run the hook.
    void StartOnOwnThread();
    // The two packets; success consumes the reference that EnableOwnThread took.
    HRESULT MarshalForCreatingThread();
    void LeaveOwnThread();
    void RunThreadEventHook();
    // On the creating thread: disconnects the object here, or asks its own thread to.
    void DisconnectFromClients();
    // In the object's apartment: its stubs, and those of its connection points, let go of it.
    void DisconnectObjectAndPoints();

    // The thread that serves this engine, and the requests to it; under the pool's lock.
    COwnThreadPool::CWorker* m_pOwnThread = nullptr;
    bool m_bStartRequested = false;
    bool m_bEventRequested = false;
};
