#include "bench_report.h"

#include "sample_stats.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Fixed(double value, int decimals)
{
    if (std::isnan(value))
        return "n/a";
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", decimals, value);
    return text;
}

struct Label {
    const char* key;  // as the JSON names it
    const char* text; // as the tables show it
};

// The text for key; the last label, whose key is nullptr, for any other.
const char* LabelOf(const std::string& key, std::initializer_list<Label> labels)
{
    for (const Label& label : labels)
        if (label.key == nullptr || key == label.key)
            return label.text;
    return "";
}

const char* ObjectLabel(const std::string& object)
{
    return LabelOf(object, {{"own_thread", "QDSERVER, own thread"}, {"main_thread", "QDSERVER, main thread"},
                            {"qdserver", "QDSERVER"}, {nullptr, "bare server"}});
}

const char* MeasureLabel(const std::string& measure)
{
    return LabelOf(measure, {{"round_trip", "round trip"}, {"event_round_trip", "event round trip"},
                             {"create_release", "create+release"},
                             {"create", "(create alone)"}, {"release", "(release alone)"}, {nullptr, "cold start"}});
}

// Met, missed, or not measured.
const char* Verdict(double measured, double limit)
{
    if (std::isnan(measured))
        return "not measured";
    return measured <= limit ? "met" : "MISSED";
}

struct Target {
    std::string name;
    double measured;
    double limit;
};

}  // namespace

std::string JsonNumber(double value, int decimals)
{
    if (!std::isfinite(value))
        return "null";
    return Fixed(value, decimals);
}

void BenchReport::SetRunInfo(const std::string& date, const std::string& cheapCall, int coldStartWaitMs)
{
    m_date = date;
    m_cheapCall = cheapCall;
    m_coldStartWaitMs = coldStartWaitMs;
}

double BenchReport::MedianOf(const std::string& measure, const std::string& object) const
{
    for (const Timing& t : m_timings)
        if (t.measure == measure && t.object == object)
            return t.stats.Median();
    return kNaN;
}

double BenchReport::ScaleFloorMs(int k, int nThreads)
{
    if (k <= 0 || nThreads <= 0)
        return kNaN;
    std::vector<double> threadMs(static_cast<size_t>(std::min(k, nThreads)), 0.0);
    for (int i = 0; i < k; ++i)
        threadMs[static_cast<size_t>(i) % threadMs.size()] += i < 8 ? kCallMs : kBarlessCallMs;
    return *std::max_element(threadMs.begin(), threadMs.end());
}

double BenchReport::Churn::GrowthPerRoundKB(const std::vector<double>& afterRounds)
{
    // The median of the rounds' growths: a heap grows its commit in steps (64 KB, 1 MB) that one
    // round takes alone, while what objects leave behind shows in every round.
    SampleStats growths;
    for (size_t i = 1; i < afterRounds.size(); ++i)
        growths.Add(afterRounds[i] - afterRounds[i - 1]);
    return growths.Median();
}

double BenchReport::WorstOwnThreadRatio() const
{
    double worst = kNaN;
    for (const Concurrent& run : m_concurrent) {
        // Runs with several sinks an object time the events; clients' calls have one at most.
        if (!run.ownThread || run.k > 8 || run.sinks > 1)
            continue;
        double ratio = Ratio(run.wallMs, run.FloorMs());
        if (std::isnan(worst) || ratio > worst)
            worst = ratio;
    }
    return worst;
}

bool BenchReport::Complete(bool bConcurrentAsked) const
{
    if ((bConcurrentAsked && m_concurrent.empty()) || (m_timings.empty() && m_scale.empty() && m_churn.empty()))
        return false;
    for (const Concurrent& run : m_concurrent)
        if (run.failed > 0 || std::isnan(run.wallMs))
            return false;
    for (const Timing& t : m_timings)
        if (t.failed > 0 || t.stats.Count() == 0)
            return false;
    for (const Scale& run : m_scale)
        if (run.failed > 0 || run.unanswered > 0 || run.waveFailed > 0 || run.postedUnanswered > 0 ||
            std::isnan(run.wallMs))
            return false;
    for (const Churn& run : m_churn)
        if (run.failed > 0 || run.commitKB.empty())
            return false;
    return true;
}

static std::vector<Target> Targets(const BenchReport& r)
{
    const BenchReport::Scale* pLargest = r.LargestScaleRun();
    std::vector<Target> targets = {
        {"k <= 8 concurrent own-thread calls (none, or a sink each): wall / 6.0 s", r.WorstOwnThreadRatio(),
         BenchReport::kConcurrentTarget},
        {"own-thread round trip / bare server's (median)",
         Ratio(r.MedianOf("round_trip", "own_thread"), r.MedianOf("round_trip", "bare")), BenchReport::kRoundTripTarget},
        {"own-thread create+release / main-thread object's (median)",
         Ratio(r.MedianOf("create_release", "own_thread"), r.MedianOf("create_release", "main_thread")),
         BenchReport::kCreateTarget},
    };
    if (pLargest != nullptr) {
        std::string clients = std::to_string(pLargest->k) + " clients";
        targets.push_back({clients + ": the dialog's worst answer while the calls run (ms)",
                           pLargest->unanswered ? kNaN : pLargest->pingMs.Max(), BenchReport::kScalePingTargetMs});
        targets.push_back({clients + ": wall / floor", Ratio(pLargest->wallMs, pLargest->FloorMs()),
                           BenchReport::kScaleWallTarget});
        targets.push_back({clients + ": failed calls", static_cast<double>(pLargest->failed), 0});
    }
    if (const BenchReport::Scale* pWave = r.LargestScaleRun("qdserver", true)) {
        std::string clients = std::to_string(pWave->k) + " clients and a wave of " + std::to_string(pWave->wave);
        targets.push_back({clients + ": the dialog's worst wait for a posted message (ms)",
                           pWave->postedUnanswered ? kNaN : pWave->postedMs.Max(), BenchReport::kScalePingTargetMs});
        targets.push_back({clients + ": failed calls", static_cast<double>(pWave->failed + pWave->waveFailed), 0});
    }
    for (const BenchReport::Churn& run : r.ChurnRuns())
        if (run.object != "bare")
            targets.push_back({std::string("churn, ") + ObjectLabel(run.object) + ": commit growth a round after the first, median (KB)",
                               BenchReport::Churn::GrowthPerRoundKB(run.commitKB), BenchReport::kChurnGrowthTargetKB});
    return targets;
}

const BenchReport::Scale* BenchReport::LargestScaleRun(const std::string& server, bool bWave) const
{
    const Scale* pLargest = nullptr;
    for (const Scale& run : m_scale)
        if (run.server == server && (run.wave > 0) == bWave && (pLargest == nullptr || run.k > pLargest->k))
            pLargest = &run;
    return pLargest;
}

void BenchReport::PrintTables(FILE* out) const
{
    std::fprintf(out, "Concurrent \"Test\" calls, one object and one client thread each (a call: %.1f s)\n\n",
                 kCallMs / 1000);
    std::fprintf(out, "| Objects | k | Wall (s) | Floor (s) | Wall / floor | Slowest call (s) | Failed |\n");
    std::fprintf(out, "|---|---:|---:|---:|---:|---:|---:|\n");
    for (const Concurrent& run : m_concurrent) {
        std::string objects = run.ownThread ? "own thread" : "main thread";
        if (run.sinks > 0)
            objects += run.sinks == 1 ? ", a sink each" : ", " + std::to_string(run.sinks) + " sinks each";
        std::fprintf(out, "| %s | %d | %s | %s | %s | %s | %d |\n", objects.c_str(), run.k,
                     Fixed(run.wallMs / 1000, 3).c_str(), Fixed(run.FloorMs() / 1000, 1).c_str(),
                     Fixed(Ratio(run.wallMs, run.FloorMs()), 4).c_str(), Fixed(run.slowestMs / 1000, 3).c_str(),
                     run.failed);
    }

    if (!m_scale.empty()) {
        std::fprintf(out, "\nMany clients: k clients with one \"Enabled\" object each call \"Test\" at once "
                          "(past the eighth object a call is one %.1f s wait); the dialog's answer to a sent "
                          "WM_NULL and its wait for a posted BM_SETSTATE meanwhile\n\n", kBarlessCallMs / 1000);
        std::fprintf(out, "| Server | k | Wave | Wall (s) | Floor (s) | Wall / floor | Slowest call (s) | Failed "
                          "| Server threads | Private MB | Sent: median (ms) | Worst (ms) | Posted: median (ms) "
                          "| Worst (ms) | Unanswered |\n");
        std::fprintf(out, "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
        for (const Scale& run : m_scale)
            std::fprintf(out, "| %s | %d | %d | %s | %s | %s | %s | %d | %d | %s | %s | %s | %s | %s | %d |\n",
                         run.Bare() ? "bare, MTA" : "QDSERVER", run.k, run.wave,
                         Fixed(run.wallMs / 1000, 3).c_str(), Fixed(run.FloorMs() / 1000, 1).c_str(),
                         Fixed(Ratio(run.wallMs, run.FloorMs()), 3).c_str(), Fixed(run.slowestMs / 1000, 3).c_str(),
                         run.failed, run.peakThreads, Fixed(run.peakPrivateMB, 1).c_str(),
                         Fixed(run.pingMs.Median(), 1).c_str(), Fixed(run.pingMs.Max(), 1).c_str(),
                         Fixed(run.postedMs.Median(), 1).c_str(), Fixed(run.postedMs.Max(), 1).c_str(),
                         run.unanswered + run.postedUnanswered);
        for (const Scale& run : m_scale)
            if (run.wave > 0)
                std::fprintf(out, "\nThe wave of %d at k = %d (started 1 s after the first): %s s from its start to "
                                  "its last return; a creation took %s s (median), %s s at most; the slowest creation "
                                  "and call %s s; %d failed\n",
                             run.wave, run.k, Fixed(run.waveWallMs / 1000, 3).c_str(),
                             Fixed(run.waveCreateMs.Median() / 1000, 3).c_str(),
                             Fixed(run.waveCreateMs.Max() / 1000, 3).c_str(), Fixed(run.waveSlowestMs / 1000, 3).c_str(),
                             run.waveFailed);
        const Scale* pOurs = LargestScaleRun();
        const Scale* pBare = LargestScaleRun("bare_mta");
        if (pOurs != nullptr && pBare != nullptr)
            std::fprintf(out, "\n%d clients, wall / floor: QDSERVER %s (%d own threads), bare server %s (k = %d, a "
                              "thread per call): the bare server's is what Wine's COM costs\n",
                         pOurs->k, Fixed(Ratio(pOurs->wallMs, pOurs->FloorMs()), 3).c_str(), kScaleThreads,
                         Fixed(Ratio(pBare->wallMs, pBare->FloorMs()), 3).c_str(), pBare->k);
    }

    if (!m_churn.empty()) {
        std::fprintf(out, "\nChurn: two clients create, call (%s) and release objects, %d a round; the server's "
                          "memory after each round\n\n", m_cheapCall.c_str(), m_churn.front().objectsPerRound);
        std::fprintf(out, "| Object | Rounds | Commit after round 1 (KB) | After the last (KB) | Median growth a round "
                          "after the first (KB) | Working set after round 1 (KB) | Median growth a round after (KB) | "
                          "Failed |\n|---|---:|---:|---:|---:|---:|---:|---:|\n");
        for (const Churn& run : m_churn)
            std::fprintf(out, "| %s | %zu | %s | %s | %s | %s | %s | %d |\n", ObjectLabel(run.object), run.commitKB.size(),
                         Fixed(run.commitKB.empty() ? kNaN : run.commitKB.front(), 0).c_str(),
                         Fixed(run.commitKB.empty() ? kNaN : run.commitKB.back(), 0).c_str(),
                         Fixed(Churn::GrowthPerRoundKB(run.commitKB), 1).c_str(),
                         Fixed(run.workingSetKB.empty() ? kNaN : run.workingSetKB.front(), 0).c_str(),
                         Fixed(Churn::GrowthPerRoundKB(run.workingSetKB), 1).c_str(), run.failed);
    }

    std::fprintf(out, "\nRound trip (%s), create+release and cold start, in ms\n\n", m_cheapCall.c_str());
    std::fprintf(out, "| Measure | Object | n | Median | p99 | Min | Max | Median / bare | Median / main thread | Failed |\n");
    std::fprintf(out, "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Timing& t : m_timings) {
        double median = t.stats.Median();
        bool cold = t.measure == "cold_start";
        double toBare = Ratio(median, MedianOf(t.measure, "bare"));
        double toMain = cold ? kNaN : Ratio(median, MedianOf(t.measure, "main_thread"));
        std::fprintf(out, "| %s | %s | %zu | %s | %s | %s | %s | %s | %s | %d |\n", MeasureLabel(t.measure),
                     ObjectLabel(t.object), t.stats.Count(), Fixed(median, 3).c_str(),
                     Fixed(t.stats.Percentile(99), 3).c_str(), Fixed(t.stats.Min(), 3).c_str(),
                     Fixed(t.stats.Max(), 3).c_str(), t.object == "bare" ? "1" : Fixed(toBare, 2).c_str(),
                     t.object == "main_thread" ? "1" : Fixed(toMain, 2).c_str(), t.failed);
    }

    std::fprintf(out, "\nTargets\n\n| Target | Measured | Limit | Verdict |\n|---|---:|---:|---|\n");
    for (const Target& target : Targets(*this))
        std::fprintf(out, "| %s | %s | %s | %s |\n", target.name.c_str(), Fixed(target.measured, 3).c_str(),
                     Fixed(target.limit, 2).c_str(), Verdict(target.measured, target.limit));
}

bool BenchReport::WriteJson(const char* path) const
{
    FILE* f = std::fopen(path, "w");
    if (f == nullptr)
        return false;
    std::fprintf(f, "{\n  \"date\": \"%s\",\n  \"call_ms\": %s,\n  \"cheap_call\": \"%s\",\n", m_date.c_str(),
                 JsonNumber(kCallMs, 0).c_str(), m_cheapCall.c_str());
    std::fprintf(f, "  \"cold_start_wait_ms\": %d,\n  \"concurrent_calls\": [", m_coldStartWaitMs);
    for (size_t i = 0; i < m_concurrent.size(); ++i) {
        const Concurrent& run = m_concurrent[i];
        std::fprintf(f,
                     "%s\n    {\"objects\": \"%s\", \"k\": %d, \"sinks\": %d, \"wall_ms\": %s, \"floor_ms\": %s, "
                     "\"ratio_to_floor\": %s, \"slowest_call_ms\": %s, \"failed\": %d, \"first_error\": \"0x%08lX\"}",
                     i ? "," : "", run.ownThread ? "own_thread" : "main_thread", run.k, run.sinks,
                     JsonNumber(run.wallMs, 1).c_str(), JsonNumber(run.FloorMs(), 0).c_str(),
                     JsonNumber(Ratio(run.wallMs, run.FloorMs()), 4).c_str(), JsonNumber(run.slowestMs, 1).c_str(),
                     run.failed, static_cast<unsigned long>(run.firstError));
    }
    std::fprintf(f, "\n  ],\n  \"scale\": [");
    for (size_t i = 0; i < m_scale.size(); ++i) {
        const Scale& run = m_scale[i];
        std::fprintf(f,
                     "%s\n    {\"server\": \"%s\", \"k\": %d, \"wall_ms\": %s, \"floor_ms\": %s, \"ratio_to_floor\": %s, "
                     "\"slowest_call_ms\": %s, \"failed\": %d, \"first_error\": \"0x%08lX\", \"server_threads\": %d, "
                     "\"private_mb\": %s, \"ping_median_ms\": %s, \"ping_max_ms\": %s, \"pings\": %zu, "
                     "\"unanswered\": %d, \"posted_median_ms\": %s, \"posted_max_ms\": %s, \"posted\": %zu, "
                     "\"posted_unanswered\": %d",
                     i ? "," : "", run.server.c_str(), run.k, JsonNumber(run.wallMs, 1).c_str(),
                     JsonNumber(run.FloorMs(), 0).c_str(), JsonNumber(Ratio(run.wallMs, run.FloorMs()), 4).c_str(),
                     JsonNumber(run.slowestMs, 1).c_str(), run.failed, static_cast<unsigned long>(run.firstError),
                     run.peakThreads, JsonNumber(run.peakPrivateMB, 1).c_str(), JsonNumber(run.pingMs.Median(), 1).c_str(),
                     JsonNumber(run.pingMs.Max(), 1).c_str(), run.pingMs.Count(), run.unanswered,
                     JsonNumber(run.postedMs.Median(), 1).c_str(), JsonNumber(run.postedMs.Max(), 1).c_str(),
                     run.postedMs.Count(), run.postedUnanswered);
        if (run.wave > 0)
            std::fprintf(f, ", \"wave\": %d, \"wave_wall_ms\": %s, \"wave_create_median_ms\": %s, "
                            "\"wave_create_max_ms\": %s, \"wave_slowest_ms\": %s, \"wave_failed\": %d",
                         run.wave, JsonNumber(run.waveWallMs, 1).c_str(), JsonNumber(run.waveCreateMs.Median(), 1).c_str(),
                         JsonNumber(run.waveCreateMs.Max(), 1).c_str(), JsonNumber(run.waveSlowestMs, 1).c_str(),
                         run.waveFailed);
        std::fprintf(f, "}");
    }
    const Scale* pOurs = LargestScaleRun();
    const Scale* pBare = LargestScaleRun("bare_mta");
    if (pOurs != nullptr && pBare != nullptr)
        std::fprintf(f, "\n  ],\n  \"scale_ratio_to_floor\": {\"k\": %d, \"qdserver\": %s, \"bare_k\": %d, "
                        "\"bare_mta\": %s}", pOurs->k, JsonNumber(Ratio(pOurs->wallMs, pOurs->FloorMs()), 4).c_str(),
                     pBare->k, JsonNumber(Ratio(pBare->wallMs, pBare->FloorMs()), 4).c_str());
    else
        std::fprintf(f, "\n  ],\n  \"scale_ratio_to_floor\": null");
    std::fprintf(f, ",\n  \"churn\": [");
    for (size_t i = 0; i < m_churn.size(); ++i) {
        const Churn& run = m_churn[i];
        std::fprintf(f, "%s\n    {\"object\": \"%s\", \"objects_per_round\": %d, \"failed\": %d, \"commit_kb\": [",
                     i ? "," : "", run.object.c_str(), run.objectsPerRound, run.failed);
        for (size_t j = 0; j < run.commitKB.size(); ++j)
            std::fprintf(f, "%s%s", j ? ", " : "", JsonNumber(run.commitKB[j], 0).c_str());
        std::fprintf(f, "], \"working_set_kb\": [");
        for (size_t j = 0; j < run.workingSetKB.size(); ++j)
            std::fprintf(f, "%s%s", j ? ", " : "", JsonNumber(run.workingSetKB[j], 0).c_str());
        std::fprintf(f, "]}");
    }
    std::fprintf(f, "\n  ],\n  \"timings\": [");
    for (size_t i = 0; i < m_timings.size(); ++i) {
        const Timing& t = m_timings[i];
        double median = t.stats.Median();
        std::fprintf(f,
                     "%s\n    {\"measure\": \"%s\", \"object\": \"%s\", \"n\": %zu, \"median_ms\": %s, "
                     "\"p99_ms\": %s, \"min_ms\": %s, \"max_ms\": %s, \"ratio_to_bare\": %s, "
                     "\"ratio_to_main_thread\": %s, \"failed\": %d, \"first_error\": \"0x%08lX\"",
                     i ? "," : "", t.measure.c_str(), t.object.c_str(), t.stats.Count(), JsonNumber(median).c_str(),
                     JsonNumber(t.stats.Percentile(99)).c_str(), JsonNumber(t.stats.Min()).c_str(),
                     JsonNumber(t.stats.Max()).c_str(), JsonNumber(Ratio(median, MedianOf(t.measure, "bare"))).c_str(),
                     JsonNumber(Ratio(median, MedianOf(t.measure, "main_thread"))).c_str(), t.failed,
                     static_cast<unsigned long>(t.firstError));
        if (t.measure == "cold_start") {
            std::fprintf(f, ", \"samples_ms\": [");
            for (size_t j = 0; j < t.stats.Count(); ++j)
                std::fprintf(f, "%s%s", j ? ", " : "", JsonNumber(t.stats.Samples()[j], 1).c_str());
            std::fprintf(f, "]");
        }
        std::fprintf(f, "}");
    }
    std::fprintf(f, "\n  ],\n  \"targets\": [");
    std::vector<Target> targets = Targets(*this);
    for (size_t i = 0; i < targets.size(); ++i) {
        const Target& target = targets[i];
        std::fprintf(f, "%s\n    {\"name\": \"%s\", \"measured\": %s, \"limit\": %s, \"met\": %s}", i ? "," : "",
                     target.name.c_str(), JsonNumber(target.measured).c_str(), JsonNumber(target.limit, 2).c_str(),
                     std::isnan(target.measured) ? "null" : target.measured <= target.limit ? "true" : "false");
    }
    std::fprintf(f, "\n  ]\n}\n");
    return std::fclose(f) == 0;
}
