#include "message_pump.h"

#include <algorithm>

namespace {

// A message of a dialog's window goes through the dialog manager first (Esc, Tab, Enter), as in
// the dialog's own modal loop.
bool IsDialogKey(MSG& msg)
{
    if (msg.hwnd == nullptr || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST)
        return false;
    HWND hRoot = GetAncestor(msg.hwnd, GA_ROOT);
    char szClass[16] = "";
    return hRoot != nullptr && GetClassNameA(hRoot, szClass, sizeof(szClass)) > 0 &&
           lstrcmpA(szClass, "#32770") == 0 && IsDialogMessageA(hRoot, &msg);
}

}  // namespace

BOOL AfxPumpMessagesUntil(HANDLE hEvent, DWORD dwTimeoutMs, const std::function<bool()>& bDone)
{
    const DWORD dwStart = GetTickCount();
    bool bQuit = false, bServed = false;
    int nQuitCode = 0;
    BOOL bEnded = FALSE;
    while (!bEnded) {
        if (bDone && bDone()) {
            bEnded = TRUE;
            break;
        }
        const DWORD dwElapsed = GetTickCount() - dwStart;
        if (dwTimeoutMs != INFINITE && dwElapsed >= dwTimeoutMs)
            break;
        DWORD dwWait = bDone ? 50 : INFINITE;
        if (dwTimeoutMs != INFINITE)
            dwWait = std::min(dwWait, dwTimeoutMs - dwElapsed);
        DWORD dwResult = MsgWaitForMultipleObjects(hEvent ? 1 : 0, hEvent ? &hEvent : nullptr, FALSE, dwWait,
                                                   QS_ALLINPUT);
        if (hEvent != nullptr && dwResult == WAIT_OBJECT_0) {
            bEnded = TRUE;
            break;
        }
        if (dwResult == WAIT_FAILED) {
            Sleep(1);  // do not spin
            continue;
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                bQuit = true;
                nQuitCode = static_cast<int>(msg.wParam);
                continue;
            }
            bServed = true;
            if (IsDialogKey(msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            if (bDone && bDone()) {
                bEnded = TRUE;
                break;
            }
        }
    }
    if (bQuit)
        PostQuitMessage(nQuitCode);
    else if (bServed)
        PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
    return bEnded;
}
