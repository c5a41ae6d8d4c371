#include "server_app.h"

#include "board_link.h"
#include "demo_cmd_target.h"
#include "resource.h"
#include "server_dlg.h"

BEGIN_MESSAGE_MAP(CServerApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CServerApp::CServerApp() = default;

CServerApp theApp;

BOOL CServerApp::InitInstance()
{
    // Installers run these unattended: no window, no message box, only the exit code. Asked for
    // both at once, the server does neither.
    const BOOL bRegister = RunRegServer();
    const BOOL bUnregister = RunUnregServer();
    if (bRegister || bUnregister) {
        m_nExitCode = bRegister != bUnregister && AfxOleInit() && UpdateRegistration(bRegister) ? 0 : 1;
        return FALSE;
    }

    if (!AfxOleInit()) {
        AfxMessageBox(IDP_OLE_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
        return FALSE;
    }
    Enable3dControls();

    // Every start offers the classes to COM and writes their registration; the command line
    // (/Embedding, /Automation) makes no difference: the dialog is always shown.
    COleObjectFactory::RegisterAll();
    UpdateRegistration(TRUE);

    CServerDlg dlg;
    // cppcheck-suppress danglingLifetime ; CBoardUse::CloseBoard clears it before dlg ends
    m_pMainWnd = &dlg;
    dlg.DoModal();
    // Objects and calls may outlive the dialog; from now on they find no board.
    CBoardUse::CloseBoard();
    return FALSE;
}

int CServerApp::ExitInstance() { return m_nExitCode; }

BOOL CServerApp::UpdateRegistration(BOOL bRegister)
{
    // Both parts even when the first fails: as much as can be written, or removed, is.
    BOOL bClasses = COleObjectFactory::UpdateRegistryAll(bRegister);
    BOOL bTypeLib = bRegister ? AfxOleRegisterTypeLib(AfxGetInstanceHandle(), LIBID_QDSERVER,
                                                      kQDServerLibVersionMajor, kQDServerLibVersionMinor)
                              : AfxOleUnregisterTypeLib(AfxGetInstanceHandle(), LIBID_QDSERVER,
                                                        kQDServerLibVersionMajor, kQDServerLibVersionMinor);
    return bClasses && bTypeLib;
}
