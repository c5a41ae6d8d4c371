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
    // Whether the engine's object is still being created (its creation waits for its thread).
    void SetStarting(COwnThreadEngine* pEngine, bool bStarting);
    // An engine created on thread nCreatorThreadID that was not taken before and is not starting,
    // now marked as taken; nullptr when none is left.
    COwnThreadEngine* TakeNext(DWORD nCreatorThreadID);
    // The engines created on that thread, those still starting left out.
    int CountOf(DWORD nCreatorThreadID);
    // The engines created on that thread, those still starting left out.
    std::vector<COwnThreadEngine*> Of(DWORD nCreatorThreadID);

private:
    CLiveEngines() = default;

    struct CEntry {
        COwnThreadEngine* pEngine;
        DWORD nCreatorThreadID;
        bool bTaken;
        bool bStarting;
    };
    std::mutex m_mutex;
    std::vector<CEntry> m_entries;
};
