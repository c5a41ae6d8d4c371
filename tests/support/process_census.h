// Counts what a process holds: threads, kernel handles and windows. Wine 8's GetProcessHandleCount
// answers 0, so handles are counted in the system's handle table instead.
#pragma once
#include <windows.h>

#include <map>
#include <string>

// Each count is -1 when it cannot be taken.
struct ProcessCensus {
    int threads = 0;
    int handles = 0;
    int windows = 0;  // top-level and message-only windows, hidden ones included

    static ProcessCensus Of(DWORD pid);
};

int CountProcessThreads(DWORD pid);
// The process's threads by the module their start address lies in ("msvcrt.dll": threads the
// program began; "ntdll.dll", "rpcrt4.dll": the system's own). "?" where it cannot be told.
std::map<std::string, int> CountProcessThreadsByStartModule(DWORD pid);
int CountProcessHandles(DWORD pid);
int CountProcessWindows(DWORD pid);

// The bytes allocated and not yet freed in every heap of this process: a leak of a few bytes an
// object shows here long before it shows in the committed pages, which grow in the heap's steps.
// Allocates nothing itself. -1 when a heap cannot be walked.
long long CountHeapBytesInUse();
