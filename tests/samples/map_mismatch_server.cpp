// A server whose class's dispatch map disagrees with its type library (QDSAMPLE's coclass Counter,
// under another ProgID): "Add" has DISPID 7 in the map and 1 in the library.
#include <counter_i.h>
#include <ole_object_factory.h>
#include <ole_server_app.h>
#include <type_lib_cache.h>

class CMismatchedCounter : public CCmdTarget {
    DECLARE_DYNCREATE(CMismatchedCounter)
    DECLARE_OLECREATE(CMismatchedCounter)
public:
    CMismatchedCounter() { EnableAutomation(); }
    BOOL GetDispatchIID(IID* pIID) override
    {
        *pIID = DIID_ICounter;
        return TRUE;
    }
    long Add(const VARIANT&, const VARIANT&) { return 0; }

    DECLARE_DISPATCH_MAP()
    DECLARE_OLETYPELIB(CMismatchedCounter)
};

IMPLEMENT_DYNCREATE(CMismatchedCounter, CCmdTarget)
IMPLEMENT_OLECREATE(CMismatchedCounter, "QDSAMPLE.MISMATCH", CLSID_Counter)
IMPLEMENT_OLETYPELIB(CMismatchedCounter, LIBID_QDSAMPLE, 1, 0)

BEGIN_DISPATCH_MAP(CMismatchedCounter, CCmdTarget)
    DISP_FUNCTION_ID(CMismatchedCounter, "Add", 7, Add, VT_I4, VTS_VARIANT VTS_VARIANT)
END_DISPATCH_MAP()

COleServerApp theApp({&CMismatchedCounter::factory}, LIBID_QDSAMPLE, 1, 0);
