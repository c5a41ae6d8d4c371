// QDSERVER's main window: eight bars that demo objects borrow, the "Own Thread" choice that new
// objects read, and "Abort Call", which stops the next call that steps.
#pragma once
#include "main_dialog_shell.h"
#include "slot_table.h"

class CServerDlg : public CMainDialogShell {
public:
    CServerDlg();

    // For demo objects. IsOwnThreadSelected, AllocateSlot and ReleaseSlot run on the main thread;
    // StepSlot runs on whichever thread the object's call runs on.
    BOOL IsOwnThreadSelected();
    int AllocateSlot();
    BOOL StepSlot(int nSlot);
    void ReleaseSlot(int nSlot);

    // The bar that slot nSlot lends ("Object nSlot+1:").
    CProgressCtrl& GetSlotBar(int nSlot) { return m_progress[7 - nSlot]; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    afx_msg void OnAbortCall();
    // However the dialog ends (Enter, Esc, the close box, the session's end), the server ends in
    // the handler, in one order: a creation that waits for a busy thread further down this
    // thread's stack must not hold the end until that thread is free, and a session's end may stop
    // the process any time after the handler returns.
    void OnOK() override;
    void OnCancel() override;
    // The session may end at any time: yes. It ends (TRUE): the server ends as if closed.
    afx_msg LRESULT OnQueryEndSession(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnEndSession(WPARAM wParam, LPARAM lParam);
    void EndServer(int nResult);

    CSlotTable<CProgressCtrl> m_slots;  // the slot table and the abort request
    CProgressCtrl m_progress[8];        // bound to 1007, 1006, ..., 1000
    int m_nOwnThread;                   // 0: "Enabled", 1: "Disabled"

    DECLARE_MESSAGE_MAP()
};
