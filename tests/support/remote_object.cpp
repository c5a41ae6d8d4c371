#include "remote_object.h"

#include "now_ms.h"

#include <string>

RemoteObject::RemoteObject(REFCLSID clsid) { Create(clsid); }

RemoteObject::RemoteObject(const char* progId)
{
    CLSID clsid = ClassOf(progId, &m_hrCreate);
    if (SUCCEEDED(m_hrCreate))
        Create(clsid);
}

RemoteObject::RemoteObject(IClassFactory* pFactory)
{
    m_hrCreate = pFactory ? pFactory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&m_pDisp))
                          : E_POINTER;
    if (FAILED(m_hrCreate))
        m_pDisp = nullptr;
}

RemoteObject::~RemoteObject() { Release(); }

void RemoteObject::Create(REFCLSID clsid)
{
    m_hrCreate = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&m_pDisp));
    if (FAILED(m_hrCreate))
        m_pDisp = nullptr;
}

CLSID RemoteObject::ClassOf(const char* progId, HRESULT* pHr)
{
    std::wstring wide;
    for (const char* p = progId; *p; ++p)
        wide += static_cast<wchar_t>(*p);
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(wide.c_str(), &clsid);
    if (pHr)
        *pHr = hr;
    return clsid;
}

HRESULT RemoteObject::Test(double* pMs)
{
    if (!m_pDisp)
        return E_POINTER;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    double start = NowMs();
    HRESULT hr = m_pDisp->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    if (pMs)
        *pMs = NowMs() - start;
    return hr;
}

HRESULT RemoteObject::Release()
{
    if (!m_pDisp)
        return S_FALSE;
    m_pDisp->Release();
    m_pDisp = nullptr;
    return S_OK;
}
