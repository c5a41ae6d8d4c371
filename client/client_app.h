// QDCLIENT's application: runs the one-button dialog, or, when started by COM for embedding or
// automation, offers its (no) classes and waits in the message loop.
#pragma once
#include "afx.h"

class CClientApp : public CWinApp {
public:
    CClientApp();
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CClientApp theApp;
