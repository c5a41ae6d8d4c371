// COleObjectFactory: the class factory of one automation class. Factories are global objects (a
// class's static member, DECLARE_OLECREATE); each adds itself to the module's list when it is
// constructed. RegisterAll hands the factories that the application names to COM,
// UpdateRegistryAll writes the classes' registry entries (ProgID, class ID, local-server path,
// the server's one AppID) into the machine's or the user's classes, or with FALSE removes them
// from there. A factory made by IMPLEMENT_OLECREATE knows its class's dispatch map and type
// library without an object, so that the class can be checked before anything is served.
#pragma once
#include "classes_root.h"
#include "cmd_target.h"

#include <string>
#include <vector>

class COleObjectFactory : public CCmdTarget {
    DECLARE_DYNAMIC(COleObjectFactory)
public:
    // The class's static GetThisDispatchMap and GetThisTypeLibCache (IMPLEMENT_OLECREATE's).
    using PFN_GETDISPATCHMAP = const AFX_DISPMAP* (*)();
    using PFN_GETTYPELIBCACHE = CTypeLibCache* (*)();
    // bMultiInstance TRUE: a new server process for every object; FALSE: one process serves all.
    COleObjectFactory(REFCLSID clsid, CRuntimeClass* pRuntimeClass, BOOL bMultiInstance,
                      LPCSTR lpszProgID, PFN_GETDISPATCHMAP pfnGetDispatchMap = nullptr,
                      PFN_GETTYPELIBCACHE pfnGetTypeLibCache = nullptr);
    ~COleObjectFactory() override;

    static BOOL RegisterAll();
    // On the thread that makes an object for a client: the interface that the client asked for,
    // while the object is constructed (IID_IDispatch when no class factory makes it).
    static const IID& GetCreationIID();
    // Registers the factories that the application names (DECLARE_OLECREATE's factory members).
    // Naming them links their classes into the program whatever library they come from; a factory
    // that exists but is not named is announced as a mistake.
    static BOOL RegisterAll(const std::vector<COleObjectFactory*>& factories);
    // The factories that exist in the program, in no particular order.
    static COleObjectFactory* GetFirstFactory();
    COleObjectFactory* GetNextFactory() const { return m_pNextFactory; }
    static void RevokeAll();
    // The factories' classes, grouped under one AppID (Windows groups one program's objects under
    // one): written, or removed with the AppID's keys once none of the classes is left in either
    // registry view. Without a list, every factory of the program, under the first one's class ID.
    static BOOL UpdateRegistryAll(const std::vector<COleObjectFactory*>& factories, REFGUID appid,
                                  BOOL bRegister, EClassesScope scope);
    static BOOL UpdateRegistryAll(BOOL bRegister = TRUE, EClassesScope scope = EClassesScope::Machine);
    // Whether what COM reads already leads every class to this program, under the AppID.
    static BOOL IsRegisteredHereAll(const std::vector<COleObjectFactory*>& factories, REFGUID appid);
    // The factories of the program that the list does not name.
    static std::vector<COleObjectFactory*> FindUnnamed(const std::vector<COleObjectFactory*>& factories);

    BOOL Register();
    void Revoke();
    BOOL IsRegistered() const { return m_dwRegister != 0; }
    // TRUE: writes the class's entries into the scope's classes key, naming the AppID. FALSE:
    // removes them from it; entries already gone count as removed, and the ProgID, which the two
    // registry views share, stays while the class is still registered in the other view. FALSE
    // where the key refuses the write, or where this program's path cannot be read whole. The
    // AppID's own keys are UpdateRegistryAll's.
    BOOL UpdateRegistry(BOOL bRegister, EClassesScope scope, REFGUID appid);
    // Whether the ProgID and the class, as COM reads them, lead to this program under the AppID.
    BOOL IsRegisteredHere(REFGUID appid) const;

    // The class's dispatch map against the [default] dispinterface of its coclass in its type
    // library, without an object: S_OK when they agree or the class has no library; S_FALSE with
    // one line a disagreement in *pProblems (a class with a library but no coclass there is one).
    HRESULT CheckDispatchMap(std::string* pProblems) const;
    // A refused class stays offered to COM, so that a client hears at once, but creates nothing:
    // CreateInstance answers CO_E_CLASS_CREATE_FAILED.
    void Refuse() { m_bRefused = TRUE; }
    BOOL IsRefused() const { return m_bRefused; }

    // Creates a new object of the class through its runtime class; the object holds one reference.
    // COM's creations add an application lock that the object holds until it is destroyed.
    virtual CCmdTarget* OnCreateObject();

    // The class factory that COM calls. It lives as long as the factory object.
    class XClassFactory final : public IClassFactory {
    public:
        explicit XClassFactory(COleObjectFactory* pOwner) : m_pOwner(pOwner) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;
        STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
        STDMETHODIMP LockServer(BOOL fLock) override;

    private:
        COleObjectFactory* m_pOwner;
    } m_xClassFactory;

    CLSID m_clsid;
    CRuntimeClass* m_pRuntimeClass;
    BOOL m_bMultiInstance;
    LPCSTR m_lpszProgID;
    PFN_GETDISPATCHMAP m_pfnGetDispatchMap;
    PFN_GETTYPELIBCACHE m_pfnGetTypeLibCache;

    // The local-server command that the registry names: the quoted path of this program. Empty
    // when the path cannot be read whole.
    static std::wstring GetServerCommand();

protected:
    void OnFinalRelease() override {}  // a global object: its lifetime is the program's

private:
    DWORD m_dwRegister = 0;
    COleObjectFactory* m_pNextFactory = nullptr;
    BOOL m_bRefused = FALSE;
};

// The class factory as a static member of its class: DECLARE_OLECREATE(theClass) in the class,
// IMPLEMENT_OLECREATE(theClass, "PROG.ID", clsid) in its source file. One running server creates
// every object (multiple instances FALSE). The definition is in the class's scope, so it reaches
// the class's protected static dispatch map and type library.
#define DECLARE_OLECREATE(theClass) \
public:                             \
    static COleObjectFactory factory;

#define IMPLEMENT_OLECREATE(theClass, lpszProgID, clsid)                                       \
    COleObjectFactory theClass::factory(clsid, RUNTIME_CLASS(theClass), FALSE, lpszProgID,     \
                                        &theClass::GetThisDispatchMap, &theClass::GetThisTypeLibCache);
