// COleObjectFactory: the class factory of one automation class. Factories are global objects; each
// adds itself to the module's list when it is constructed. RegisterAll hands every factory to COM,
// UpdateRegistryAll writes the classes' registry entries (ProgID, class ID, local-server path) into
// the machine's or the user's classes, or with FALSE removes them from there.
#pragma once
#include "classes_root.h"
#include "cmd_target.h"

#include <string>

class COleObjectFactory : public CCmdTarget {
    DECLARE_DYNAMIC(COleObjectFactory)
public:
    // bMultiInstance TRUE: a new server process for every object; FALSE: one process serves all.
    COleObjectFactory(REFCLSID clsid, CRuntimeClass* pRuntimeClass, BOOL bMultiInstance,
                      LPCSTR lpszProgID);
    ~COleObjectFactory() override;

    static BOOL RegisterAll();
    static void RevokeAll();
    static BOOL UpdateRegistryAll(BOOL bRegister = TRUE, EClassesScope scope = EClassesScope::Machine);
    // Whether what COM reads already leads every class to this program.
    static BOOL IsRegisteredHereAll();

    BOOL Register();
    void Revoke();
    BOOL IsRegistered() const { return m_dwRegister != 0; }
    // TRUE: writes the entries into the scope's classes key. FALSE: removes them from it; entries
    // already gone count as removed, and the ProgID, which the two registry views share, stays
    // while the class is still registered in the other view. FALSE where the key refuses the
    // write, or where this program's path cannot be read whole.
    BOOL UpdateRegistry(BOOL bRegister, EClassesScope scope);
    // Whether the ProgID and the class, as COM reads them, lead to this program.
    BOOL IsRegisteredHere() const;

    // Creates a new object of the class through its runtime class; the object holds one reference.
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

    // The local-server command that the registry names: the quoted path of this program. Empty
    // when the path cannot be read whole.
    static std::wstring GetServerCommand();

protected:
    void OnFinalRelease() override {}  // a global object: its lifetime is the program's

private:
    DWORD m_dwRegister = 0;
    COleObjectFactory* m_pNextFactory = nullptr;
};
