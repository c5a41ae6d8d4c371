// The process's own threads. An own thread serves one engine at a time; when that engine stops it,
// the thread parks in its apartment and waits for the next engine instead of ending. Wine never
// frees the RPC endpoint of an apartment that has marshaled an object, and a process stops answering
// COM after about 63 of them, so threads are reused and their number is capped for the process's life.
#pragma once
#include <windows.h>

#include <mutex>
#include <vector>

class COwnThreadEngine;

class COwnThreadPool {
public:
    // Comfortably below the ~63 apartments after which Wine's RPC server stops listening.
    static constexpr int kMaxOwnThreads = 48;

    static COwnThreadPool& Instance();

    // Runs COwnThreadEngine::OwnThreadProc(pEngine) on a parked thread, or on a new one while fewer
    // than kMaxOwnThreads were ever created. FALSE when no thread is free: nothing was started.
    BOOL Start(COwnThreadEngine* pEngine);

    // On an own thread that is about to leave its engine: makes the thread available again. It must
    // not touch the engine after it has also signaled the engine's end.
    void ReleaseCurrentThread();

    int GetCreatedCount();
    int GetParkedCount();
    BOOL IsParked(DWORD nThreadID);

    struct CWorker;  // one own thread

private:
    COwnThreadPool() = default;
    static UINT __cdecl WorkerProc(LPVOID pParam);
    static void WaitForEngine(CWorker* pWorker);

    std::mutex m_mutex;
    std::vector<CWorker*> m_parked;
    int m_nCreated = 0;
};
