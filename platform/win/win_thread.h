// CWinThread: a thread the framework knows. AfxGetThread() answers on every thread: the application
// object on the main thread, the thread object on threads started by AfxBeginThread, and a
// per-thread object on any other thread (COM's own threads, for instance), so that the current
// thread's ID can always be read from it.
#pragma once
#include "cmd_target.h"

#include <atomic>

class CWnd;

typedef UINT(__cdecl* AFX_THREADPROC)(LPVOID);

class CWinThread : public CCmdTarget {
    DECLARE_DYNAMIC(CWinThread)
public:
    CWinThread();
    CWinThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam);
    ~CWinThread() override;

    BOOL CreateThread(DWORD dwCreateFlags = 0, UINT nStackSize = 0,
                      LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);
    DWORD ResumeThread();
    BOOL SetThreadPriority(int nPriority);

    // Runs the thread's message loop until WM_QUIT; returns the quit code.
    virtual int Run();

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;           // delete this object when the thread ends
    std::atomic<CWnd*> m_pMainWnd{nullptr};  // read from any thread

    AFX_THREADPROC m_pfnThreadProc = nullptr;
    LPVOID m_pThreadParams = nullptr;
};

CWinThread* AfxBeginThread(AFX_THREADPROC pfnThreadProc, LPVOID pParam,
                           int nPriority = THREAD_PRIORITY_NORMAL, UINT nStackSize = 0,
                           DWORD dwCreateFlags = 0, LPSECURITY_ATTRIBUTES lpSecurityAttrs = nullptr);

CWinThread* AfxGetThread();

// Makes pThread the current thread's object (the application does this for the main thread).
void AfxSetCurrentThread(CWinThread* pThread);
