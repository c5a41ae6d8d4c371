#include "process_census.h"

#include "window_query.h"

#include <unique_handle.h>

#include <tlhelp32.h>
#include <psapi.h>
#include <winternl.h>

#include <vector>

namespace {

struct SystemHandleEntry {
    ULONG nOwnerPid;
    BYTE nObjectType;
    BYTE nFlags;
    USHORT nHandleValue;
    PVOID pObject;
    ULONG nAccessMask;
};

}  // namespace

int CountProcessThreads(DWORD pid)
{
    CUniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot)
        return -1;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int nCount = 0;
    for (BOOL bMore = Thread32First(snapshot.Get(), &entry); bMore; bMore = Thread32Next(snapshot.Get(), &entry))
        if (entry.th32OwnerProcessID == pid)
            ++nCount;
    return nCount;
}

std::map<std::string, int> CountProcessThreadsByStartModule(DWORD pid)
{
    std::map<std::string, int> counts;
    CUniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    CUniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!process || !snapshot)
        return counts;
    HMODULE modules[512];
    DWORD nBytes = 0;
    if (!EnumProcessModulesEx(process.Get(), modules, sizeof(modules), &nBytes, LIST_MODULES_ALL))
        nBytes = 0;
    struct Range {
        ULONG_PTR start, end;
        std::string name;
    };
    std::vector<Range> ranges;
    for (DWORD i = 0; i < nBytes / sizeof(HMODULE) && i < 512; ++i) {
        MODULEINFO info{};
        char name[MAX_PATH] = "";
        if (GetModuleInformation(process.Get(), modules[i], &info, sizeof(info)) &&
            GetModuleBaseNameA(process.Get(), modules[i], name, sizeof(name)))
            ranges.push_back({reinterpret_cast<ULONG_PTR>(info.lpBaseOfDll),
                              reinterpret_cast<ULONG_PTR>(info.lpBaseOfDll) + info.SizeOfImage, CharLowerA(name)});
    }
    const auto ThreadQuerySetWin32StartAddress = static_cast<THREADINFOCLASS>(9);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL bMore = Thread32First(snapshot.Get(), &entry); bMore; bMore = Thread32Next(snapshot.Get(), &entry)) {
        if (entry.th32OwnerProcessID != pid)
            continue;
        std::string module = "?";
        CUniqueHandle thread(OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID));
        ULONG_PTR start = 0;
        if (thread && NtQueryInformationThread(thread.Get(), ThreadQuerySetWin32StartAddress, &start, sizeof(start),
                                               nullptr) == 0)
            for (const Range& range : ranges)
                if (start >= range.start && start < range.end)
                    module = range.name;
        ++counts[module];
    }
    return counts;
}

int CountProcessHandles(DWORD pid)
{
    DWORD dwCount = 0;
    if (pid == GetCurrentProcessId() && GetProcessHandleCount(GetCurrentProcess(), &dwCount) && dwCount != 0)
        return static_cast<int>(dwCount);
    const auto SystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    std::vector<char> buffer(1 << 20);
    ULONG nLength = 0;
    while (NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                    static_cast<ULONG>(buffer.size()), &nLength) != 0) {
        if (buffer.size() >= (1u << 26))
            return -1;
        buffer.resize(buffer.size() * 2);
    }
    ULONG nEntries = *reinterpret_cast<ULONG*>(buffer.data());
    auto* pEntries = reinterpret_cast<SystemHandleEntry*>(buffer.data() + sizeof(void*));
    int nCount = 0;
    for (ULONG i = 0; i < nEntries; ++i)
        if (pEntries[i].nOwnerPid == pid)
            ++nCount;
    return nCount;
}

int CountProcessWindows(DWORD pid)
{
    int count = static_cast<int>(WindowQuery::AnyOfProcess(pid).HiddenToo().FindAll().size());
    // Message-only windows are not top-level: their own list (COM's apartment windows, the final
    // releases' windows).
    for (HWND hWnd = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); hWnd != nullptr;
         hWnd = FindWindowExA(HWND_MESSAGE, hWnd, nullptr, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hWnd, &owner);
        count += owner == pid ? 1 : 0;
    }
    return count;
}

long long CountHeapBytesInUse()
{
    HANDLE heaps[64];
    DWORD nHeaps = GetProcessHeaps(64, heaps);
    if (nHeaps == 0 || nHeaps > 64)
        return -1;
    long long nBytes = 0;
    for (DWORD i = 0; i < nHeaps; ++i) {
        if (!HeapLock(heaps[i]))
            return -1;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heaps[i], &entry))
            if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0)
                nBytes += static_cast<long long>(entry.cbData);
        HeapUnlock(heaps[i]);
    }
    return nBytes;
}

ProcessCensus ProcessCensus::Of(DWORD pid)
{
    ProcessCensus census;
    census.threads = CountProcessThreads(pid);
    census.handles = CountProcessHandles(pid);
    census.windows = CountProcessWindows(pid);
    return census;
}
