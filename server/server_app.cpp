#include "server_app.h"

#include "board_link.h"
#include "demo_cmd_target.h"
#include "resource.h"
#include "running_marker.h"
#include "server_dlg.h"

#include <com_security.h>

BEGIN_MESSAGE_MAP(CServerApp, CWinApp)
    ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CServerApp::CServerApp() = default;

CServerApp theApp;

BOOL CServerApp::InitInstance()
{
    // Installers run these unattended: no window, no message box, only the exit code. Asked for
    // more than one at once, the server does none.
    struct Switch {
        const char* name;
        BOOL bRegister;
        EClassesScope scope;
    };
    static const Switch kSwitches[] = {{"RegServer", TRUE, EClassesScope::Machine},
                                       {"UnregServer", FALSE, EClassesScope::Machine},
                                       {"RegServerPerUser", TRUE, EClassesScope::User},
                                       {"UnregServerPerUser", FALSE, EClassesScope::User}};
    const Switch* pSwitch = nullptr;
    int nSwitches = 0;
    for (const Switch& s : kSwitches) {
        if (HasSwitch(s.name)) {
            pSwitch = &s;
            ++nSwitches;
        }
    }
    if (nSwitches != 0) {
        m_nExitCode = nSwitches == 1 && AfxOleInit() && UpdateRegistration(pSwitch->bRegister, pSwitch->scope) ? 0 : 1;
        return FALSE;
    }

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
    COleObjectFactory::RegisterAll({&CQDCmdTarget::factory});
    RegisterAtStart();

    CServerDlg dlg;
    // cppcheck-suppress danglingLifetime ; CBoardUse::CloseBoard clears it before dlg ends
    m_pMainWnd = &dlg;
    dlg.DoModal();
    EndServing();
    return FALSE;
}

void CServerApp::EndServing()
{
    // A closing server takes no new objects: from here a client's creation starts a new server.
    COleObjectFactory::RevokeAll();
    // From now on objects find no board: a running call stops at its next step.
    CBoardUse::CloseBoard();
    if (!COwnThreadEngine::DisconnectAll(kEndWaitMs))
        ExitProcess(0);
}

int CServerApp::ExitInstance() { return m_nExitCode; }

BOOL CServerApp::UpdateRegistration(BOOL bRegister, EClassesScope scope)
{
    // Both parts even when the first fails: as much as can be written, or removed, is.
    BOOL bClasses = COleObjectFactory::UpdateRegistryAll(bRegister, scope);
    BOOL bTypeLib = bRegister ? AfxOleRegisterTypeLib(AfxGetInstanceHandle(), LIBID_QDSERVER,
                                                      kQDServerLibVersionMajor, kQDServerLibVersionMinor, scope)
                              : AfxOleUnregisterTypeLib(AfxGetInstanceHandle(), LIBID_QDSERVER,
                                                        kQDServerLibVersionMajor, kQDServerLibVersionMinor, scope);
    return bClasses && bTypeLib;
}

BOOL CServerApp::RegisterAtStart()
{
    if (COleObjectFactory::IsRegisteredHereAll() &&
        AfxOleIsTypeLibRegisteredHere(AfxGetInstanceHandle(), LIBID_QDSERVER, kQDServerLibVersionMajor,
                                      kQDServerLibVersionMinor))
        return TRUE;
    // Asked before anything is written, so that a refusal leaves no half registration behind.
    CRegKey machine;
    if (CClassesRoot::OpenForWrite(EClassesScope::Machine, machine) != ERROR_ACCESS_DENIED)
        return UpdateRegistration(TRUE, EClassesScope::Machine);
    return UpdateRegistration(TRUE, EClassesScope::User);
}
