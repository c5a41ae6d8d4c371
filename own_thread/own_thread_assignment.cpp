#include "own_thread_assignment.h"

#include <algorithm>

int COwnThreadAssignment::Choose(const std::vector<int>& objectsPerThread, int nCap)
{
    if (objectsPerThread.empty())
        return kNewThread;
    auto fewest = std::min_element(objectsPerThread.begin(), objectsPerThread.end());  // the first of equals
    if (*fewest > 0 && static_cast<int>(objectsPerThread.size()) < nCap)
        return kNewThread;
    return static_cast<int>(fewest - objectsPerThread.begin());
}
