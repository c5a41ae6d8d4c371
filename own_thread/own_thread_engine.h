// Gives a COM automation object a worker thread of its own (its own thread) with a COM apartment of
// its own. The own thread marshals the object's IDispatch and the creating thread unmarshals a proxy,
// which it hands out for every interface request made there, so that calls run on the own thread. A
// final release on the own thread is sent back to the creating thread through a hidden window, and
// the destructor, always on the creating thread, stops the own thread and waits for it.
#pragma once
#include "marshal_channel.h"
#include "own_thread_final_release_wnd.h"

#include <unique_handle.h>

#include <atomic>

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
    // On the own thread, when its wake event ends a wait and no stop is requested.
    virtual void OnThreadEvent() {}

    // On the creating thread, at most once, from the most derived constructor after automation is
    // enabled. FALSE: the object runs its calls on the creating thread.
    BOOL EnableOwnThread();
    BOOL IsOwnThreadEnabled() const { return m_bEnabled; }
    BOOL SetThreadEvent();
    // From the owning object's final release. TRUE: the object must not be deleted now.
    BOOL DeferFinalRelease();
    // From the owning object's interface hook, on the creating thread: IUnknown, IDispatch and the
    // class's dispatch interface (piidDispatch, may be NULL) get the proxy, any other interface is
    // asked of the proxy, that is of the object on its own thread. Every pointer carries a
    // reference of its own. NULL elsewhere, or when the object has no such interface.
    // Requests are made by holders of the creation reference, as a class factory is.
    LPUNKNOWN GetOwnThreadInterface(const void* piid, const IID* piidDispatch = nullptr);

    static UINT __cdecl OwnThreadProc(LPVOID pParam);

    // When a server ends, on the thread that created its objects: disconnects every object created
    // there from its clients, in the apartment that owns its stub (an own-thread object's own
    // thread, once its running call has returned; this thread for the others), so that each
    // client's next call fails at once; then serves this thread's messages, through which the
    // released objects are deleted, until no such object is left or dwTimeoutMs has passed. TRUE
    // when every object is gone, and with it every own thread has left its object.
    static BOOL DisconnectAll(DWORD dwTimeoutMs);

protected:
    BOOL m_bEnabled;
    CUniqueHandle m_hThreadStarted;
    CUniqueHandle m_hThreadEvent;
    CUniqueHandle m_hThreadEnded;
    std::atomic<HRESULT> m_hrThread;
    LPDISPATCH m_pProxy;
    // The proxy's own reference went to the first interface handed out on the creating thread.
    BOOL m_bProxyHandedOut = FALSE;
    std::atomic<BOOL> m_bStopThread;
    // Set with the stop when the proxy could not be unmarshaled: the own thread then disconnects the
    // object in its apartment before it leaves the engine.
    std::atomic<BOOL> m_bDisconnectOnStop;
    // Set with a wake when the server ends: the own thread disconnects the object from its clients.
    std::atomic<BOOL> m_bDisconnectRequested;
    DWORD m_nCreatorThreadID;
    std::atomic<DWORD> m_nOwnThreadID;
    CMarshalChannel m_channel;
    COwnThreadFinalReleaseWnd m_finalReleaseWnd;

private:
    void RunOwnThread();
    void RunMessageLoop();
    // Requests the stop and waits until the own thread has left this engine.
    void StopOwnThread();
    // On the creating thread: disconnects the object here, or asks its own thread to.
    void DisconnectFromClients();
};
