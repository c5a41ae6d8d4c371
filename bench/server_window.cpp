#include "server_window.h"

#include <unique_handle.h>

#include <commctrl.h>

namespace {

const int kFirstBarId = 1000;
const int kEnabledId = 1008;
const int kDisabledId = 1009;

template <class Pred> bool WaitUntil(Pred pred, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

}  // namespace

HWND ServerWindow::Find(DWORD timeoutMs) const
{
    HWND hWnd = nullptr;
    WaitUntil([&] { return (hWnd = FindWindowA(nullptr, m_caption)) != nullptr; }, timeoutMs);
    return hWnd;
}

bool ServerWindow::CloseAndWaitForExit(DWORD timeoutMs) const
{
    HWND hWnd = Find();
    if (hWnd == nullptr)
        return true;
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    CUniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    return process ? WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0
                   : WaitUntil([&] { return !IsRunning(); }, timeoutMs);
}

bool ServerWindow::SelectOwnThread(bool enabled) const
{
    HWND hWnd = Find(5000);
    if (hWnd == nullptr)
        return false;
    HWND hChoice = GetDlgItem(hWnd, enabled ? kEnabledId : kDisabledId);
    PostMessageA(hChoice, BM_CLICK, 0, 0);
    return WaitUntil([&] { return SendMessageA(hChoice, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 5000);
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
        timeoutMs);
}
