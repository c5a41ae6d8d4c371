// The bare server's class of the multithreaded apartment, offered from a thread of its own for as
// long as this object lives. Wine's RPC runs each call to an object of the apartment on a thread of
// its pool: every running call has a thread, with no apartment window or message loop in the way.
#pragma once
#include <unique_handle.h>

#include <windows.h>

#include <thread>

class CBareMtaClass {
public:
    CBareMtaClass();  // returns once the class is offered, or could not be
    ~CBareMtaClass();
    CBareMtaClass(const CBareMtaClass&) = delete;
    CBareMtaClass& operator=(const CBareMtaClass&) = delete;

    bool Registered() const { return m_bRegistered; }
    static bool ClassId(const char* text, CLSID* pClsid);

private:
    void Serve();

    CUniqueHandle m_hStop;
    CUniqueHandle m_hReady;
    bool m_bRegistered = false;
    std::thread m_thread;
};
