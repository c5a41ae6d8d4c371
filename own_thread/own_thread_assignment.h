// Which own thread a new object gets. Threads are kept for the process's life and their number is
// capped; past the cap objects share threads, so that no object falls back to its creating thread.
#pragma once
#include <vector>

class COwnThreadAssignment {
public:
    static constexpr int kNewThread = -1;

    // objectsPerThread: how many objects each existing own thread serves, oldest thread first.
    // Returns the index of the thread the next object goes to, or kNewThread when one is to be
    // created: an idle thread first (the oldest), then a new one while fewer than nCap exist, then
    // the thread that serves the fewest objects (ties: the oldest).
    static int Choose(const std::vector<int>& objectsPerThread, int nCap);
};
