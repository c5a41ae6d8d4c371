// Dialog data exchange: binds control IDs to members. DoDataExchange runs in both directions;
// m_bSaveAndValidate tells which (TRUE: controls to members).
#pragma once
#include "wnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;

    // The control's window; throws when the dialog has no such control.
    HWND PrepareCtrl(int nIDC) const;
};

// Attaches rControl to the dialog's control nIDC (once).
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
// The 0-based index of the checked radio button in the group that starts at nIDC (-1: none).
void DDX_Radio(CDataExchange* pDX, int nIDC, int& value);
