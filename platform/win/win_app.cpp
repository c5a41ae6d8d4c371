#include "win_app.h"

#include "interleaving_points.h"
#include "ole_app.h"
#include "wnd.h"

#include <commctrl.h>

#include <atomic>
#include <cctype>
#include <cstring>

IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

namespace {
// Read from own threads too. Constant-initialised, so it is null before any constructor runs.
std::atomic<CWinApp*> g_pApp{nullptr};
}

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCSTR lpszAppName)
{
    g_pApp = this;
    m_bAutoDelete = FALSE;
    // Constructed during static initialization, which runs on the main thread.
    m_nThreadID = GetCurrentThreadId();
    m_hInstance = GetModuleHandleA(nullptr);
    if (lpszAppName != nullptr) {
        m_strAppName = lpszAppName;
        m_pszAppName = m_strAppName.c_str();
    }
}

CWinApp::~CWinApp()
{
    CWinApp* pThis = this;
    g_pApp.compare_exchange_strong(pThis, nullptr);
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

void CWinApp::Enable3dControls()
{
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
}

BOOL CWinApp::HasSwitch(const char* lpszSwitch) const
{
    // A switch is a whole argument: '/' or '-', then the name in any case. A quoted argument is
    // never a switch, so a path holding "-RegServer" is not one.
    const char* p = m_lpCmdLine;
    if (p == nullptr)
        return FALSE;
    const size_t n = std::strlen(lpszSwitch);
    while (*p) {
        while (std::isspace(static_cast<unsigned char>(*p)))
            ++p;
        const char* start = p;
        bool bQuoted = false;
        while (*p && (bQuoted || !std::isspace(static_cast<unsigned char>(*p)))) {
            if (*p == '"')
                bQuoted = !bQuoted;
            ++p;
        }
        if (static_cast<size_t>(p - start) == n + 1 && (*start == '/' || *start == '-') &&
            _strnicmp(start + 1, lpszSwitch, n) == 0)
            return TRUE;
    }
    return FALSE;
}

BOOL CWinApp::RunEmbedded() const { return HasSwitch("Embedding"); }

BOOL CWinApp::RunAutomated() const { return HasSwitch("Automation"); }

BOOL CWinApp::RunRegServer() const { return HasSwitch("RegServer"); }

BOOL CWinApp::RunUnregServer() const { return HasSwitch("UnregServer"); }

void CWinApp::OnHelp()
{
    // These programs ship no help file; F1 has nothing to open.
}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetInstanceHandle()
{
    CWinApp* pApp = g_pApp;
    return pApp ? pApp->m_hInstance : GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

LPCSTR AfxGetAppName()
{
    // Without a name of its own the application goes by its module's file name.
    static std::string s_strModuleName;
    CWinApp* pApp = g_pApp;
    if (pApp != nullptr && pApp->m_pszAppName != nullptr)
        return pApp->m_pszAppName;
    if (s_strModuleName.empty()) {
        char path[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, path, MAX_PATH);
        const char* name = std::strrchr(path, '\\');
        name = name ? name + 1 : path;
        s_strModuleName = name;
        size_t dot = s_strModuleName.rfind('.');
        if (dot != std::string::npos)
            s_strModuleName.erase(dot);
    }
    return s_strModuleName.c_str();
}

std::string AfxLoadString(UINT nID)
{
    char buffer[1024];
    int n = LoadStringA(AfxGetResourceHandle(), nID, buffer, sizeof(buffer));
    return std::string(buffer, n > 0 ? n : 0);
}

int AfxWinMain(HINSTANCE hInstance, LPSTR lpCmdLine, int nCmdShow)
{
    CWinApp* pApp = AfxGetApp();
    if (pApp == nullptr)
        return -1;
    pApp->m_hInstance = hInstance;
    pApp->m_lpCmdLine = lpCmdLine;
    pApp->m_nCmdShow = nCmdShow;
    AfxSetCurrentThread(pApp);
    // Tests and torture runs reach into the program through its interleaving points.
    CInterleavingPoints::ArmFromEnvironment();

    int nReturnCode = 0;
    try {
        int nRunCode = pApp->InitInstance() ? pApp->Run() : 0;
        int nExitCode = pApp->ExitInstance();
        nReturnCode = nExitCode != 0 ? nExitCode : nRunCode;
    } catch (...) {
        AfxReportEscapedException();
        nReturnCode = -1;
    }
    AfxOleTerm();
    return nReturnCode;
}
