// QDTALLY.TALLY: a tally with a thread of its own. Add adds to the property Total and tells the
// object's listeners the new total: the sinks of ITallyEvents, and a script's OnChanged callback.
// The class implements tally.idl's dual interface ITally; everything else comes from the type
// library: IDispatch, the connection point of ITallyEvents, IProvideClassInfo2.
#pragma once
#include <callback_property.h>
#include <dual_dispatch.h>
#include <ole_object_factory.h>
#include <own_thread_cmd_target.h>

#include <tally_i.h>  // generated from tally.idl: ITally, CLSID_Tally, LIBID_QDTALLY, ...

class CTally : public CDualDispatch<CZKOwnThreadCmdTarget, ITally> {
    DECLARE_DYNCREATE(CTally)
    DECLARE_OLECREATE(CTally)
public:
    CTally() { EnableOwnThread(); }

    // ITally, run on the object's own thread.
    STDMETHODIMP get_Total(long* pnTotal) override;
    STDMETHODIMP put_Total(long nTotal) override;
    STDMETHODIMP Add(long n, long* pnTotal) override;
    STDMETHODIMP put_OnChanged(IDispatch* pCallback) override;
    STDMETHODIMP Reset() override;

private:
    long m_nTotal = 0;
    CCallbackProperty m_onChanged{this};  // the script's callback, if any
};
