#include "own_thread_pool.h"

#include "own_thread_assignment.h"
#include "own_thread_cap.h"
#include "own_thread_engine.h"

#include <interleaving_points.h>
#include <unique_handle.h>
#include <win_thread.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>

struct COwnThreadPool::CWorker {
    CUniqueHandle hWake;    // signaled when one of its engines has a request
    CUniqueHandle hThread;  // waited for when the process ends
    DWORD nThreadID = 0;
    std::vector<COwnThreadEngine*> engines;      // served by this thread, under the pool's lock
    COwnThreadEngine* pServing = nullptr;        // the engine it acts for outside the lock
    std::atomic<bool> bInCall{false};            // dispatching a message: a call, as a rule
    bool bEnd = false;                           // asked to end, under the lock
};

namespace {

// MsgWaitForMultipleObjects' wake mask: the eight input kinds 0x01 to 0x80, not QS_RAWINPUT.
const DWORD kWakeMask = 0xFF;

}  // namespace

COwnThreadPool::COwnThreadPool() : m_nMaxOwnThreads(COwnThreadCap::ForThisPlatform())
{
    // An operator may lower (or raise) the cap of a program without rebuilding it.
    char szCap[16] = "";
    DWORD cch = GetEnvironmentVariableA(kCapVariable, szCap, sizeof(szCap));
    if (cch > 0 && cch < sizeof(szCap) && std::atoi(szCap) > 0)
        m_nMaxOwnThreads = std::atoi(szCap);
}

COwnThreadPool& COwnThreadPool::Instance()
{
    // Never destroyed: own threads outlive static destruction at exit.
    static COwnThreadPool* s_pPool = new COwnThreadPool;
    return *s_pPool;
}

void COwnThreadPool::SetMaxOwnThreads(int nMax)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nMaxOwnThreads = std::max(1, nMax);
}

int COwnThreadPool::GetMaxOwnThreads()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nMaxOwnThreads;
}

BOOL COwnThreadPool::Start(COwnThreadEngine* pEngine)
{
    CWorker* pWorker = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        int nIndex = ChooseWorker(m_nMaxOwnThreads);
        if (nIndex == COwnThreadAssignment::kNewThread) {
            pWorker = CreateWorker();
            if (pWorker == nullptr) {
                // Out of threads (memory, or the system's limit): share one, as past the cap.
                ReportOnce(&m_bCreateFailureReported,
                           "an own thread could not be created; objects share the existing ones");
                if (m_workers.empty())
                    return FALSE;
                nIndex = ChooseWorker(0);
            }
        }
        if (pWorker == nullptr) {
            pWorker = m_workers[static_cast<size_t>(nIndex)];
            if (!pWorker->engines.empty())
                ReportOnce(&m_bCapReported, ("the cap of " + std::to_string(m_nMaxOwnThreads) +
                                             " own threads is reached; objects share them").c_str());
        }
        pWorker->engines.push_back(pEngine);
        pEngine->m_pOwnThread = pWorker;
        pEngine->m_bStartRequested = true;
    }
    return SetEvent(pWorker->hWake.Get());
}

int COwnThreadPool::ChooseWorker(int nCap) const
{
    std::vector<COwnThreadAssignment::CThreadLoad> threads;
    threads.reserve(m_workers.size());
    for (const CWorker* p : m_workers)
        threads.push_back({static_cast<int>(p->engines.size()), p->bInCall.load()});
    return COwnThreadAssignment::Choose(threads, nCap);
}

COwnThreadPool::CWorker* COwnThreadPool::CreateWorker()
{
    CUniqueHandle hWake(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!hWake)
        return nullptr;
    auto* pWorker = new CWorker;
    pWorker->hWake = std::move(hWake);
    // The stack is reserved, not committed, and small: the cap on Windows counts on it.
    CWinThread* pThread = AfxBeginThread(&WorkerProc, pWorker, THREAD_PRIORITY_NORMAL,
                                         static_cast<UINT>(COwnThreadCap::kStackReserve),
                                         STACK_SIZE_PARAM_IS_A_RESERVATION | CREATE_SUSPENDED, nullptr);
    if (pThread == nullptr) {
        delete pWorker;
        return nullptr;
    }
    // The thread object deletes itself as the thread ends: its handle is copied while it waits.
    HANDLE hThread = nullptr;
    DuplicateHandle(GetCurrentProcess(), pThread->m_hThread, GetCurrentProcess(), &hThread, SYNCHRONIZE, FALSE, 0);
    pWorker->hThread.Reset(hThread);
    pWorker->nThreadID = pThread->m_nThreadID;
    pThread->ResumeThread();
    m_workers.push_back(pWorker);
    return pWorker;
}

BOOL COwnThreadPool::Wake(COwnThreadEngine* pEngine)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CWorker* pWorker = pEngine->m_pOwnThread;
    if (pWorker == nullptr)
        return FALSE;
    pEngine->m_bEventRequested = true;
    return SetEvent(pWorker->hWake.Get());
}

BOOL COwnThreadPool::CancelStart(COwnThreadEngine* pEngine)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    CWorker* pWorker = pEngine->m_pOwnThread;
    if (pWorker == nullptr || !pEngine->m_bStartRequested)
        return FALSE;  // taken: its thread is marshaling the object, which does not wait
    pEngine->m_bStartRequested = false;
    Detach(pWorker, pEngine);
    return TRUE;
}

void COwnThreadPool::Stop(COwnThreadEngine* pEngine)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    CWorker* pWorker = pEngine->m_pOwnThread;
    if (pWorker == nullptr)
        return;
    if (pWorker->pServing != pEngine && !pEngine->m_bStartRequested && !pEngine->m_bDisconnectOnStop) {
        // Its thread is not acting for it and need not: let it go without waiting for a thread that
        // may be busy with another object's call.
        Detach(pWorker, pEngine);
        return;
    }
    pEngine->m_bStopThread = TRUE;
    HANDLE hEnded = pEngine->m_hThreadEnded.Get();
    lock.unlock();
    SetEvent(pWorker->hWake.Get());
    QD_INTERLEAVING_POINT(COwnThreadEngine::kPointStopWait);
    COwnThreadEngine::WaitAnsweringSentMessages(hEnded);
}

void COwnThreadPool::Detach(CWorker* pWorker, COwnThreadEngine* pEngine)
{
    auto& engines = pWorker->engines;
    engines.erase(std::remove(engines.begin(), engines.end(), pEngine), engines.end());
    pEngine->m_pOwnThread = nullptr;
    pEngine->m_bEventRequested = false;
}

UINT __cdecl COwnThreadPool::WorkerProc(LPVOID pParam)
{
    auto* pWorker = static_cast<CWorker*>(pParam);
    HANDLE hWake = pWorker->hWake.Get();
    // COM delivers calls to this apartment as messages, dispatched here; requests come by hWake.
    for (;;) {
        DWORD dwResult = MsgWaitForMultipleObjects(1, &hWake, FALSE, INFINITE, kWakeMask);
        if (dwResult == WAIT_OBJECT_0) {
            if (!Instance().Serve(pWorker)) {
                COwnThreadEngine::LeaveApartmentOfThisThread();
                return 0;
            }
        } else if (dwResult == WAIT_OBJECT_0 + 1) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                pWorker->bInCall = true;
                DispatchMessageA(&msg);
                pWorker->bInCall = false;
            }
        } else {
            Sleep(1);  // a failed wait: do not spin
        }
    }
}

BOOL COwnThreadPool::Serve(CWorker* pWorker)
{
    enum class Request { kStart, kLeave, kThreadEvent };
    for (;;) {
        COwnThreadEngine* pEngine = nullptr;
        Request request = Request::kStart;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (COwnThreadEngine* p : pWorker->engines) {
                if (p->m_bStartRequested) {
                    p->m_bStartRequested = false;
                    request = Request::kStart;
                } else if (p->m_bStopThread) {
                    request = Request::kLeave;  // a stop is honoured before a pending thread event
                } else if (p->m_bEventRequested) {
                    p->m_bEventRequested = false;
                    request = Request::kThreadEvent;
                } else {
                    continue;
                }
                pEngine = p;
                break;
            }
            if (pEngine == nullptr)
                return !(pWorker->bEnd && pWorker->engines.empty());
            pWorker->pServing = pEngine;
        }
        if (request == Request::kStart)
            pEngine->StartOnOwnThread();
        else if (request == Request::kLeave)
            pEngine->LeaveOwnThread();
        else
            pEngine->RunThreadEventHook();
        HANDLE hEnded = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            pWorker->pServing = nullptr;
            if (request == Request::kLeave) {
                hEnded = pEngine->m_hThreadEnded.Get();
                Detach(pWorker, pEngine);
            }
        }
        if (hEnded != nullptr)
            SetEvent(hEnded);  // last act for that engine: it may be deleted at once
    }
}

BOOL COwnThreadPool::EndAll(DWORD dwTimeoutMs)
{
    std::vector<CWorker*> ending;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_workers.begin(); it != m_workers.end();) {
            CWorker* p = *it;
            if (!p->engines.empty() || p->pServing != nullptr) {
                ++it;
                continue;
            }
            p->bEnd = true;
            SetEvent(p->hWake.Get());
            ending.push_back(p);
            it = m_workers.erase(it);
        }
    }
    const DWORD dwStart = GetTickCount();
    BOOL bAllEnded = TRUE;
    for (CWorker* p : ending) {
        const DWORD dwElapsed = GetTickCount() - dwStart;
        if (WaitForSingleObject(p->hThread.Get(), dwElapsed < dwTimeoutMs ? dwTimeoutMs - dwElapsed : 0) == WAIT_OBJECT_0)
            delete p;
        else
            bAllEnded = FALSE;  // still running: its data stays
    }
    return bAllEnded;
}

void COwnThreadPool::ReportOnce(bool* pbReported, const char* lpszText)
{
    // No mistake: any client can bring it about. Once per process, on the debugger output.
    if (*pbReported)
        return;
    *pbReported = true;
    OutputDebugStringA((std::string("QD own threads: ") + lpszText + "\n").c_str());
}

int COwnThreadPool::GetCreatedCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_workers.size());
}

int COwnThreadPool::GetParkedCount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(std::count_if(m_workers.begin(), m_workers.end(), [](const CWorker* p) {
        return p->engines.empty() && p->pServing == nullptr;
    }));
}

BOOL COwnThreadPool::IsParked(DWORD nThreadID)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_workers.begin(), m_workers.end(), [nThreadID](const CWorker* p) {
        return p->nThreadID == nThreadID && p->engines.empty() && p->pServing == nullptr;
    });
}

int COwnThreadPool::GetEngineCount(DWORD nThreadID)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const CWorker* p : m_workers)
        if (p->nThreadID == nThreadID)
            return static_cast<int>(p->engines.size());
    return -1;
}
