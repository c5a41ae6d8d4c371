// A thread that creates objects the way the server's main thread does: it has a single-threaded
// apartment and dispatches window messages all the time, so calls through proxies and deferred
// final releases reach it. Work is handed to it as closures that run inside its message loop.
#pragma once
#include <unique_handle.h>

#include <windows.h>
#include <oaidl.h>

#include <functional>

class CCreatingThread {
public:
    CCreatingThread();
    ~CCreatingThread();

    CCreatingThread(const CCreatingThread&) = delete;
    CCreatingThread& operator=(const CCreatingThread&) = delete;

    // Runs fn on the thread and returns when it has finished. Messages go on being dispatched there.
    // Throws std::runtime_error when the thread takes no more work (so does Post).
    void Run(const std::function<void()>& fn);
    // Runs fn on the thread without waiting for it.
    void Post(std::function<void()> fn);
    // Runs make on the thread and hands the interface it returns (with a reference of its own, which
    // this takes over) to the calling thread, marshaled: a proxy when the caller's apartment is
    // another. nullptr when there is none.
    IDispatch* HandOut(const std::function<IDispatch*()>& make);

    DWORD GetThreadID() const { return m_nThreadID; }

private:
    static DWORD WINAPI ThreadProc(LPVOID pParam);
    static LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    CUniqueHandle m_ready;
    CUniqueHandle m_thread;
    DWORD m_nThreadID = 0;
    HWND m_hWnd = nullptr;
};
