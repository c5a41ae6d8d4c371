// A thread that creates objects the way the server's main thread does: it has a single-threaded
// apartment and dispatches window messages all the time, so deferred final releases reach it. Work is
// handed to it as closures that run inside its message loop.
#pragma once
#include <windows.h>

#include <functional>

class CCreatingThread {
public:
    CCreatingThread();
    ~CCreatingThread();

    CCreatingThread(const CCreatingThread&) = delete;
    CCreatingThread& operator=(const CCreatingThread&) = delete;

    // Runs fn on the thread and returns when it has finished. Messages go on being dispatched there.
    void Run(const std::function<void()>& fn);
    // Runs fn on the thread without waiting for it.
    void Post(std::function<void()> fn);

    DWORD GetThreadID() const { return m_nThreadID; }

private:
    static DWORD WINAPI ThreadProc(LPVOID pParam);
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    HWND m_hWnd = nullptr;
    HANDLE m_hReady = nullptr;
};
