// A server's top-level window in another process, found by its caption: how the benchmark sees
// whether the server runs, closes it, and reads and sets QDSERVER's board.
#pragma once
#include <windows.h>

#include <array>

class ServerWindow {
public:
    explicit ServerWindow(const char* caption) : m_caption(caption) {}

    // The window, or nullptr once timeoutMs has passed without it.
    HWND Find(DWORD timeoutMs = 0) const;
    bool IsRunning() const { return Find() != nullptr; }

    // The close box (SC_CLOSE), then waits for the process to end. True when no process is left.
    bool CloseAndWaitForExit(DWORD timeoutMs) const;

    // QDSERVER's "Own Thread" choice, clicked as a user would; true once the window shows it.
    bool SelectOwnThread(bool enabled) const;
    // The eight bars, or false when the window does not answer within timeoutMs (its main
    // thread is busy, as during a call on it).
    bool ReadBars(std::array<int, 8>* pBars, DWORD timeoutMs) const;
    // Waits until every bar is back to 0: every earlier object has gone.
    bool WaitForFreeBoard(DWORD timeoutMs) const;

private:
    const char* m_caption;
};
