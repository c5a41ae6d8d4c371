#include "modal_dialog_runner.h"

#include "afx.h"

#include <commctrl.h>

namespace {

struct FindArgs {
    const char* caption;
    HWND found;
};

BOOL CALLBACK FindOwnWindow(HWND hWnd, LPARAM lParam)
{
    auto* args = reinterpret_cast<FindArgs*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    char text[256] = "";
    GetWindowTextA(hWnd, text, sizeof(text));
    if (pid == GetCurrentProcessId() && lstrcmpA(text, args->caption) == 0 && IsWindowVisible(hWnd)) {
        args->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HWND WaitForOwnWindow(const char* caption, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        FindArgs args{caption, nullptr};
        EnumWindows(&FindOwnWindow, reinterpret_cast<LPARAM>(&args));
        if (args.found)
            return args.found;
        Sleep(10);
    } while (GetTickCount() - start < timeoutMs);
    return nullptr;
}

ModalDialogRunner::ModalDialogRunner(std::function<CDialog*()> make, const char* caption)
{
    m_hReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_thread = std::thread([this, make] {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        m_pDialog = make();
        m_nThreadId = GetCurrentThreadId();
        SetEvent(m_hReady);
        m_pDialog->DoModal();
        delete m_pDialog;
    });
    WaitForSingleObject(m_hReady, INFINITE);
    m_hWnd = WaitForOwnWindow(caption, 10000);
}

ModalDialogRunner::~ModalDialogRunner()
{
    if (m_hWnd != nullptr)
        PostMessageA(m_hWnd, WM_COMMAND, IDCANCEL, 0);
    m_thread.join();
    CloseHandle(m_hReady);
}
