// A long-lived server: many objects over time, and more live objects than there are own threads.
#include "own_thread_test_support.h"
#include "process_census.h"

#include <mistakes.h>
#include <own_thread_pool.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
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

TEST(OwnThreadChurnTest, ThousandObjectsAFewAtATimeReuseTheirThreads)
{
    const int kObjects = 1000, kAtATime = 4;
    ASSERT_EQ(CreateCallRelease(kAtATime), kAtATime);
    const int nThreadsAfterFirst = CountProcessThreads(GetCurrentProcessId());
    const int nHandlesAfterFirst = CountProcessHandles(GetCurrentProcessId());
    ASSERT_GT(nThreadsAfterFirst, 0);
    ASSERT_GT(nHandlesAfterFirst, 0);
    const int nCreatedAfterFirst = COwnThreadPool::Instance().GetCreatedCount();

    DWORD dwStart = GetTickCount();
    for (int n = kAtATime; n < kObjects; n += kAtATime)
        ASSERT_EQ(CreateCallRelease(kAtATime), kAtATime) << "after " << n << " objects";
    DWORD dwElapsed = GetTickCount() - dwStart;

    const int nThreads = CountProcessThreads(GetCurrentProcessId());
    const int nHandles = CountProcessHandles(GetCurrentProcessId());
    std::printf("[churn] %d objects: threads %d -> %d (own threads created %d -> %d, cap %d), "
                "handles %d -> %d, %.2f ms per object\n",
                kObjects, nThreadsAfterFirst, nThreads, nCreatedAfterFirst,
                COwnThreadPool::Instance().GetCreatedCount(), COwnThreadPool::kMaxOwnThreads,
                nHandlesAfterFirst, nHandles, double(dwElapsed) / (kObjects - kAtATime));
    EXPECT_EQ(COwnThreadPool::Instance().GetCreatedCount(), nCreatedAfterFirst);
    EXPECT_LE(nThreads, nThreadsAfterFirst);
    if (nCreatedAfterFirst == kAtATime) {  // this test alone in a fresh process
        EXPECT_LE(nThreads, COwnThreadPool::kMaxOwnThreads);
    }
    EXPECT_GT(nThreads, 0);
    EXPECT_GT(nHandles, 0);
    EXPECT_LE(nHandles, nHandlesAfterFirst);
}

TEST(OwnThreadChurnTest, ObjectsBeyondTheCapRunOnTheCreatingThreadAndSaySo)
{
    const int kCap = COwnThreadPool::kMaxOwnThreads;
    static std::atomic<int> s_nAnnounced{0};
    AFX_MISTAKE_HANDLER pfnPrevious = AfxSetMistakeHandler([](const char* lpszText) {
        if (std::strstr(lpszText, "no own thread could be had") != nullptr)
            ++s_nAnnounced;
    });
    EXPECT_EQ(CreateCallRelease(kCap + 3), kCap);
    AfxSetMistakeHandler(pfnPrevious);
    EXPECT_EQ(s_nAnnounced, 3) << "each object beyond the cap is announced";
    EXPECT_EQ(COwnThreadPool::Instance().GetCreatedCount(), kCap);
    EXPECT_EQ(COwnThreadPool::Instance().GetParkedCount(), kCap);
    const int nThreads = CountProcessThreads(GetCurrentProcessId());
    EXPECT_GT(nThreads, 0);
    EXPECT_LE(nThreads, kCap + 8) << "own threads plus the program's and Wine's";
}

}  // namespace
