#include "ole_object_factory.h"

#include "mistakes.h"
#include "ole_app.h"
#include "reg_key.h"
#include "win_app.h"

#include <ole2.h>

#include <algorithm>
#include <mutex>
#include <new>

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

COleObjectFactory::COleObjectFactory(REFCLSID clsid, CRuntimeClass* pRuntimeClass,
                                     BOOL bMultiInstance, LPCSTR lpszProgID)
    : m_xClassFactory(this), m_clsid(clsid), m_pRuntimeClass(pRuntimeClass),
      m_bMultiInstance(bMultiInstance), m_lpszProgID(lpszProgID)
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

BOOL COleObjectFactory::UpdateRegistryAll(BOOL bRegister, EClassesScope scope)
{
    BOOL bResult = TRUE;
    for (COleObjectFactory* p = g_pFirstFactory; p != nullptr; p = p->m_pNextFactory)
        bResult = p->UpdateRegistry(bRegister, scope) && bResult;
    return bResult;
}

BOOL COleObjectFactory::IsRegisteredHereAll()
{
    for (COleObjectFactory* p = g_pFirstFactory; p != nullptr; p = p->m_pNextFactory)
        if (!p->IsRegisteredHere())
            return FALSE;
    return TRUE;
}

std::wstring COleObjectFactory::GetServerCommand()
{
    const std::wstring path = ServerPath();
    if (path.empty())
        return {};
    // Quoted, so that a path with spaces cannot be read as another program plus arguments.
    return L"\"" + path + L"\"";
}

BOOL COleObjectFactory::UpdateRegistry(BOOL bRegister, EClassesScope scope)
{
    if (m_lpszProgID == nullptr)
        return TRUE;
    const std::string progId = m_lpszProgID;
    const std::string clsid = AfxRegGuidString(m_clsid);
    const std::string clsidKey = "CLSID\\" + clsid;
    CRegKey root;
    if (CClassesRoot::OpenForWrite(scope, root, 0) != ERROR_SUCCESS)
        return FALSE;
    // The server's AppID is its class's ID: the key that dcomcnfg shows and tunes, found by COM from
    // the class (its AppID value) and from the program's file name.
    const std::string appIdKey = "AppID\\" + clsid;
    const std::string fileName = ServerFileName();
    if (fileName.empty())
        return FALSE;
    if (!bRegister) {
        // The class key lies in this build's registry view; the ProgID and the AppID keys are shared
        // by both: they go with the class's last registration, and otherwise lead to the one that
        // remains.
        if (!CRegKey::DeleteTree(root.Handle(), clsidKey))
            return FALSE;
        const REGSAM otherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
        if (CClassesRoot::Exists(scope, clsidKey, otherView))
            return SetKeyValue(root.Handle(), progId, progId) &&
                   SetKeyValue(root.Handle(), progId + "\\CLSID", clsid);
        return CRegKey::DeleteTree(root.Handle(), progId) && CRegKey::DeleteTree(root.Handle(), appIdKey) &&
               CRegKey::DeleteTree(root.Handle(), "AppID\\" + fileName);
    }
    const std::wstring command = GetServerCommand();
    if (command.empty())
        return FALSE;
    CRegKey localServer;
    return SetKeyValue(root.Handle(), progId, progId) &&
           SetKeyValue(root.Handle(), progId + "\\CLSID", clsid) &&
           SetKeyValue(root.Handle(), clsidKey, progId) &&
           SetKeyValue(root.Handle(), clsidKey, clsid, "AppID") &&
           SetKeyValue(root.Handle(), clsidKey + "\\ProgID", progId) &&
           SetKeyValue(root.Handle(), appIdKey, AfxGetAppName()) &&
           SetKeyValue(root.Handle(), "AppID\\" + fileName, clsid, "AppID") &&
           localServer.Create(root.Handle(), clsidKey + "\\LocalServer32") == ERROR_SUCCESS &&
           localServer.SetStringValue(nullptr, command) == ERROR_SUCCESS;
}

BOOL COleObjectFactory::IsRegisteredHere() const
{
    if (m_lpszProgID == nullptr)
        return TRUE;
    const std::string clsid = AfxRegGuidString(m_clsid);
    const std::wstring command = GetServerCommand();
    const std::wstring wideClsid(clsid.begin(), clsid.end());
    return !command.empty() &&
           lstrcmpiW(CClassesRoot::ReadEffective(std::string(m_lpszProgID) + "\\CLSID").c_str(),
                     wideClsid.c_str()) == 0 &&
           lstrcmpiW(CClassesRoot::ReadEffective("CLSID\\" + clsid, 0, "AppID").c_str(), wideClsid.c_str()) == 0 &&
           lstrcmpiW(CClassesRoot::ReadEffective("AppID\\" + ServerFileName(), 0, "AppID").c_str(),
                     wideClsid.c_str()) == 0 &&
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

STDMETHODIMP COleObjectFactory::XClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr)
        return CLASS_E_NOAGGREGATION;
    // Locked before the object exists, so that the server cannot end while it is being made; a
    // creation that reaches an ending server is refused, and COM starts a new server for it.
    if (!AfxOleTryLockApp())
        return CO_E_SERVER_STOPPING;
    CCmdTarget* pObject = nullptr;
    HRESULT hr = S_OK;
    try {
        pObject = m_pOwner->OnCreateObject();
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
