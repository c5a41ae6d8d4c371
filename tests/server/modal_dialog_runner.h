// Runs a dialog's modal loop on a thread of its own, as a program's main thread would, so that a
// test can drive the real window from outside that loop.
#pragma once
#include <unique_handle.h>

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

private:
    std::thread m_thread;
    CDialog* m_pDialog = nullptr;
    HWND m_hWnd = nullptr;
    CUniqueHandle m_ready;
};
