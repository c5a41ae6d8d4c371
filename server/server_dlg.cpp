#include "server_dlg.h"

#include "board_link.h"
#include "resource.h"
#include "server_app.h"

BEGIN_MESSAGE_MAP(CServerDlg, CMainDialogShell)
    ON_BN_CLICKED(IDC_ABORT_CALL, OnAbortCall)
    ON_MESSAGE(WM_QUERYENDSESSION, OnQueryEndSession)
    ON_MESSAGE(WM_ENDSESSION, OnEndSession)
END_MESSAGE_MAP()

CServerDlg::CServerDlg() : CMainDialogShell(IDD_MAIN_DIALOG), m_nOwnThread(0) {}

void CServerDlg::DoDataExchange(CDataExchange* pDX)
{
    CMainDialogShell::DoDataExchange(pDX);
    for (int i = 0; i < 8; ++i)
        DDX_Control(pDX, IDC_PROGRESS8 - i, m_progress[i]);
    DDX_Radio(pDX, IDC_OWNTHREAD_ENABLED, m_nOwnThread);
}

BOOL CServerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();  // NOLINT(bugprone-parent-virtual-call): the shell's part (InitShell) follows below
    m_slots.Clear();
    InitShell();
    // Checking "Enabled" made it a tab stop, so the system would focus it, and Enter on it closes
    // the server. Hand the focus to "Abort Call" through the dialog manager instead, which also
    // makes it the default button while it has the focus: Enter then presses it.
    PostMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(IDC_ABORT_CALL)), TRUE);
    return TRUE;
}

BOOL CServerDlg::IsOwnThreadSelected()
{
    UpdateData(TRUE);
    return m_nOwnThread == 0;
}

int CServerDlg::AllocateSlot()
{
    return m_slots.Allocate([this](int i) { return &GetSlotBar(i); });
}

BOOL CServerDlg::StepSlot(int nSlot) { return m_slots.Step(nSlot); }

void CServerDlg::ReleaseSlot(int nSlot) { m_slots.Release(nSlot); }

void CServerDlg::OnAbortCall() { m_slots.RequestAbort(); }

LRESULT CServerDlg::OnQueryEndSession(WPARAM, LPARAM) { return TRUE; }

LRESULT CServerDlg::OnEndSession(WPARAM wParam, LPARAM)
{
    // The end runs from this thread's loop, as after Esc, once the session manager has its answer:
    // inside its SendMessage COM refuses every call this thread makes
    // (RPC_E_CANTCALLOUT_ININPUTSYNCCALL), and the end makes some: the clients' sinks given back, a
    // sink's QueryInterface in a call it serves meanwhile.
    // Running calls are told to stop at their next step now, which calls nobody.
    if (wParam) {
        CBoardUse::CloseBoard();
        PostMessage(WM_COMMAND, IDCANCEL, 0);
    }
    return 0;
}

void CServerDlg::OnOK() { EndServer(IDOK); }

void CServerDlg::OnCancel() { EndServer(IDCANCEL); }

void CServerDlg::EndServer(int nResult)
{
    EndDialog(nResult);
    // The waits come once the dialog's loop has returned (InitInstance): this may run inside a
    // "Disabled" object's call, and that object cannot go before the call returns.
    CServerApp::BeginEnd();
}
