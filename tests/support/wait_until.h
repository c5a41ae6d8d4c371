// Polls until a condition holds, for tests and tools that wait on another thread or process. The
// condition is asked at least once, also with no time to wait.
#pragma once
#include <windows.h>

template <class Pred>
bool WaitUntil(Pred pred, DWORD timeoutMs = 5000, DWORD pollMs = 1)
{
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(pollMs);
    }
    return true;
}
