// The board's slot and abort rules, apart from any window: a fake bar counts what it is sent.
#include "slot_table.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

namespace {

struct FakeBar {
    std::atomic<int> steps{0};
    std::atomic<int> pos{0};
    void StepIt() { ++steps; pos += 10; }
    void SetPos(int n) { pos = n; }
};

class SlotTableTest : public ::testing::Test {
protected:
    int Allocate() { return table.Allocate([this](int i) { return &bars[i]; }); }

    std::array<FakeBar, 8> bars;
    CSlotTable<FakeBar> table;
};

TEST_F(SlotTableTest, TakesLowestFreeSlotAndReportsFull)
{
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Allocate(), i);
    EXPECT_EQ(Allocate(), -1);
    EXPECT_EQ(Allocate(), -1);

    table.Release(5);
    table.Release(2);
    EXPECT_EQ(Allocate(), 2) << "a freed slot is taken again, lowest first";
    EXPECT_EQ(Allocate(), 5);
    EXPECT_EQ(Allocate(), -1);
}

TEST_F(SlotTableTest, SlotLendsTheBarOfItsOwnIndex)
{
    Allocate();
    Allocate();
    EXPECT_EQ(table.GetSlot(0), &bars[0]);
    EXPECT_EQ(table.GetSlot(1), &bars[1]);
    EXPECT_EQ(table.GetSlot(2), nullptr);
}

TEST_F(SlotTableTest, StepsOnlyHeldSlotsAndReleaseResetsTheBar)
{
    int slot = Allocate();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(table.Step(slot));
    EXPECT_EQ(bars[slot].pos, 30);

    EXPECT_FALSE(table.Step(1)) << "slot 1 is free";
    EXPECT_FALSE(table.Step(-1)) << "an object without a slot";
    EXPECT_FALSE(table.Step(8));
    EXPECT_FALSE(table.Step(1 << 30));
    EXPECT_EQ(bars[1].steps, 0);

    table.Release(slot);
    EXPECT_EQ(bars[slot].pos, 0);
    EXPECT_FALSE(table.Step(slot)) << "a released slot no longer steps";
}

TEST_F(SlotTableTest, ReleaseIgnoresSlotsOutOfRange)
{
    for (int i = 0; i < 8; ++i)
        Allocate();
    for (int bad : {-1, -2, 8, 9, 1000, -1000})
        table.Release(bad);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(table.GetSlot(i), &bars[i]);
    EXPECT_EQ(Allocate(), -1);
}

TEST_F(SlotTableTest, AbortIsConsumedOnceByWhicheverSlotStepsNext)
{
    int a = Allocate();
    int b = Allocate();
    table.RequestAbort();
    table.RequestAbort();  // several clicks before a step count as one request
    table.RequestAbort();
    EXPECT_FALSE(table.Step(b)) << "the pending abort stops this step";
    EXPECT_EQ(bars[b].steps, 0);
    EXPECT_FALSE(table.IsAbortPending());
    EXPECT_TRUE(table.Step(a)) << "the request is gone after one consumption";
    EXPECT_TRUE(table.Step(b));
}

TEST_F(SlotTableTest, AbortIsConsumedEvenWithoutASlot)
{
    table.RequestAbort();
    EXPECT_FALSE(table.Step(-1));
    EXPECT_FALSE(table.IsAbortPending()) << "a slotless call consumes the request too";
    int slot = Allocate();
    EXPECT_TRUE(table.Step(slot));
}

TEST_F(SlotTableTest, PendingAbortWaitsForAStep)
{
    int slot = Allocate();
    table.RequestAbort();
    table.Release(slot);
    EXPECT_EQ(Allocate(), slot);
    EXPECT_TRUE(table.IsAbortPending()) << "allocating and releasing do not touch the request";
    EXPECT_FALSE(table.Step(slot));
}

// Steppers on their own threads and an aborter racing them: every request stops exactly one step,
// and every other step reaches its own bar.
TEST_F(SlotTableTest, ConcurrentSteppersAndAbortersLoseNoRequestAndStepNoStrangeBar)
{
    for (int i = 0; i < 8; ++i)
        Allocate();
    constexpr int kAborts = 300;
    std::atomic<bool> aborterDone{false};
    std::atomic<int> attempts[8] = {};
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    threads.reserve(8);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            while (!aborterDone) {
                ++attempts[t];
                if (!table.Step(t))
                    ++refused;
            }
        });
    }
    for (int i = 0; i < kAborts; ++i) {
        // Each request waits until the previous one was consumed, so no two clicks merge.
        while (table.IsAbortPending())
            std::this_thread::yield();
        table.RequestAbort();
    }
    while (table.IsAbortPending())
        std::this_thread::yield();
    aborterDone = true;
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(refused.load(), kAborts);
    int totalSteps = 0, totalAttempts = 0;
    for (int t = 0; t < 8; ++t) {
        totalSteps += bars[t].steps;
        totalAttempts += attempts[t];
    }
    EXPECT_EQ(totalSteps + refused, totalAttempts);
}

TEST_F(SlotTableTest, ConcurrentAllocationHandsEachSlotToOneTaker)
{
    std::atomic<int> taken[8] = {};
    std::atomic<int> full{0};
    std::vector<std::thread> threads;
    threads.reserve(12);
    for (int t = 0; t < 12; ++t) {
        threads.emplace_back([&] {
            int slot = Allocate();
            if (slot < 0)
                ++full;
            else
                ++taken[slot];
        });
    }
    for (auto& th : threads)
        th.join();
    for (auto& n : taken)
        EXPECT_EQ(n, 1);
    EXPECT_EQ(full, 4);
}

}  // namespace
