// The automation class "QDSERVER.DEMO". Each object borrows a bar of the board for its lifetime and
// runs on its own thread when "Own Thread" was "Enabled" as it was constructed. "Test" steps the
// bar ten times, 600 ms apart, and stops at the first step the board refuses (an abort request, or
// no bar). Clients hear how the call is going through the events IQDCmdTargetEvents: Progress after
// each step, Finished as the call ends, fired on the thread that runs the call.
#pragma once
#include "own_thread_cmd_target.h"

#include <connection_point_container.h>
#include <ole_object_factory.h>
#include <provide_class_info.h>
#include <type_lib_cache.h>

// The class, its dispatch interfaces, and the type library that describes them (qdserver.idl,
// TYPELIB resource 1 of QDSERVER.EXE): CLSID_QDCmdTarget, DIID_IQDCmdTarget, DIID_IQDCmdTargetEvents,
// LIBID_QDSERVER, generated from the IDL.
#include <qdserver_i.h>
constexpr WORD kQDServerLibVersionMajor = 1;
constexpr WORD kQDServerLibVersionMinor = 0;

class CQDCmdTarget : public CZKOwnThreadCmdTarget {
    DECLARE_DYNCREATE(CQDCmdTarget)
    DECLARE_OLECREATE(CQDCmdTarget)
public:
    CQDCmdTarget();
    ~CQDCmdTarget() override;

    BOOL GetDispatchIID(IID* pIID) override;

    // The waits and the number of steps of one "Test" call.
    static constexpr DWORD kStepIntervalMs = 600;
    static constexpr int kStepCount = 10;
    // The events' DISPIDs.
    static constexpr DISPID kProgressDispid = 1;
    static constexpr DISPID kFinishedDispid = 2;

protected:
    afx_msg void Test();
    // The script callback: invoked with DISPID_VALUE and the step after each step of "Test".
    afx_msg void SetOnProgress(IDispatch* pCallback);
    // Tells every receiver of the object's events: the sinks advised to its connection point.
    void FireEvent(DISPID dispid, long nValue);

    int m_nSlot;  // the bar this object holds, or -1
    CEventReceiver m_onProgress{this};  // the callback handed in through OnProgress, if any

    DECLARE_MESSAGE_MAP()
    DECLARE_DISPATCH_MAP()
    DECLARE_INTERFACE_MAP()
    DECLARE_CONNECTION_MAP()
    DECLARE_PROVIDECLASSINFO(CLSID_QDCmdTarget)
    DECLARE_OLETYPELIB(CQDCmdTarget)
};
