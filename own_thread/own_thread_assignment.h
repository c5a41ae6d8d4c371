// Which own thread a new object gets. Threads are kept for the process's life and their number is
// capped; past the cap objects share threads, so that no object falls back to its creating thread.
// A new object is started by its thread before its creation returns, so a thread that is in a call
// keeps the creation waiting until the call returns: such threads come last.
#pragma once
#include <vector>

class COwnThreadAssignment {
public:
    static constexpr int kNewThread = -1;

    struct CThreadLoad {
        int nObjects;  // the objects the thread serves
        bool bInCall;  // whether it is running a call now
    };

    // threads: the existing own threads, oldest first. Returns the index of the thread the next
    // object goes to, or kNewThread when one is to be created: an idle thread first (the oldest),
    // then a new one while fewer than nCap exist, then of the threads not in a call the one that
    // serves the fewest objects, and only when every thread is in a call the one that serves the
    // fewest (ties: the oldest).
    static int Choose(const std::vector<CThreadLoad>& threads, int nCap);
};
