// CTypeLibCache: the type library that an automation class describes itself with, loaded once per
// process from the TYPELIB resource 1 of the module that holds the class, and shared by every class
// that names the same library. Objects answer
// IDispatch::GetTypeInfo on whatever thread their calls run on (own threads included), so the first
// load may be asked for by several threads at once.
//
// A class declares its library with DECLARE_OLETYPELIB in its declaration and
// IMPLEMENT_OLETYPELIB(theClass, libid, major, minor) in its source, and names its dispatch
// interface by overriding CCmdTarget::GetDispatchIID: the [default] dispinterface of the library's
// coclass with the class's ID, against which the server checks the class's dispatch map.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <mutex>
#include <string>

class CTypeLibCache {
public:
    CTypeLibCache(REFGUID libid, WORD wVerMajor, WORD wVerMinor);
    CTypeLibCache(const CTypeLibCache&) = delete;
    CTypeLibCache& operator=(const CTypeLibCache&) = delete;

    // The library, with a reference for the caller. A library that cannot be loaded, or whose
    // identity is not the declared one, is an error every time: it is looked for only once.
    HRESULT GetTypeLib(ITypeLib** ppTypeLib);
    HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTypeInfo);

    // The process's one cache of a library: every class that names it shares it.
    static CTypeLibCache& ForLibrary(REFGUID libid, WORD wVerMajor, WORD wVerMinor);
    // The cache of whatever library the module that holds the classes embeds (its TYPELIB resource
    // 1), for classes that name no library; nullptr when it embeds none. Loads it each time: keep
    // the answer.
    static CTypeLibCache* ForThisModule();

    // Loads the library in TYPELIB resource 1 of hModule and checks that it is the one named.
    static HRESULT LoadFromModule(HMODULE hModule, REFGUID libid, WORD wVerMajor, WORD wVerMinor,
                                  ITypeLib** ppTypeLib);
    // The full path of a module; empty if it cannot be had.
    static std::wstring GetModulePath(HMODULE hModule);

private:
    const GUID m_libid;
    const WORD m_wVerMajor;
    const WORD m_wVerMinor;
    std::mutex m_lock;
    // Under m_lock.
    bool m_bLoaded = false;
    HRESULT m_hrLoad = E_UNEXPECTED;
    Microsoft::WRL::ComPtr<ITypeLib> m_pTypeLib;
};

#define DECLARE_OLETYPELIB(theClass)                  \
protected:                                            \
    CTypeLibCache* GetTypeLibCache() override;        \
    static CTypeLibCache* GetThisTypeLibCache();

#define IMPLEMENT_OLETYPELIB(theClass, libid, wVerMajor, wVerMinor)      \
    CTypeLibCache* theClass::GetTypeLibCache() { return GetThisTypeLibCache(); } \
    CTypeLibCache* theClass::GetThisTypeLibCache()                        \
    {                                                                     \
        static CTypeLibCache& cache = CTypeLibCache::ForLibrary(libid, wVerMajor, wVerMinor); \
        return &cache;                                                    \
    }
