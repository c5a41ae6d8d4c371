#include "call_tally.h"

#include <cstdio>
#include <cstring>
#include <sstream>

const char* CallTally::OutcomeName(int outcome)
{
    static const char* const kNames[kOutcomeCount] = {"ok",           "E_ABORT",
                                                      "RPC_E_DISCONNECTED", "CO_E_SERVER_STOPPING",
                                                      "RPC_S_SERVER_UNAVAILABLE", "E_NOTIMPL (Wine)",
                                                      "unexpected"};
    return outcome >= 0 && outcome < kOutcomeCount ? kNames[outcome] : "?";
}

CallTally::Outcome CallTally::Classify(const std::string& action, HRESULT hr, Server server)
{
    if (SUCCEEDED(hr))
        return kOk;
    if (hr == E_NOTIMPL && action.find("lock_server") != std::string::npos)
        return kWineStub;
    const bool bEnding = server != Server::kRunning, bGone = server == Server::kGone;
    switch (hr) {
    case E_ABORT:
        return kAborted;
    case RPC_E_DISCONNECTED:
        return kDisconnected;
    case CO_E_SERVER_STOPPING:
        return kStopping;
    case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE):
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED):  // under way as the process went
    case RPC_E_SERVER_DIED_DNE:
        return bGone ? kUnavailable : kUnexpected;
    case HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF):
        // Wine's answer for an object whose stub the end has disconnected.
        return bEnding ? kDisconnected : kUnexpected;
    case E_NOINTERFACE:
        // Wine's remote QueryInterface of a disconnected object (an advise asks for the container).
        return bEnding && action == "advise" ? kDisconnected : kUnexpected;
    case E_FAIL:
        // Wine's activation of a class being withdrawn, where Windows starts a new server.
        return bEnding && (action == "create" || action == "get_factory") ? kStopping : kUnexpected;
    default:
        return kUnexpected;
    }
}

CallTally::Outcome CallTally::Add(const std::string& action, HRESULT hr, Server server)
{
    Outcome outcome = Classify(action, hr, server);
    std::vector<int>& counts = m_byAction[action];
    counts.resize(kOutcomeCount, 0);
    ++counts[outcome];
    if (outcome == kUnexpected && m_samples.size() < kMaxSamples) {
        char text[96];
        std::snprintf(text, sizeof(text), "%s=0x%08lX%s", action.c_str(), static_cast<unsigned long>(hr),
                      hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ? "(server still running)" : "");
        m_samples.push_back(text);
    }
    return outcome;
}

void CallTally::Merge(const CallTally& other)
{
    for (const auto& [action, counts] : other.m_byAction) {
        std::vector<int>& mine = m_byAction[action];
        mine.resize(kOutcomeCount, 0);
        for (int i = 0; i < kOutcomeCount; ++i)
            mine[i] += counts[i];
    }
    for (const std::string& sample : other.m_samples)
        if (m_samples.size() < kMaxSamples)
            m_samples.push_back(sample);
}

int CallTally::Count(int outcome) const
{
    int n = 0;
    for (const auto& entry : m_byAction)
        n += entry.second[outcome];
    return n;
}

int CallTally::Calls() const
{
    int n = 0;
    for (int i = 0; i < kOutcomeCount; ++i)
        n += Count(i);
    return n;
}

std::string CallTally::Serialize() const
{
    std::ostringstream out;
    for (const auto& [action, counts] : m_byAction)
        for (int i = 0; i < kOutcomeCount; ++i)
            if (counts[i] != 0)
                out << "count " << action << ' ' << i << ' ' << counts[i] << '\n';
    for (const std::string& sample : m_samples)
        out << "unexpected " << sample << '\n';
    return out.str();
}

CallTally CallTally::Parse(const std::string& text)
{
    CallTally tally;
    std::istringstream in(text);
    std::string kind;
    while (in >> kind) {
        if (kind == "count") {
            std::string action;
            int outcome = 0, n = 0;
            if (!(in >> action >> outcome >> n) || outcome < 0 || outcome >= kOutcomeCount)
                break;
            std::vector<int>& counts = tally.m_byAction[action];
            counts.resize(kOutcomeCount, 0);
            counts[outcome] += n;
        } else if (kind == "unexpected") {
            std::string sample;
            in >> sample;
            tally.m_samples.push_back(sample);
        } else {
            std::getline(in, kind);
        }
    }
    return tally;
}
