#include "dispatch_probe_target.h"

#include <exceptions.h>

#include <stdexcept>

IMPLEMENT_DYNCREATE(CDispatchProbeTarget, CCmdTarget)

BEGIN_DISPATCH_MAP(CDispatchProbeTarget, CCmdTarget)
    DISP_FUNCTION(CDispatchProbeTarget, "Add", Add, VT_I4, VTS_I4 VTS_I4)
    DISP_FUNCTION(CDispatchProbeTarget, "Greeting", Greeting, VT_BSTR, VTS_NONE)
    DISP_FUNCTION(CDispatchProbeTarget, "Half", Half, VT_R8, VTS_R8)
    DISP_FUNCTION_ID(CDispatchProbeTarget, "Seven", 70, Seven, VT_I2, VTS_NONE)
    DISP_FUNCTION(CDispatchProbeTarget, "Fail", Fail, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CDispatchProbeTarget, "ThrowStandard", ThrowStandard, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CDispatchProbeTarget, "ThrowValue", ThrowValue, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CDispatchProbeTarget, "AsNumber", AsNumber, VT_R8, VTS_VARIANT)
    DISP_FUNCTION(CDispatchProbeTarget, "AsDate", AsDate, VT_DATE, VTS_VARIANT)
    DISP_FUNCTION(CDispatchProbeTarget, "LetGo", LetGo, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

int CDispatchProbeTarget::s_nLive = 0;
int CDispatchProbeTarget::s_nLiveAfterLetGo = -1;

CDispatchProbeTarget::CDispatchProbeTarget()
{
    ++s_nLive;
    EnableAutomation();
}

CDispatchProbeTarget::~CDispatchProbeTarget() { --s_nLive; }

void CDispatchProbeTarget::Fail() { AfxThrowOleException(E_ACCESSDENIED); }

void CDispatchProbeTarget::ThrowStandard() { throw std::out_of_range("probe: index out of range"); }

void CDispatchProbeTarget::ThrowValue() { throw 42; }

void CDispatchProbeTarget::LetGo()
{
    ExternalRelease();
    s_nLiveAfterLetGo = s_nLive;
}
