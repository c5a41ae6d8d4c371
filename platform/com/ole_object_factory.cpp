#include "ole_object_factory.h"

#include "mistakes.h"
#include "ole_app.h"
#include "reg_key.h"

#include <ole2.h>

#include <algorithm>
#include <mutex>
#include <new>

IMPLEMENT_DYNAMIC(COleObjectFactory, CCmdTarget)

namespace {

COleObjectFactory* g_pFirstFactory = nullptr;  // written during static initialization

BOOL SetKeyValue(HKEY hRoot, const std::string& subKey, const std::string& value)
{
    CRegKey key;
    return key.Create(hRoot, subKey) == ERROR_SUCCESS && key.SetStringValue(nullptr, value) == ERROR_SUCCESS;
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
    // Through the wide API, whole or not at all: a path outside the ANSI code page, or one cut
    // short, names no program that COM could start.
    std::wstring path(32768, L'\0');
    DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size())
        return {};
    path.resize(n);
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
    if (!bRegister) {
        // The class key lies in this build's registry view, the ProgID is shared by both: it goes
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
           SetKeyValue(root.Handle(), clsidKey + "\\ProgID", progId) &&
           localServer.Create(root.Handle(), clsidKey + "\\LocalServer32") == ERROR_SUCCESS &&
           localServer.SetStringValue(nullptr, command) == ERROR_SUCCESS;
}

BOOL COleObjectFactory::IsRegisteredHere() const
{
    if (m_lpszProgID == nullptr)
        return TRUE;
    const std::string clsid = AfxRegGuidString(m_clsid);
    const std::wstring command = GetServerCommand();
    return !command.empty() &&
           lstrcmpiW(CClassesRoot::ReadEffective(std::string(m_lpszProgID) + "\\CLSID").c_str(),
                     std::wstring(clsid.begin(), clsid.end()).c_str()) == 0 &&
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
    AfxOleLockApp();
    if (AfxOleIsServerStopping()) {
        AfxOleUnlockApp();
        return CO_E_SERVER_STOPPING;
    }
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
    if (fLock)
        AfxOleLockApp();
    else
        AfxOleUnlockApp();
    return S_OK;
}
