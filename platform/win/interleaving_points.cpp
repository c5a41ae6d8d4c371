#include "interleaving_points.h"

#include "unique_handle.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

std::atomic<int> CInterleavingPoints::s_nArmed{0};

namespace {

struct CHold {
    std::string point;
    CUniqueHandle hArrived;
    CUniqueHandle hGo;
    bool bTaken = false;
};

std::shared_ptr<CHold> MakeHold(const char* lpszPoint, const char* lpszArrived = nullptr, const char* lpszGo = nullptr)
{
    auto pHold = std::make_shared<CHold>();
    pHold->point = lpszPoint;
    pHold->hArrived.Reset(CreateEventA(nullptr, TRUE, FALSE, lpszArrived));
    pHold->hGo.Reset(CreateEventA(nullptr, TRUE, FALSE, lpszGo));
    return pHold;
}

struct CState {
    std::mutex mutex;
    std::vector<std::shared_ptr<CHold>> holds;
    std::mt19937 rng;
    DWORD dwMaxPauseMs = 0;
};

CState& State()
{
    // Never destroyed: points may be reached while the process exits.
    static CState* s_pState = new CState;
    return *s_pState;
}

std::shared_ptr<CHold> FindHold(CState& state, const char* lpszPoint)
{
    for (auto& pHold : state.holds)
        if (pHold->point == lpszPoint)
            return pHold;
    return nullptr;
}

}  // namespace

void CInterleavingPoints::Hold(const char* lpszPoint)
{
    CState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.holds.push_back(MakeHold(lpszPoint));
    ++s_nArmed;
}

BOOL CInterleavingPoints::WaitUntilHeld(const char* lpszPoint, DWORD dwTimeoutMs)
{
    std::shared_ptr<CHold> pHold;
    {
        CState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        pHold = FindHold(state, lpszPoint);
    }
    return pHold && WaitForSingleObject(pHold->hArrived.Get(), dwTimeoutMs) == WAIT_OBJECT_0;
}

void CInterleavingPoints::Release(const char* lpszPoint)
{
    CState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    std::shared_ptr<CHold> pHold = FindHold(state, lpszPoint);
    if (!pHold)
        return;
    SetEvent(pHold->hGo.Get());
    state.holds.erase(std::find(state.holds.begin(), state.holds.end(), pHold));
    --s_nArmed;
}

void CInterleavingPoints::SetRandomPauses(unsigned nSeed, DWORD dwMaxMs)
{
    CState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if ((state.dwMaxPauseMs != 0) != (dwMaxMs != 0))
        s_nArmed += dwMaxMs != 0 ? 1 : -1;
    state.rng.seed(nSeed);
    state.dwMaxPauseMs = dwMaxMs;
}

std::string CInterleavingPoints::EventName(const char* lpszWhat, DWORD nProcessID)
{
    return std::string("Local\\QDInterleaving") + lpszWhat + "." + std::to_string(nProcessID);
}

void CInterleavingPoints::ArmFromEnvironment()
{
    char szPoint[128] = "";
    DWORD cchPoint = GetEnvironmentVariableA("QD_INTERLEAVING_HOLD", szPoint, sizeof(szPoint));
    if (cchPoint > 0 && cchPoint < sizeof(szPoint)) {
        // Another process holds and lets go through events named after this one.
        const DWORD nPid = GetCurrentProcessId();
        CState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        state.holds.push_back(MakeHold(szPoint, EventName("Held", nPid).c_str(), EventName("Go", nPid).c_str()));
        ++s_nArmed;
    }
    char szValue[64] = "";
    DWORD cch = GetEnvironmentVariableA("QD_INTERLEAVING_PAUSES", szValue, sizeof(szValue));
    if (cch == 0 || cch >= sizeof(szValue))
        return;
    char* pEnd = nullptr;
    unsigned long nSeed = std::strtoul(szValue, &pEnd, 10);
    if (pEnd == nullptr || *pEnd != ',')
        return;
    unsigned long nMaxMs = std::strtoul(pEnd + 1, nullptr, 10);
    SetRandomPauses(static_cast<unsigned>(nSeed), static_cast<DWORD>(nMaxMs > 1000 ? 1000 : nMaxMs));
}

void CInterleavingPoints::ReachArmed(const char* lpszPoint)
{
    CState& state = State();
    std::shared_ptr<CHold> pHold;
    DWORD dwPauseMs = 0;
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        pHold = FindHold(state, lpszPoint);
        if (pHold && !pHold->bTaken)
            pHold->bTaken = true;
        else
            pHold = nullptr;
        if (state.dwMaxPauseMs != 0 && state.rng() % 2 == 0)
            dwPauseMs = state.rng() % (state.dwMaxPauseMs + 1);
    }
    if (pHold) {
        SetEvent(pHold->hArrived.Get());
        WaitForSingleObject(pHold->hGo.Get(), INFINITE);
    }
    if (dwPauseMs != 0)
        Sleep(dwPauseMs);
}
