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

// A code as the map writes it and as the IDL does: "VT_I4 (long)".
struct CTypeName {
    unsigned char vt;
    const char* map;
    const char* idl;
};
constexpr CTypeName kTypeNames[] = {
    {VT_EMPTY, "VT_EMPTY", "void"},      {VT_I2, "VT_I2", "short"},
    {VT_I4, "VT_I4", "long"},            {VT_R4, "VT_R4", "float"},
    {VT_R8, "VT_R8", "double"},          {VT_CY, "VT_CY", "CURRENCY"},
    {VT_DATE, "VT_DATE", "DATE"},        {VT_BSTR, "VT_BSTR", "BSTR"},
    {VT_DISPATCH, "VT_DISPATCH", "IDispatch*"}, {VT_ERROR, "VT_ERROR", "SCODE"},
    {VT_BOOL, "VT_BOOL", "VARIANT_BOOL"}, {VT_VARIANT, "VT_VARIANT", "VARIANT"},
    {VT_UNKNOWN, "VT_UNKNOWN", "IUnknown*"}, {VT_I1, "VT_I1", "char"},
    {VT_UI1, "VT_UI1", "unsigned char"}, {VT_UI2, "VT_UI2", "unsigned short"},
    {VT_UI4, "VT_UI4", "unsigned long"}, {VT_I8, "VT_I8", "hyper"},
    {VT_UI8, "VT_UI8", "unsigned hyper"},
};

const CTypeName* FindTypeName(unsigned char code)
{
    for (const CTypeName& t : kTypeNames)
        if (t.vt == (code & VTS_TYPE_MASK))
            return &t;
    return nullptr;
}

// A result or property type: "VT_I4 (long)".
std::string DescribeType(unsigned char code)
{
    const CTypeName* p = code != 0 ? FindTypeName(code) : nullptr;
    if (p == nullptr)
        return code == 0 ? "a type no map can express" : "VARTYPE " + std::to_string(code);
    return std::string(p->map) + " (" + p->idl + ")";
}

// A parameter list: the VTS_ codes and the IDL's types, "VTS_I4 VTS_BSTR (long, BSTR)".
std::string DescribeParams(const std::string& params)
{
    if (params.empty())
        return "VTS_NONE ()";
    std::string codes, idl;
    for (char c : params) {
        const unsigned char code = static_cast<unsigned char>(c);
        const CTypeName* p = code != 0 ? FindTypeName(code) : nullptr;
        std::string name = p == nullptr ? "?" : p->vt == VT_ERROR ? "SCODE" : std::string(p->map).substr(3);
        std::string type = p != nullptr ? p->idl : "a type no map can express";
        if (code & VTS_OPTIONAL_FLAG) {
            name.insert(0, "OPTIONAL_");
            type.insert(0, "[optional] ");
        }
        if (code & VTS_BYREF_FLAG) {
            name.insert(0, "P");
            type += "*";
        }
        codes += (codes.empty() ? "VTS_" : " VTS_") + name;
        idl += (idl.empty() ? "" : ", ") + type;
    }
    return codes + " (" + idl + ")";
}

// Compares the library's members with the map's entries, which forEach(fn) walks.
template <class ForEach>
HRESULT CheckEntries(const std::vector<CLibMember>& lib, std::string* pProblems, ForEach forEach)
{
    std::string& out = *pProblems;
    std::vector<bool> matched(lib.size());
    forEach([&](const AFX_DISPMAP_ENTRY* p, DISPID id) {
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
            out += name + ": type " + DescribeType(static_cast<unsigned char>(p->vtReturn)) + " in the map, " +
                   DescribeType(static_cast<unsigned char>(pLib->vt)) + " in the type library\n";
        const std::string params = p->bProperty ? std::string() : std::string(p->lpszParams);
        if (pLib->params != params)
            out += name + ": parameters " + DescribeParams(params) + " in the map, " +
                   DescribeParams(pLib->params) + " in the type library\n";
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

}  // namespace

HRESULT AfxCheckDispatchMap(CCmdTarget* pTarget, std::string* pProblems)
{
    pProblems->clear();
    if (pTarget->GetDualDispatch() != nullptr)
        return S_OK;  // a dual interface's class has no map: the library is its only description
    IID iid;
    ComPtr<ITypeInfo> pInfo;
    if (!pTarget->GetDispatchIID(&iid))
        return TYPE_E_ELEMENTNOTFOUND;
    HRESULT hr = pTarget->GetTypeInfoOfGuid(LOCALE_NEUTRAL, iid, &pInfo);
    if (FAILED(hr))
        return hr;
    std::vector<CLibMember> lib;
    AddLibMembers(pInfo.Get(), &lib);
    return CheckEntries(lib, pProblems, [&](auto fn) { pTarget->ForEachDispatchEntry(fn); });
}

HRESULT AfxCheckDispatchMap(const AFX_DISPMAP* pMap, ITypeInfo* pInfo, std::string* pProblems)
{
    pProblems->clear();
    std::vector<CLibMember> lib;
    AddLibMembers(pInfo, &lib);
    return CheckEntries(lib, pProblems, [&](auto fn) { CCmdTarget::ForEachDispatchEntry(pMap, fn); });
}

HRESULT AfxGetClassDispatchInfo(ITypeLib* pLib, REFCLSID clsid, ITypeInfo** ppInfo)
{
    *ppInfo = nullptr;
    ComPtr<ITypeInfo> pClass;
    HRESULT hr = pLib->GetTypeInfoOfGuid(clsid, &pClass);
    if (FAILED(hr))
        return TYPE_E_ELEMENTNOTFOUND;
    TYPEATTR* pAttr = nullptr;
    if (FAILED(hr = pClass->GetTypeAttr(&pAttr)))
        return hr;
    const WORD cImplTypes = pAttr->typekind == TKIND_COCLASS ? pAttr->cImplTypes : 0;
    pClass->ReleaseTypeAttr(pAttr);
    for (UINT i = 0; i < cImplTypes; ++i) {
        INT flags = 0;
        HREFTYPE hRef = 0;
        if (SUCCEEDED(pClass->GetImplTypeFlags(i, &flags)) && (flags & IMPLTYPEFLAG_FDEFAULT) &&
            !(flags & IMPLTYPEFLAG_FSOURCE) && SUCCEEDED(pClass->GetRefTypeOfImplType(i, &hRef)))
            return pClass->GetRefTypeInfo(hRef, ppInfo);
    }
    return TYPE_E_ELEMENTNOTFOUND;
}
