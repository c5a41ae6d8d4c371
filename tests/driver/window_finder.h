// Finds top-level windows of other processes by caption or class, waiting for them to appear.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

std::string WindowText(HWND hWnd);
std::string WindowClass(HWND hWnd);

// A visible top-level window whose caption is exactly `caption`, or nullptr after timeoutMs.
HWND WaitForWindow(const char* caption, DWORD timeoutMs);
// Every visible top-level window of another process with this caption.
std::vector<HWND> FindWindows(const char* caption);
// Waits until no visible top-level window has this caption. TRUE when it is gone.
BOOL WaitForWindowGone(const char* caption, DWORD timeoutMs);
// The visible top-level windows of one process.
std::vector<HWND> VisibleWindowsOf(DWORD pid);
// A message box (class #32770 with the static 65535) of another process, or nullptr.
HWND WaitForMessageBox(DWORD timeoutMs);
