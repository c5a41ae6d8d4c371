// QDSERVER's application: initialises OLE, offers its automation classes to COM, writes their
// registration and its type library's, and runs the main dialog until the user closes it. Started
// with /RegServer or /UnregServer, it only writes or removes that registration and ends, without a
// window; its exit code is then 0 on success and 1 on failure.
#pragma once
#include "afx.h"

class CServerApp : public CWinApp {
public:
    CServerApp();
    BOOL InitInstance() override;
    int ExitInstance() override;

protected:
    // The classes' entries and the type library's, written or removed together.
    static BOOL UpdateRegistration(BOOL bRegister);

    int m_nExitCode = 0;

    DECLARE_MESSAGE_MAP()
};

extern CServerApp theApp;
