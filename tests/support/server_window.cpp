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

}  // namespace

HWND ServerWindow::Find(DWORD timeoutMs) const { return m_query.WaitFor(timeoutMs); }

DWORD ServerWindow::ProcessId() const
{
    DWORD pid = 0;
    GetWindowThreadProcessId(Find(), &pid);
    return pid;
}

bool ServerWindow::CloseAndWaitForExit(DWORD timeoutMs, DWORD* pExitCode) const
{
    if (pExitCode)
        *pExitCode = 0;
    HWND hWnd = Find();
    if (hWnd == nullptr)
        return true;
    CUniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ProcessId()));
    PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    bool ended = process ? WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0
                         : WaitUntil([&] { return !IsRunning(); }, timeoutMs, kPollMs);
    if (pExitCode && !(process && ended && GetExitCodeProcess(process.Get(), pExitCode)))
        *pExitCode = static_cast<DWORD>(-1);
    return ended;
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
