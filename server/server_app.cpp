#include "server_app.h"

#include "board_link.h"
#include "resource.h"
#include "server_dlg.h"

BEGIN_MESSAGE_MAP(CServerApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CServerApp::CServerApp() = default;

CServerApp theApp;

BOOL CServerApp::InitInstance()
{
    if (!AfxOleInit()) {
        AfxMessageBox(IDP_OLE_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
        return FALSE;
    }
    Enable3dControls();

    // Every start offers the classes to COM and writes their registration; the command line
    // (/Embedding, /Automation) makes no difference: the dialog is always shown.
    COleObjectFactory::RegisterAll();
    COleObjectFactory::UpdateRegistryAll(TRUE);

    CServerDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    // Objects and calls may outlive the dialog; from now on they find no board.
    CBoardUse::CloseBoard();
    return FALSE;
}
