#include "global_interface.h"

IGlobalInterfaceTable* CGlobalInterface::Table()
{
    // One table serves the whole process; it is held until the process ends.
    static IGlobalInterfaceTable* s_pTable = [] {
        IGlobalInterfaceTable* p = nullptr;
        if (FAILED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&p))))
            p = nullptr;
        return p;
    }();
    return s_pTable;
}

HRESULT CGlobalInterface::Register(IUnknown* pUnk, REFIID iid)
{
    Revoke();
    IGlobalInterfaceTable* pTable = Table();
    if (pTable == nullptr)
        return E_UNEXPECTED;
    HRESULT hr = pTable->RegisterInterfaceInGlobal(pUnk, iid, &m_dwCookie);
    if (FAILED(hr))
        m_dwCookie = 0;
    return hr;
}

HRESULT CGlobalInterface::Get(REFIID iid, void** ppv) const
{
    *ppv = nullptr;
    if (m_dwCookie == 0)
        return E_UNEXPECTED;
    return Table()->GetInterfaceFromGlobal(m_dwCookie, iid, ppv);
}

void CGlobalInterface::Revoke()
{
    if (m_dwCookie != 0)
        Table()->RevokeInterfaceFromGlobal(m_dwCookie);
    m_dwCookie = 0;
}
