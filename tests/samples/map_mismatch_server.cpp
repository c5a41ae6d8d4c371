// A server whose class's dispatch map disagrees with its type library (QDSAMPLE's): "Add" has
// DISPID 7 in the map and 1 in the library.
#include <counter_i.h>
#include <ole_object_factory.h>
#include <ole_server_app.h>
#include <type_lib_cache.h>

namespace {
const CLSID CLSID_MismatchedCounter = {0x3f1c2b6e, 0x8d4a, 0x4e57, {0xa1, 0xb0, 0x5c, 0x6d, 0x7e, 0x8f, 0x9a, 0x7f}};
}

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
IMPLEMENT_OLECREATE(CMismatchedCounter, "QDSAMPLE.MISMATCH", CLSID_MismatchedCounter)
IMPLEMENT_OLETYPELIB(CMismatchedCounter, LIBID_QDSAMPLE, 1, 0)

BEGIN_DISPATCH_MAP(CMismatchedCounter, CCmdTarget)
    DISP_FUNCTION_ID(CMismatchedCounter, "Add", 7, Add, VT_I4, VTS_VARIANT VTS_VARIANT)
END_DISPATCH_MAP()

COleServerApp theApp({&CMismatchedCounter::factory}, LIBID_QDSAMPLE, 1, 0);
