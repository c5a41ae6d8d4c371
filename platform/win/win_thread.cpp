#include "win_thread.h"

#include "exceptions.h"

#include <process.h>

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)

namespace {

thread_local CWinThread* t_pCurrentThread = nullptr;

// Stands for a thread that the framework did not start.
class CForeignThread : public CWinThread {
public:
    CForeignThread()
    {
        m_nThreadID = GetCurrentThreadId();
        m_bAutoDelete = FALSE;
    }
};

unsigned __stdcall ThreadEntry(void* pParam)
{
    auto* pThread = static_cast<CWinThread*>(pParam);
    t_pCurrentThread = pThread;
    UINT nResult = static_cast<UINT>(-1);
    try {
        nResult = pThread->m_pfnThreadProc ? pThread->m_pfnThreadProc(pThread->m_pThreadParams)
                                           : static_cast<UINT>(pThread->Run());
    } catch (...) {
        // The runtime's thread start is below this frame: an exception must end here.
        AfxTraceEscapedException("a thread's entry function");
    }
    t_pCurrentThread = nullptr;
    if (pThread->m_bAutoDelete)
        delete pThread;
    return nResult;
}

}  // namespace

CWinThread::CWinThread() = default;

CWinThread::CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam)
    : m_pfnThreadProc(pfnThreadProc), m_pThreadParams(pParam) {}

CWinThread::~CWinThread()
{
    if (m_hThread != nullptr)
        CloseHandle(m_hThread);
}

BOOL CWinThread::CreateThread(DWORD dwCreateFlags, UINT nStackSize,
                              LPSECURITY_ATTRIBUTES lpSecurityAttrs)
{
    // Start suspended so that the handle and ID are in place before the thread can run.
    unsigned nThreadID = 0;
    auto h = _beginthreadex(lpSecurityAttrs, nStackSize, &ThreadEntry, this,
                            dwCreateFlags | CREATE_SUSPENDED, &nThreadID);
    if (h == 0)
        return FALSE;
    m_hThread = reinterpret_cast<HANDLE>(h);
    m_nThreadID = nThreadID;
    if (!(dwCreateFlags & CREATE_SUSPENDED))
        ::ResumeThread(m_hThread);
    return TRUE;
}

DWORD CWinThread::ResumeThread() { return ::ResumeThread(m_hThread); }

BOOL CWinThread::SetThreadPriority(int nPriority) { return ::SetThreadPriority(m_hThread, nPriority); }

int CWinThread::Run()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam, int nPriority,
                           UINT nStackSize, DWORD dwCreateFlags, LPSECURITY_ATTRIBUTES lpSecurityAttrs)
{
    auto* pThread = new CWinThread(pfnThreadProc, pParam);
    if (!pThread->CreateThread(dwCreateFlags | CREATE_SUSPENDED, nStackSize, lpSecurityAttrs)) {
        delete pThread;
        return nullptr;
    }
    pThread->SetThreadPriority(nPriority);
    if (!(dwCreateFlags & CREATE_SUSPENDED))
        pThread->ResumeThread();
    return pThread;
}

namespace {

// A foreign thread's object is deleted by a fiber-local-storage callback when the thread ends. It is
// not a thread_local object: MinGW frees thread_local storage before running the destructors of the
// objects in it, and the destructor then corrupts the heap.
void WINAPI DeleteForeignThread(PVOID pThread) { delete static_cast<CWinThread*>(pThread); }

DWORD ForeignThreadSlot()
{
    static const DWORD s_nSlot = FlsAlloc(&DeleteForeignThread);
    return s_nSlot;
}

}  // namespace

CWinThread* AfxGetThread()
{
    if (t_pCurrentThread == nullptr) {
        auto* pThread = new CForeignThread;
        FlsSetValue(ForeignThreadSlot(), pThread);  // without a slot the object is left to the process
        t_pCurrentThread = pThread;
    }
    return t_pCurrentThread;
}

void AfxSetCurrentThread(CWinThread* pThread) { t_pCurrentThread = pThread; }
