#include "own_thread_assignment.h"

#include <cstddef>

int COwnThreadAssignment::Choose(const std::vector<CThreadLoad>& threads, int nCap)
{
    int nFewest = kNewThread, nFewestFree = kNewThread;
    for (int i = 0; i < static_cast<int>(threads.size()); ++i) {
        const CThreadLoad& t = threads[static_cast<std::size_t>(i)];
        if (t.nObjects == 0 && !t.bInCall)
            return i;
        if (nFewest == kNewThread || t.nObjects < threads[static_cast<std::size_t>(nFewest)].nObjects)
            nFewest = i;
        if (!t.bInCall && (nFewestFree == kNewThread || t.nObjects < threads[static_cast<std::size_t>(nFewestFree)].nObjects))
            nFewestFree = i;
    }
    if (static_cast<int>(threads.size()) < nCap)
        return kNewThread;
    return nFewestFree != kNewThread ? nFewestFree : nFewest;
}
