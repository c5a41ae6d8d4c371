// Makes CBareDispatch objects for COM, timed or not; lives as long as the server's registration.
#pragma once
#include <windows.h>
#include <unknwn.h>

class CBareClassFactory : public IClassFactory {
public:
    explicit CBareClassFactory(bool bTimedObjects = false) : m_bTimedObjects(bTimedObjects) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    bool m_bTimedObjects;
};
