// QDTALLY's application: a server without a window. Started by COM (/Embedding) it offers its
// class and runs until the last object is gone; /RegServer and /UnregServer write or remove its
// registration and end (exit code 0 on success, 1 on failure), as does a start by hand (register).
#pragma once
#include <afx.h>

class CTallyApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override { return m_nExitCode; }

private:
    static BOOL UpdateRegistration(BOOL bRegister);
    int m_nExitCode = 0;
};
