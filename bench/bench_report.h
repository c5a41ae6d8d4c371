// The figures of one benchmark run: printed as Markdown tables, written as JSON, and held against
// the targets.
#pragma once
#include "sample_stats.h"

#include <windows.h>

#include <cstdio>
#include <limits>
#include <string>
#include <vector>

class BenchReport {
public:
    static constexpr double kCallMs = 6000.0;  // one "Test": ten steps of 600 ms
    static constexpr double kConcurrentTarget = 1.02;
    static constexpr double kRoundTripTarget = 1.2;
    static constexpr double kCreateTarget = 1.5;

    struct Concurrent {
        bool ownThread;
        int k;
        double wallMs;
        double slowestMs;  // the longest single call
        int failed;        // calls that did not return S_OK
        HRESULT firstError;
        int sinks = 0;     // event sinks advised to each object
        // Own-thread calls run side by side: one call's time. Main-thread calls queue: k calls'.
        double FloorMs() const { return ownThread ? kCallMs : k * kCallMs; }
    };

    // k clients, each with one "Enabled" object of its own, calling "Test" at once. Objects past the
    // eighth hold no bar: their call is one 600 ms wait. The bare server's timed objects ("bare_mta")
    // wait the same in its multithreaded apartment, where every running call has a thread.
    struct Scale {
        int k;
        double wallMs;          // the first k calls'
        double slowestMs;
        int failed;             // of the first k calls
        HRESULT firstError;     // of either wave
        int peakThreads;        // the server's threads while the calls ran
        double peakPrivateMB;   // the server's private bytes while the calls ran
        SampleStats pingMs;     // the dialog's answer to WM_NULL (sent) while the calls ran
        int unanswered;         // pings not answered within the timeout
        std::string server = "qdserver";  // or "bare_mta"
        SampleStats postedMs;   // QDSERVER's dialog: a posted message's wait until handled
        int postedUnanswered = 0;
        int wave = 0;           // clients creating and calling while the first k calls run
        double waveWallMs = std::numeric_limits<double>::quiet_NaN();  // from its start to its last return
        SampleStats waveCreateMs;  // each wave client's creation
        double waveSlowestMs = std::numeric_limits<double>::quiet_NaN();  // creation and call
        int waveFailed = 0;
        bool Bare() const { return server == "bare_mta"; }
        // QDSERVER deals objects to its own threads; the bare server runs every call on its own.
        double FloorMs() const { return ScaleFloorMs(k, Bare() ? k : kScaleThreads); }
    };
    static constexpr int kScaleThreads = 48;  // the own-thread cap under Wine
    static constexpr double kBarlessCallMs = 600.0;
    static constexpr double kScalePingTargetMs = 100.0;  // sent, and posted while a wave's creations wait
    static constexpr double kScaleWallTarget = 1.1;
    // The shortest the calls can take on nThreads own threads: objects are dealt to the threads in
    // turn, the first eight (with bars, 6 s each) to eight different threads, and a thread's calls queue.
    static double ScaleFloorMs(int k, int nThreads);

    // Objects churned through a server by two clients (create, one call, release), a round at a
    // time; the server's commit charge and working set after each round. The first round warms up.
    struct Churn {
        std::string object;  // "own_thread", "main_thread", "bare"
        int objectsPerRound;
        std::vector<double> commitKB;      // after each round
        std::vector<double> workingSetKB;
        int failed;
        // Growth a round after the first, in KB (the median of the rounds'); NaN with fewer than two.
        static double GrowthPerRoundKB(const std::vector<double>& afterRounds);
    };
    static constexpr double kChurnGrowthTargetKB = 64.0;

    struct Timing {
        std::string measure;  // "round_trip", "create_release" (and its "create", "release"), "cold_start",
                              // "event_round_trip"
        std::string object;   // "own_thread", "main_thread", "bare"
        SampleStats stats;
        int failed;
        HRESULT firstError;
    };

    void SetRunInfo(const std::string& date, const std::string& cheapCall, int coldStartWaitMs);
    void Add(const Concurrent& run) { m_concurrent.push_back(run); }
    void Add(const Timing& timing) { m_timings.push_back(timing); }
    void Add(const Scale& run) { m_scale.push_back(run); }
    void Add(const Churn& run) { m_churn.push_back(run); }

    // NaN when the run has no such figure.
    double MedianOf(const std::string& measure, const std::string& object) const;
    double WorstOwnThreadRatio() const;
    // The largest run of that server, with a wave or without; nullptr without one.
    const Scale* LargestScaleRun(const std::string& server = "qdserver", bool bWave = false) const;
    const std::vector<Churn>& ChurnRuns() const { return m_churn; }

    void PrintTables(FILE* out) const;
    bool WriteJson(const char* path) const;
    // Whether every measure got its samples with no failed call; the concurrent runs count only
    // when they were asked for (a quick run leaves them out).
    bool Complete(bool bConcurrentAsked = true) const;

private:
    std::string m_date;
    std::string m_cheapCall;
    int m_coldStartWaitMs = 0;
    std::vector<Concurrent> m_concurrent;
    std::vector<Timing> m_timings;
    std::vector<Scale> m_scale;
    std::vector<Churn> m_churn;
};

// A JSON number: fixed with the given decimals, or null for NaN.
std::string JsonNumber(double value, int decimals = 3);
