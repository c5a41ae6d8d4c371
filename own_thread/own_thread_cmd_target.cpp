#include "own_thread_cmd_target.h"

#include <mistakes.h>

#include <atomic>
#include <string>

IMPLEMENT_DYNCREATE(CZKOwnThreadCmdTarget, CCmdTarget)

BEGIN_MESSAGE_MAP(CZKOwnThreadCmdTarget, CCmdTarget)
END_MESSAGE_MAP()

BEGIN_DISPATCH_MAP(CZKOwnThreadCmdTarget, CCmdTarget)
END_DISPATCH_MAP()

CZKOwnThreadCmdTarget::CZKOwnThreadCmdTarget() = default;

CZKOwnThreadCmdTarget::~CZKOwnThreadCmdTarget() = default;

void CZKOwnThreadCmdTarget::OnFinalRelease()
{
    if (DeferFinalRelease())
        return;
    // After a deferral the hidden window calls this again. An object that got a new reference
    // between the post and now is alive, and its next final release deletes it.
    if (m_dwRef != 0)
        return;
    // The own thread lets the object go before any destructor runs: a wake it serves for the object
    // (the end's disconnect) must find the object whole.
    StopOwnThread();
    CCmdTarget::OnFinalRelease();
}

BOOL CZKOwnThreadCmdTarget::EnableOwnThread(BOOL bEnable)
{
    m_bOwnThreadDecided = true;
    if (!bEnable)
        return FALSE;
    if (CCmdTarget::GetIDispatch(FALSE) == nullptr) {
        // The own thread would marshal nothing: the object is not started on it at all.
        AfxReportMistake((std::string(GetRuntimeClass()->m_lpszClassName) +
                          ": EnableOwnThread before EnableAutomation; the object stays on its creating thread")
                             .c_str());
        return FALSE;
    }
    if (!COwnThreadEngine::EnableOwnThread()) {
        // Past the cap objects share threads, so this is a thread that could not be started at all:
        // the system's doing, which any client can bring about. Said once, never asserted.
        static std::atomic<bool> s_bReported{false};
        if (!s_bReported.exchange(true))
            OutputDebugStringA((std::string("QD own threads: ") + GetRuntimeClass()->m_lpszClassName +
                                ": no own thread could be started; such objects run on their creating thread\n")
                                   .c_str());
        return FALSE;
    }
    return TRUE;
}

void CZKOwnThreadCmdTarget::AnnounceUndecidedOwnThread()
{
    // Once per object, at its first interface request (the class factory's).
    m_bOwnThreadDecided = true;
    AfxReportMistake((std::string(GetRuntimeClass()->m_lpszClassName) +
                      ": neither EnableOwnThread() nor EnableOwnThread(FALSE) in its constructor; the "
                      "object runs on its creating thread")
                         .c_str());
}

LPUNKNOWN CZKOwnThreadCmdTarget::GetInterfaceHook(const void* piid)
{
    if (!m_bOwnThreadDecided)
        AnnounceUndecidedOwnThread();
    // The proxy is an IDispatch proxy: it stands in for a dispinterface, never for a dual
    // interface, whose vtable only the proxy's own request to the object can bring.
    IID iidDispatch;
    const bool bDispinterface = GetDualDispatch() == nullptr && GetDispatchIID(&iidDispatch);
    return GetOwnThreadInterface(piid, bDispinterface ? &iidDispatch : nullptr);
}
