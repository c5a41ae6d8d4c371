// CWinApp: the one application object of a program. It is a global object; its constructor makes it
// the application that AfxGetApp() returns, and the program's entry point runs its InitInstance on the
// main thread. InitInstance returning FALSE ends the program.
#pragma once
#include "win_thread.h"

#include <string>

#define ID_HELP 0xE146

class CWinApp : public CWinThread {
    DECLARE_DYNAMIC(CWinApp)
public:
    explicit CWinApp(LPCSTR lpszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    // Initialises the common controls; visual styles come from the program's manifest.
    void Enable3dControls();
    // Whether COM started the program for an object ("/Embedding") or for automation ("/Automation").
    BOOL RunEmbedded() const;
    BOOL RunAutomated() const;
    // Whether an installer asks the server to write ("/RegServer") or remove ("/UnregServer") its
    // registration. Switches start with '/' or '-' and match without regard to case.
    BOOL RunRegServer() const;
    BOOL RunUnregServer() const;

    afx_msg void OnHelp();

    LPCSTR m_pszAppName = nullptr;
    HINSTANCE m_hInstance = nullptr;
    LPSTR m_lpCmdLine = nullptr;
    int m_nCmdShow = SW_SHOWNORMAL;

    // A whole argument: '/' or '-', then the name in any case.
    BOOL HasSwitch(const char* lpszSwitch) const;

    DECLARE_MESSAGE_MAP()

private:
    std::string m_strAppName;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
LPCSTR AfxGetAppName();
std::string AfxLoadString(UINT nID);

// The body of the program's entry point: runs the application object's start-up.
int AfxWinMain(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow);
