// The process's own threads. Each serves the engines assigned to it: it marshals each engine's object
// in its apartment and runs their calls, one at a time, from its message loop. A thread whose last
// engine has gone parks in its apartment and waits for the next instead of ending. Threads are never
// ended because Wine never frees the RPC endpoint of an apartment that has marshaled an object, and
// their number is capped (COwnThreadCap); past the cap objects share threads (COwnThreadAssignment).
#pragma once
#include <windows.h>

#include <mutex>
#include <vector>

class COwnThreadEngine;

class COwnThreadPool {
public:
    static COwnThreadPool& Instance();

    // The environment variable that, when it holds a positive number, replaces the platform's cap.
    static constexpr const char* kCapVariable = "QD_MAX_OWN_THREADS";

    // The most own threads the process creates: the platform's by default (COwnThreadCap), or
    // kCapVariable's. An application may set its own at any time, at least 1; threads above a
    // lowered cap stay and are shared.
    void SetMaxOwnThreads(int nMax);
    int GetMaxOwnThreads();

    // Assigns pEngine to an own thread and asks that thread to start it (the engine's
    // StartOnOwnThread). FALSE when no thread could be had at all: nothing was started.
    BOOL Start(COwnThreadEngine* pEngine);
    // Asks pEngine's thread to run its thread-event hook, or to let it go when its stop is set.
    BOOL Wake(COwnThreadEngine* pEngine);
    // Takes back a start its thread has not yet taken: TRUE if it did, and the engine has no
    // thread from then on.
    BOOL CancelStart(COwnThreadEngine* pEngine);
    // On the creating thread: lets pEngine go. Where its thread is busy with it (starting it, in its
    // hook) or must still act for it, asks it and waits, answering sent messages meanwhile.
    void Stop(COwnThreadEngine* pEngine);
    // When the process ends, once no object is left: every own thread leaves its apartment and
    // ends. TRUE when all have ended within dwTimeoutMs; a thread that still serves an object is
    // left alone. Later objects get new threads.
    BOOL EndAll(DWORD dwTimeoutMs);

    int GetCreatedCount();
    int GetParkedCount();
    BOOL IsParked(DWORD nThreadID);
    // How many engines the own thread nThreadID serves; -1 when it is no own thread.
    int GetEngineCount(DWORD nThreadID);

    struct CWorker;  // one own thread

private:
    COwnThreadPool();
    static UINT __cdecl WorkerProc(LPVOID pParam);
    // FALSE when the thread is to end: asked to, and serving nothing.
    BOOL Serve(CWorker* pWorker);
    CWorker* CreateWorker();
    // Under the lock: the index of the thread for a new engine, or kNewThread.
    int ChooseWorker(int nCap) const;
    void Detach(CWorker* pWorker, COwnThreadEngine* pEngine);
    void ReportOnce(bool* pbReported, const char* lpszText);

    std::mutex m_mutex;
    std::vector<CWorker*> m_workers;  // oldest first; never shrinks
    int m_nMaxOwnThreads;
    bool m_bCapReported = false;
    bool m_bCreateFailureReported = false;
};
