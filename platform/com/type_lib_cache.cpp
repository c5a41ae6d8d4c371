#include "type_lib_cache.h"

#include <oleauto.h>

#include <list>
#include <vector>

using Microsoft::WRL::ComPtr;

CTypeLibCache::CTypeLibCache(REFGUID libid, WORD wVerMajor, WORD wVerMinor)
    : m_libid(libid), m_wVerMajor(wVerMajor), m_wVerMinor(wVerMinor)
{
}

CTypeLibCache& CTypeLibCache::ForLibrary(REFGUID libid, WORD wVerMajor, WORD wVerMinor)
{
    // Built on first use, so that classes may ask during static initialization; never destroyed,
    // so that objects that outlive static destruction still find it.
    static std::mutex* s_pLock = new std::mutex;
    static std::list<CTypeLibCache>* s_pCaches = new std::list<CTypeLibCache>;
    std::lock_guard<std::mutex> lock(*s_pLock);
    for (CTypeLibCache& cache : *s_pCaches)
        if (IsEqualGUID(cache.m_libid, libid) && cache.m_wVerMajor == wVerMajor && cache.m_wVerMinor == wVerMinor)
            return cache;
    return s_pCaches->emplace_back(libid, wVerMajor, wVerMinor);
}

namespace {
// The module that holds this code is the one that holds the classes and their library.
HMODULE ThisModule()
{
    HMODULE hModule = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CTypeLibCache::ForLibrary), &hModule);
    return hModule;
}
}  // namespace

CTypeLibCache* CTypeLibCache::ForThisModule()
{
    HMODULE hModule = ThisModule();
    std::wstring path = hModule != nullptr ? GetModulePath(hModule) : std::wstring();
    ComPtr<ITypeLib> pTypeLib;
    TLIBATTR* pAttr = nullptr;
    if (path.empty() || FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &pTypeLib)) ||
        FAILED(pTypeLib->GetLibAttr(&pAttr)))
        return nullptr;
    CTypeLibCache& cache = ForLibrary(pAttr->guid, pAttr->wMajorVerNum, pAttr->wMinorVerNum);
    pTypeLib->ReleaseTLibAttr(pAttr);
    return &cache;
}

std::wstring CTypeLibCache::GetModulePath(HMODULE hModule)
{
    std::vector<wchar_t> path(32768);
    DWORD n = GetModuleFileNameW(hModule, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size())
        return {};
    return std::wstring(path.data(), n);
}

HRESULT CTypeLibCache::LoadFromModule(HMODULE hModule, REFGUID libid, WORD wVerMajor, WORD wVerMinor,
                                      ITypeLib** ppTypeLib)
{
    if (ppTypeLib == nullptr)
        return E_POINTER;
    *ppTypeLib = nullptr;
    std::wstring path = GetModulePath(hModule);
    if (path.empty())
        return HRESULT_FROM_WIN32(GetLastError());
    // A module's path names its TYPELIB resource 1. REGKIND_NONE: loading never writes the registry.
    ComPtr<ITypeLib> pTypeLib;
    HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &pTypeLib);
    if (FAILED(hr))
        return hr;
    TLIBATTR* pAttr = nullptr;
    hr = pTypeLib->GetLibAttr(&pAttr);
    if (FAILED(hr))
        return hr;
    bool bDeclared = IsEqualGUID(pAttr->guid, libid) && pAttr->wMajorVerNum == wVerMajor &&
                     pAttr->wMinorVerNum == wVerMinor;
    pTypeLib->ReleaseTLibAttr(pAttr);
    if (!bDeclared)
        return TYPE_E_CANTLOADLIBRARY;  // the resource holds some other library
    *ppTypeLib = pTypeLib.Detach();
    return S_OK;
}

HRESULT CTypeLibCache::GetTypeLib(ITypeLib** ppTypeLib)
{
    if (ppTypeLib == nullptr)
        return E_POINTER;
    *ppTypeLib = nullptr;
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_bLoaded) {
        HMODULE hModule = ThisModule();
        m_hrLoad = hModule != nullptr ? LoadFromModule(hModule, m_libid, m_wVerMajor, m_wVerMinor, &m_pTypeLib)
                                      : HRESULT_FROM_WIN32(GetLastError());
        m_bLoaded = true;
    }
    if (FAILED(m_hrLoad))
        return m_hrLoad;
    return m_pTypeLib.CopyTo(ppTypeLib);
}

HRESULT CTypeLibCache::GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTypeInfo)
{
    if (ppTypeInfo == nullptr)
        return E_POINTER;
    *ppTypeInfo = nullptr;
    ComPtr<ITypeLib> pTypeLib;
    HRESULT hr = GetTypeLib(&pTypeLib);
    return FAILED(hr) ? hr : pTypeLib->GetTypeInfoOfGuid(guid, ppTypeInfo);
}
