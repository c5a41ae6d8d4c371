#include "demo_cmd_target.h"

#include "board_link.h"
#include "server_dlg.h"

IMPLEMENT_DYNCREATE(CQDCmdTarget, CZKOwnThreadCmdTarget)

// One running QDSERVER creates every object that clients ask for.
IMPLEMENT_OLECREATE(CQDCmdTarget, "QDSERVER.DEMO", CLSID_QDCmdTarget)

BEGIN_MESSAGE_MAP(CQDCmdTarget, CZKOwnThreadCmdTarget)
END_MESSAGE_MAP()

BEGIN_DISPATCH_MAP(CQDCmdTarget, CZKOwnThreadCmdTarget)
    DISP_FUNCTION_ID(CQDCmdTarget, "Test", 1, Test, VT_EMPTY, VTS_NONE)
    DISP_PROPERTY_EX_ID(CQDCmdTarget, "OnProgress", 2, GetNotSupported, SetOnProgress, VT_DISPATCH)
END_DISPATCH_MAP()

BEGIN_INTERFACE_MAP(CQDCmdTarget, CCmdTarget)
    INTERFACE_PART(CQDCmdTarget, DIID_IQDCmdTarget, Dispatch)
    INTERFACE_PART(CQDCmdTarget, IID_IConnectionPointContainer, ConnPtContainer)
    INTERFACE_PART(CQDCmdTarget, IID_IProvideClassInfo, ProvideClassInfo)
    INTERFACE_PART(CQDCmdTarget, IID_IProvideClassInfo2, ProvideClassInfo)
END_INTERFACE_MAP()

BEGIN_CONNECTION_MAP(CQDCmdTarget, CZKOwnThreadCmdTarget)
    CONNECTION_POINT(DIID_IQDCmdTargetEvents)
END_CONNECTION_MAP()

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

BOOL CQDCmdTarget::GetDispatchIID(IID* pIID)
{
    *pIID = DIID_IQDCmdTarget;
    return TRUE;
}

void CQDCmdTarget::Test()
{
    long nSteps = 0;
    while (nSteps < kStepCount) {
        Sleep(kStepIntervalMs);
        {
            CBoardUse board;
            if (!board || !board->StepSlot(m_nSlot))
                break;  // an abort request, no bar, or no board any more
        }
        // The board is let go first: closing it must not wait for a client.
        FireEvent(kProgressDispid, ++nSteps);
    }
    FireEvent(kFinishedDispid, nSteps);
}

void CQDCmdTarget::SetOnProgress(IDispatch* pCallback)
{
    // The put runs where the object's calls run, which makes that apartment the callback's home.
    if (pCallback == nullptr) {
        m_onProgress.Detach();
        return;
    }
    HRESULT hr = m_onProgress.Attach(pCallback, IID_IDispatch);
    if (FAILED(hr))
        AfxThrowOleException(hr);
}

void CQDCmdTarget::FireEvent(DISPID dispid, long nValue)
{
    VARIANT arg;
    arg.vt = VT_I4;
    arg.lVal = nValue;
    m_xConnPtContainer.FireDispatch(DIID_IQDCmdTargetEvents, dispid, &arg, 1);
    // The script callback hears the steps; like a sink, one whose client is gone is dropped.
    if (dispid == kProgressDispid && m_onProgress.IsAttached() &&
        AfxIsReceiverGone(m_onProgress.Invoke(DISPID_VALUE, &arg, 1)))
        m_onProgress.Detach();
}
