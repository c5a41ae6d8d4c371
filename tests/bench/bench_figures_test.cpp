// Medians, percentiles and ratios as the benchmark reports them, and what the report makes of
// missing and mixed runs.
#include "bench_report.h"
#include "sample_stats.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(SampleStatsTest, MedianOfOddAndEvenCountsAndUnsortedInput)
{
    EXPECT_DOUBLE_EQ(SampleStats({5, 1, 3}).Median(), 3);
    EXPECT_DOUBLE_EQ(SampleStats({4, 1, 3, 2}).Median(), 2.5);
    EXPECT_DOUBLE_EQ(SampleStats({7}).Median(), 7);
}

TEST(SampleStatsTest, PercentileIsTheNearestRank)
{
    SampleStats stats;
    for (int i = 2000; i >= 1; --i)
        stats.Add(i);
    EXPECT_DOUBLE_EQ(stats.Percentile(99), 1980) << "99 % of 2000 samples lie at or below the 1980th";
    EXPECT_DOUBLE_EQ(stats.Percentile(50), 1000);
    EXPECT_DOUBLE_EQ(stats.Percentile(100), 2000);
    EXPECT_DOUBLE_EQ(stats.Percentile(0), 1);
    // Few samples: p99 is the largest, never beyond it.
    EXPECT_DOUBLE_EQ(SampleStats({1, 9, 3}).Percentile(99), 9);
}

TEST(SampleStatsTest, NoSamplesGiveNaNNotZero)
{
    SampleStats empty;
    EXPECT_TRUE(std::isnan(empty.Median()));
    EXPECT_TRUE(std::isnan(empty.Percentile(99)));
    EXPECT_TRUE(std::isnan(empty.Min()));
    EXPECT_TRUE(std::isnan(Ratio(empty.Median(), 1)));
    EXPECT_TRUE(std::isnan(Ratio(1, 0)));
    EXPECT_DOUBLE_EQ(Ratio(3, 2), 1.5);
    EXPECT_EQ(JsonNumber(empty.Median()), "null");
    EXPECT_EQ(JsonNumber(1.23456, 2), "1.23");
}

TEST(BenchReportTest, TargetsReadTheRightRuns)
{
    BenchReport report;
    EXPECT_TRUE(std::isnan(report.WorstOwnThreadRatio())) << "nothing measured";
    EXPECT_FALSE(report.Complete());
    BenchReport quick;  // a quick run asks for no concurrent calls
    quick.Add(BenchReport::Timing{"round_trip", "own_thread", SampleStats({1}), 0, S_OK});
    EXPECT_TRUE(quick.Complete(false));
    EXPECT_FALSE(quick.Complete());

    report.Add(BenchReport::Concurrent{true, 1, 6030, 6030, 0, S_OK});
    report.Add(BenchReport::Concurrent{true, 8, 6120, 6110, 0, S_OK});
    // Main-thread calls queue: two take twice the floor, and they are not held to the target.
    BenchReport::Concurrent serial{false, 2, 12100, 12100, 0, S_OK};
    EXPECT_DOUBLE_EQ(serial.FloorMs(), 12000);
    report.Add(serial);
    // A call with five sinks is the rig that times events, not a client's call: not held either.
    report.Add(BenchReport::Concurrent{true, 1, 6400, 6400, 0, S_OK, 5});
    // One sink is a client's call: held, and here the worst.
    report.Add(BenchReport::Concurrent{true, 8, 6180, 6180, 0, S_OK, 1});
    EXPECT_DOUBLE_EQ(report.WorstOwnThreadRatio(), 6180.0 / 6000);

    report.Add(BenchReport::Timing{"round_trip", "own_thread", SampleStats({1, 2, 3}), 0, S_OK});
    report.Add(BenchReport::Timing{"round_trip", "bare", SampleStats({2, 2}), 0, S_OK});
    EXPECT_DOUBLE_EQ(report.MedianOf("round_trip", "own_thread"), 2);
    EXPECT_TRUE(std::isnan(report.MedianOf("create_release", "own_thread")));
    EXPECT_TRUE(report.Complete());

    report.Add(BenchReport::Timing{"create_release", "main_thread", SampleStats({10}), 1, E_FAIL});
    EXPECT_FALSE(report.Complete()) << "a failed creation makes the run incomplete";
}

TEST(BenchReportTest, ScaleFloorDealsObjectsToThreadsInTurnAndQueuesEachThreadsCalls)
{
    EXPECT_DOUBLE_EQ(BenchReport::ScaleFloorMs(8, 48), 6000) << "a thread each";
    EXPECT_DOUBLE_EQ(BenchReport::ScaleFloorMs(48, 48), 6000);
    EXPECT_DOUBLE_EQ(BenchReport::ScaleFloorMs(96, 48), 6600) << "a bar's call, then one without";
    EXPECT_DOUBLE_EQ(BenchReport::ScaleFloorMs(192, 48), 7800);
    EXPECT_DOUBLE_EQ(BenchReport::ScaleFloorMs(12, 4), 12600) << "two bars' calls and one without";
    EXPECT_TRUE(std::isnan(BenchReport::ScaleFloorMs(0, 48)));
}

TEST(BenchReportTest, ManyClientsTargetsReadOurPlainBurstAndTheWaveApart)
{
    BenchReport report;
    BenchReport::Scale ours{96, 7000, 6100, 0, S_OK, 60, 40, SampleStats({2}), 0};
    BenchReport::Scale largest{192, 9000, 6200, 0, S_OK, 60, 50, SampleStats({3}), 0};
    BenchReport::Scale wave{192, 9500, 6300, 0, S_OK, 60, 55, SampleStats({4}), 0};
    wave.wave = 48;
    BenchReport::Scale bare{192, 6300, 6100, 0, S_OK, 200, 20, SampleStats({1}), 0};
    bare.server = "bare_mta";
    for (const auto& run : {ours, wave, bare, largest})
        report.Add(run);
    ASSERT_NE(report.LargestScaleRun(), nullptr);
    EXPECT_DOUBLE_EQ(report.LargestScaleRun()->wallMs, 9000) << "neither the wave's run nor the bare server's";
    ASSERT_NE(report.LargestScaleRun("qdserver", true), nullptr);
    EXPECT_EQ(report.LargestScaleRun("qdserver", true)->wave, 48);
    EXPECT_DOUBLE_EQ(report.LargestScaleRun("bare_mta")->FloorMs(), 6000) << "every call on a thread of its own";
    EXPECT_DOUBLE_EQ(report.LargestScaleRun()->FloorMs(), 7800);
    EXPECT_TRUE(report.Complete(false));

    wave.postedUnanswered = 1;  // a posted message the dialog never handled
    report.Add(wave);
    EXPECT_FALSE(report.Complete(false));
    BenchReport failedWave;
    wave.postedUnanswered = 0;
    wave.waveFailed = 2;
    failedWave.Add(wave);
    EXPECT_FALSE(failedWave.Complete(false)) << "a wave's failed call";
}

TEST(BenchReportTest, ChurnGrowthIgnoresOneHeapStepButNotASteadyGrowth)
{
    using Churn = BenchReport::Churn;
    EXPECT_DOUBLE_EQ(Churn::GrowthPerRoundKB({13872, 13872, 13872, 14880, 14880, 14880}), 0) << "one 1 MB step";
    EXPECT_DOUBLE_EQ(Churn::GrowthPerRoundKB({25212, 25360, 25508, 25656, 25800}), 148) << "every round grows";
    EXPECT_TRUE(std::isnan(Churn::GrowthPerRoundKB({15060})));
}

}  // namespace
