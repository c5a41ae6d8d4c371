#include "benchmark.h"

#include "bench_names.h"
#include "event_sink.h"
#include "gated_calls.h"
#include "now_ms.h"
#include "process_census.h"
#include "remote_object.h"

#include <unique_handle.h>

#include <psapi.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// Wine's COM keeps an ended server's class for about 2 s; a creation before then fails.
const DWORD kClassForgetMs = 3000;
const DWORD kServerUpMs = 15000;
const int kWarmUpCalls = 100;
const int kWarmUpObjects = 5;
// Sinks on the object whose events are timed: each event gives one round trip fewer than sinks.
const int kTimingSinks = 5;
const size_t kEventsOfACall = 11;  // ten Progress and one Finished
const double kNaN = std::numeric_limits<double>::quiet_NaN();

enum Kind { kOwnThread, kMainThread, kBare, kKinds };
const char* const kKindNames[kKinds] = {"own_thread", "main_thread", "bare"};

// A call that does no work on the server: the cost of the round trip alone.
HRESULT CheapCall(const RemoteObject& object)
{
    UINT count = 0;
    return object.Get() ? object.Get()->GetTypeInfoCount(&count) : E_POINTER;
}

void NoteFailure(BenchReport::Timing* pTiming, HRESULT hr)
{
    if (pTiming->failed++ == 0)
        pTiming->firstError = hr;
}

std::string BarsText(const std::array<int, 8>& bars)
{
    std::string text;
    for (int bar : bars)
        text += (text.empty() ? "" : " ") + std::to_string(bar);
    return text;
}

}  // namespace

Benchmark::Benchmark(const Options& options, Progress& progress, BenchReport& report)
    : m_options(options), m_progress(progress), m_report(report),
      m_qdWindow(WindowQuery(QDSERVER_CAPTION).HiddenToo()), m_bareWindow(WindowQuery(QDBENCH_BARE_CAPTION).HiddenToo())
{
}

bool Benchmark::Run()
{
    const bool scale = !m_options.scaleClients.empty();
    if (m_options.scaleOnly) {
        m_phaseCount = 2;
        if (!FindClasses() || !BringUpQdServer())
            return false;
        m_progress.Phase("many clients at once", ++m_phase, m_phaseCount);
        ScalePhase();
        CloseServers();
        return true;
    }
    if (m_options.churnOnly) {
        m_phaseCount = 2;
        if (!FindClasses() || !BringUpQdServer())
            return false;
        m_progress.Phase("objects churned through the servers", ++m_phase, m_phaseCount);
        for (int kind = 0; kind < kKinds; ++kind)
            Churn(kind);
        CloseServers();
        return true;
    }
    const bool churn = m_options.churnRounds > 0;
    m_phaseCount = 4 + (m_options.concurrentCalls ? 2 : 0) + (scale ? 1 : 0) + (churn ? 1 : 0);
    if (!FindClasses())
        return false;
    ColdStarts();
    if (!BringUpQdServer())
        return false;
    if (m_options.concurrentCalls) {
        m_progress.Phase("concurrent \"Test\" calls (6 s each)", ++m_phase, m_phaseCount);
        for (int k : {1, 2, 4, 8})
            ConcurrentCalls(true, k);
        for (int k : {1, 2})
            ConcurrentCalls(false, k);
        m_qdWindow.SelectOwnThread(true);
        EventCalls();
    }
    if (scale) {
        m_progress.Phase("many clients at once", ++m_phase, m_phaseCount);
        ScalePhase();
    }
    RoundTrips();
    CreateRelease();
    if (churn) {
        m_progress.Phase("objects churned through the servers", ++m_phase, m_phaseCount);
        for (int kind = 0; kind < kKinds; ++kind)
            Churn(kind);
    }
    CloseServers();
    return true;
}

bool Benchmark::FindClasses()
{
    HRESULT hr = S_OK;
    m_qdClsid = RemoteObject::ClassOf(QDSERVER_PROGID, &hr);
    if (FAILED(hr)) {
        m_progress.Note("%s is not registered (0x%08lX): start QDSERVER once", QDSERVER_PROGID,
                        static_cast<unsigned long>(hr));
        return false;
    }
    m_bareClsid = RemoteObject::ClassOf(QDBENCH_BARE_PROGID, &hr);
    if (SUCCEEDED(hr))
        m_bareMtaClsid = RemoteObject::ClassOf(QDBENCH_BARE_MTA_PROGID, &hr);
    if (FAILED(hr)) {
        m_progress.Note("%s is not registered (0x%08lX): start bare_server once", QDBENCH_BARE_PROGID,
                        static_cast<unsigned long>(hr));
        return false;
    }
    return true;
}

void Benchmark::ColdStarts()
{
    m_progress.Phase("cold start (server not running)", ++m_phase, m_phaseCount);
    BenchReport::Timing qd{"cold_start", "qdserver", {}, 0, S_OK};
    BenchReport::Timing bare{"cold_start", "bare", {}, 0, S_OK};
    for (int i = 0; i < m_options.coldStarts; ++i) {
        bool closed = false;
        for (const ServerWindow* pWindow : {&m_bareWindow, &m_qdWindow}) {
            if (pWindow->IsRunning()) {
                if (!pWindow->CloseAndWaitForExit(kServerUpMs))
                    m_progress.Note("a server did not end when closed");
                closed = true;
            }
        }
        if (closed)
            Sleep(kClassForgetMs);
        ColdStart(m_bareWindow, QDBENCH_BARE_PROGID, &bare);
        ColdStart(m_qdWindow, QDSERVER_PROGID, &qd);
        m_progress.Note("cold starts: %d/%d (QDSERVER %.0f ms, bare server %.0f ms)", i + 1, m_options.coldStarts,
                        qd.stats.Count() ? qd.stats.Samples().back() : -1.0,
                        bare.stats.Count() ? bare.stats.Samples().back() : -1.0);
    }
    m_report.Add(qd);
    m_report.Add(bare);
}

bool Benchmark::ColdStart(const ServerWindow& window, const char* progId, BenchReport::Timing* pTiming)
{
    // As a client asks: by ProgID, to the object in hand.
    double start = NowMs();
    HRESULT hr = S_OK;
    CLSID clsid = RemoteObject::ClassOf(progId, &hr);
    if (SUCCEEDED(hr)) {
        RemoteObject object(clsid);
        hr = object.Created();
        if (SUCCEEDED(hr))
            pTiming->stats.Add(NowMs() - start);
    }
    if (FAILED(hr)) {
        NoteFailure(pTiming, hr);
        m_progress.Note("cold start of %s failed: 0x%08lX", progId, static_cast<unsigned long>(hr));
        return false;
    }
    return window.Find(kServerUpMs) != nullptr;
}

bool Benchmark::BringUpQdServer()
{
    if (!m_qdWindow.IsRunning()) {
        RemoteObject starter(m_qdClsid);  // COM starts the server
        if (FAILED(starter.Created())) {
            m_progress.Note("QDSERVER could not be started: 0x%08lX", static_cast<unsigned long>(starter.Created()));
            return false;
        }
    }
    if (m_qdWindow.Find(kServerUpMs) == nullptr || !m_qdWindow.SelectOwnThread(true)) {
        m_progress.Note("QDSERVER's window did not come up");
        return false;
    }
    return true;
}

void Benchmark::EventCalls()
{
    m_progress.Phase("\"Test\" calls with event sinks (6 s each)", ++m_phase, m_phaseCount);
    BenchReport::Timing trips{"event_round_trip", "own_thread", {}, 0, S_OK};
    for (int i = 0; i < m_options.soloEventCalls; ++i)
        ConcurrentCalls(true, 1, kTimingSinks, &trips);
    m_report.Add(trips);
    ConcurrentCalls(true, 8, 1);
}

std::vector<std::unique_ptr<RemoteObject>> Benchmark::CreateObjects(bool ownThread, int k)
{
    if (!m_qdWindow.WaitForFreeBoard(30000))
        m_progress.Note("a bar is still held from before");
    m_qdWindow.SelectOwnThread(ownThread);
    std::vector<std::unique_ptr<RemoteObject>> objects;
    objects.reserve(k);
    for (int i = 0; i < k; ++i)
        objects.push_back(std::make_unique<RemoteObject>(m_qdClsid));
    return objects;
}

void Benchmark::ConcurrentCalls(bool ownThread, int k, int sinks, BenchReport::Timing* pEventTrips)
{
    const char* mode = ownThread ? "own thread" : "main thread";
    BenchReport::Concurrent run{ownThread, k, 0, 0, 0, S_OK};
    std::vector<std::unique_ptr<RemoteObject>> objects = CreateObjects(ownThread, k);
    // The server calls an object's sinks one after another: from one sink's hearing an event to
    // the next one's is the first's answer going back and the server's call to the next, one
    // round trip, timed on one clock in this process.
    run.sinks = sinks;
    std::vector<std::vector<EventSink*>> objectSinks(k);
    bool sinksHeard = true;
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < sinks; ++j) {
            objectSinks[i].push_back(EventSink::Create());
            if (FAILED(objects[i]->Created()) || FAILED(objectSinks[i].back()->Advise(objects[i]->Get())))
                sinksHeard = false;
        }

    // Every client thread waits at the gate, so the clock starts when all calls can start at once.
    GatedCalls calls(objects);
    double start = calls.Open();
    double nextNote = start + 1000;
    while (calls.Done() < k) {
        Sleep(50);
        if (NowMs() < nextNote || calls.Done() == k)
            continue;
        nextNote += 1000;
        // Bars are read only between steps' sends; a main-thread call leaves the window silent.
        std::array<int, 8> bars{};
        bool answered = m_qdWindow.ReadBars(&bars, 100);
        m_progress.Note("%s, k = %d: %.0f s, %d/%d calls done, bars %s", mode, k, (NowMs() - start) / 1000,
                        calls.Done(), k, answered ? BarsText(bars).c_str() : "(window busy)");
    }
    calls.Join();
    for (auto& sinksOfObject : objectSinks) {
        for (size_t j = 0; j < sinksOfObject.size(); ++j) {
            auto heard = sinksOfObject[j]->Events();
            sinksHeard = sinksHeard && heard.size() == kEventsOfACall;
            if (pEventTrips == nullptr || j == 0)
                continue;
            auto before = sinksOfObject[j - 1]->Events();
            for (size_t e = 0; e < heard.size() && e < before.size(); ++e)
                pEventTrips->stats.Add(heard[e].atMs - before[e].atMs);
        }
        for (EventSink* sink : sinksOfObject) {
            sink->Unadvise();
            sink->Release();
        }
    }
    objects.clear();

    run.wallMs = calls.WallMs();
    run.slowestMs = calls.SlowestMs();
    run.failed = calls.Failed(&run.firstError);
    if (!sinksHeard) {  // a sink that could not be advised, or did not hear the whole call
        if (run.failed++ == 0)
            run.firstError = E_FAIL;
        if (pEventTrips != nullptr)
            NoteFailure(pEventTrips, E_FAIL);
    }
    m_report.Add(run);
    m_progress.Note("%s, k = %d: %.3f s for %.1f s of floor%s", mode, k, run.wallMs / 1000, run.FloorMs() / 1000,
                    run.failed ? " (calls failed)" : "");
}

void Benchmark::ScalePhase()
{
    for (int k : m_options.scaleClients)
        ScaleCalls(k);
    if (m_options.scaleClients.empty())
        return;
    const int largest = *std::max_element(m_options.scaleClients.begin(), m_options.scaleClients.end());
    if (m_options.scaleWave > 0)
        ScaleCalls(largest, m_options.scaleWave);
    ScaleCalls(largest, 0, true);
}

void Benchmark::ScaleCalls(int k, int wave, bool bare)
{
    BenchReport::Scale run{k, kNaN, 0, 0, S_OK, 0, 0, {}, 0};
    run.server = bare ? "bare_mta" : "qdserver";
    run.wave = wave;
    const char* name = bare ? "bare server" : "QDSERVER";
    const ServerWindow& window = bare ? m_bareWindow : m_qdWindow;
    std::vector<std::unique_ptr<RemoteObject>> objects;
    if (bare) {
        for (int i = 0; i < k; ++i)
            objects.push_back(std::make_unique<RemoteObject>(m_bareMtaClsid));
    } else {
        objects = CreateObjects(true, k);
    }
    m_progress.Note("%s, %d clients%s: %d objects created", name, k, wave ? " and a wave" : "",
                    static_cast<int>(std::count_if(objects.begin(), objects.end(),
                                                   [](const auto& p) { return SUCCEEDED(p->Created()); })));
    GatedCalls calls(objects);
    // The second wave starts once every first call runs: past the cap every own thread is in a
    // call, so its creations wait for busy threads while the dialog must go on answering.
    std::unique_ptr<GatedCalls> waveCalls = wave > 0 ? std::make_unique<GatedCalls>(m_qdClsid, wave) : nullptr;
    const double kWaveAfterMs = 1000;

    // While the calls run: the dialog pinged every 20 ms with a sent and a posted message, the
    // server counted every second (counting walks every thread of the system: done more often, it
    // takes the CPU that the calls need).
    window.Find(kServerUpMs);
    const DWORD pid = window.ProcessId();
    CUniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    const DWORD kPingTimeoutMs = 10000;
    double start = calls.Open();
    double waveStart = kNaN;
    double nextCensus = start, nextNote = start + 5000;
    while (calls.Done() < k || (waveCalls && waveCalls->Done() < wave)) {
        if (waveCalls && std::isnan(waveStart) && NowMs() >= start + kWaveAfterMs)
            waveStart = waveCalls->Open();
        double ms = window.Ping(kPingTimeoutMs);
        if (ms < 0)
            ++run.unanswered;
        else
            run.pingMs.Add(ms);
        if (!bare) {
            ms = window.PostedRoundTrip(kPingTimeoutMs);
            if (ms < 0)
                ++run.postedUnanswered;
            else
                run.postedMs.Add(ms);
        }
        if (NowMs() >= nextCensus) {
            nextCensus += 1000;
            run.peakThreads = std::max(run.peakThreads, CountProcessThreads(pid));
            // The commit charge, which is the private bytes; Wine leaves the _EX field PrivateUsage 0.
            PROCESS_MEMORY_COUNTERS counters{};
            counters.cb = sizeof(counters);
            if (process && GetProcessMemoryInfo(process.Get(), &counters, sizeof(counters)))
                run.peakPrivateMB = std::max(run.peakPrivateMB, static_cast<double>(counters.PagefileUsage) / 1048576.0);
        }
        if (NowMs() >= nextNote) {
            nextNote += 5000;
            m_progress.Note("%s, %d clients: %.0f s, %d/%d calls done%s", name, k, (NowMs() - start) / 1000,
                            calls.Done(), k,
                            waveCalls ? (", wave " + std::to_string(waveCalls->Done()) + "/" + std::to_string(wave)).c_str()
                                      : "");
        }
        Sleep(20);
    }
    calls.Join();
    objects.clear();

    run.wallMs = calls.WallMs();
    run.slowestMs = calls.SlowestMs();
    run.failed = calls.Failed(&run.firstError);
    if (waveCalls) {
        waveCalls->Join();
        run.waveWallMs = waveCalls->WallMs();
        run.waveCreateMs = waveCalls->CreationMs();
        run.waveSlowestMs = waveCalls->SlowestMs();
        HRESULT waveError = S_OK;
        run.waveFailed = waveCalls->Failed(&waveError);
        if (run.waveFailed > 0 && run.failed == 0)
            run.firstError = waveError;
    }
    m_report.Add(run);
    m_progress.Note("%s, %d clients: %.3f s for %.1f s of floor, dialog worst %.0f ms sent, %.0f ms posted, %d threads, "
                    "%.1f MB%s", name, k, run.wallMs / 1000, run.FloorMs() / 1000, run.pingMs.Max(),
                    run.postedMs.Max(), run.peakThreads, run.peakPrivateMB,
                    run.failed || run.waveFailed ? " (calls failed)" : "");
    if (waveCalls)
        m_progress.Note("wave of %d: %.3f s from its start, creation median %.3f s, slowest %.3f s", wave,
                        run.waveWallMs / 1000, run.waveCreateMs.Median() / 1000, run.waveCreateMs.Max() / 1000);
}

void Benchmark::Churn(int kind)
{
    BenchReport::Churn run{kKindNames[kind], m_options.churnObjects, {}, {}, 0};
    if (kind != kBare)
        m_qdWindow.SelectOwnThread(kind == kOwnThread);
    REFCLSID clsid = kind == kBare ? m_bareClsid : m_qdClsid;
    const ServerWindow& window = kind == kBare ? m_bareWindow : m_qdWindow;
    RemoteObject anchor(clsid);  // keeps the server up between rounds, and starts it when it is not
    CUniqueHandle process;
    if (SUCCEEDED(anchor.Created()) && window.Find(kServerUpMs) != nullptr)
        process.Reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, window.ProcessId()));
    if (!process) {
        ++run.failed;
        m_report.Add(run);
        m_progress.Note("churn: the %s server is not there", kKindNames[kind]);
        return;
    }
    const int kClients = 2;
    for (int round = 0; round < m_options.churnRounds; ++round) {
        std::atomic<int> failed{0};
        std::vector<std::thread> clients;
        clients.reserve(kClients);
        for (int c = 0; c < kClients; ++c) {
            clients.emplace_back([&] {
                if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
                    ++failed;
                    return;
                }
                // Through a class factory each client holds: Wine's activation (CoCreateInstance's
                // fetch of the class from the server) crashed a client that ran it from two
                // threads thousands of times, in Wine's own code, against any server.
                IClassFactory* pFactory = nullptr;
                if (FAILED(CoGetClassObject(clsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                            reinterpret_cast<void**>(&pFactory)))) {
                    failed += m_options.churnObjects / kClients;
                    CoUninitialize();
                    return;
                }
                for (int i = 0; i < m_options.churnObjects / kClients; ++i) {
                    RemoteObject object(pFactory);
                    if (FAILED(object.Created()) || FAILED(CheapCall(object)))
                        ++failed;
                }
                pFactory->Release();
                CoUninitialize();
            });
        }
        for (std::thread& client : clients)
            client.join();
        run.failed += failed;
        Sleep(1000);  // the last final releases and parked threads settle
        PROCESS_MEMORY_COUNTERS counters{};
        counters.cb = sizeof(counters);
        if (GetProcessMemoryInfo(process.Get(), &counters, sizeof(counters))) {
            run.commitKB.push_back(static_cast<double>(counters.PagefileUsage) / 1024.0);
            run.workingSetKB.push_back(static_cast<double>(counters.WorkingSetSize) / 1024.0);
        }
        m_progress.Note("churn %s: round %d/%d, commit %.0f KB, working set %.0f KB%s", kKindNames[kind], round + 1,
                        m_options.churnRounds, run.commitKB.empty() ? -1.0 : run.commitKB.back(),
                        run.workingSetKB.empty() ? -1.0 : run.workingSetKB.back(), run.failed ? " (failures)" : "");
    }
    m_report.Add(run);
}

void Benchmark::RoundTrips()
{
    m_progress.Phase("cheap round trips (GetTypeInfoCount)", ++m_phase, m_phaseCount);
    m_qdWindow.WaitForFreeBoard(10000);
    m_qdWindow.SelectOwnThread(true);
    RemoteObject own(m_qdClsid);
    m_qdWindow.SelectOwnThread(false);
    RemoteObject onMain(m_qdClsid);
    m_qdWindow.SelectOwnThread(true);
    RemoteObject bare(m_bareClsid);
    RemoteObject* objects[kKinds] = {&own, &onMain, &bare};
    BenchReport::Timing timings[kKinds];
    for (int kind = 0; kind < kKinds; ++kind) {
        timings[kind] = {"round_trip", kKindNames[kind], {}, 0, S_OK};
        if (FAILED(objects[kind]->Created()))
            NoteFailure(&timings[kind], objects[kind]->Created());
        for (int i = 0; i < kWarmUpCalls; ++i)
            CheapCall(*objects[kind]);
    }

    const int perRound = std::max(1, m_options.roundTripCalls / m_options.rounds);
    for (int round = 0; round < m_options.rounds; ++round) {
        for (int turn = 0; turn < kKinds; ++turn) {
            int kind = (round + turn) % kKinds;
            RemoteObject* pObject = objects[kind];
            if (FAILED(pObject->Created()))
                continue;
            for (int i = 0; i < perRound; ++i) {
                double start = NowMs();
                HRESULT hr = CheapCall(*pObject);
                double ms = NowMs() - start;
                if (hr == S_OK)
                    timings[kind].stats.Add(ms);
                else
                    NoteFailure(&timings[kind], hr);
            }
        }
        m_progress.Count("round trips per object", (round + 1) * perRound, m_options.rounds * perRound);
    }
    for (const auto& timing : timings)
        m_report.Add(timing);
}

void Benchmark::CreateRelease()
{
    m_progress.Phase("object create+release", ++m_phase, m_phaseCount);
    // The whole, and its two halves: where a difference between objects lies.
    const char* const measures[] = {"create_release", "create", "release"};
    BenchReport::Timing timings[3][kKinds];
    for (int m = 0; m < 3; ++m)
        for (int kind = 0; kind < kKinds; ++kind)
            timings[m][kind] = {measures[m], kKindNames[kind], {}, 0, S_OK};

    const int perRound = std::max(1, m_options.createObjects / m_options.rounds);
    for (int round = -1; round < m_options.rounds; ++round) {  // round -1 warms up
        for (int turn = 0; turn < kKinds; ++turn) {
            int kind = (round + 1 + turn) % kKinds;
            if (kind != kBare)
                m_qdWindow.SelectOwnThread(kind == kOwnThread);
            REFCLSID clsid = kind == kBare ? m_bareClsid : m_qdClsid;
            int count = round < 0 ? kWarmUpObjects : perRound;
            for (int i = 0; i < count; ++i) {
                double start = NowMs();
                double created = 0;
                HRESULT hr;
                {
                    RemoteObject object(clsid);
                    hr = object.Created();
                    created = NowMs();
                }
                double end = NowMs();
                if (round < 0)
                    continue;
                if (hr != S_OK) {
                    NoteFailure(&timings[0][kind], hr);
                    continue;
                }
                timings[0][kind].stats.Add(end - start);
                timings[1][kind].stats.Add(created - start);
                timings[2][kind].stats.Add(end - created);
            }
        }
        if (round >= 0)
            m_progress.Count("objects per kind", (round + 1) * perRound, m_options.rounds * perRound);
    }
    m_qdWindow.SelectOwnThread(true);
    for (const auto& measure : timings)
        for (const auto& timing : measure)
            m_report.Add(timing);
}

void Benchmark::CloseServers()
{
    m_progress.Phase("closing the servers", ++m_phase, m_phaseCount);
    m_qdWindow.WaitForFreeBoard(10000);
    for (const ServerWindow* pWindow : {&m_bareWindow, &m_qdWindow})
        if (!pWindow->CloseAndWaitForExit(kServerUpMs))
            m_progress.Note("a server did not end when closed");
}
