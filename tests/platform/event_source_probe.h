// An automation object with one outgoing interface (plain IDispatch, so that no registration is
// needed to marshal it between apartments), for the connection point tests.
#pragma once
#include <cmd_target.h>
#include <connection_point_container.h>

class CEventSourceProbe : public CCmdTarget {
public:
    CEventSourceProbe() { EnableAutomation(); }

    // Fires DISPID 1 with one long to every sink, on the calling thread.
    void Fire(long nValue);

    DECLARE_INTERFACE_MAP()
    DECLARE_CONNECTION_MAP()
};
