// The benchmark's phases against the running (or startable) QDSERVER and the bare server, in one
// process of this client: cold starts, concurrent "Test" calls, cheap round trips, and
// create+release. The figures go to the report, progress to the person watching.
#pragma once
#include "bench_report.h"
#include "progress.h"
#include "remote_object.h"
#include "server_window.h"

#include <windows.h>

#include <memory>
#include <vector>

class Benchmark {
public:
    struct Options {
        int roundTripCalls = 2000;   // per object
        int createObjects = 200;     // per kind of object
        int coldStarts = 3;          // per server
        int rounds = 10;             // the kinds take turns, so load from elsewhere falls on all alike
        bool concurrentCalls = true;  // and the calls with event sinks
        int soloEventCalls = 3;       // one own-thread object with kTimingSinks sinks, called this often
        std::vector<int> scaleClients = {8, 48, 96, 192};  // the many-clients phase; empty skips it
        int scaleWave = 48;           // a second wave's clients at the largest k; 0 skips that run
        bool scaleOnly = false;       // the many-clients phase alone
        int churnRounds = 5;          // rounds of objects churned through each kind; 0 skips it
        int churnObjects = 1200;      // a round's objects, half from each of two clients
        bool churnOnly = false;       // the churn phase alone
    };

    Benchmark(const Options& options, Progress& progress, BenchReport& report);

    // False when a server is not registered or does not come up; the report holds what was measured.
    bool Run();

private:
    bool FindClasses();
    void ColdStarts();
    bool ColdStart(const ServerWindow& window, const char* progId, BenchReport::Timing* pTiming);
    bool BringUpQdServer();
    // With sinks, that many are advised to each object. The server calls them one after another:
    // the gaps between two sinks' hearing the same event are event round trips, added to
    // *pEventTrips when it is given.
    void ConcurrentCalls(bool ownThread, int k, int sinks = 0, BenchReport::Timing* pEventTrips = nullptr);
    void EventCalls();
    // k QDSERVER objects, "Own Thread" as asked, once every earlier object has gone.
    std::vector<std::unique_ptr<RemoteObject>> CreateObjects(bool ownThread, int k);
    // k clients, each creating one "Enabled" object and calling "Test" at once, while the dialog is
    // pinged and the server's threads and private bytes are sampled. With a wave, that many more
    // clients create an object each and call it while the first k calls run. Against the bare
    // server, its multithreaded apartment's timed objects take the place of QDSERVER's.
    void ScaleCalls(int k, int wave = 0, bool bare = false);
    // Every k plainly; at the largest, a second wave, and the bare server's burst.
    void ScalePhase();
    // Two clients churn objects of the kind through its server; its memory after each round.
    void Churn(int kind);
    void RoundTrips();
    void CreateRelease();
    void CloseServers();

    Options m_options;
    Progress& m_progress;
    BenchReport& m_report;
    CLSID m_qdClsid{};
    CLSID m_bareClsid{};
    CLSID m_bareMtaClsid{};
    ServerWindow m_qdWindow;
    ServerWindow m_bareWindow;
    int m_phase = 0;
    int m_phaseCount = 0;
};
