// The behaviour both programs' main dialogs share: the application icon on the window and painted
// while minimized, the About entry in the system menu, and the drag icon.
#pragma once
#include "afx.h"

class CMainDialogShell : public CDialog {
public:
    explicit CMainDialogShell(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

protected:
    // CDialog's initialisation, then the shell's; a dialog with more to do overrides this and calls
    // CDialog::OnInitDialog, does its part, then InitShell.
    BOOL OnInitDialog() override;
    // Appends the About item to the system menu and sets the icons.
    void InitShell();

    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();

    HICON m_hIcon;

    DECLARE_MESSAGE_MAP()
};
