// What a torture client's calls returned, action by action: how many succeeded, how many failed
// with each error a client must be ready for while a server ends, and any other result, which is a
// fault. A client writes its tally to a file as one line a counter; the conductor adds them up.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

class CallTally {
public:
    // The errors a call may meet while the server ends. The caller says where the server stood:
    // running, told to end (Wine's own answers for a disconnected object and a withdrawn class
    // count from then on), or its process gone (RPC_S_SERVER_UNAVAILABLE, and a call that was
    // under way as it went, only then).
    // kWineStub: E_NOTIMPL from LockServer, which Wine's class factory proxy does not pass on.
    enum Outcome { kOk, kAborted, kDisconnected, kStopping, kUnavailable, kWineStub, kUnexpected, kOutcomeCount };
    enum class Server { kRunning, kEnding, kGone };
    static const char* OutcomeName(int outcome);
    static Outcome Classify(const std::string& action, HRESULT hr, Server server);

    // Counts one call of `action` (a short name: "create", "test", ...). Returns its outcome.
    Outcome Add(const std::string& action, HRESULT hr, Server server);
    void Merge(const CallTally& other);

    int Count(int outcome) const;
    int Calls() const;
    int Unexpected() const { return Count(kUnexpected); }
    // "action=0xHRESULT" of the first unexpected results (a few, for the report).
    const std::vector<std::string>& UnexpectedSamples() const { return m_samples; }
    const std::map<std::string, std::vector<int>>& ByAction() const { return m_byAction; }

    // One line a counter: "count ACTION OUTCOME N", then "unexpected ACTION 0xHRESULT".
    std::string Serialize() const;
    static CallTally Parse(const std::string& text);

private:
    static const size_t kMaxSamples = 8;
    std::map<std::string, std::vector<int>> m_byAction;
    std::vector<std::string> m_samples;
};
