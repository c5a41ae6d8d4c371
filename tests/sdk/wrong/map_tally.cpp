// QDTALLY.TALLY written with a dispatch map that disagrees with its type library (map_tally.idl):
// Total's type, and Reset named Clear.
#include <ole_object_factory.h>
#include <own_thread_cmd_target.h>
#include <type_lib_cache.h>

#include <map_tally_i.h>

class CMapTally : public CZKOwnThreadCmdTarget {
    DECLARE_DYNCREATE(CMapTally)
    DECLARE_OLECREATE(CMapTally)
public:
    CMapTally()
    {
        EnableAutomation();
        EnableOwnThread();
    }
    BOOL GetDispatchIID(IID* pIID) override
    {
        *pIID = DIID_ITally;
        return TRUE;
    }

protected:
    long Add(long n) { return m_nTotal += n; }
    void SetOnChanged(IDispatch*) {}
    void Reset() { m_nTotal = 0; }
    long m_nTotal = 0;

    DECLARE_DISPATCH_MAP()
    DECLARE_OLETYPELIB(CMapTally)
};

IMPLEMENT_DYNCREATE(CMapTally, CZKOwnThreadCmdTarget)
IMPLEMENT_OLECREATE(CMapTally, "QDTALLY.TALLY", CLSID_Tally)
IMPLEMENT_OLETYPELIB(CMapTally, LIBID_QDTALLY, 1, 0)

BEGIN_DISPATCH_MAP(CMapTally, CZKOwnThreadCmdTarget)
    DISP_PROPERTY_ID(CMapTally, "Total", 1, m_nTotal, VT_ERROR)
    DISP_FUNCTION_ID(CMapTally, "Add", 2, Add, VT_I4, VTS_I4)
    DISP_PROPERTY_EX_ID(CMapTally, "OnChanged", 3, GetNotSupported, SetOnChanged, VT_DISPATCH)
    DISP_FUNCTION_ID(CMapTally, "Clear", 4, Reset, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

#include <ole_server_app.h>

COleServerApp theApp({&CMapTally::factory}, LIBID_QDTALLY, 1, 0);
