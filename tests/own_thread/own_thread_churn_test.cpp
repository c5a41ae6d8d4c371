// A long-lived server: many objects over time, and more live objects than there are own threads.
#include "own_thread_test_support.h"
#include "process_census.h"

#include <own_thread_pool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

namespace {

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

TEST(OwnThreadChurnTest, ThousandObjectsAFewAtATimeReuseTheirThreadsAndLeaveNoMemoryBehind)
{
    const int kObjects = 1000, kAtATime = 4, kWarmUp = 200;
    ASSERT_EQ(CreateCallRelease(kAtATime), kAtATime);
    const int nThreadsAfterFirst = CountProcessThreads(GetCurrentProcessId());
    const int nHandlesAfterFirst = CountProcessHandles(GetCurrentProcessId());
    ASSERT_GT(nThreadsAfterFirst, 0);
    ASSERT_GT(nHandlesAfterFirst, 0);
    const int nCreatedAfterFirst = COwnThreadPool::Instance().GetCreatedCount();

    DWORD dwStart = GetTickCount();
    long long nHeapAfterWarmUp = -1;
    for (int n = kAtATime; n < kObjects; n += kAtATime) {
        ASSERT_EQ(CreateCallRelease(kAtATime), kAtATime) << "after " << n << " objects";
        if (n + kAtATime == kWarmUp)  // COM's and the pool's tables have grown to their size by now
            nHeapAfterWarmUp = CountHeapBytesInUse();
    }
    DWORD dwElapsed = GetTickCount() - dwStart;
    const long long nHeapAtEnd = CountHeapBytesInUse();

    const int nThreads = CountProcessThreads(GetCurrentProcessId());
    const int nHandles = CountProcessHandles(GetCurrentProcessId());
    std::printf("[churn] %d objects: threads %d -> %d (own threads created %d -> %d, cap %d), "
                "handles %d -> %d, heap in use %+lld bytes over the last %d, %.2f ms per object\n",
                kObjects, nThreadsAfterFirst, nThreads, nCreatedAfterFirst,
                COwnThreadPool::Instance().GetCreatedCount(), COwnThreadPool::Instance().GetMaxOwnThreads(),
                nHandlesAfterFirst, nHandles, nHeapAtEnd - nHeapAfterWarmUp, kObjects - kWarmUp,
                double(dwElapsed) / (kObjects - kAtATime));
    // An object that leaves as little as its stream behind costs 56 bytes; a few bytes an object
    // are left for the heap's own bookkeeping.
    ASSERT_GE(nHeapAfterWarmUp, 0);
    ASSERT_GE(nHeapAtEnd, 0);
    EXPECT_LT(nHeapAtEnd - nHeapAfterWarmUp, 8LL * (kObjects - kWarmUp)) << "bytes left behind by objects served";
    EXPECT_EQ(COwnThreadPool::Instance().GetCreatedCount(), nCreatedAfterFirst);
    EXPECT_LE(nThreads, nThreadsAfterFirst);
    if (nCreatedAfterFirst == kAtATime) {  // this test alone in a fresh process
        EXPECT_LE(nThreads, COwnThreadPool::Instance().GetMaxOwnThreads());
    }
    EXPECT_GT(nThreads, 0);
    EXPECT_GT(nHandles, 0);
    EXPECT_LE(nHandles, nHandlesAfterFirst);
}

TEST(OwnThreadChurnTest, PastTheCapObjectsShareTheThreadsEvenlyAndAreDeletedOnTheCreatingThread)
{
    COwnThreadPool& pool = COwnThreadPool::Instance();
    const int nCap = std::max(4, pool.GetCreatedCount());  // every thread idle when the test starts
    const int nBefore = pool.GetMaxOwnThreads();
    pool.SetMaxOwnThreads(nCap);
    std::vector<CThreadProbeTarget*> objects(static_cast<size_t>(3) * nCap);
    std::vector<IDispatch*> interfaces;
    std::map<DWORD, int> objectsPerThread;
    for (CThreadProbeTarget*& pObject : objects) {
        interfaces.push_back(CreateProbe(TRUE, &pObject));
        ASSERT_NE(interfaces.back(), nullptr);
        ++objectsPerThread[static_cast<DWORD>(CallLong(interfaces.back(), L"ThreadId"))];
    }
    EXPECT_EQ(objectsPerThread.count(TheCreatingThread().GetThreadID()), 0u) << "none on the creating thread";
    EXPECT_EQ(static_cast<int>(objectsPerThread.size()), nCap);
    for (const auto& [nThread, nObjects] : objectsPerThread) {
        EXPECT_EQ(nObjects, 3) << "thread " << nThread;
        EXPECT_EQ(pool.GetEngineCount(nThread), 3);
    }
    EXPECT_TRUE(objects.back()->IsOwnThreadShared());
    // Released in an order of their own: each is deleted on the creating thread, and every thread
    // parks once its last object has gone.
    for (size_t i = 0; i < interfaces.size(); i += 2)
        interfaces[i]->Release();
    for (size_t i = interfaces.size() - 1; i < interfaces.size(); i -= 2)
        interfaces[i]->Release();
    EXPECT_TRUE(ReleaseAndWaitForDeletion(nullptr));
    EXPECT_EQ(CThreadProbeTarget::s_nDeletedElsewhere, 0);
    EXPECT_EQ(pool.GetCreatedCount(), nCap);
    EXPECT_TRUE(WaitUntil([&] { return pool.GetParkedCount() == nCap; }));
    pool.SetMaxOwnThreads(nBefore);
}

}  // namespace
