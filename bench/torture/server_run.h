// One QDSERVER started by hand for a torture round, in this process's environment, and ended one of
// the ways a user or the system ends it.
#pragma once
#include "process_census.h"
#include "server_window.h"

#include <unique_handle.h>

#include <windows.h>

#include <string>

class ServerRun {
public:
    enum Ending { kWmClose, kCloseBox, kEscape, kLogoff, kEndingCount };
    static const char* EndingName(int ending);

    ServerRun() : m_window(WindowQuery::AnyOfProcess(0)) {}

    // Starts the program and waits for its dialog; false (with the reason) when it does not show.
    bool Start(const std::string& path, DWORD timeoutMs, std::string* pWhy);
    DWORD Pid() const { return m_pid; }
    HWND Dialog() const { return m_hDialog; }
    const ServerWindow& Window() const { return m_window; }
    bool Running() const;

    // WM_CLOSE, the close box, Esc are posted; the logoff is sent, WM_QUERYENDSESSION then
    // WM_ENDSESSION(TRUE), and returns once the dialog has answered both (false if it did not).
    bool End(int ending);
    // True once the process has ended, with its exit code.
    bool WaitForExit(DWORD timeoutMs, DWORD* pExitCode) const;
    void Kill() const;
    ProcessCensus Census() const { return ProcessCensus::Of(m_pid); }
    // Any window of the process, hidden ones too.
    bool HasWindows() const { return WindowQuery::AnyOfProcess(m_pid).HiddenToo().Find() != nullptr; }

private:
    CUniqueHandle m_process;
    DWORD m_pid = 0;
    HWND m_hDialog = nullptr;
    ServerWindow m_window;
};
