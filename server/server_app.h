// QDSERVER's application: initialises OLE, offers its automation classes to COM, writes their
// registration, and runs the main dialog until the user closes it.
#pragma once
#include "afx.h"

class CServerApp : public CWinApp {
public:
    CServerApp();
    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};

extern CServerApp theApp;
