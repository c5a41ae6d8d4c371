#include "own_thread_pool.h"

#include "own_thread_engine.h"

#include <unique_handle.h>
#include <win_thread.h>

#include <algorithm>
#include <utility>

struct COwnThreadPool::CWorker {
    CUniqueHandle hWake;                    // signaled when pEngine holds the next engine
    COwnThreadEngine* pEngine = nullptr;    // written under the pool's lock before hWake is signaled
    DWORD nThreadID = 0;
};

namespace {
thread_local COwnThreadPool::CWorker* t_pWorker = nullptr;
}

COwnThreadPool& COwnThreadPool::Instance()
{
    // Never destroyed: parked threads outlive static destruction at exit.
    static COwnThreadPool* s_pPool = new COwnThreadPool;
    return *s_pPool;
}

BOOL COwnThreadPool::Start(COwnThreadEngine* pEngine)
{
    CWorker* pWorker = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_parked.empty()) {
            pWorker = m_parked.back();
            m_parked.pop_back();
            pWorker->pEngine = pEngine;
        }
    }
    if (pWorker != nullptr)
        return SetEvent(pWorker->hWake.Get());

    CUniqueHandle hWake(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!hWake)
        return FALSE;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_nCreated >= kMaxOwnThreads)
            return FALSE;
        ++m_nCreated;
    }
    pWorker = new CWorker;
    pWorker->hWake = std::move(hWake);
    pWorker->pEngine = pEngine;
    if (AfxBeginThread(&WorkerProc, pWorker, THREAD_PRIORITY_NORMAL, 0, 0, nullptr) == nullptr) {
        delete pWorker;
        std::lock_guard<std::mutex> lock(m_mutex);
        --m_nCreated;
        return FALSE;
    }
    return TRUE;
}

void COwnThreadPool::ReleaseCurrentThread()
{
    if (t_pWorker == nullptr)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    t_pWorker->pEngine = nullptr;
    m_parked.push_back(t_pWorker);
}

UINT __cdecl COwnThreadPool::WorkerProc(LPVOID pParam)
{
    auto* pWorker = static_cast<CWorker*>(pParam);
    pWorker->nThreadID = GetCurrentThreadId();
    t_pWorker = pWorker;
    COwnThreadEngine* pEngine = pWorker->pEngine;
    for (;;) {
        COwnThreadEngine::OwnThreadProc(pEngine);
        WaitForEngine(pWorker);
        std::lock_guard<std::mutex> lock(Instance().m_mutex);
        pEngine = pWorker->pEngine;
    }
}

void COwnThreadPool::WaitForEngine(CWorker* pWorker)
{
    // Parked. The thread keeps its apartment, and with it the RPC endpoint that Wine would never
    // give back, for the next engine. It goes on dispatching messages meanwhile: those that were
    // still queued when its engine stopped it are dispatched here, and COM still reaches this
    // apartment (late calls and releases for the last object are answered, not left hanging).
    HANDLE hWake = pWorker->hWake.Get();
    for (;;) {
        DWORD dwResult = MsgWaitForMultipleObjects(1, &hWake, FALSE, INFINITE, QS_ALLINPUT);
        if (dwResult == WAIT_OBJECT_0)
            return;
        if (dwResult == WAIT_OBJECT_0 + 1) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
        } else {
            Sleep(1);  // a failed wait: do not spin
        }
    }
}

int COwnThreadPool::GetCreatedCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nCreated;
}

int COwnThreadPool::GetParkedCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_parked.size());
}

BOOL COwnThreadPool::IsParked(DWORD nThreadID)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_parked.begin(), m_parked.end(),
                       [nThreadID](const CWorker* p) { return p->nThreadID == nThreadID; });
}
