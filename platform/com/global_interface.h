// CGlobalInterface: one interface pointer registered in COM's global interface table, so that any
// thread of the process can get a pointer to it that is right for its own apartment: the original
// pointer in the apartment that registered it, a proxy in any other. The entry is revoked in the
// destructor, which may run on any thread.
#pragma once
#include <windows.h>
#include <objidl.h>

class CGlobalInterface {
public:
    CGlobalInterface() = default;
    ~CGlobalInterface() { Revoke(); }
    CGlobalInterface(const CGlobalInterface&) = delete;
    CGlobalInterface& operator=(const CGlobalInterface&) = delete;

    // On a thread of the apartment that pUnk belongs to; iid is an interface pUnk answers.
    HRESULT Register(IUnknown* pUnk, REFIID iid);
    // The interface, with a reference, for the calling thread's apartment.
    HRESULT Get(REFIID iid, void** ppv) const;
    void Revoke();
    bool IsRegistered() const { return m_dwCookie != 0; }

private:
    static IGlobalInterfaceTable* Table();

    DWORD m_dwCookie = 0;
};
