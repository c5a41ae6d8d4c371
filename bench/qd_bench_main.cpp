// qd_bench: measures QDSERVER over out-of-process COM against a bare local server of ours.
//   qd_bench.exe OUT.json [--quick | --scale=K,K,... [--wave=N] | --churn=ROUNDS]
// Progress goes to stderr, the tables (Markdown) to stdout, the same figures to OUT.json.
// Both servers must be registered (each started once); --quick takes few samples, for traces;
// --scale runs only the many-clients phase, with the given client counts (--wave: the second
// wave's clients at the largest count, 0 for none); --churn only the churn of objects through each
// server, with the given rounds.
#include "bench_report.h"
#include "benchmark.h"
#include "progress.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string LocalDate()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    char text[32];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* jsonPath = nullptr;
    Benchmark::Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            options.roundTripCalls = 200;
            options.createObjects = 20;
            options.coldStarts = 1;
            options.rounds = 2;
            options.concurrentCalls = false;
            options.scaleClients.clear();
            options.churnRounds = 0;
        } else if (std::strncmp(argv[i], "--churn=", 8) == 0) {
            // --churn=ROUNDS: the churn phase alone, with this many rounds
            options.churnOnly = true;
            options.churnRounds = std::max(1, std::atoi(argv[i] + 8));
        } else if (std::strncmp(argv[i], "--scale=", 8) == 0) {
            // --scale=8,48: the many-clients phase alone, with these client counts
            options.scaleOnly = true;
            options.scaleClients.clear();
            for (const char* p = argv[i] + 8; *p != '\0';) {
                char* end = nullptr;
                long k = std::strtol(p, &end, 10);
                if (end == p || k <= 0)
                    break;
                options.scaleClients.push_back(static_cast<int>(k));
                p = *end == ',' ? end + 1 : end;
            }
        } else if (std::strncmp(argv[i], "--wave=", 7) == 0) {
            options.scaleWave = std::max(0, std::atoi(argv[i] + 7));
        } else if (jsonPath == nullptr && argv[i][0] != '-') {
            jsonPath = argv[i];
        } else {
            jsonPath = nullptr;
            break;
        }
    }
    if (jsonPath == nullptr) {
        std::fprintf(stderr, "usage: qd_bench OUT.json [--quick | --scale=K,K,... [--wave=N] | --churn=ROUNDS]\n");
        return 2;
    }

    // The multithreaded apartment: objects created here are called from other client threads.
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "COM did not initialize\n");
        return 2;
    }
    Progress progress;
    BenchReport report;
    report.SetRunInfo(LocalDate(), "GetTypeInfoCount", 3000);
    Benchmark benchmark(options, progress, report);
    bool ran = benchmark.Run();
    CoUninitialize();

    report.PrintTables(stdout);
    std::fflush(stdout);
    if (!report.WriteJson(jsonPath)) {
        std::fprintf(stderr, "could not write %s\n", jsonPath);
        return 2;
    }
    progress.Note("figures written to %s", jsonPath);
    if (!ran)
        return 2;
    return report.Complete(options.concurrentCalls && !options.scaleOnly && !options.churnOnly) ? 0 : 1;
}
