// One object of a local server, created over out-of-process COM in the constructor and released in
// the destructor (or by Release). The caller's thread must be in COM's multithreaded apartment.
#pragma once
#include <windows.h>
#include <oaidl.h>

class RemoteObject {
public:
    explicit RemoteObject(REFCLSID clsid);
    // As a client asks: by ProgID, to the object in hand.
    explicit RemoteObject(const char* progId);
    // Through a class factory the client holds: clients that create by the thousand from several
    // threads use this, since Wine's activation by class crashes a client there in its own code.
    explicit RemoteObject(IClassFactory* pFactory);
    // An object created some other way: takes over the reference.
    explicit RemoteObject(IDispatch* pDisp) : m_pDisp(pDisp), m_hrCreate(pDisp ? S_OK : E_POINTER) {}
    ~RemoteObject();
    RemoteObject(const RemoteObject&) = delete;
    RemoteObject& operator=(const RemoteObject&) = delete;

    // The class registered under progId; on failure a null GUID, and the failure in *pHr.
    static CLSID ClassOf(const char* progId, HRESULT* pHr = nullptr);

    HRESULT Created() const { return m_hrCreate; }
    IDispatch* Get() const { return m_pDisp; }
    // "Test" (DISPID 1), a method without arguments; *pMs receives the call's duration.
    HRESULT Test(double* pMs = nullptr);
    HRESULT Release();

private:
    void Create(REFCLSID clsid);

    IDispatch* m_pDisp = nullptr;
    HRESULT m_hrCreate = E_FAIL;
};
