// Waiting on a thread that owns windows without leaving them unanswered: what a modal loop does
// while the thread waits for something else (another thread's start-up, objects going away).
#pragma once
#include <windows.h>

#include <functional>

// Serves the calling thread's messages, as its own loop would (dialog keys included), until hEvent
// is signaled (nullptr: none), bDone returns true (checked after every message and every 50 ms), or
// dwTimeoutMs has passed. A WM_QUIT met meanwhile is posted again for the loop it belongs to; else,
// when any message was served, a WM_NULL: the loop below looks for its end (EndDialog) only after
// each message it takes, and the message that would have woken it may have been served here.
// Returns TRUE when the event or the condition ended the wait.
BOOL AfxPumpMessagesUntil(HANDLE hEvent, DWORD dwTimeoutMs, const std::function<bool()>& bDone = {});
