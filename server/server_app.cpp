#include "server_app.h"

#include "board_link.h"
#include "demo_cmd_target.h"
#include "resource.h"
#include "running_marker.h"
#include "server_dlg.h"

BEGIN_MESSAGE_MAP(CServerApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CServerApp::CServerApp()
    : COleServerApp({&CQDCmdTarget::factory}, LIBID_QDSERVER, kQDServerLibVersionMajor, kQDServerLibVersionMinor)
{
}

CServerApp theApp;

BOOL CServerApp::InitInstance()
{
    if (RunRegistrationSwitch())
        return FALSE;

    if (!AfxOleInit()) {
        AfxMessageBox(IDP_OLE_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
        return FALSE;
    }
    Enable3dControls();
    const CRunningMarker running;  // held until the server ends: installers look for it

    // Every start offers the classes to COM and writes their registration; the command line
    // (/Embedding, /Automation) makes no difference: the dialog is always shown.
    RegisterFactories();
    RegisterAtStart();

    CServerDlg dlg;
    // cppcheck-suppress danglingLifetime ; CBoardUse::CloseBoard clears it before dlg ends
    m_pMainWnd = &dlg;
    dlg.DoModal();
    // A closing server takes no new objects: from here a client's creation starts a new server.
    COleObjectFactory::RevokeAll();
    // Objects and calls may outlive the dialog; from now on they find no board.
    CBoardUse::CloseBoard();
    return FALSE;
}
