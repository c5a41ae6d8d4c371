// The About box (template 100), opened from the main dialog's system menu.
#pragma once
#include "afx.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
