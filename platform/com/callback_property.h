// CCallbackProperty: a callback that a client hands an object as a property (a script's function,
// any IDispatch), called as its default member (DISPID_VALUE) from whatever thread the object's
// work runs on. One declaration in the class:
//
//     CCallbackProperty m_onChanged{this};
//
// its put sets it (m_onChanged.Set(pCallback), null clears it) and the object calls it with
// m_onChanged.Call(m_nTotal). A callback whose client is gone is dropped, as a connection point
// drops such a sink; the object's final release gives it back (apartment_part.h).
#pragma once
#include "dispatch_args.h"
#include "event_receiver.h"

class CCallbackProperty {
public:
    explicit CCallbackProperty(CCmdTarget* pOwner) : m_receiver(pOwner) {}

    // Where the put of the property runs: keeps pCallback, or with nullptr lets the callback go.
    // Throws COleException when the callback cannot be kept.
    void Set(IDispatch* pCallback);
    bool IsSet() const { return m_receiver.IsAttached(); }

    // Calls the callback, if any, with the arguments (see CDispatchArgs); its answer, or S_FALSE
    // when there is no callback. A callback whose client is gone is let go here (at its home).
    template <class... Args> HRESULT Call(const Args&... args)
    {
        if (!IsSet())
            return S_FALSE;
        CDispatchArgs params(args...);
        return CallWith(params);
    }

private:
    HRESULT CallWith(CDispatchArgs& params);

    CEventReceiver m_receiver;
};
