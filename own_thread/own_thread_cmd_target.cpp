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
    CCmdTarget::OnFinalRelease();
}

LPUNKNOWN CZKOwnThreadCmdTarget::GetInterfaceHook(const void* piid)
{
    return GetOwnThreadInterface(piid);
}
