// The engines alive in the process, with the thread that created each: what a server that ends must
// disconnect from its clients and then wait for. Engines add themselves as they are constructed and
// leave as they are destroyed.
#pragma once
#include <windows.h>

#include <mutex>
#include <vector>

class COwnThreadEngine;

class CLiveEngines {
public:
    static CLiveEngines& Instance();

    void Add(COwnThreadEngine* pEngine, DWORD nCreatorThreadID);
    void Remove(COwnThreadEngine* pEngine);
    // An engine created on thread nCreatorThreadID that was not taken before, now marked as taken;
    // nullptr when none is left.
    COwnThreadEngine* TakeNext(DWORD nCreatorThreadID);
    int CountOf(DWORD nCreatorThreadID);

private:
    CLiveEngines() = default;

    struct CEntry {
        COwnThreadEngine* pEngine;
        DWORD nCreatorThreadID;
        bool bTaken;
    };
    std::mutex m_mutex;
    std::vector<CEntry> m_entries;
};
