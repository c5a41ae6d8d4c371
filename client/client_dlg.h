// QDCLIENT's main window: one button that creates a "QDSERVER.DEMO" object, calls its "Test",
// reports the outcome and releases the object.
#pragma once
#include "main_dialog_shell.h"

class CClientDlg : public CMainDialogShell {
public:
    CClientDlg();

protected:
    afx_msg void OnMakeCall();

    DECLARE_MESSAGE_MAP()
};
