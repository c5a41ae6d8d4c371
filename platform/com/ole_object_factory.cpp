#include "ole_object_factory.h"

#include "dispatch_map_check.h"
#include "mistakes.h"
#include "ole_app.h"
#include "reg_key.h"
#include "type_lib_cache.h"
#include "win_app.h"

#include <ole2.h>

#include <wrl/client.h>

#include <algorithm>
#include <mutex>
#include <new>
#include <utility>

using Microsoft::WRL::ComPtr;

IMPLEMENT_DYNAMIC(COleObjectFactory, CCmdTarget)

namespace {

COleObjectFactory* g_pFirstFactory = nullptr;  // written during static initialization

BOOL SetKeyValue(HKEY hRoot, const std::string& subKey, const std::string& value, LPCSTR lpszName = nullptr)
{
    CRegKey key;
    return key.Create(hRoot, subKey) == ERROR_SUCCESS && key.SetStringValue(lpszName, value) == ERROR_SUCCESS;
}

// This program's path, through the wide API, whole or not at all (empty): a path outside the ANSI
// code page, or one cut short, names no program that COM could start.
std::wstring ServerPath()
{
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size())
        return {};
    path.resize(n);
    return path;
}

// This program's file name ("QDSERVER.EXE"), the name of its AppID key; empty when the name cannot be
// written in the ANSI code page whole.
std::string ServerFileName()
{
    const std::wstring path = ServerPath();
    if (path.empty())
        return {};
    const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    char buffer[MAX_PATH] = "";
    BOOL bLost = FALSE;
    int cb = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), static_cast<int>(name.size()), buffer,
                                 sizeof(buffer), nullptr, &bLost);
    return cb > 0 && !bLost ? std::string(buffer, cb) : std::string();
}

}  // namespace

COleObjectFactory::COleObjectFactory(REFCLSID clsid, CRuntimeClass* pRuntimeClass, BOOL bMultiInstance,
                                     LPCSTR lpszProgID, PFN_GETDISPATCHMAP pfnGetDispatchMap,
                                     PFN_GETTYPELIBCACHE pfnGetTypeLibCache)
    : m_xClassFactory(this), m_clsid(clsid), m_pRuntimeClass(pRuntimeClass), m_bMultiInstance(bMultiInstance),
      m_lpszProgID(lpszProgID), m_pfnGetDispatchMap(pfnGetDispatchMap), m_pfnGetTypeLibCache(pfnGetTypeLibCache)
{
    m_pNextFactory = g_pFirstFactory;
    g_pFirstFactory = this;
}

COleObjectFactory::~COleObjectFactory()
{
    for (COleObjectFactory** pp = &g_pFirstFactory; *pp != nullptr; pp = &(*pp)->m_pNextFactory) {
        if (*pp == this) {
            *pp = m_pNextFactory;
            break;
        }
    }
}

BOOL COleObjectFactory::Register()
{
    if (IsRegistered())
        return TRUE;
    DWORD flags = m_bMultiInstance ? REGCLS_SINGLEUSE : REGCLS_MULTIPLEUSE;
    HRESULT hr = CoRegisterClassObject(m_clsid, &m_xClassFactory, CLSCTX_LOCAL_SERVER, flags,
                                       &m_dwRegister);
    if (FAILED(hr))
        m_dwRegister = 0;
    return SUCCEEDED(hr);
}

void COleObjectFactory::Revoke()
{
    if (IsRegistered()) {
        CoRevokeClassObject(m_dwRegister);
        m_dwRegister = 0;
    }
}

BOOL COleObjectFactory::RegisterAll()
{
    BOOL bResult = TRUE;
    for (COleObjectFactory* p = g_pFirstFactory; p != nullptr; p = p->m_pNextFactory)
        bResult = p->Register() && bResult;
    return bResult;
}

BOOL COleObjectFactory::RegisterAll(const std::vector<COleObjectFactory*>& factories)
{
    BOOL bResult = TRUE;
    for (COleObjectFactory* p : factories) {
        if (p->Register())
            continue;
        bResult = FALSE;
        AfxReportMistake((std::string("the class factory of ") + (p->m_lpszProgID ? p->m_lpszProgID : "?") +
                          " could not be registered with COM").c_str());
    }
    for (COleObjectFactory* p = g_pFirstFactory; p != nullptr; p = p->m_pNextFactory) {
        if (std::find(factories.begin(), factories.end(), p) == factories.end())
            AfxReportMistake((std::string("the class factory of ") + (p->m_lpszProgID ? p->m_lpszProgID : "?") +
                              " is declared but the application does not register it").c_str());
    }
    return bResult;
}

COleObjectFactory* COleObjectFactory::GetFirstFactory() { return g_pFirstFactory; }

void COleObjectFactory::RevokeAll()
{
    for (COleObjectFactory* p = g_pFirstFactory; p != nullptr; p = p->m_pNextFactory)
        p->Revoke();
}

namespace {

std::vector<COleObjectFactory*> AllFactories()
{
    std::vector<COleObjectFactory*> all;
    for (COleObjectFactory* p = COleObjectFactory::GetFirstFactory(); p != nullptr; p = p->GetNextFactory())
        all.push_back(p);
    std::reverse(all.begin(), all.end());  // in the order they were constructed
    return all;
}

}  // namespace

BOOL COleObjectFactory::UpdateRegistryAll(const std::vector<COleObjectFactory*>& factories, REFGUID appid,
                                          BOOL bRegister, EClassesScope scope)
{
    const std::string fileName = ServerFileName();
    if (bRegister && fileName.empty())
        return FALSE;
    BOOL bResult = TRUE;
    for (COleObjectFactory* p : factories)
        bResult = p->UpdateRegistry(bRegister, scope, appid) && bResult;
    CRegKey root;
    if (fileName.empty() || CClassesRoot::OpenForWrite(scope, root, 0) != ERROR_SUCCESS)
        return FALSE;
    // The AppID's keys, which the two registry views share, name the server: "AppID\{...}" is what
    // dcomcnfg shows and tunes, "AppID\<file name>" leads COM from the program to it.
    const std::string appIdKey = "AppID\\" + AfxRegGuidString(appid);
    if (bRegister)
        return SetKeyValue(root.Handle(), appIdKey, AfxGetAppName()) &&
               SetKeyValue(root.Handle(), "AppID\\" + fileName, AfxRegGuidString(appid), "AppID") && bResult;
    const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    for (COleObjectFactory* p : factories)
        if (p->m_lpszProgID != nullptr &&
            CClassesRoot::Exists(scope, "CLSID\\" + AfxRegGuidString(p->m_clsid), otherView))
            return bResult;  // the other build still serves under it
    return CRegKey::DeleteTree(root.Handle(), appIdKey) && CRegKey::DeleteTree(root.Handle(), "AppID\\" + fileName) &&
           bResult;
}

BOOL COleObjectFactory::UpdateRegistryAll(BOOL bRegister, EClassesScope scope)
{
    const std::vector<COleObjectFactory*> all = AllFactories();
    return all.empty() || UpdateRegistryAll(all, all.front()->m_clsid, bRegister, scope);
}

BOOL COleObjectFactory::IsRegisteredHereAll(const std::vector<COleObjectFactory*>& factories, REFGUID appid)
{
    const std::wstring wideAppId = [&] {
        const std::string s = AfxRegGuidString(appid);
        return std::wstring(s.begin(), s.end());
    }();
    if (lstrcmpiW(CClassesRoot::ReadEffective("AppID\\" + ServerFileName(), 0, "AppID").c_str(), wideAppId.c_str()) != 0)
        return FALSE;
    for (COleObjectFactory* p : factories)
        if (!p->IsRegisteredHere(appid))
            return FALSE;
    return TRUE;
}

std::vector<COleObjectFactory*> COleObjectFactory::FindUnnamed(const std::vector<COleObjectFactory*>& factories)
{
    std::vector<COleObjectFactory*> unnamed;
    for (COleObjectFactory* p : AllFactories())
        if (std::find(factories.begin(), factories.end(), p) == factories.end())
            unnamed.push_back(p);
    return unnamed;
}

HRESULT COleObjectFactory::CheckDispatchMap(std::string* pProblems) const
{
    pProblems->clear();
    CTypeLibCache* pCache = m_pfnGetTypeLibCache != nullptr ? m_pfnGetTypeLibCache() : nullptr;
    const AFX_DISPMAP* pMap = m_pfnGetDispatchMap != nullptr ? m_pfnGetDispatchMap() : nullptr;
    // No type information, or no map (a dual interface's class): nothing to disagree with.
    if (pCache == nullptr || pMap == nullptr)
        return S_OK;
    ComPtr<ITypeLib> pLib;
    HRESULT hr = pCache->GetTypeLib(&pLib);
    if (FAILED(hr)) {
        char text[16];
        wsprintfA(text, "0x%08lX", static_cast<unsigned long>(hr));
        *pProblems = std::string("its type library (TYPELIB resource 1) cannot be loaded: ") + text + "\n";
        return S_FALSE;
    }
    ComPtr<ITypeInfo> pInfo;
    if (FAILED(AfxGetClassDispatchInfo(pLib.Get(), m_clsid, &pInfo))) {
        *pProblems = "its type library has no coclass " + AfxRegGuidString(m_clsid) +
                     " with a [default] dispinterface: add one to the IDL\n";
        return S_FALSE;
    }
    return AfxCheckDispatchMap(pMap, pInfo.Get(), pProblems);
}

std::wstring COleObjectFactory::GetServerCommand()
{
    const std::wstring path = ServerPath();
    if (path.empty())
        return {};
    // Quoted, so that a path with spaces cannot be read as another program plus arguments.
    return L"\"" + path + L"\"";
}

BOOL COleObjectFactory::UpdateRegistry(BOOL bRegister, EClassesScope scope, REFGUID appid)
{
    if (m_lpszProgID == nullptr)
        return TRUE;
    const std::string progId = m_lpszProgID;
    const std::string clsid = AfxRegGuidString(m_clsid);
    const std::string clsidKey = "CLSID\\" + clsid;
    CRegKey root;
    if (CClassesRoot::OpenForWrite(scope, root, 0) != ERROR_SUCCESS)
        return FALSE;
    if (!bRegister) {
        // The class key lies in this build's registry view; the ProgID is shared by both: it goes
        // with the class's last registration, and otherwise leads to the one that remains.
        if (!CRegKey::DeleteTree(root.Handle(), clsidKey))
            return FALSE;
        const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
        if (CClassesRoot::Exists(scope, clsidKey, otherView))
            return SetKeyValue(root.Handle(), progId, progId) &&
                   SetKeyValue(root.Handle(), progId + "\\CLSID", clsid);
        return CRegKey::DeleteTree(root.Handle(), progId);
    }
    const std::wstring command = GetServerCommand();
    if (command.empty())
        return FALSE;
    CRegKey localServer;
    return SetKeyValue(root.Handle(), progId, progId) &&
           SetKeyValue(root.Handle(), progId + "\\CLSID", clsid) &&
           SetKeyValue(root.Handle(), clsidKey, progId) &&
           SetKeyValue(root.Handle(), clsidKey, AfxRegGuidString(appid), "AppID") &&
           SetKeyValue(root.Handle(), clsidKey + "\\ProgID", progId) &&
           localServer.Create(root.Handle(), clsidKey + "\\LocalServer32") == ERROR_SUCCESS &&
           localServer.SetStringValue(nullptr, command) == ERROR_SUCCESS;
}

BOOL COleObjectFactory::IsRegisteredHere(REFGUID appid) const
{
    if (m_lpszProgID == nullptr)
        return TRUE;
    const std::string clsid = AfxRegGuidString(m_clsid);
    const std::string appIdString = AfxRegGuidString(appid);
    const std::wstring command = GetServerCommand();
    const std::wstring wideClsid(clsid.begin(), clsid.end());
    const std::wstring wideAppId(appIdString.begin(), appIdString.end());
    return !command.empty() &&
           lstrcmpiW(CClassesRoot::ReadEffective(std::string(m_lpszProgID) + "\\CLSID").c_str(),
                     wideClsid.c_str()) == 0 &&
           lstrcmpiW(CClassesRoot::ReadEffective("CLSID\\" + clsid, 0, "AppID").c_str(), wideAppId.c_str()) == 0 &&
           lstrcmpiW(CClassesRoot::ReadEffective("CLSID\\" + clsid + "\\LocalServer32").c_str(),
                     command.c_str()) == 0;
}

CCmdTarget* COleObjectFactory::OnCreateObject()
{
    if (m_pRuntimeClass == nullptr || !m_pRuntimeClass->IsDerivedFrom(RUNTIME_CLASS(CCmdTarget)))
        return nullptr;
    return static_cast<CCmdTarget*>(m_pRuntimeClass->CreateObject());
}

STDMETHODIMP COleObjectFactory::XClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COleObjectFactory::XClassFactory::AddRef()
{
    return m_pOwner->InternalAddRef();
}

STDMETHODIMP_(ULONG) COleObjectFactory::XClassFactory::Release()
{
    return m_pOwner->InternalRelease();
}

namespace {

thread_local const IID* t_piidCreation = nullptr;

}  // namespace

const IID& COleObjectFactory::GetCreationIID() { return t_piidCreation != nullptr ? *t_piidCreation : IID_IDispatch; }

STDMETHODIMP COleObjectFactory::XClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr)
        return CLASS_E_NOAGGREGATION;
    // Locked before the object exists, so that the server cannot end while it is being made; a
    // creation that reaches an ending server is refused, and COM starts a new server for it. A
    // refused class's creation ends a server that has nothing else to do, as a failed one does.
    if (!AfxOleTryLockApp())
        return CO_E_SERVER_STOPPING;
    if (m_pOwner->IsRefused()) {
        AfxOleUnlockApp();
        return CO_E_CLASS_CREATE_FAILED;
    }
    CCmdTarget* pObject = nullptr;
    HRESULT hr = S_OK;
    try {
        {
            // Restored, not cleared: a creation can nest in another's wait for its thread.
            const IID* piidOuter = std::exchange(t_piidCreation, &riid);
            struct Restore {
                const IID* p;
                ~Restore() { t_piidCreation = p; }
            } restore{piidOuter};
            pObject = m_pOwner->OnCreateObject();
        }
        if (pObject == nullptr) {
            AfxOleUnlockApp();
            return CLASS_E_CLASSNOTAVAILABLE;  // no creation function (a shortage throws bad_alloc)
        }
        pObject->TakeAppLock();
        hr = pObject->ExternalQueryInterface(&riid, ppv);
        pObject->InternalRelease();  // the creation reference
        if (SUCCEEDED(hr) && AfxOleIsServerStopping()) {
            // The end began while the object was made (its creation waited for a thread, and the
            // user closed the server meanwhile): the object is given back, never handed out.
            static_cast<IUnknown*>(*ppv)->Release();
            *ppv = nullptr;
            hr = CO_E_SERVER_STOPPING;
        }
        return hr;
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
        hr = E_UNEXPECTED;  // nothing may unwind into COM
    }
    if (pObject == nullptr)
        AfxOleUnlockApp();  // else the object gives it back
    return hr;
}

STDMETHODIMP COleObjectFactory::XClassFactory::LockServer(BOOL fLock)
{
    if (!fLock) {
        AfxOleUnlockApp();
        return S_OK;
    }
    return AfxOleTryLockApp() ? S_OK : CO_E_SERVER_STOPPING;
}
