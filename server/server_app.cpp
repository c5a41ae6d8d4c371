#include "server_app.h"

#include "board_link.h"
#include "demo_cmd_target.h"
#include "resource.h"
#include "running_marker.h"
#include "server_dlg.h"

#include <com_security.h>
#include <ole_app.h>
#include <own_thread_pool.h>

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
    // Before any class is offered: a server never serves with the machine's default security.
    if (FAILED(CComSecurity::InitializeProcess())) {
        AfxMessageBox("COM security could not be set up, so QDSERVER does not serve.", MB_OK | MB_ICONSTOP);
        m_nExitCode = 1;
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
    EndServing();
    return FALSE;
}

void CServerApp::BeginEnd()
{
    // A closing server takes no new objects, not even through a class factory a client holds: from
    // here a client's creation starts a new server.
    AfxOleEndServing();
    // From now on objects find no board: a running call stops at its next step.
    CBoardUse::CloseBoard();
    COwnThreadEngine::AskAllToDisconnect();
}

void CServerApp::EndServing()
{
    // Its waits serve messages: a second Esc, or the session's end, must not start it again inside.
    static bool s_bEnding = false;
    if (s_bEnding)
        return;
    s_bEnding = true;
    BeginEnd();
    if (!COwnThreadEngine::DisconnectAll(kEndWaitMs)) {
        // A thread still held (a client that does not return from an event): the process ends at
        // once, without detaching its libraries under that thread, which may hold their locks.
        TerminateProcess(GetCurrentProcess(), 0);
    }
    // Every object is gone: the own threads leave their apartments and end.
    COwnThreadPool::Instance().EndAll(kEndWaitMs);
    s_bEnding = false;
}
