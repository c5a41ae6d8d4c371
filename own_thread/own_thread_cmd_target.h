// The base of automation objects that may run their calls on a thread of their own. A derived class
// describes its dispatch members and, in its constructor, calls EnableAutomation and then
// EnableOwnThread when the object is to get its own thread. Interface requests on the creating thread
// are then answered with the proxy, and the object is always deleted on its creating thread.
#pragma once
#include "own_thread_engine.h"

#include <cmd_target.h>

class CZKOwnThreadCmdTarget : public CCmdTarget, public COwnThreadEngine {
    DECLARE_DYNCREATE(CZKOwnThreadCmdTarget)
public:
    CZKOwnThreadCmdTarget();
    ~CZKOwnThreadCmdTarget() override;

    // Both bases' final release: deferred to the creating thread when it happens elsewhere, and
    // there deletes the object if it is still dead.
    void OnFinalRelease() override;
    LPDISPATCH GetIDispatch(BOOL bAddRef) override { return CCmdTarget::GetIDispatch(bAddRef); }
    LPUNKNOWN GetInterfaceHook(const void* piid) override;
    volatile LONG& OwnerRefCount() override { return m_dwRef; }

    // From the most derived constructor, after EnableAutomation: TRUE gives the object its own
    // thread, FALSE says that it stays on the creating thread. A call before EnableAutomation, a
    // thread that cannot be had, and an object that never says are announced as mistakes.
    BOOL EnableOwnThread(BOOL bEnable = TRUE);

private:
    bool m_bOwnThreadDecided = false;
    void AnnounceUndecidedOwnThread();

    DECLARE_MESSAGE_MAP()
    DECLARE_DISPATCH_MAP()
};
