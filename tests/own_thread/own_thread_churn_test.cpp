// A long-lived server: many objects over time, and more live objects than there are own threads.
#include "own_thread_test_support.h"

#include <own_thread_pool.h>

#include <gtest/gtest.h>

#include <tlhelp32.h>
#include <winternl.h>

#include <cstdio>
#include <vector>

namespace {

int CountProcessThreads()
{
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    int nCount = 0;
    for (BOOL bMore = Thread32First(hSnapshot, &entry); bMore; bMore = Thread32Next(hSnapshot, &entry))
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            ++nCount;
    CloseHandle(hSnapshot);
    return nCount;
}

// The system's handle table, read when GetProcessHandleCount has no answer (Wine 8 reports 0).
struct SystemHandleEntry {
    ULONG nOwnerPid;
    BYTE nObjectType;
    BYTE nFlags;
    USHORT nHandleValue;
    PVOID pObject;
    ULONG nAccessMask;
};

DWORD CountProcessHandles()
{
    DWORD dwCount = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &dwCount) && dwCount != 0)
        return dwCount;
    const auto SystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    std::vector<char> buffer(1 << 20);
    ULONG nLength = 0;
    while (NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                    static_cast<ULONG>(buffer.size()), &nLength) != 0) {
        if (buffer.size() >= (1u << 26))
            return 0;
        buffer.resize(buffer.size() * 2);
    }
    ULONG nEntries = *reinterpret_cast<ULONG*>(buffer.data());
    auto* pEntries = reinterpret_cast<SystemHandleEntry*>(buffer.data() + sizeof(void*));
    for (ULONG i = 0; i < nEntries; ++i)
        if (pEntries[i].nOwnerPid == GetCurrentProcessId())
            ++dwCount;
    return dwCount;
}

// Creates nCount objects, calls each from this thread, releases them and waits for their deletion.
// Returns how many ran on a thread other than the creating thread.
int CreateCallRelease(int nCount)
{
    std::vector<CThreadProbeTarget*> objects(nCount);
    std::vector<IDispatch*> interfaces(nCount);
    for (int i = 0; i < nCount; ++i)
        interfaces[i] = CreateProbe(TRUE, &objects[i]);
    int nOwn = 0;
    for (int i = 0; i < nCount; ++i) {
        if (interfaces[i] == nullptr) {
            ADD_FAILURE() << "object " << i << " could not be handed out";
            continue;
        }
        DWORD nThread = static_cast<DWORD>(CallLong(interfaces[i], L"ThreadId"));
        DWORD nExpected = objects[i]->IsOwnThreadEnabled() ? objects[i]->GetOwnThreadID()
                                                           : TheCreatingThread().GetThreadID();
        EXPECT_EQ(nThread, nExpected) << "object " << i;
        if (nThread != TheCreatingThread().GetThreadID())
            ++nOwn;
    }
    for (IDispatch* pDisp : interfaces)
        if (pDisp != nullptr)
            pDisp->Release();
    EXPECT_TRUE(ReleaseAndWaitForDeletion(nullptr));
    return nOwn;
}

TEST(OwnThreadChurnTest, ThousandObjectsAFewAtATimeReuseTheirThreads)
{
    const int kObjects = 1000, kAtATime = 4;
    ASSERT_EQ(CreateCallRelease(kAtATime), kAtATime);
    const int nThreadsAfterFirst = CountProcessThreads();
    const DWORD nHandlesAfterFirst = CountProcessHandles();
    const int nCreatedAfterFirst = COwnThreadPool::Instance().GetCreatedCount();

    DWORD dwStart = GetTickCount();
    for (int n = kAtATime; n < kObjects; n += kAtATime)
        ASSERT_EQ(CreateCallRelease(kAtATime), kAtATime) << "after " << n << " objects";
    DWORD dwElapsed = GetTickCount() - dwStart;

    const int nThreads = CountProcessThreads();
    const DWORD nHandles = CountProcessHandles();
    std::printf("[churn] %d objects: threads %d -> %d (own threads created %d -> %d, cap %d), "
                "handles %lu -> %lu, %.2f ms per object\n",
                kObjects, nThreadsAfterFirst, nThreads, nCreatedAfterFirst,
                COwnThreadPool::Instance().GetCreatedCount(), COwnThreadPool::kMaxOwnThreads,
                nHandlesAfterFirst, nHandles, double(dwElapsed) / (kObjects - kAtATime));
    EXPECT_EQ(COwnThreadPool::Instance().GetCreatedCount(), nCreatedAfterFirst);
    EXPECT_LE(nThreads, nThreadsAfterFirst);
    if (nCreatedAfterFirst == kAtATime) {  // this test alone in a fresh process
        EXPECT_LE(nThreads, COwnThreadPool::kMaxOwnThreads);
    }
    EXPECT_GT(nHandlesAfterFirst, 0u);
    EXPECT_LE(nHandles, nHandlesAfterFirst);
}

TEST(OwnThreadChurnTest, ObjectsBeyondTheCapRunOnTheCreatingThread)
{
    const int kCap = COwnThreadPool::kMaxOwnThreads;
    EXPECT_EQ(CreateCallRelease(kCap + 3), kCap);
    EXPECT_EQ(COwnThreadPool::Instance().GetCreatedCount(), kCap);
    EXPECT_EQ(COwnThreadPool::Instance().GetParkedCount(), kCap);
    EXPECT_LE(CountProcessThreads(), kCap + 8) << "own threads plus the program's and Wine's";
}

}  // namespace
