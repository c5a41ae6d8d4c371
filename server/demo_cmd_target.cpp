#include "demo_cmd_target.h"

#include "board_link.h"
#include "server_dlg.h"

// {BB2FF4E7-0C33-4764-B3B4-F911B8499C26}
const CLSID CLSID_QDCmdTarget = {0xbb2ff4e7, 0x0c33, 0x4764, {0xb3, 0xb4, 0xf9, 0x11, 0xb8, 0x49, 0x9c, 0x26}};
// {0514E068-97D3-4158-B9D0-F5969D13486B}
const IID IID_IQDCmdTarget = {0x0514e068, 0x97d3, 0x4158, {0xb9, 0xd0, 0xf5, 0x96, 0x9d, 0x13, 0x48, 0x6b}};
// {614CC714-7756-4FDA-9110-FE0F1193C7AC}
const GUID LIBID_QDSERVER = {0x614cc714, 0x7756, 0x4fda, {0x91, 0x10, 0xfe, 0x0f, 0x11, 0x93, 0xc7, 0xac}};

IMPLEMENT_DYNCREATE(CQDCmdTarget, CZKOwnThreadCmdTarget)

// One running QDSERVER creates every object that clients ask for.
IMPLEMENT_OLECREATE(CQDCmdTarget, "QDSERVER.DEMO", CLSID_QDCmdTarget)

BEGIN_MESSAGE_MAP(CQDCmdTarget, CZKOwnThreadCmdTarget)
END_MESSAGE_MAP()

BEGIN_DISPATCH_MAP(CQDCmdTarget, CZKOwnThreadCmdTarget)
    DISP_FUNCTION_ID(CQDCmdTarget, "Test", 1, Test, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

BEGIN_INTERFACE_MAP(CQDCmdTarget, CCmdTarget)
    INTERFACE_PART(CQDCmdTarget, IID_IQDCmdTarget, Dispatch)
END_INTERFACE_MAP()

IMPLEMENT_OLETYPELIB(CQDCmdTarget, LIBID_QDSERVER, kQDServerLibVersionMajor, kQDServerLibVersionMinor)

CQDCmdTarget::CQDCmdTarget() : m_nSlot(0)
{
    // Automation first: the own thread marshals the object's IDispatch as soon as it starts.
    EnableAutomation();
    bool bOwnThread = false;
    {
        CBoardUse board;
        bOwnThread = board && board->IsOwnThreadSelected();
    }
    EnableOwnThread(bOwnThread);  // if no thread can be had, the object simply runs on the main thread
    {
        CBoardUse board;
        m_nSlot = board ? board->AllocateSlot() : -1;
    }
    AfxOleLockApp();
}

CQDCmdTarget::~CQDCmdTarget()
{
    {
        CBoardUse board;
        if (board)
            board->ReleaseSlot(m_nSlot);
    }
    AfxOleUnlockApp();
}

void CQDCmdTarget::OnFinalRelease() { CZKOwnThreadCmdTarget::OnFinalRelease(); }

BOOL CQDCmdTarget::GetDispatchIID(IID* pIID)
{
    *pIID = IID_IQDCmdTarget;
    return TRUE;
}

void CQDCmdTarget::Test()
{
    for (int i = 0; i < kStepCount; ++i) {
        Sleep(kStepIntervalMs);
        CBoardUse board;
        if (!board || !board->StepSlot(m_nSlot))
            return;  // an abort request, no bar, or no board any more
    }
}
