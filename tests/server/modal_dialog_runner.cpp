#include "modal_dialog_runner.h"

#include "afx.h"
#include "window_query.h"

#include <commctrl.h>

ModalDialogRunner::ModalDialogRunner(std::function<CDialog*()> make, const char* caption)
    : m_ready(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    m_thread = std::thread([this, make = std::move(make)] {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        m_pDialog = make();
        SetEvent(m_ready.Get());
        m_pDialog->DoModal();
        delete m_pDialog;
    });
    WaitForSingleObject(m_ready.Get(), INFINITE);
    m_hWnd = WindowQuery(caption).InThisProcess().WaitFor(10000);
}

ModalDialogRunner::~ModalDialogRunner()
{
    if (m_hWnd != nullptr)
        PostMessageA(m_hWnd, WM_COMMAND, IDCANCEL, 0);
    m_thread.join();
}
