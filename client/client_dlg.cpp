#include "client_dlg.h"

#include "resource.h"

BEGIN_MESSAGE_MAP(CClientDlg, CMainDialogShell)
    ON_BN_CLICKED(IDC_MAKE_CALL, OnMakeCall)
END_MESSAGE_MAP()

CClientDlg::CClientDlg() : CMainDialogShell(IDD_MAIN_DIALOG) {}

void CClientDlg::OnMakeCall()
{
    // The driver releases the object when it goes: after the message box, or as a failed call
    // unwinds to the framework, which reports the failure.
    COleDispatchDriver demo;
    const char* lpszText;
    if (demo.CreateDispatch("QDSERVER.DEMO")) {
        demo.InvokeHelper(1, DISPATCH_METHOD, VT_EMPTY, nullptr, nullptr);  // "Test"
        lpszText = "The operation is finished successfully !";
    } else {
        lpszText = "QDServer not found in registry!\n Run the QDServer for the first time.";
    }
    AfxMessageBox(lpszText, MB_OK, 0);
}
