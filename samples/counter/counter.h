// QDSAMPLE.COUNTER: an automation class with a thread of its own, a property, methods that take
// VARIANTs, and type information.
#pragma once
#include <ole_object_factory.h>
#include <own_thread_cmd_target.h>
#include <type_lib_cache.h>

#include <counter_i.h>  // counter.idl's GUIDs, generated: CLSID_Counter, DIID_ICounter, LIBID_QDSAMPLE

class CCounter : public CZKOwnThreadCmdTarget {
    DECLARE_DYNCREATE(CCounter)
    DECLARE_OLECREATE(CCounter)
public:
    CCounter();
    BOOL GetDispatchIID(IID* pIID) override;

protected:
    // Run on the object's own thread.
    long Add(const VARIANT& a, const VARIANT& b);
    CComBSTR Echo(const CComBSTR& s);
    bool IsOwnThread();
    long GetThreadID();
    long Sum(const VARIANT& a, const VARIANT& b, const VARIANT& c);

    long m_nCount = 0;  // the property "Count"

    DECLARE_DISPATCH_MAP()
    DECLARE_INTERFACE_MAP()
    DECLARE_OLETYPELIB(CCounter)
};
