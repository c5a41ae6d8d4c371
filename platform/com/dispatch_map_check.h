// Whether a class's dispatch map and the dispatch interface in its type library describe the same
// members: names, DISPIDs, kinds (method, get, put) and parameter and result types. Early-bound
// clients call by the library's DISPIDs and types, late-bound ones by the map's, so the two must
// agree. COleServerApp checks every class it offers at every start, without creating an object;
// types are named as the map writes them and as the IDL does ("VT_I4 (long)").
#pragma once
#include "cmd_target.h"

#include <string>

// S_OK when they agree, and for a class with a dual interface (dual_dispatch.h), which has no map;
// S_FALSE with one line a disagreement in *pProblems; an error when the class has no type
// information.
HRESULT AfxCheckDispatchMap(CCmdTarget* pTarget, std::string* pProblems);
// The same for a class's map (the chain from its GetThisDispatchMap) against a dispatch interface.
HRESULT AfxCheckDispatchMap(const AFX_DISPMAP* pMap, ITypeInfo* pInfo, std::string* pProblems);
// The dispatch interface of a class as its library describes it: the [default] dispinterface of
// the coclass clsid. TYPE_E_ELEMENTNOTFOUND when the library has no such coclass.
HRESULT AfxGetClassDispatchInfo(ITypeLib* pLib, REFCLSID clsid, ITypeInfo** ppInfo);
