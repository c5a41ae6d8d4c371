#include "message_box.h"

#include "win_app.h"
#include "wnd.h"

#include <string>

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT)
{
    HWND hWndOwner = nullptr;
    if (CWinApp* pApp = AfxGetApp()) {
        CWnd* pMainWnd = pApp->m_pMainWnd;
        if (pMainWnd != nullptr && pMainWnd->m_hWnd != nullptr &&
            GetWindowThreadProcessId(pMainWnd->m_hWnd, nullptr) == GetCurrentThreadId())
            hWndOwner = pMainWnd->m_hWnd;
    }
    if (!(nType & MB_ICONMASK))
        nType |= (nType & MB_TYPEMASK) == MB_OK ? MB_ICONEXCLAMATION : MB_ICONQUESTION;
    return MessageBoxA(hWndOwner, lpszText, AfxGetAppName(), nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT)
{
    std::string text = AfxLoadString(nIDPrompt);
    return AfxMessageBox(text.c_str(), nType, 0);
}
