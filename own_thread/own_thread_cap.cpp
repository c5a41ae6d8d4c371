#include "own_thread_cap.h"

#include <algorithm>

int COwnThreadCap::ForWindows(ULONGLONG nAddressSpace, SIZE_T nStackReserve, DWORD nUserHandleQuota)
{
    const ULONGLONG nByStacks = nStackReserve == 0 ? 0 : nAddressSpace / 4 / nStackReserve;
    const ULONGLONG nByHandles = nUserHandleQuota / 10;
    return static_cast<int>(std::max<ULONGLONG>(1, std::min<ULONGLONG>({nByStacks, nByHandles, 1u << 30})));
}

bool COwnThreadCap::RunsUnderWine()
{
    HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
    return hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
}

int COwnThreadCap::ForThisPlatform()
{
    if (RunsUnderWine())
        return kWine;
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    const ULONGLONG nAddressSpace = reinterpret_cast<ULONG_PTR>(info.lpMaximumApplicationAddress) -
                                    reinterpret_cast<ULONG_PTR>(info.lpMinimumApplicationAddress);
    DWORD nQuota = kDefaultUserHandleQuota;
    DWORD cbQuota = sizeof(nQuota);
    if (RegGetValueA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows",
                     "USERProcessHandleQuota", RRF_RT_REG_DWORD, nullptr, &nQuota, &cbQuota) != ERROR_SUCCESS)
        nQuota = kDefaultUserHandleQuota;
    return ForWindows(nAddressSpace, kStackReserve, nQuota);
}
