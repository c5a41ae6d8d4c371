#include "server_window.h"

#include "now_ms.h"
#include "wait_until.h"

#include <unique_handle.h>

#include <commctrl.h>

namespace {

const DWORD kPollMs = 20;
const int kFirstBarId = 1000;
const int kEnabledId = 1008;
const int kDisabledId = 1009;

// The dialog's group box ("Own Thread", which has no control ID of its own).
BOOL CALLBACK FindGroupBox(HWND hWnd, LPARAM lParam)
{
    char name[32] = "";
    GetClassNameA(hWnd, name, sizeof(name));
    if (lstrcmpiA(name, "Button") != 0 || (GetWindowLongA(hWnd, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX)
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = hWnd;
    return FALSE;
}

}  // namespace

HWND ServerWindow::Find(DWORD timeoutMs) const { return m_query.WaitFor(timeoutMs); }

DWORD ServerWindow::ProcessId() const
{
    DWORD pid = 0;
    GetWindowThreadProcessId(Find(), &pid);
    return pid;
}

const char* ServerWindow::Name(EndBy way)
{
    switch (way) {
    case EndBy::kCloseBox: return "close box";
    case EndBy::kEsc: return "Esc";
    default: return "logoff";
    }
}

bool ServerWindow::EndAndWaitForExit(EndBy way, DWORD timeoutMs, DWORD* pExitCode) const
{
    if (pExitCode)
        *pExitCode = 0;
    HWND hWnd = Find();
    if (hWnd == nullptr)
        return true;
    CUniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessId()));
    if (way == EndBy::kCloseBox) {
        PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (way == EndBy::kEsc) {
        // To the focused control, as the keyboard sends it: the dialog's loop makes it IDCANCEL.
        GUITHREADINFO gui{sizeof(gui)};
        HWND hTarget = GetGUIThreadInfo(GetWindowThreadProcessId(hWnd, nullptr), &gui) && gui.hwndFocus
                           ? gui.hwndFocus : hWnd;
        PostMessageA(hTarget, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(hTarget, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    } else {
        SendLogoff(timeoutMs);
    }
    bool ended = process ? WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0
                         : WaitUntil([&] { return !IsRunning(); }, timeoutMs, kPollMs);
    if (pExitCode && !(process && ended && GetExitCodeProcess(process.Get(), pExitCode)))
        *pExitCode = static_cast<DWORD>(-1);
    return ended;
}

bool ServerWindow::SendLogoff(DWORD timeoutMs) const
{
    // The session ends once every program has returned from WM_ENDSESSION.
    HWND hWnd = Find();
    DWORD_PTR answer = 0;
    return hWnd != nullptr &&
           SendMessageTimeoutA(hWnd, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, timeoutMs, &answer) &&
           answer != 0 &&
           SendMessageTimeoutA(hWnd, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, timeoutMs, &answer);
}

int ServerWindow::Bar(int slot) const
{
    return static_cast<int>(SendMessageA(GetDlgItem(Find(), kFirstBarId + slot), PBM_GETPOS, 0, 0));
}

std::array<int, 8> ServerWindow::Bars() const
{
    std::array<int, 8> bars{};
    for (int i = 0; i < 8; ++i)
        bars[i] = Bar(i);
    return bars;
}

bool ServerWindow::ReadBars(std::array<int, 8>* pBars, DWORD timeoutMs) const
{
    HWND hWnd = Find();
    if (hWnd == nullptr)
        return false;
    for (int i = 0; i < 8; ++i) {
        DWORD_PTR pos = 0;
        if (!SendMessageTimeoutA(GetDlgItem(hWnd, kFirstBarId + i), PBM_GETPOS, 0, 0, SMTO_NORMAL, timeoutMs, &pos))
            return false;
        (*pBars)[i] = static_cast<int>(pos);
    }
    return true;
}

bool ServerWindow::WaitForFreeBoard(DWORD timeoutMs) const
{
    return WaitUntil(
        [&] {
            std::array<int, 8> bars{};
            return ReadBars(&bars, 1000) && bars == std::array<int, 8>{};
        },
        timeoutMs, kPollMs);
}

void ServerWindow::Click(int controlId) const { PostMessageA(GetDlgItem(Find(), controlId), BM_CLICK, 0, 0); }

bool ServerWindow::SelectOwnThread(bool enabled) const
{
    HWND hWnd = Find(5000);
    if (hWnd == nullptr)
        return false;
    HWND hChoice = GetDlgItem(hWnd, enabled ? kEnabledId : kDisabledId);
    PostMessageA(hChoice, BM_CLICK, 0, 0);
    return WaitUntil([&] { return SendMessageA(hChoice, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 5000, kPollMs);
}

double ServerWindow::Ping(DWORD timeoutMs) const
{
    DWORD_PTR result = 0;
    double start = NowMs();
    LRESULT ok = SendMessageTimeoutA(Find(), WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result);
    return ok ? NowMs() - start : -1.0;
}



double ServerWindow::PostedRoundTrip(DWORD timeoutMs) const
{
    HWND hBox = nullptr;
    HWND hWnd = Find();
    if (hWnd != nullptr)
        EnumChildWindows(hWnd, &FindGroupBox, reinterpret_cast<LPARAM>(&hBox));
    // The state now, answered even while the dialog's thread waits; the post toggles it.
    DWORD_PTR state = 0;
    if (hBox == nullptr || !SendMessageTimeoutA(hBox, BM_GETSTATE, 0, 0, SMTO_NORMAL, timeoutMs, &state))
        return -1.0;
    const bool pushed = (state & BST_PUSHED) == 0;
    double start = NowMs();
    if (!PostMessageA(hBox, BM_SETSTATE, pushed, 0))
        return -1.0;
    bool handled = WaitUntil(
        [&] {
            DWORD_PTR now = 0;
            return SendMessageTimeoutA(hBox, BM_GETSTATE, 0, 0, SMTO_NORMAL, timeoutMs, &now) &&
                   ((now & BST_PUSHED) != 0) == pushed;
        },
        timeoutMs, 1);
    return handled ? NowMs() - start : -1.0;
}
