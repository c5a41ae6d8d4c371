#include "bare_mta_class.h"

#include "bare_class_factory.h"
#include "bench_names.h"

#include <objbase.h>

#include <cstring>
#include <string>

CBareMtaClass::CBareMtaClass()
    : m_hStop(CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_hReady(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    if (!m_hStop || !m_hReady)
        return;
    m_thread = std::thread([this] { Serve(); });
    WaitForSingleObject(m_hReady.Get(), INFINITE);
}

CBareMtaClass::~CBareMtaClass()
{
    if (!m_thread.joinable())
        return;
    SetEvent(m_hStop.Get());
    m_thread.join();
}

bool CBareMtaClass::ClassId(const char* text, CLSID* pClsid)
{
    std::wstring wide(text, text + std::strlen(text));
    return SUCCEEDED(CLSIDFromString(wide.c_str(), pClsid));
}

void CBareMtaClass::Serve()
{
    static CBareClassFactory s_factory(true);  // timed objects
    CLSID clsid;
    DWORD dwRegister = 0;
    bool init = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    m_bRegistered = init && ClassId(QDBENCH_BARE_MTA_CLSID, &clsid) &&
                    SUCCEEDED(CoRegisterClassObject(clsid, &s_factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                                    &dwRegister));
    SetEvent(m_hReady.Get());
    WaitForSingleObject(m_hStop.Get(), INFINITE);
    if (m_bRegistered)
        CoRevokeClassObject(dwRegister);
    if (init)
        CoUninitialize();
}
