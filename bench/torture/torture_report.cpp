#include "torture_report.h"

#include "server_run.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

std::string Census(const TortureRound::Result& r)
{
    if (!r.censusTaken)
        return "-";
    char text[64];
    snprintf(text, sizeof(text), "%+d / %+d / %+d", r.afterRelease.threads - r.atStart.threads,
             r.afterRelease.handles - r.atStart.handles, r.afterRelease.windows - r.atStart.windows);
    return text;
}

std::string Exit(const TortureRound::Result& r)
{
    if (!r.serverEnded)
        return "did not end";
    char text[16];
    snprintf(text, sizeof(text), r.serverExit < 256 ? "%lu" : "0x%08lX", static_cast<unsigned long>(r.serverExit));
    return text;
}

// Rounds with main-thread objects show the wait without holding it against the server.
std::string Worst(const TortureRound::Result& r, const char* unit)
{
    char text[48];
    if (r.worstPostMs < 0)
        snprintf(text, sizeof(text), "unanswered");
    else
        snprintf(text, sizeof(text), "%.0f%s", r.worstPostMs, unit);
    return std::string(text) + (r.plan.mainThreadToo ? " (not checked)" : "");
}

}  // namespace

int TortureReport::Failed() const
{
    int n = 0;
    for (const auto& r : m_rounds)
        n += r.Passed() ? 0 : 1;
    return n;
}

std::string TortureReport::Line(const TortureRound::Result& r)
{
    char text[256];
    snprintf(text, sizeof(text), "round %d: %s, %s, %s at %.1f s with %d calls running, %d clients: %d calls (%d unexpected), worst post %s, server exit %s%s%s",
             r.plan.index, r.plan.releasedFirst ? "released first" : "ended while busy",
             r.plan.mainThreadToo ? "both settings" : "own threads", ServerRun::EndingName(r.plan.ending), r.endAtS, r.callsAtEnd, r.plan.clients, r.calls.Calls(), r.calls.Unexpected(),
             Worst(r, " ms").c_str(), Exit(r).c_str(), r.censusTaken ? ", kept (threads/handles/windows) " : "",
             r.censusTaken ? Census(r).c_str() : "");
    std::string line = text;
    if (r.censusTaken)
        line += " (threads: " + r.threadGrowth + ")";
    line += r.Passed() ? ": ok" : ": FAILED";
    for (const std::string& problem : r.problems)
        line += "\n    " + problem;
    return line;
}

void TortureReport::Print(FILE* out, uint32_t seed) const
{
    fprintf(out, "## Torture run, seed %lu\n\n", static_cast<unsigned long>(seed));
    fprintf(out, "| round | kind | Own Thread | ending | calls running at the end | clients | calls | ok | E_ABORT | disconnected | stopping | unavailable "
                 "| unexpected | worst post (ms) | server exit | kept: threads / handles / windows | COM-started "
                 "| result |\n");
    fprintf(out, "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    CallTally all;
    double worst = 0;
    for (const auto& r : m_rounds) {
        fprintf(out, "| %d | %s | %s | %s | %d | %d | %d | %d | %d | %d | %d | %d | %d | %s | %s | %s | %d | %s |\n",
                r.plan.index, r.plan.releasedFirst ? "released first" : "ended while busy",
                r.plan.mainThreadToo ? "both" : "Enabled",
                ServerRun::EndingName(r.plan.ending), r.callsAtEnd, r.plan.clients, r.calls.Calls(), r.calls.Count(CallTally::kOk),
                r.calls.Count(CallTally::kAborted), r.calls.Count(CallTally::kDisconnected),
                r.calls.Count(CallTally::kStopping), r.calls.Count(CallTally::kUnavailable), r.calls.Unexpected(),
                Worst(r, "").c_str(), Exit(r).c_str(), Census(r).c_str(), r.strayServers,
                r.Passed() ? "ok" : "FAILED");
        all.Merge(r.calls);
        if (worst >= 0 && !r.plan.mainThreadToo)
            worst = r.worstPostMs < 0 ? -1 : std::max(worst, r.worstPostMs);
    }
    fprintf(out, "\n| action | calls | ok | E_ABORT | disconnected | stopping | unavailable | E_NOTIMPL (Wine) | unexpected |\n");
    fprintf(out, "|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& [action, counts] : all.ByAction()) {
        int calls = 0;
        for (int n : counts)
            calls += n;
        fprintf(out, "| %s | %d | %d | %d | %d | %d | %d | %d | %d |\n", action.c_str(), calls, counts[CallTally::kOk],
                counts[CallTally::kAborted], counts[CallTally::kDisconnected], counts[CallTally::kStopping],
                counts[CallTally::kUnavailable], counts[CallTally::kWineStub], counts[CallTally::kUnexpected]);
    }
    fprintf(out, "\n%d rounds, %d failed; %d calls, %d unexpected; worst posted-message wait %s (rounds with own threads only)\n", Rounds(), Failed(),
            all.Calls(), all.Unexpected(), worst < 0 ? "unanswered" : (std::to_string(static_cast<int>(worst)) + " ms").c_str());
    for (const std::string& sample : all.UnexpectedSamples())
        fprintf(out, "- unexpected: %s\n", sample.c_str());
    for (const auto& r : m_rounds)
        for (const std::string& problem : r.problems)
            fprintf(out, "- round %d: %s\n", r.plan.index, problem.c_str());
}
