// Whether a class's dispatch map and the dispatch interface in its type library describe the same
// members: names, DISPIDs, kinds (method, get, put) and parameter and result types. Early-bound
// clients call by the library's DISPIDs and types, late-bound ones by the map's, so the two must
// agree; tests run this for every class that has a library.
#pragma once
#include "cmd_target.h"

#include <string>

// S_OK when they agree; S_FALSE with one line a disagreement in *pProblems; an error when the
// class has no type information.
HRESULT AfxCheckDispatchMap(CCmdTarget* pTarget, std::string* pProblems);
