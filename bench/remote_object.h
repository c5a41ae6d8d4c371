// One object of a local server, created over out-of-process COM in the constructor and released in
// the destructor (or by Release). The caller's thread must be in COM's multithreaded apartment.
#pragma once
#include <windows.h>
#include <oaidl.h>

class RemoteObject {
public:
    explicit RemoteObject(REFCLSID clsid);
    ~RemoteObject();
    RemoteObject(const RemoteObject&) = delete;
    RemoteObject& operator=(const RemoteObject&) = delete;

    // The class registered under progId; on failure a null GUID, and the failure in *pHr.
    static CLSID ClassOf(const char* progId, HRESULT* pHr = nullptr);

    HRESULT Created() const { return m_hrCreate; }
    // A call that does no work on the server: the cost of the round trip alone.
    HRESULT CheapCall();
    // "Test" (DISPID 1), a method without arguments.
    HRESULT Test();
    HRESULT Release();

private:
    IDispatch* m_pDisp = nullptr;
    HRESULT m_hrCreate = E_FAIL;
};
