#include "own_thread_cmd_target.h"

#include <mistakes.h>

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
        AfxReportMistake((std::string(GetRuntimeClass()->m_lpszClassName) +
                          ": no own thread could be had (all in use, or its start failed); the object "
                          "runs on its creating thread")
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
    IID iidDispatch;
    return GetOwnThreadInterface(piid, GetDispatchIID(&iidDispatch) ? &iidDispatch : nullptr);
}
