// CDialog: a dialog box from a template resource, run modally. The window is subclassed when it
// receives WM_INITDIALOG, so the message map sees every later message; OK and Cancel end it.
#pragma once
#include "wnd.h"

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // Runs the dialog's modal loop on this thread; returns the code passed to EndDialog, or -1.
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);

    // Runs the first data exchange (members to controls). TRUE: the system sets the focus.
    virtual BOOL OnInitDialog();

protected:
    virtual void OnOK();
    virtual void OnCancel();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
};
