#include "about_dlg.h"

#include "shell_resource.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUT) {}
