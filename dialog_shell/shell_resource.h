// Resource symbols shared by both programs' dialogs.
#pragma once

#define IDD_ABOUT 100
#define IDP_OLE_INIT_FAILED 100
#define IDS_ABOUT 101
#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128

#define IDM_ABOUT 0x0010

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
