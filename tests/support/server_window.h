// A server's top-level window in another process, found by its caption: whether the server runs,
// closing it, and reading and clicking QDSERVER's board as a user would. Tests and the benchmark
// drive QDSERVER through it.
#pragma once
#include "window_query.h"

#include <windows.h>

#include <array>

class ServerWindow {
public:
    explicit ServerWindow(WindowQuery query) : m_query(query) {}

    // The window, or nullptr once timeoutMs has passed without it.
    HWND Find(DWORD timeoutMs = 0) const;
    bool IsRunning() const { return Find() != nullptr; }
    DWORD ProcessId() const;

    // The ways a server's end starts: the close box (SC_CLOSE), Esc in the dialog (to the focused
    // control, as the keyboard sends it), and the session manager's logoff (WM_QUERYENDSESSION,
    // then WM_ENDSESSION, sent from this process as from another program).
    enum class EndBy { kCloseBox, kEsc, kLogOff };
    static const char* Name(EndBy way);
    // Ends the server that way, then waits for the process to end. True when no process is left;
    // *pExitCode receives its exit code: 0 when none ran, -1 when it cannot be read.
    bool EndAndWaitForExit(EndBy way, DWORD timeoutMs, DWORD* pExitCode = nullptr) const;
    // What a session manager sends at a logoff: WM_QUERYENDSESSION, then WM_ENDSESSION if the answer
    // was yes. True once both were answered within timeoutMs each.
    bool SendLogoff(DWORD timeoutMs) const;
    bool CloseAndWaitForExit(DWORD timeoutMs, DWORD* pExitCode = nullptr) const
    {
        return EndAndWaitForExit(EndBy::kCloseBox, timeoutMs, pExitCode);
    }

    // QDSERVER's board. Bar and Bars wait for the window's answer however long it takes.
    int Bar(int slot) const;
    std::array<int, 8> Bars() const;
    // The eight bars, or false when the window does not answer within timeoutMs (its main
    // thread is busy, as during a call on it).
    bool ReadBars(std::array<int, 8>* pBars, DWORD timeoutMs) const;
    // Waits until every bar is back to 0: every earlier object has gone.
    bool WaitForFreeBoard(DWORD timeoutMs) const;
    void Click(int controlId) const;  // posted, as a user's click
    // The "Own Thread" choice, clicked; true once the window shows it.
    bool SelectOwnThread(bool enabled) const;
    // Milliseconds the window takes to answer a message, or -1 if it does not within timeoutMs.
    // A sent message is answered by a thread that waits answering sent messages only, so this says
    // nothing of input, paint or posted calls: PostedRoundTrip does.
    double Ping(DWORD timeoutMs) const;
    // Milliseconds until a message posted to the dialog has been handled, or -1 if not within
    // timeoutMs: BM_SETSTATE posted to the "Own Thread" group box, toggling its pushed state, read
    // back with a sent BM_GETSTATE. A group box draws no pushed state and notifies no one, so no bar,
    // choice or button that clients or users touch is disturbed, however many objects hold bars.
    double PostedRoundTrip(DWORD timeoutMs) const;

private:
    WindowQuery m_query;
};
