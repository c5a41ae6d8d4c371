#include "dispatch_map_check.h"

#include "type_lib_cache.h"

#include <wrl/client.h>

#include <cstring>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace {

// A library's member, in the map's terms.
struct CLibMember {
    std::string name;
    DISPID id;
    bool bFunc;           // a method (else a property)
    bool bGet = false, bPut = false;
    VARTYPE vt = VT_EMPTY;  // result, or the property's type
    std::string params;     // VTS_ codes
};

std::string Narrow(BSTR str)
{
    int n = WideCharToMultiByte(CP_ACP, 0, str, -1, nullptr, 0, nullptr, nullptr);
    std::string s(n > 0 ? n - 1 : 0, '\0');
    if (n > 1)
        WideCharToMultiByte(CP_ACP, 0, str, -1, &s[0], n, nullptr, nullptr);
    return s;
}

// A type description as a parameter code (0 for one that the maps cannot express).
unsigned char CodeOf(ITypeInfo* pInfo, const TYPEDESC& desc, bool bOptional)
{
    VARTYPE vt = desc.vt;
    unsigned char flags = bOptional ? VTS_OPTIONAL_FLAG : 0;
    if (vt == VT_PTR || vt == VT_USERDEFINED) {
        const TYPEDESC& target = vt == VT_PTR ? *desc.lptdesc : desc;
        if (target.vt == VT_USERDEFINED) {
            // IDispatch* and IUnknown*, or an alias.
            ComPtr<ITypeInfo> pRef;
            TYPEATTR* pAttr = nullptr;
            if (FAILED(pInfo->GetRefTypeInfo(target.hreftype, &pRef)) || FAILED(pRef->GetTypeAttr(&pAttr)))
                return 0;
            unsigned char code = 0;
            if (pAttr->typekind == TKIND_ALIAS)
                code = CodeOf(pRef.Get(), pAttr->tdescAlias, bOptional);
            else if (IsEqualGUID(pAttr->guid, IID_IDispatch) || pAttr->typekind == TKIND_DISPATCH)
                code = VT_DISPATCH;
            else if (IsEqualGUID(pAttr->guid, IID_IUnknown) || pAttr->typekind == TKIND_INTERFACE)
                code = VT_UNKNOWN;
            pRef->ReleaseTypeAttr(pAttr);
            return code;
        }
        if (vt == VT_PTR) {
            unsigned char code = CodeOf(pInfo, target, false);
            return code != 0 && !(code & VTS_BYREF_FLAG) ? code | VTS_BYREF_FLAG : 0;
        }
    }
    if (vt == VT_INT)
        vt = VT_I4;
    else if (vt == VT_UINT)
        vt = VT_UI4;
    else if (vt == VT_VOID || vt == VT_HRESULT)
        vt = VT_EMPTY;
    return vt <= VTS_TYPE_MASK ? static_cast<unsigned char>(vt | flags) : 0;
}

void AddLibMembers(ITypeInfo* pInfo, std::vector<CLibMember>* pMembers)
{
    TYPEATTR* pAttr = nullptr;
    if (FAILED(pInfo->GetTypeAttr(&pAttr)))
        return;
    auto find = [&](DISPID id, bool bFunc) -> CLibMember& {
        for (CLibMember& m : *pMembers)
            if (m.id == id && m.bFunc == bFunc)
                return m;
        BSTR name = nullptr;
        pInfo->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
        pMembers->push_back({Narrow(name), id, bFunc});
        SysFreeString(name);
        return pMembers->back();
    };
    for (UINT i = 0; i < pAttr->cFuncs; ++i) {
        FUNCDESC* pFunc = nullptr;
        if (FAILED(pInfo->GetFuncDesc(i, &pFunc)))
            continue;
        const bool bMethod = pFunc->invkind == INVOKE_FUNC;
        CLibMember& m = find(pFunc->memid, bMethod);
        std::string params;
        for (SHORT p = 0; p < pFunc->cParams; ++p) {
            const ELEMDESC& e = pFunc->lprgelemdescParam[p];
            params += static_cast<char>(CodeOf(pInfo, e.tdesc, (e.paramdesc.wParamFlags & PARAMFLAG_FOPT) != 0));
        }
        VARTYPE vtResult = CodeOf(pInfo, pFunc->elemdescFunc.tdesc, false);
        if (bMethod) {
            m.vt = vtResult;
            m.params = params;
        } else if (pFunc->invkind == INVOKE_PROPERTYGET) {
            m.bGet = true;
            m.vt = vtResult;
            m.params += params;  // a property with parameters: the maps have none
        } else {
            m.bPut = true;
            if (!params.empty()) {
                m.vt = static_cast<unsigned char>(params.back());
                params.pop_back();
            }
            m.params += params;
        }
        pInfo->ReleaseFuncDesc(pFunc);
    }
    for (UINT i = 0; i < pAttr->cVars; ++i) {
        VARDESC* pVar = nullptr;
        if (FAILED(pInfo->GetVarDesc(i, &pVar)))
            continue;
        CLibMember& m = find(pVar->memid, false);
        m.bGet = true;
        m.bPut = !(pVar->wVarFlags & VARFLAG_FREADONLY);
        m.vt = CodeOf(pInfo, pVar->elemdescVar.tdesc, false);
        pInfo->ReleaseVarDesc(pVar);
    }
    pInfo->ReleaseTypeAttr(pAttr);
}

std::string Describe(const std::string& params)
{
    std::string s;
    for (char c : params)
        s += (s.empty() ? "" : ",") + std::to_string(static_cast<unsigned char>(c));
    return "(" + s + ")";
}

}  // namespace

HRESULT AfxCheckDispatchMap(CCmdTarget* pTarget, std::string* pProblems)
{
    pProblems->clear();
    IID iid;
    ComPtr<ITypeInfo> pInfo;
    if (!pTarget->GetDispatchIID(&iid))
        return TYPE_E_ELEMENTNOTFOUND;
    HRESULT hr = pTarget->GetTypeInfoOfGuid(LOCALE_NEUTRAL, iid, &pInfo);
    if (FAILED(hr))
        return hr;
    std::vector<CLibMember> lib;
    AddLibMembers(pInfo.Get(), &lib);

    std::string& out = *pProblems;
    std::vector<bool> matched(lib.size());
    pTarget->ForEachDispatchEntry([&](const AFX_DISPMAP_ENTRY* p, DISPID id) {
        const std::string name = p->lpszName;
        if (p->lDispID == DISPID_UNKNOWN)
            out += name + ": no explicit DISPID in the map\n";
        const CLibMember* pLib = nullptr;
        for (size_t i = 0; i < lib.size(); ++i)
            if (lib[i].id == id && lib[i].bFunc == !p->bProperty) {
                pLib = &lib[i];
                matched[i] = true;
            }
        if (pLib == nullptr) {
            out += name + ": " + (p->bProperty ? "property" : "method") + " DISPID " + std::to_string(id) +
                   " is not in the type library\n";
            return;
        }
        if (lstrcmpiA(pLib->name.c_str(), p->lpszName) != 0)
            out += name + ": the type library names DISPID " + std::to_string(id) + " \"" + pLib->name + "\"\n";
        if (pLib->vt != p->vtReturn)
            out += name + ": type " + std::to_string(p->vtReturn) + " in the map, " + std::to_string(pLib->vt) +
                   " in the type library\n";
        const std::string params = p->bProperty ? std::string() : std::string(p->lpszParams);
        if (pLib->params != params)
            out += name + ": parameters " + Describe(params) + " in the map, " + Describe(pLib->params) +
                   " in the type library\n";
        if (p->bProperty && (pLib->bGet != (p->pfn != nullptr) || pLib->bPut != (p->pfnSet != nullptr)))
            out += name + ": get/put " + (p->pfn ? "yes" : "no") + "/" + (p->pfnSet ? "yes" : "no") +
                   " in the map, " + (pLib->bGet ? "yes" : "no") + "/" + (pLib->bPut ? "yes" : "no") +
                   " in the type library\n";
    });
    for (size_t i = 0; i < lib.size(); ++i)
        if (!matched[i])
            out += lib[i].name + ": DISPID " + std::to_string(lib[i].id) + " of the type library is not in the map\n";
    return out.empty() ? S_OK : S_FALSE;
}
