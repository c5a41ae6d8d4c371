#include "thread_probe_target.h"

#include <own_thread_pool.h>

IMPLEMENT_DYNCREATE(CThreadProbeTarget, CZKOwnThreadCmdTarget)

BEGIN_DISPATCH_MAP(CThreadProbeTarget, CZKOwnThreadCmdTarget)
    DISP_FUNCTION(CThreadProbeTarget, "ThreadId", ThreadId, VT_I4, VTS_NONE)
    DISP_FUNCTION(CThreadProbeTarget, "WaitForReleaseThenThreadId", WaitForReleaseThenThreadId, VT_I4, VTS_I4)
    DISP_FUNCTION(CThreadProbeTarget, "HookAnswersOnThisThread", HookAnswersOnThisThread, VT_I4, VTS_NONE)
    DISP_FUNCTION(CThreadProbeTarget, "SlowDownThreadEnd", SlowDownThreadEnd, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

BEGIN_INTERFACE_MAP(CThreadProbeTarget, CZKOwnThreadCmdTarget)
    INTERFACE_PART(CThreadProbeTarget, IID_IPersist, Persist)
END_INTERFACE_MAP()

std::atomic<int> CThreadProbeTarget::s_nLive{0};
std::atomic<int> CThreadProbeTarget::s_nFinalReleases{0};
std::atomic<DWORD> CThreadProbeTarget::s_nFirstFinalReleaseThread{0};
std::atomic<DWORD> CThreadProbeTarget::s_nDeletionThread{0};
std::atomic<int> CThreadProbeTarget::s_nDeletedElsewhere{0};
std::atomic<int> CThreadProbeTarget::s_nOwnThreadParkedAtDeletion{-1};
std::atomic<bool> CThreadProbeTarget::s_bCallWaiting{false};
HANDLE CThreadProbeTarget::s_hCallRelease = CreateEventA(nullptr, TRUE, FALSE, nullptr);
std::atomic<int> CThreadProbeTarget::s_nThreadEvents{0};
std::atomic<DWORD> CThreadProbeTarget::s_nThreadEventThread{0};
std::atomic<bool> CThreadProbeTarget::s_bStopFromThreadEvent{false};
std::atomic<int> CThreadProbeTarget::s_nProbeSeenWhileParked{-1};

namespace {

const UINT WM_PROBE = WM_APP + 7;
const UINT WM_SLOW = WM_APP + 8;
HANDLE g_hSlowEntered = CreateEventA(nullptr, FALSE, FALSE, nullptr);

LRESULT CALLBACK ProbeWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PROBE) {
        CThreadProbeTarget::s_nProbeSeenWhileParked =
            COwnThreadPool::Instance().IsParked(GetCurrentThreadId()) ? 1 : 0;
        DestroyWindow(hWnd);
        return 0;
    }
    if (message == WM_SLOW) {
        SetEvent(g_hSlowEntered);
        Sleep(300);
        DestroyWindow(hWnd);
        return 0;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

HWND CreateProbeWindow()
{
    static const char kClass[] = "OwnThreadTestProbe";
    WNDCLASSA wc{};
    wc.lpfnWndProc = &ProbeWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);  // fails harmlessly when already registered
    return CreateWindowExA(0, kClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
}

}  // namespace

CThreadProbeTarget::CThreadProbeTarget(BOOL bOwnThread)
{
    ++s_nLive;
    EnableAutomation();
    EnableOwnThread(bOwnThread);
}

CThreadProbeTarget::~CThreadProbeTarget()
{
    // The own thread is held in a message when its stop is requested.
    if (m_hSlowEndWnd != nullptr && PostMessageA(m_hSlowEndWnd, WM_SLOW, 0, 0))
        WaitForSingleObject(g_hSlowEntered, 5000);
    s_nDeletionThread = GetCurrentThreadId();
    if (s_nDeletionThread != m_nCreatorThreadID)
        ++s_nDeletedElsewhere;
    --s_nLive;
}

void CThreadProbeTarget::ResetCounters()
{
    s_nFinalReleases = 0;
    s_nFirstFinalReleaseThread = 0;
    s_nDeletionThread = 0;
    s_nOwnThreadParkedAtDeletion = -1;
    s_bCallWaiting = false;
    ResetEvent(s_hCallRelease);
    s_nThreadEvents = 0;
    s_nThreadEventThread = 0;
    s_bStopFromThreadEvent = false;
    s_nProbeSeenWhileParked = -1;
}

void CThreadProbeTarget::OnFinalRelease()
{
    if (s_nFinalReleases++ == 0)
        s_nFirstFinalReleaseThread = GetCurrentThreadId();
    const DWORD nOwnThread = m_nOwnThreadID;
    const int nLive = s_nLive;
    CZKOwnThreadCmdTarget::OnFinalRelease();
    // Objects are deleted on their creating thread, one at a time: a drop in the count means this one.
    if (nOwnThread != 0 && s_nLive < nLive)
        s_nOwnThreadParkedAtDeletion = COwnThreadPool::Instance().IsParked(nOwnThread) ? 1 : 0;
}

const IID CThreadProbeTarget::kDispatchIID = {0x5a1e0c21, 0x7d3b, 0x4c55, {0x9e, 0x61, 0x0b, 0x2f, 0x48, 0x17, 0xa3, 0xd4}};

BOOL CThreadProbeTarget::GetDispatchIID(IID* pIID)
{
    *pIID = kDispatchIID;
    return TRUE;
}

void CThreadProbeTarget::OnThreadEvent()
{
    s_nThreadEventThread = GetCurrentThreadId();
    ++s_nThreadEvents;
    if (s_bStopFromThreadEvent) {
        PostMessageA(CreateProbeWindow(), WM_PROBE, 0, 0);
        RequestStop();
    }
}

long CThreadProbeTarget::ThreadId() { return static_cast<long>(GetCurrentThreadId()); }

long CThreadProbeTarget::WaitForReleaseThenThreadId(long nMilliseconds)
{
    s_bCallWaiting = true;
    return WaitForSingleObject(s_hCallRelease, static_cast<DWORD>(nMilliseconds)) == WAIT_OBJECT_0 ? ThreadId() : 0;
}

void CThreadProbeTarget::SlowDownThreadEnd() { m_hSlowEndWnd = CreateProbeWindow(); }

long CThreadProbeTarget::HookAnswersOnThisThread() { return GetInterfaceHook(&IID_IUnknown) != nullptr; }

void CThreadProbeTarget::RequestStop()
{
    m_bStopThread = TRUE;
    SetThreadEvent();
}
