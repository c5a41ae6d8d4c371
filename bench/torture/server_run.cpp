#include "server_run.h"

#include "wait_until.h"

const char* ServerRun::EndingName(int ending)
{
    static const char* const kNames[kEndingCount] = {"WM_CLOSE", "close box", "Esc", "logoff"};
    return ending >= 0 && ending < kEndingCount ? kNames[ending] : "?";
}

bool ServerRun::Start(const std::string& path, DWORD timeoutMs, std::string* pWhy)
{
    std::string commandLine = "\"" + path + "\"";
    STARTUPINFOA si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        *pWhy = "cannot start " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    CloseHandle(pi.hThread);
    m_process.Reset(pi.hProcess);
    m_pid = pi.dwProcessId;
    m_window = ServerWindow(WindowQuery::AnyOfProcess(m_pid));
    m_hDialog = m_window.Find(timeoutMs);
    if (m_hDialog == nullptr) {
        *pWhy = Running() ? "QDSERVER showed no window" : "QDSERVER ended at its start";
        return false;
    }
    return true;
}

bool ServerRun::Running() const { return m_process && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT; }

bool ServerRun::End(int ending)
{
    switch (ending) {
    case kWmClose:
        return PostMessageA(m_hDialog, WM_CLOSE, 0, 0) != FALSE;
    case kCloseBox:
        return PostMessageA(m_hDialog, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
    case kEscape:
        // As the key reaches the dialog: its dialog manager turns it into IDCANCEL.
        return PostMessageA(m_hDialog, WM_KEYDOWN, VK_ESCAPE, 1) != FALSE &&
               PostMessageA(m_hDialog, WM_KEYUP, VK_ESCAPE, 0xC0000001) != FALSE;
    default: {
        // From this process, as the session manager does from its own. The question may wait out
        // a "Disabled" object's "Test" (6 s), which runs on the dialog's thread by design; the end
        // may take the server's whole wait for its objects (5 s) inside WM_ENDSESSION.
        DWORD_PTR canEnd = 0, ignored = 0;
        if (!SendMessageTimeoutA(m_hDialog, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 15000, &canEnd) ||
            !canEnd)
            return false;
        return SendMessageTimeoutA(m_hDialog, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 20000, &ignored) != 0;
    }
    }
}

bool ServerRun::WaitForExit(DWORD timeoutMs, DWORD* pExitCode) const
{
    if (!m_process || WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (!GetExitCodeProcess(m_process.Get(), pExitCode))
        *pExitCode = static_cast<DWORD>(-1);
    return true;
}

void ServerRun::Kill() const
{
    if (m_process)
        TerminateProcess(m_process.Get(), 99);
}
