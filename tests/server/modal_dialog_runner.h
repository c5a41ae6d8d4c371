// Runs a dialog's modal loop on a thread of its own, as a program's main thread would, so that a
// test can drive the real window from outside that loop.
#pragma once
#include <windows.h>

#include <functional>
#include <thread>

class CDialog;

class ModalDialogRunner {
public:
    // Constructs the dialog on the UI thread with make(), runs DoModal, and waits for the window.
    explicit ModalDialogRunner(std::function<CDialog*()> make, const char* caption);
    // Ends the dialog (as Esc would) and joins the UI thread.
    ~ModalDialogRunner();

    HWND hwnd() const { return m_hWnd; }
    CDialog* dialog() const { return m_pDialog; }
    DWORD threadId() const { return m_nThreadId; }

private:
    std::thread m_thread;
    CDialog* m_pDialog = nullptr;
    HWND m_hWnd = nullptr;
    DWORD m_nThreadId = 0;
    HANDLE m_hReady = nullptr;
};

// Finds a top-level window of this process by caption, waiting up to timeoutMs.
HWND WaitForOwnWindow(const char* caption, DWORD timeoutMs);
