// An automation object with one member of each supported kind, for the dispatch-map tests.
#pragma once
#include <cmd_target.h>

class CDispatchProbeTarget : public CCmdTarget {
    DECLARE_DYNCREATE(CDispatchProbeTarget)
public:
    CDispatchProbeTarget();
    ~CDispatchProbeTarget() override;

    long Add(long a, long b) { return a + b; }
    CComBSTR Greeting() { return L"hello"; }
    double Half(double d) { return d / 2; }
    short Seven() { return 7; }
    double AsNumber(const VARIANT& v) { return AfxChangeArgumentType(v, VT_R8, 0).dblVal; }
    DATE AsDate(const VARIANT& v) { return AfxChangeArgumentType(v, VT_DATE, 0).date; }
    void Fail();            // the framework's exception
    void ThrowStandard();   // a standard library exception
    void ThrowValue();      // a value that is no class at all
    void LetGo();           // gives back one reference, as a disconnected stub does; notes who lives

    static int s_nLive;
    static int s_nLiveAfterLetGo;

    DECLARE_DISPATCH_MAP()
};
