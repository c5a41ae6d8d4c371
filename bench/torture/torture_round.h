// One round of the torture run: QDSERVER started by hand, several client processes making random
// choices against it, and the server ended at a random moment (or once every client has let go),
// with everything checked that a round must leave behind.
#pragma once
#include "call_tally.h"
#include "process_census.h"
#include "progress.h"

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class TortureRound {
public:
    struct Plan {
        int index = 0;
        uint32_t seed = 0;          // the clients' and the server's pauses' seeds come from it
        bool releasedFirst = false;  // the clients let go of everything before the server is ended
        int ending = 0;              // ServerRun::Ending
        DWORD busyMs = 0;            // how long the clients make choices
        DWORD stopLagMs = 0;         // ended while busy: the clients go on choosing this long after the end
        bool mainThreadToo = false;  // clients choose "Disabled" too: main-thread calls block the dialog
        int clients = 3;
        int threads = 2;             // each client's
        int maxOwnThreads = 2;
        int maxPauseMs = 20;         // the server's interleaving points
        double postLimitMs = kPostLimitMs;  // a longer posted-message wait fails the round
    };
    struct Result {
        Plan plan;
        CallTally calls;
        int probes = 0;
        double worstPostMs = 0;      // the longest a posted message waited; -1: one was not handled
        double worstAtS = 0;         // when it was posted, in seconds from the clients' start
        const char* worstPhase = "";  // "busy" (clients choosing) or "draining" (clients letting go)
        int callsAtEnd = -1;         // "Test" calls in flight when the server was told to end
        double endAtS = 0;           // when the server was told to end, seconds from the clients' start
        DWORD serverExit = 0;
        bool serverEnded = false;
        bool censusTaken = false;
        ProcessCensus atStart, afterRelease;
        std::map<std::string, int> threadsAtStart, threadsAfterRelease;  // by start module
        std::string threadGrowth;
        int strayServers = 0;        // servers that COM started for a creation during the end
        std::vector<std::string> problems;
        bool fatal = false;          // no server could be started: later rounds cannot run
        bool Passed() const { return problems.empty(); }
    };
    static constexpr double kPostLimitMs = 200.0;

    TortureRound(const std::string& serverPath, const std::string& selfPath)
        : m_serverPath(serverPath), m_selfPath(selfPath)
    {
    }
    Result Run(const Plan& plan);

private:
    struct Client;
    void CollectClients(std::vector<Client>& clients, Result* pResult);
    // A process that does not end: where each of its threads stands, on standard error (see .cpp).
    static void ShowWhereItStands(DWORD nProcessId);
    void CloseStrayServers(Result* pResult);

    std::string m_serverPath;
    std::string m_selfPath;
};
