// QDTALLY.TALLY: a tally with a thread of its own. Add adds to the property Total and tells the
// object's listeners the new total: the sinks of ITallyEvents, and a script's OnChanged callback.
#pragma once
#include <connection_point_container.h>
#include <event_receiver.h>
#include <ole_object_factory.h>
#include <own_thread_cmd_target.h>
#include <type_lib_cache.h>

#include <tally_i.h>  // tally.idl's GUIDs, generated: CLSID_Tally, DIID_ITally, DIID_ITallyEvents, LIBID_QDTALLY

class CTally : public CZKOwnThreadCmdTarget {
    DECLARE_DYNCREATE(CTally)
    DECLARE_OLECREATE(CTally)
public:
    CTally();
    BOOL GetDispatchIID(IID* pIID) override;

protected:
    // Run on the object's own thread.
    long Add(long n);
    void SetOnChanged(IDispatch* pCallback);
    void Reset() { m_nTotal = 0; }

    long m_nTotal = 0;                 // the property "Total"
    CEventReceiver m_onChanged{this};  // the script's callback, if any

    DECLARE_DISPATCH_MAP()
    DECLARE_INTERFACE_MAP()
    DECLARE_CONNECTION_MAP()
    DECLARE_OLETYPELIB(CTally)
};
