// The rules behind own threads, apart from COM: which thread a new object gets, and the cap on Windows.
#include <own_thread_assignment.h>
#include <own_thread_cap.h>

#include <gtest/gtest.h>

namespace {

constexpr int kNew = COwnThreadAssignment::kNewThread;

// Loads written as object counts; a negative count is a thread in a call with that many objects.
int Choose(std::initializer_list<int> counts, int nCap)
{
    std::vector<COwnThreadAssignment::CThreadLoad> threads;
    for (int n : counts)
        threads.push_back({n < 0 ? -n : n, n < 0});
    return COwnThreadAssignment::Choose(threads, nCap);
}

TEST(OwnThreadRulesTest, IdleThreadThenNewThreadThenTheFewestObjectsOldestFirstThreadsInACallLast)
{
    EXPECT_EQ(Choose({}, 4), kNew);
    EXPECT_EQ(Choose({2, 0, 0}, 4), 1) << "the oldest idle thread before a new one";
    EXPECT_EQ(Choose({1, 1, 1}, 4), kNew) << "below the cap";
    EXPECT_EQ(Choose({1, 1, 1, 1}, 4), 0) << "at the cap: ties go to the oldest";
    EXPECT_EQ(Choose({3, 2, 3, 2}, 4), 1);
    EXPECT_EQ(Choose({3, 3, 2}, 2), 2) << "a lowered cap keeps every thread in use";
    // A creation waits for its thread to start the object: a thread in a call would keep it waiting.
    EXPECT_EQ(Choose({-1, 2}, 2), 1) << "a thread free of calls, though it serves more";
    EXPECT_EQ(Choose({-1, -1, 3, 2}, 4), 3);
    EXPECT_EQ(Choose({-2, -1}, 2), 1) << "every thread in a call: the fewest objects";
    EXPECT_EQ(Choose({-1, 1}, 4), kNew) << "below the cap a new thread comes first";
    // Dealing twelve objects to a cap of four fills the threads in turn: three each.
    std::vector<COwnThreadAssignment::CThreadLoad> threads;
    for (int i = 0; i < 12; ++i) {
        int n = COwnThreadAssignment::Choose(threads, 4);
        if (n == kNew)
            threads.push_back({1, false});
        else
            ++threads[static_cast<size_t>(n)].nObjects;
    }
    for (const auto& t : threads)
        EXPECT_EQ(t.nObjects, 3);
    EXPECT_EQ(threads.size(), 4u);
}

TEST(OwnThreadRulesTest, WindowsCapIsTheSmallerOfStackSpaceAndTheUserHandleShare)
{
    const ULONGLONG k2GB = 2ULL << 30, k128TB = 128ULL << 40;
    // 32-bit: a quarter of 2 GB in 256 KB stacks is 2048; a tenth of 10,000 USER handles is 1000.
    EXPECT_EQ(COwnThreadCap::ForWindows(k2GB, SIZE_T{256} * 1024, 10000), 1000);
    EXPECT_EQ(COwnThreadCap::ForWindows(k2GB, SIZE_T{1024} * 1024, 10000), 512) << "the default 1 MB stack";
    EXPECT_EQ(COwnThreadCap::ForWindows(k128TB, SIZE_T{256} * 1024, 18000), 1800) << "64-bit: handles decide";
    EXPECT_EQ(COwnThreadCap::ForWindows(k2GB, SIZE_T{256} * 1024, 5), 1) << "never below one";
    EXPECT_EQ(COwnThreadCap::ForWindows(k2GB, 0, 10000), 1);
    // Here, under Wine, the measured apartment limit decides.
    ASSERT_TRUE(COwnThreadCap::RunsUnderWine());
    EXPECT_EQ(COwnThreadCap::ForThisPlatform(), COwnThreadCap::kWine);
}

}  // namespace
