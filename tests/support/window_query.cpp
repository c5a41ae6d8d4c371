#include "window_query.h"

#include "wait_until.h"

namespace {

const DWORD kPollMs = 20;

BOOL CALLBACK Collect(HWND hWnd, LPARAM lParam)
{
    reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}

}  // namespace

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

WindowQuery WindowQuery::AnyMessageBox() { return WindowQuery(Kind::kMessageBox, 0); }

WindowQuery WindowQuery::AnyOfProcess(DWORD pid) { return WindowQuery(Kind::kAnyCaption, pid); }

WindowQuery WindowQuery::InThisProcess() const
{
    WindowQuery query(*this);
    query.m_pid = GetCurrentProcessId();
    return query;
}

WindowQuery WindowQuery::HiddenToo() const
{
    WindowQuery query(*this);
    query.m_hiddenToo = true;
    return query;
}

bool WindowQuery::Matches(HWND hWnd) const
{
    if (!m_hiddenToo && !IsWindowVisible(hWnd))
        return false;
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (m_pid == 0 ? pid == GetCurrentProcessId() : pid != m_pid)
        return false;
    switch (m_kind) {
    case Kind::kCaption:
        return WindowText(hWnd) == m_caption;
    case Kind::kMessageBox:
        return WindowClass(hWnd) == "#32770" && GetDlgItem(hWnd, 0xFFFF) != nullptr &&
               GetDlgItem(hWnd, IDOK) != nullptr;
    default:
        return true;
    }
}

std::vector<HWND> WindowQuery::FindAll() const
{
    std::vector<HWND> all, found;
    EnumWindows(&Collect, reinterpret_cast<LPARAM>(&all));
    for (HWND hWnd : all)
        if (Matches(hWnd))
            found.push_back(hWnd);
    return found;
}

HWND WindowQuery::Find() const
{
    std::vector<HWND> found = FindAll();
    return found.empty() ? nullptr : found.front();
}

HWND WindowQuery::WaitFor(DWORD timeoutMs) const
{
    HWND hWnd = nullptr;
    WaitUntil([&] { return (hWnd = Find()) != nullptr; }, timeoutMs, kPollMs);
    return hWnd;
}

bool WindowQuery::WaitUntilGone(DWORD timeoutMs) const
{
    return WaitUntil([&] { return Find() == nullptr; }, timeoutMs, kPollMs);
}
