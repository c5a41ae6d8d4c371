// An automation object with a member of every supported type, properties of each kind, optional and
// by-reference parameters, for the conversion and call tests.
#pragma once
#include <cmd_target.h>

#include <wrl/client.h>

class CAutomationProbeTarget : public CCmdTarget {
    DECLARE_DYNCREATE(CAutomationProbeTarget)
public:
    CAutomationProbeTarget() { EnableAutomation(); }

    template <class T> T Same(T value) { return value; }
    CComBSTR SameString(const CComBSTR& s) { return s; }
    CComVariant SameVariant(const CComVariant& v) { return v; }
    Microsoft::WRL::ComPtr<IDispatch> SameDispatch(IDispatch* p) { return p; }
    Microsoft::WRL::ComPtr<IUnknown> SameUnknown(IUnknown* p) { return p; }

    // "Level": a property with a get and a put; "Name": a member variable; "Serial": read-only;
    // "Callback": write-only, an object.
    long GetLevel() const { return m_nLevel; }
    void SetLevel(long n) { m_nLevel = n; }
    long GetSerial() { return 7; }
    void SetCallback(IDispatch* p) { m_pCallback = p; }

    // Optional and by-reference parameters.
    long Count(long nFirst, const VARIANT& second) { m_vtSecond = second.vt; m_scSecond = second.scode; return nFirst; }
    void Bump(long* pn, CComBSTR& s, CComVariant& v)
    {
        ++*pn;
        s = L"bumped";
        v = CComVariant(2.5);
    }
    long Refuse(const VARIANT&, const VARIANT&) { AfxThrowArgumentError(DISP_E_TYPEMISMATCH, 1); }

    long m_nLevel = 0;
    CComBSTR m_strName;
    Microsoft::WRL::ComPtr<IDispatch> m_pCallback;
    VARTYPE m_vtSecond = 0;
    SCODE m_scSecond = 0;

    DECLARE_DISPATCH_MAP()
};
