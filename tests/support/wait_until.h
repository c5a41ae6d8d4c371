// Polls until a condition holds, for tests that wait on another thread or process.
#pragma once
#include <windows.h>

template <class Pred>
bool WaitUntil(Pred pred, DWORD timeoutMs = 5000, DWORD pollMs = 1)
{
    DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(pollMs);
    }
    return true;
}
