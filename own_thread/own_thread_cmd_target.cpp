#include "own_thread_cmd_target.h"

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

LPUNKNOWN CZKOwnThreadCmdTarget::GetInterfaceHook(const void* piid)
{
    IID iidDispatch;
    return GetOwnThreadInterface(piid, GetDispatchIID(&iidDispatch) ? &iidDispatch : nullptr);
}
