#include "torture_round.h"

#include "now_ms.h"
#include "server_run.h"
#include "torture_client.h"
#include "wait_until.h"

#include <unique_handle.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

const DWORD kStartMs = 20000;
const DWORD kServerEndMs = 30000;  // the server waits 5 s for its objects; Wine may add its own
const DWORD kClientEndMs = 30000;  // after the stop: calls return, references go
const DWORD kDrainMs = 60000;      // released first: queued calls end, hurried by "Abort Call"
const DWORD kProbeEveryMs = 50;
const DWORD kProbeTimeoutMs = 10000;  // a late answer is still measured
const int kAbortCallId = 1010;
// Handles a thread still there may account for: its own, its wait events (measured under Wine 8:
// +18 handles with 2 parked own threads and 5 more of Wine's thread pool).
const int kHandlesPerThread = 4;

std::string Hex(DWORD value)
{
    char text[16];
    snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

std::string Seconds(double s)
{
    char text[16];
    snprintf(text, sizeof(text), "%.1f", s);
    return text;
}

// "msvcrt.dll +2, rpcrt4.dll +1": the modules whose threads grew or shrank.
std::string ThreadGrowth(const std::map<std::string, int>& before, const std::map<std::string, int>& after)
{
    std::map<std::string, int> delta;
    for (const auto& [module, n] : after)
        delta[module] += n;
    for (const auto& [module, n] : before)
        delta[module] -= n;
    std::string text;
    for (const auto& [module, n] : delta)
        if (n != 0)
            text += (text.empty() ? "" : ", ") + module + (n > 0 ? " +" : " ") + std::to_string(n);
    return text.empty() ? "none more" : text;
}

}  // namespace

struct TortureRound::Client {
    int index = 0;
    CUniqueHandle process;
    std::string tallyPath;
};

TortureRound::Result TortureRound::Run(const Plan& plan)
{
    Result result;
    result.plan = plan;
    // The server reads these at its start; a server that COM starts for a client inherits them too.
    SetEnvironmentVariableA("QD_MAX_OWN_THREADS", std::to_string(plan.maxOwnThreads).c_str());
    std::string pauses = std::to_string(plan.seed ^ 0x9E3779B9u) + "," + std::to_string(plan.maxPauseMs);
    SetEnvironmentVariableA("QD_INTERLEAVING_PAUSES", pauses.c_str());

    ServerRun server;
    std::string why;
    if (!server.Start(m_serverPath, kStartMs, &why)) {
        result.problems.push_back(why);
        result.fatal = true;
        server.Kill();
        return result;
    }
    result.atStart = server.Census();
    result.threadsAtStart = CountProcessThreadsByStartModule(server.Pid());

    char stopName[96];
    snprintf(stopName, sizeof(stopName), "QdTortureStop-%lu-%d", GetCurrentProcessId(), plan.index);
    CUniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, stopName));
    CUniqueHandle ending(CreateEventA(nullptr, TRUE, FALSE, (std::string(stopName) + TortureClient::kEndingSuffix).c_str()));
    char counterName[96];
    snprintf(counterName, sizeof(counterName), "QdTortureCalls-%lu-%d", GetCurrentProcessId(), plan.index);
    CUniqueHandle counter(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG), counterName));
    auto* pCallsInFlight = counter ? static_cast<volatile LONG*>(MapViewOfFile(counter.Get(), FILE_MAP_WRITE, 0, 0, sizeof(LONG)))
                                   : nullptr;
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof(temp), temp);

    std::vector<Client> clients(plan.clients);
    for (int i = 0; i < plan.clients; ++i) {
        Client& client = clients[i];
        client.index = i;
        client.tallyPath = std::string(temp) + "qd_torture_" + std::to_string(GetCurrentProcessId()) + "_" +
                           std::to_string(plan.index) + "_" + std::to_string(i) + ".txt";
        DeleteFileA(client.tallyPath.c_str());
        std::ostringstream command;
        command << '"' << m_selfPath << "\" --client --seed=" << (plan.seed + 1000003u * (i + 1)) << " --index=" << i
                << " --threads=" << plan.threads << (plan.mainThreadToo ? " --main-thread-too" : "")
                << " --server-pid=" << server.Pid() << " --stop-event=" << stopName << " --calls=" << counterName
                << " \"--tally=" << client.tallyPath << '"';
        std::string line = command.str();
        STARTUPINFOA si{sizeof(si)};
        PROCESS_INFORMATION pi{};
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            result.problems.push_back("client " + std::to_string(i) + " did not start (error " +
                                      std::to_string(GetLastError()) + ")");
            continue;
        }
        CloseHandle(pi.hThread);
        client.process.Reset(pi.hProcess);
    }

    double startMs = NowMs();
    auto probeOnce = [&](const char* phase) {
        double at = (NowMs() - startMs) / 1000.0;
        // Main-thread calls hold posted messages by design: a short look is enough there.
        double ms = server.Window().PostedRoundTrip(plan.mainThreadToo ? 1000 : kProbeTimeoutMs);
        if (ms < 0 && !server.Running())
            return;  // the window went with its process: the exit code tells that story
        ++result.probes;
        if (result.worstPostMs < 0)
            return;
        if (ms < 0 || ms > result.worstPostMs) {
            result.worstPostMs = ms < 0 ? -1 : ms;
            result.worstAtS = at;
            result.worstPhase = phase;
        }
    };
    double busyEnd = NowMs() + plan.busyMs;
    while (NowMs() < busyEnd && server.Running()) {
        probeOnce("busy");
        Sleep(kProbeEveryMs);
    }

    bool bEndSent = false;
    if (plan.releasedFirst && server.Running()) {
        SetEvent(stop.Get());
        double drainEnd = NowMs() + kDrainMs;
        auto clientsLeft = [&] {
            for (Client& client : clients)
                if (client.process && WaitForSingleObject(client.process.Get(), 0) == WAIT_TIMEOUT)
                    return true;
            return false;
        };
        while (clientsLeft() && NowMs() < drainEnd && server.Running()) {
            probeOnce("draining");
            server.Window().Click(kAbortCallId);
            Sleep(4 * kProbeEveryMs);
        }
        // Every object gone: its bar is back to 0 and its release has run on the main thread.
        if (server.Running() && !clientsLeft() && server.Window().WaitForFreeBoard(10000)) {
            // The last final releases and the connections' threads wind down: the count settles.
            result.afterRelease = server.Census();
            for (int i = 0; i < 20; ++i) {
                Sleep(250);
                ProcessCensus later = server.Census();
                if (later.threads >= result.afterRelease.threads && later.handles >= result.afterRelease.handles) {
                    result.afterRelease = later;
                    break;
                }
                result.afterRelease = later;
            }
            result.threadsAfterRelease = CountProcessThreadsByStartModule(server.Pid());
            result.censusTaken = true;
        } else if (server.Running() && !clientsLeft()) {
            result.problems.push_back("the board did not come back to 0 after every client let go");
        }
    }
    if (server.Running()) {
        result.endAtS = (NowMs() - startMs) / 1000.0;
        result.callsAtEnd = pCallsInFlight ? static_cast<int>(*pCallsInFlight) : -1;
        SetEvent(ending.Get());
        bEndSent = server.End(plan.ending);
        if (!bEndSent && server.Running())
            result.problems.push_back(std::string("QDSERVER did not take the ") + ServerRun::EndingName(plan.ending));
    }
    if (!plan.releasedFirst) {
        // The clients go on choosing for a while: creations and calls that meet the end.
        WaitForSingleObject(stop.Get(), plan.stopLagMs);
        SetEvent(stop.Get());
    }

    result.serverEnded = server.WaitForExit(kServerEndMs, &result.serverExit);
    if (!result.serverEnded) {
        result.problems.push_back("QDSERVER did not end within " + std::to_string(kServerEndMs / 1000) +
                                  " s of the " + ServerRun::EndingName(plan.ending) + "; killed");
        ShowWhereItStands(server.Pid());
        server.Kill();
    } else if (result.serverExit != 0) {
        result.problems.push_back("QDSERVER exited with " + Hex(result.serverExit) + " after the " +
                                  ServerRun::EndingName(plan.ending));
    }
    SetEvent(stop.Get());
    CollectClients(clients, &result);
    if (server.HasWindows())
        result.problems.push_back("a window of the ended QDSERVER is left");
    CloseStrayServers(&result);

    if (result.censusTaken) {
        // Own threads stay parked for later objects by design: up to the cap's number more threads
        // that the program began; the system's threads are shown, not held against it.
        auto threadsOf = [](const auto& byModule, const char* module) {
            auto it = byModule.find(module);
            return it == byModule.end() ? 0 : it->second;
        };
        int programThreads = 0;
        for (const char* module : {"msvcrt.dll", "qdserver.exe"})
            programThreads += threadsOf(result.threadsAfterRelease, module) - threadsOf(result.threadsAtStart, module);
        result.threadGrowth = ThreadGrowth(result.threadsAtStart, result.threadsAfterRelease);
        int extraHandles = result.afterRelease.handles - result.atStart.handles;
        int extraWindows = result.afterRelease.windows - result.atStart.windows;
        int extraThreads = result.afterRelease.threads - result.atStart.threads;
        if (programThreads > plan.maxOwnThreads || extraHandles > kHandlesPerThread * std::max(extraThreads, 0) ||
            extraWindows > plan.maxOwnThreads)
            result.problems.push_back("left after every client let go: threads " + result.threadGrowth + "; " +
                                      std::to_string(extraHandles) + " handles, " + std::to_string(extraWindows) +
                                      " windows more than at the start");
    }
    std::string when = " (posted " + Seconds(result.worstAtS) + " s after the start, clients " + result.worstPhase + ")";
    if (plan.mainThreadToo)
        ;  // calls on the main thread block the dialog by design: the wait is shown, not checked
    else if (result.worstPostMs < 0)
        result.problems.push_back("a message posted to the dialog was not handled within " +
                                  std::to_string(kProbeTimeoutMs) + " ms" + when);
    else if (result.worstPostMs > plan.postLimitMs)
        result.problems.push_back("a message posted to the dialog waited " +
                                  std::to_string(static_cast<int>(result.worstPostMs)) + " ms" + when);
    if (pCallsInFlight)
        UnmapViewOfFile(const_cast<LONG*>(pCallsInFlight));
    return result;
}

void TortureRound::ShowWhereItStands(DWORD nProcessId)
{
    // Under Wine, QD_TORTURE_BACKTRACE=1 has winedbg show each of the process's threads, and that
    // process alone ("bt all" would attach to every process, and take them down as it quits).
    char szWanted[4] = "";
    if (GetEnvironmentVariableA("QD_TORTURE_BACKTRACE", szWanted, sizeof(szWanted)) == 0 || szWanted[0] != '1')
        return;
    std::string commands = "attach " + std::to_string(nProcessId) + "\n";
    CUniqueHandle hSnapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    if (hSnapshot.Get() != INVALID_HANDLE_VALUE && Thread32First(hSnapshot.Get(), &entry)) {
        do {
            if (entry.th32OwnerProcessID == nProcessId)
                commands += "bt " + std::to_string(entry.th32ThreadID) + "\n";
        } while (Thread32Next(hSnapshot.Get(), &entry));
    }
    commands += "detach\nquit\n";
    char szPath[MAX_PATH];
    GetTempPathA(MAX_PATH, szPath);
    const std::string script = std::string(szPath) + "qd_torture_bt_" + std::to_string(nProcessId) + ".txt";
    std::ofstream(script) << commands;
    std::fprintf(stderr, "    process %lu, its threads:\n", static_cast<unsigned long>(nProcessId));
    std::fflush(stderr);
    std::system(("winedbg < \"" + script + "\" 1>&2").c_str());
    DeleteFileA(script.c_str());
}

void TortureRound::CollectClients(std::vector<Client>& clients, Result* pResult)
{
    double end = NowMs() + kClientEndMs;
    for (Client& client : clients) {
        if (!client.process)
            continue;
        double left = end - NowMs();
        DWORD code = 0;
        std::string name = "client " + std::to_string(client.index);
        if (WaitForSingleObject(client.process.Get(), left > 0 ? static_cast<DWORD>(left) : 0) != WAIT_OBJECT_0) {
            ShowWhereItStands(GetProcessId(client.process.Get()));
            TerminateProcess(client.process.Get(), 98);
            WaitForSingleObject(client.process.Get(), 5000);
            pResult->problems.push_back(name + " did not end within " + std::to_string(kClientEndMs / 1000) +
                                        " s of the stop; killed");
        } else if (!GetExitCodeProcess(client.process.Get(), &code) || code != 0) {
            pResult->problems.push_back(name + " exited with " + Hex(code) +
                                        (code == TortureClient::kUnexpectedExit ? " (unexpected results)"
                                         : code == TortureClient::kHungExit ? " (a call hung: see its line above)"
                                                                            : ""));
        }
        std::ifstream in(client.tallyPath);
        std::stringstream text;
        text << in.rdbuf();
        pResult->calls.Merge(CallTally::Parse(text.str()));
        in.close();
        DeleteFileA(client.tallyPath.c_str());
    }
}

void TortureRound::CloseStrayServers(Result* pResult)
{
    // A creation that met the end after the class was revoked makes COM start a new server.
    for (HWND hWnd : WindowQuery("QDServer").FindAll()) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hWnd, &pid);
        ++pResult->strayServers;
        DWORD code = 0;
        if (!ServerWindow(WindowQuery::AnyOfProcess(pid)).CloseAndWaitForExit(kServerEndMs, &code)) {
            pResult->problems.push_back("a QDSERVER that COM started during the end did not close");
        } else if (code != 0) {
            pResult->problems.push_back("a QDSERVER that COM started during the end exited with " + Hex(code));
        }
    }
}
