// CComSecurity: the process's own COM security, set once by a server right after OLE is initialised
// and before it offers any class, so that the machine's defaults (which an administrator may widen
// for another program) never apply to it. Calls are accepted from the user the process runs as and
// from SYSTEM, at the process's integrity level or above, with packet privacy; outgoing calls let a
// callee identify the server but not impersonate it; and only the system's unmarshalers unmarshal
// the object references that clients hand in (sinks, callbacks: standard marshaling).
//
// Wine's CoInitializeSecurity is a stub, so tests put a recorder in its place through SetForTest.
#pragma once
#include <objbase.h>

#include <string>

class CComSecurity {
public:
    static constexpr DWORD kAuthnLevel = RPC_C_AUTHN_LEVEL_PKT_PRIVACY;
    static constexpr DWORD kImpLevel = RPC_C_IMP_LEVEL_IDENTIFY;
    static constexpr DWORD kCapabilities = EOAC_DISABLE_AAA | EOAC_NO_CUSTOM_MARSHAL;

    // Builds the descriptor and sets the process's security. A failure is the caller's to report:
    // a server must not go on serving with the machine's defaults.
    static HRESULT InitializeProcess();

    // The access descriptor in SDDL: owner and group the process's user, execute rights for that
    // user and SYSTEM, a mandatory label at the process's integrity level with no-execute-up.
    // Empty when the process's token cannot be read.
    static std::wstring AccessSddl();

    using PfnCoInitializeSecurity = HRESULT(WINAPI*)(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE*,
                                                     void*, DWORD, DWORD, void*, DWORD, void*);
    // Tests: pfn is called in CoInitializeSecurity's place; nullptr restores it.
    static void SetForTest(PfnCoInitializeSecurity pfn);
};
