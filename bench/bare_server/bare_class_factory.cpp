#include "bare_class_factory.h"

#include "bare_dispatch.h"

#include <new>

STDMETHODIMP CBareClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

// A static object: the server's message loop, not references, decides how long it lives.
STDMETHODIMP_(ULONG) CBareClassFactory::AddRef() { return 2; }
STDMETHODIMP_(ULONG) CBareClassFactory::Release() { return 1; }

STDMETHODIMP CBareClassFactory::CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv)
{
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (pOuter != nullptr)
        return CLASS_E_NOAGGREGATION;
    auto* pObject = new (std::nothrow) CBareDispatch(m_bTimedObjects);
    if (pObject == nullptr)
        return E_OUTOFMEMORY;
    HRESULT hr = pObject->QueryInterface(riid, ppv);
    pObject->Release();
    return hr;
}

// The server stays up until its window is closed, so locks change nothing.
STDMETHODIMP CBareClassFactory::LockServer(BOOL) { return S_OK; }
