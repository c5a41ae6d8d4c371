// qd_torture: the torture run. For a given time, round after round, starts QDSERVER by hand with
// the own-thread cap lowered and random pauses at its interleaving points, lets several client
// processes make random choices against it, and ends it at a random moment one of the ways a user
// or the system ends it; then checks what the round must leave.
//   qd_torture.exe [--seconds=N] [--seed=S] [--clients=K] [--threads=T] [--max-pause=MS] [--rounds=N]
//                  [--post-limit=MS]   (the longest posted-message wait a round passes with; 200)
//                  [--endings=N]       (the first N of WM_CLOSE, close box, Esc, logoff; all 4)
//                  [--ending=NAME]     (only that one of them, e.g. --ending=logoff)
// Progress on stderr, the summary table (Markdown) on stdout. Exit code 0 when every round passed.
//   qd_torture.exe --client ...   one client process (the run starts them)
#include "progress.h"
#include "server_run.h"
#include "torture_client.h"
#include "torture_report.h"
#include "torture_round.h"

#include "bench_names.h"
#include "now_ms.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

const char* Value(const char* arg, const char* name)
{
    size_t n = std::strlen(name);
    return std::strncmp(arg, name, n) == 0 ? arg + n : nullptr;
}

// The program COM starts for the class: the QDSERVER that was registered last.
std::string RegisteredServer()
{
    HRESULT hr = S_OK;
    CLSID clsid = RemoteObject::ClassOf(QDSERVER_PROGID, &hr);
    if (FAILED(hr))
        return "";
    wchar_t text[64];
    if (StringFromGUID2(clsid, text, 64) == 0)
        return "";
    std::string key = "CLSID\\";
    for (const wchar_t* p = text; *p; ++p)
        key += static_cast<char>(*p);
    key += "\\LocalServer32";
    char value[MAX_PATH * 2] = "";
    LONG size = sizeof(value);
    if (RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), value, &size) != ERROR_SUCCESS)
        return "";
    // "C:\path\QDSERVER.EXE" /Automation: the quoted path (or the text up to the first space).
    std::string command = value;
    if (!command.empty() && command[0] == '"')
        return command.substr(1, command.find('"', 1) - 1);
    return command.substr(0, command.find(' '));
}

int RunClient(int argc, char** argv)
{
    TortureClient::Options options;
    for (int i = 2; i < argc; ++i) {
        if (const char* v = Value(argv[i], "--seed="))
            options.seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        else if (const char* v = Value(argv[i], "--index="))
            options.index = std::atoi(v);
        else if (const char* v = Value(argv[i], "--threads="))
            options.threads = std::max(1, std::atoi(v));
        else if (const char* v = Value(argv[i], "--server-pid="))
            options.serverPid = static_cast<DWORD>(std::strtoul(v, nullptr, 10));
        else if (const char* v = Value(argv[i], "--stop-event="))
            options.stopEvent = v;
        else if (const char* v = Value(argv[i], "--calls="))
            options.callCounter = v;
        else if (const char* v = Value(argv[i], "--tally="))
            options.tallyPath = v;
        else if (std::strcmp(argv[i], "--main-thread-too") == 0)
            options.mainThreadToo = true;
    }
    return TortureClient(options).Run();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--client") == 0)
        return RunClient(argc, argv);

    int seconds = 60, clients = 3, threads = 2, maxPauseMs = 20, maxRounds = 0;
    double postLimitMs = TortureRound::kPostLimitMs;
    int endings = ServerRun::kEndingCount;
    int onlyEnding = -1;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    uint32_t seed = static_cast<uint32_t>(now.QuadPart ^ (now.QuadPart >> 32) ^ GetCurrentProcessId()) % 1000000000u;
    for (int i = 1; i < argc; ++i) {
        if (const char* v = Value(argv[i], "--seconds="))
            seconds = std::max(1, std::atoi(v));
        else if (const char* v = Value(argv[i], "--seed="))
            seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
        else if (const char* v = Value(argv[i], "--clients="))
            clients = std::max(1, std::atoi(v));
        else if (const char* v = Value(argv[i], "--threads="))
            threads = std::max(1, std::atoi(v));
        else if (const char* v = Value(argv[i], "--max-pause="))
            maxPauseMs = std::max(0, std::atoi(v));
        else if (const char* v = Value(argv[i], "--rounds="))
            maxRounds = std::max(1, std::atoi(v));
        else if (const char* v = Value(argv[i], "--post-limit="))
            postLimitMs = std::max(1, std::atoi(v));
        else if (const char* v = Value(argv[i], "--endings="))
            endings = std::min(std::max(1, std::atoi(v)), static_cast<int>(ServerRun::kEndingCount));
        else if (const char* v = Value(argv[i], "--ending=")) {
            for (int e = 0; e < ServerRun::kEndingCount; ++e)
                if (lstrcmpiA(v, ServerRun::EndingName(e)) == 0)
                    onlyEnding = e;
            if (onlyEnding < 0) {
                std::fprintf(stderr, "--ending= names one of: WM_CLOSE, close box, Esc, logoff\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "usage: qd_torture [--seconds=N] [--seed=S] [--clients=K] [--threads=T] "
                                 "[--max-pause=MS] [--rounds=N] [--post-limit=MS] [--endings=N] [--ending=NAME]\n");
            return 2;
        }
    }
    Progress progress(stderr, "torture");
    progress.Note("seed %lu (replay: --seed=%lu --clients=%d --threads=%d --max-pause=%d)",
                  static_cast<unsigned long>(seed), static_cast<unsigned long>(seed), clients, threads, maxPauseMs);

    const HRESULT hrInit = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::string server = SUCCEEDED(hrInit) ? RegisteredServer() : std::string();
    if (SUCCEEDED(hrInit))
        CoUninitialize();
    if (server.empty()) {
        progress.Note("%s is not registered: start QDSERVER once (or QDSERVER /RegServer)", QDSERVER_PROGID);
        return 2;
    }
    if (WindowQuery(QDSERVER_CAPTION).Find() != nullptr) {
        progress.Note("a QDSERVER is running already: close it first, the run starts its own");
        return 2;
    }
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof(self));

    std::mt19937 rng(seed);
    TortureRound round(server, self);
    TortureReport report;
    double end = NowMs() + seconds * 1000.0;
    while (NowMs() < end && (maxRounds == 0 || report.Rounds() < maxRounds)) {
        TortureRound::Plan plan;
        plan.index = report.Rounds() + 1;
        plan.seed = static_cast<uint32_t>(rng());
        plan.releasedFirst = rng() % 5 < 2;
        plan.ending = static_cast<int>(rng() % static_cast<uint32_t>(endings));
        if (onlyEnding >= 0)
            plan.ending = onlyEnding;
        plan.busyMs = 1500 + rng() % 6000;
        plan.stopLagMs = rng() % 1500;
        plan.mainThreadToo = rng() % 2 == 0;
        plan.clients = clients;
        plan.threads = threads;
        plan.maxPauseMs = maxPauseMs;
        plan.postLimitMs = postLimitMs;
        TortureRound::Result result = round.Run(plan);
        report.Add(result);
        progress.Note("%s", TortureReport::Line(result).c_str());
        if (result.fatal) {
            progress.Note("the run stops after round %d: no QDSERVER could be started", plan.index);
            break;
        }
    }
    report.Print(stdout, seed);
    std::fflush(stdout);
    progress.Note("%d rounds, %d failed (seed %lu)", report.Rounds(), report.Failed(), static_cast<unsigned long>(seed));
    return report.Failed() ? 1 : 0;
}
