// An own-thread automation object for the tests: its methods report the thread they run on, and it
// records its final releases, its thread events and its deletion in process-wide counters.
#pragma once
#include <own_thread_cmd_target.h>

#include <atomic>

class CThreadProbeTarget : public CZKOwnThreadCmdTarget {
    DECLARE_DYNCREATE(CThreadProbeTarget)
public:
    explicit CThreadProbeTarget(BOOL bOwnThread = TRUE);
    ~CThreadProbeTarget() override;

    void OnFinalRelease() override;
    // A dispatch interface of its own, as a class with a type library names one.
    BOOL GetDispatchIID(IID* pIID) override;
    static const IID kDispatchIID;
    void OnThreadEvent() override;

    // Automation members.
    long ThreadId();
    // Waits up to nMilliseconds for s_hCallRelease; the thread's ID if it came, else 0.
    long WaitForReleaseThenThreadId(long nMilliseconds);
    long HookAnswersOnThisThread();
    // On the own thread: its end then waits for a message that the destructor leaves it, so that
    // only a destructor that awaits the thread sees it parked.
    void SlowDownThreadEnd();

    // Asks the own thread to stop, as the destructor does, without waiting for it.
    void RequestStop();

    HWND GetFinalReleaseWnd() const { return m_finalReleaseWnd.GetSafeHwnd(); }
    DWORD GetOwnThreadID() const { return m_nOwnThreadID; }

    static void ResetCounters();
    static std::atomic<int> s_nLive;
    static std::atomic<int> s_nFinalReleases;
    static std::atomic<DWORD> s_nFirstFinalReleaseThread;
    static std::atomic<DWORD> s_nDeletionThread;
    static std::atomic<int> s_nDeletedElsewhere;  // deletions off the creating thread, never reset
    // Read on the creating thread as the deletion returns: 1 if the own thread had left the object.
    static std::atomic<int> s_nOwnThreadParkedAtDeletion;
    static std::atomic<bool> s_bCallWaiting;
    static HANDLE s_hCallRelease;  // manual-reset
    static std::atomic<int> s_nThreadEvents;
    static std::atomic<DWORD> s_nThreadEventThread;
    // When set, OnThreadEvent leaves a message waiting for its thread and then requests the stop.
    static std::atomic<bool> s_bStopFromThreadEvent;
    // -1 until that message is dispatched; then whether the own thread was parked by that time.
    static std::atomic<int> s_nProbeSeenWhileParked;

    DECLARE_DISPATCH_MAP()
    DECLARE_INTERFACE_MAP()

    // A second interface, marshaled by COM itself: the class ID it gives has the ID of the thread
    // the call ran on as its first field.
    struct CPersistPart final : IPersist {
        explicit CPersistPart(CThreadProbeTarget* pOwner) : m_pOwner(pOwner) {}
        STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override { return m_pOwner->ExternalQueryInterface(&iid, ppv); }
        STDMETHODIMP_(ULONG) AddRef() override { return m_pOwner->ExternalAddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return m_pOwner->ExternalRelease(); }
        STDMETHODIMP GetClassID(CLSID* pId) override
        {
            *pId = CLSID{GetCurrentThreadId(), 0, 0, {}};
            return S_OK;
        }
        CThreadProbeTarget* const m_pOwner;
    } m_xPersist{this};

private:
    HWND m_hSlowEndWnd = nullptr;
};
