#include "live_engines.h"

#include <algorithm>

CLiveEngines& CLiveEngines::Instance()
{
    // Never destroyed: engines may outlive static destruction at exit.
    static CLiveEngines* s_pEngines = new CLiveEngines;
    return *s_pEngines;
}

void CLiveEngines::Add(COwnThreadEngine* pEngine, DWORD nCreatorThreadID)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.push_back({pEngine, nCreatorThreadID, false, false});
}

void CLiveEngines::Remove(COwnThreadEngine* pEngine)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [pEngine](const CEntry& e) { return e.pEngine == pEngine; }),
                    m_entries.end());
}

void CLiveEngines::SetStarting(COwnThreadEngine* pEngine, bool bStarting)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (CEntry& e : m_entries)
        if (e.pEngine == pEngine)
            e.bStarting = bStarting;
}

COwnThreadEngine* CLiveEngines::TakeNext(DWORD nCreatorThreadID)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (CEntry& e : m_entries) {
        if (e.nCreatorThreadID == nCreatorThreadID && !e.bTaken && !e.bStarting) {
            e.bTaken = true;
            return e.pEngine;
        }
    }
    return nullptr;
}

int CLiveEngines::CountOf(DWORD nCreatorThreadID)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(), [nCreatorThreadID](const CEntry& e) {
        return e.nCreatorThreadID == nCreatorThreadID && !e.bStarting;
    }));
}

std::vector<COwnThreadEngine*> CLiveEngines::Of(DWORD nCreatorThreadID)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<COwnThreadEngine*> engines;
    for (const CEntry& e : m_entries)
        if (e.nCreatorThreadID == nCreatorThreadID && !e.bStarting)
            engines.push_back(e.pEngine);
    return engines;
}
