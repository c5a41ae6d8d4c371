// How many own threads a process creates at most, chosen at start for the platform it runs on.
//
// Wine: every apartment that has marshaled an object keeps an RPC endpoint that Wine never frees, and
// Wine's RPC server waits on all of them with one WaitForMultipleObjects (64 handles at most): after
// about 63 apartments the process stops answering COM. 48 stays clear of that.
//
// Windows has no such limit; the real ones are memory and USER handles:
// - Address space: each own thread reserves kStackReserve of stack (set explicitly, far below the
//   1 MB default). Own threads may take a quarter of the user address space: 2 GB / 4 / 256 KB =
//   2048 threads in a 32-bit process.
// - USER handles: a process may hold USERProcessHandleQuota of them (10,000 by default). Each object
//   creates one window (its final-release window) and each own thread's apartment one more (COM's
//   apartment window). Threads may take a tenth of the quota, leaving the rest to objects: 1000.
// Objects past the cap share threads, so the cap bounds threads, never objects.
#pragma once
#include <windows.h>

class COwnThreadCap {
public:
    static constexpr int kWine = 48;
    static constexpr SIZE_T kStackReserve = SIZE_T{256} * 1024;
    static constexpr DWORD kDefaultUserHandleQuota = 10000;

    // The Windows cap from a user address space of nAddressSpace bytes, a stack reserve of
    // nStackReserve a thread and a USER-handle quota of nUserHandleQuota; at least 1.
    static int ForWindows(ULONGLONG nAddressSpace, SIZE_T nStackReserve, DWORD nUserHandleQuota);

    // Wine says so through ntdll's wine_get_version, as Wine documents for programs that must know.
    static bool RunsUnderWine();

    // kWine under Wine; otherwise ForWindows with this process's address space and quota.
    static int ForThisPlatform();
};
