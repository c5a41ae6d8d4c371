// Top-level windows picked by caption (or as message boxes) and by the process they belong to,
// found at once or waited for. By default a query sees the visible windows of other processes: the
// programs under test, read from a test or a driver.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

std::string WindowText(HWND hWnd);
std::string WindowClass(HWND hWnd);

class WindowQuery {
public:
    // A window whose caption is exactly `caption` (implicit: a caption is a query). The caption is
    // not copied: it must outlive the query.
    WindowQuery(const char* caption) : m_caption(caption) {}
    // A message box: class #32770 with the static 65535 and an OK button.
    static WindowQuery AnyMessageBox();
    // Every window of process pid, whatever its caption.
    static WindowQuery AnyOfProcess(DWORD pid);

    // This process's windows instead of other processes'.
    WindowQuery InThisProcess() const;
    // Hidden windows count as well (the bare server has only a hidden one).
    WindowQuery HiddenToo() const;

    bool Matches(HWND hWnd) const;
    std::vector<HWND> FindAll() const;
    HWND Find() const;  // the first match, or nullptr
    // Looks every 20 ms, at least once; nullptr when none showed within timeoutMs.
    HWND WaitFor(DWORD timeoutMs) const;
    bool WaitUntilGone(DWORD timeoutMs) const;

private:
    enum class Kind { kCaption, kMessageBox, kAnyCaption };
    WindowQuery(Kind kind, DWORD pid) : m_kind(kind), m_pid(pid) {}

    Kind m_kind = Kind::kCaption;
    const char* m_caption = nullptr;
    DWORD m_pid = 0;  // 0: any process but this one
    bool m_hiddenToo = false;
};
