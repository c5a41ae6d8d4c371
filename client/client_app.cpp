#include "client_app.h"

#include "client_dlg.h"
#include "resource.h"

BEGIN_MESSAGE_MAP(CClientApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CClientApp::CClientApp() = default;

CClientApp theApp;

BOOL CClientApp::InitInstance()
{
    if (!AfxOleInit()) {
        AfxMessageBox(IDP_OLE_INIT_FAILED, MB_OK, static_cast<UINT>(-1));
        return FALSE;
    }
    Enable3dControls();

    if (RunEmbedded() || RunAutomated()) {
        // Started by COM: no window; the message loop runs until something ends it.
        COleObjectFactory::RegisterAll();
        return TRUE;
    }
    COleObjectFactory::UpdateRegistryAll(TRUE);

    CClientDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
