#include "type_lib_registration.h"

#include "reg_key.h"
#include "type_lib_cache.h"

#include <oleauto.h>

#include <cstdio>

using Microsoft::WRL::ComPtr;

namespace {

bool HasSubKeys(HKEY hRoot, const std::string& subKey)
{
    CRegKey key;
    return key.Open(hRoot, subKey) == ERROR_SUCCESS && !key.GetSubKeyNames().empty();
}

// Whether RegisterTypeLib writes an Interface key for this type: dispinterfaces, and interfaces
// that automation marshals.
bool HasInterfaceKey(const TYPEATTR* pAttr)
{
    return pAttr->typekind == TKIND_DISPATCH ||
           (pAttr->typekind == TKIND_INTERFACE &&
            (pAttr->wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL)) != 0);
}

// The interface keys of the library's types, in both registry views, where they still lead to
// this library.
bool RemoveInterfaceKeys(EClassesScope scope, ITypeLib* pTypeLib, const std::string& libid)
{
    bool bResult = true;
    for (UINT i = 0, n = pTypeLib->GetTypeInfoCount(); i < n; ++i) {
        ComPtr<ITypeInfo> pInfo;
        TYPEATTR* pAttr = nullptr;
        if (FAILED(pTypeLib->GetTypeInfo(i, &pInfo)) || FAILED(pInfo->GetTypeAttr(&pAttr)))
            return false;
        const bool bHasKey = HasInterfaceKey(pAttr);
        const std::string interfaceKey = "Interface\\" + AfxRegGuidString(pAttr->guid);
        pInfo->ReleaseTypeAttr(pAttr);
        if (!bHasKey)
            continue;
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            // The classes key itself opened in each view: Wine honours a view named only for a key
            // below an open key that is not predefined no further than that key's own view.
            CRegKey root, typeLib;
            if (CClassesRoot::OpenForWrite(scope, root, view) != ERROR_SUCCESS) {
                bResult = false;
                continue;
            }
            const HKEY hClassesRoot = root.Handle();
            if (typeLib.Open(hClassesRoot, interfaceKey + "\\TypeLib", view) != ERROR_SUCCESS ||
                lstrcmpiA(typeLib.GetStringValue(nullptr).c_str(), libid.c_str()) != 0)
                continue;
            typeLib.Close();
            bResult = CRegKey::DeleteTree(hClassesRoot, interfaceKey, view) && bResult;
        }
    }
    return bResult;
}

// TypeLib\{LIBID}\<major>.<minor>\<lcid>\win32 or win64: where this build's path lies.
std::string PlatformKey(const TLIBATTR& attr)
{
    char version[16], locale[16];
    std::snprintf(version, sizeof(version), "%x.%x", attr.wMajorVerNum, attr.wMinorVerNum);
    std::snprintf(locale, sizeof(locale), "%lx", static_cast<unsigned long>(attr.lcid));
    const char* platform = attr.syskind == SYS_WIN64 ? "win64" : attr.syskind == SYS_WIN32 ? "win32" : "win16";
    return "TypeLib\\" + AfxRegGuidString(attr.guid) + "\\" + version + "\\" + locale + "\\" + platform;
}

// Undoes, under one classes root, what RegisterTypeLib writes:
//   TypeLib\{LIBID}\<major>.<minor>                 the library's description
//   TypeLib\{LIBID}\<major>.<minor>\<lcid>\win32    or win64: the path, one per build
//   TypeLib\{LIBID}\<major>.<minor>\FLAGS, HELPDIR
//   Interface\{IID}\ProxyStubClsid, ProxyStubClsid32, TypeLib    in both registry views
// The system's UnRegisterTypeLib is not used: Wine's removes the interface keys while the other
// build's registration still needs them, and fails when this build's path key is already gone.
bool UnregisterTypeLibUnder(EClassesScope scope, HKEY hClassesRoot, ITypeLib* pTypeLib, const TLIBATTR& attr)
{
    char version[16], locale[16];
    std::snprintf(version, sizeof(version), "%x.%x", attr.wMajorVerNum, attr.wMinorVerNum);
    std::snprintf(locale, sizeof(locale), "%lx", static_cast<unsigned long>(attr.lcid));
    const std::string libid = AfxRegGuidString(attr.guid);
    const std::string libKey = "TypeLib\\" + libid;
    const std::string versionKey = libKey + "\\" + version;
    const std::string localeKey = versionKey + "\\" + locale;
    const char* platform = attr.syskind == SYS_WIN64 ? "win64" : attr.syskind == SYS_WIN32 ? "win32" : "win16";

    if (!CRegKey::DeleteTree(hClassesRoot, localeKey + "\\" + platform))
        return false;
    if (HasSubKeys(hClassesRoot, localeKey))
        return true;  // the other build's registration remains
    if (!CRegKey::DeleteTree(hClassesRoot, localeKey))
        return false;
    CRegKey versionEntry;
    if (versionEntry.Open(hClassesRoot, versionKey) == ERROR_SUCCESS) {
        for (const std::string& name : versionEntry.GetSubKeyNames())
            if (lstrcmpiA(name.c_str(), "FLAGS") != 0 && lstrcmpiA(name.c_str(), "HELPDIR") != 0)
                return true;  // registered for another locale
        versionEntry.Close();
        if (!CRegKey::DeleteTree(hClassesRoot, versionKey))
            return false;
    }
    if (!HasSubKeys(hClassesRoot, libKey) && !CRegKey::DeleteTree(hClassesRoot, libKey))
        return false;  // other versions of the library keep the key
    return RemoveInterfaceKeys(scope, pTypeLib, libid);
}

}  // namespace

namespace {

bool LoadLibAttr(HINSTANCE hInstance, REFGUID tlid, WORD wVerMajor, WORD wVerMinor, ComPtr<ITypeLib>& pTypeLib,
                 TLIBATTR& attr)
{
    TLIBATTR* pAttr = nullptr;
    if (FAILED(CTypeLibCache::LoadFromModule(hInstance, tlid, wVerMajor, wVerMinor, &pTypeLib)) ||
        FAILED(pTypeLib->GetLibAttr(&pAttr)))
        return false;
    attr = *pAttr;
    pTypeLib->ReleaseTLibAttr(pAttr);
    return true;
}

}  // namespace

BOOL AfxOleRegisterTypeLib(HINSTANCE hInstance, REFGUID tlid, WORD wVerMajor, WORD wVerMinor, EClassesScope scope)
{
    ComPtr<ITypeLib> pTypeLib;
    if (FAILED(CTypeLibCache::LoadFromModule(hInstance, tlid, wVerMajor, wVerMinor, &pTypeLib)))
        return FALSE;
    std::wstring path = CTypeLibCache::GetModulePath(hInstance);  // wide, and empty if cut short
    CRegKey root;
    if (path.empty() || CClassesRoot::OpenForWrite(scope, root) != ERROR_SUCCESS)
        return FALSE;
    // RegisterTypeLib writes through the merged classes root; for this call that root is the
    // scope's own key, as RegisterTypeLibForUser does it for the user's. (Wine's
    // RegisterTypeLibForUser writes the machine's keys, so it is not used.)
    if (RegOverridePredefKey(HKEY_CLASSES_ROOT, root.Handle()) != ERROR_SUCCESS)
        return FALSE;
    HRESULT hr = RegisterTypeLib(pTypeLib.Get(), path.data(), nullptr);
    // A root left redirected would send every later classes write of the process to the scope.
    const bool bRestored = RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr) == ERROR_SUCCESS;
    return SUCCEEDED(hr) && bRestored;
}

BOOL AfxOleUnregisterTypeLib(HINSTANCE hInstance, REFGUID tlid, WORD wVerMajor, WORD wVerMinor, EClassesScope scope)
{
    ComPtr<ITypeLib> pTypeLib;
    TLIBATTR attr;
    CRegKey root;
    if (!LoadLibAttr(hInstance, tlid, wVerMajor, wVerMinor, pTypeLib, attr) ||
        CClassesRoot::OpenForWrite(scope, root) != ERROR_SUCCESS)
        return FALSE;
    return UnregisterTypeLibUnder(scope, root.Handle(), pTypeLib.Get(), attr);
}

BOOL AfxOleIsTypeLibRegisteredHere(HINSTANCE hInstance, REFGUID tlid, WORD wVerMajor, WORD wVerMinor)
{
    ComPtr<ITypeLib> pTypeLib;
    TLIBATTR attr;
    if (!LoadLibAttr(hInstance, tlid, wVerMajor, wVerMinor, pTypeLib, attr))
        return FALSE;
    const std::wstring path = CTypeLibCache::GetModulePath(hInstance);
    return !path.empty() &&
           lstrcmpiW(CClassesRoot::ReadEffective(PlatformKey(attr)).c_str(), path.c_str()) == 0;
}
