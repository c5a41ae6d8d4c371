#include "window_finder.h"

std::string WindowText(HWND hWnd)
{
    char text[1024] = "";
    GetWindowTextA(hWnd, text, sizeof(text));
    return text;
}

std::string WindowClass(HWND hWnd)
{
    char name[256] = "";
    GetClassNameA(hWnd, name, sizeof(name));
    return name;
}

namespace {

struct Search {
    const char* caption;  // nullptr: any message box
    HWND found;
};

BOOL CALLBACK Visit(HWND hWnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<Search*>(lParam);
    if (!IsWindowVisible(hWnd))
        return TRUE;
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (pid == GetCurrentProcessId())
        return TRUE;
    if (search->caption != nullptr) {
        if (WindowText(hWnd) == search->caption) {
            search->found = hWnd;
            return FALSE;
        }
    } else if (WindowClass(hWnd) == "#32770" && GetDlgItem(hWnd, 0xFFFF) != nullptr &&
               GetDlgItem(hWnd, IDOK) != nullptr) {
        search->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindOnce(const char* caption)
{
    Search search{caption, nullptr};
    EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND WaitForWindow(const char* caption, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND hWnd = FindOnce(caption))
            return hWnd;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
        Sleep(20);
    }
}

BOOL WaitForWindowGone(const char* caption, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (FindOnce(caption) != nullptr) {
        if (GetTickCount() - start >= timeoutMs)
            return FALSE;
        Sleep(20);
    }
    return TRUE;
}

namespace {

struct All {
    const char* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectAll(HWND hWnd, LPARAM lParam)
{
    auto* all = reinterpret_cast<All*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (IsWindowVisible(hWnd) && pid != GetCurrentProcessId() && WindowText(hWnd) == all->caption)
        all->found.push_back(hWnd);
    return TRUE;
}

}  // namespace

std::vector<HWND> FindWindows(const char* caption)
{
    All all{caption, {}};
    EnumWindows(&CollectAll, reinterpret_cast<LPARAM>(&all));
    return all.found;
}

namespace {

struct Owned {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectOwned(HWND hWnd, LPARAM lParam)
{
    auto* owned = reinterpret_cast<Owned*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (pid == owned->pid && IsWindowVisible(hWnd))
        owned->found.push_back(hWnd);
    return TRUE;
}

}  // namespace

std::vector<HWND> VisibleWindowsOf(DWORD pid)
{
    Owned owned{pid, {}};
    EnumWindows(&CollectOwned, reinterpret_cast<LPARAM>(&owned));
    return owned.found;
}

HWND WaitForMessageBox(DWORD timeoutMs) { return WaitForWindow(nullptr, timeoutMs); }
