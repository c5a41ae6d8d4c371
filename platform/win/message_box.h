// Message boxes in the application's name, owned by the main window when it lives on this thread.
#pragma once
#include <windows.h>

int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
// Shows string nIDPrompt from the resources; nIDHelp (UINT)-1 means "use the prompt's ID".
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = static_cast<UINT>(-1));
