#include "ole_server_app.h"

#include "com_security.h"
#include "ole_app.h"
#include "ole_object_factory.h"
#include "reg_key.h"
#include "type_lib_registration.h"

#include <algorithm>
#include <string>
#include <utility>

namespace {

// To standard error, for the installer or the shell that ran the switch, and to the debugger.
void ReportError(const std::string& text)
{
    const std::string line = AfxGetAppName() + std::string(": ") + text + "\n";
    OutputDebugStringA(line.c_str());
    HANDLE hErr = GetStdHandle(STD_ERROR_HANDLE);
    DWORD nWritten = 0;
    if (hErr != nullptr && hErr != INVALID_HANDLE_VALUE)
        WriteFile(hErr, line.data(), static_cast<DWORD>(line.size()), &nWritten, nullptr);
}

// A server that COM started for classes it refuses serves nothing. Its client hears the refusal
// from its creation, which also ends the server; when no creation comes (the client gave up
// first), the server ends after this grace instead of waiting for ever.
const UINT kRefusedGraceMs = 5000;

void CALLBACK EndUnserved(HWND, UINT, UINT_PTR nTimer, DWORD)
{
    KillTimer(nullptr, nTimer);
    AfxOleEndServing();
    PostQuitMessage(0);  // from the loop's own dispatch, outside any COM call
}

}  // namespace

COleServerApp::COleServerApp(std::vector<COleObjectFactory*> factories, REFGUID libid, WORD wVerMajor,
                             WORD wVerMinor, const GUID* pAppId)
    : m_factories(std::move(factories)), m_libid(libid), m_wVerMajor(wVerMajor), m_wVerMinor(wVerMinor),
      m_pAppId(pAppId)
{
}

const GUID& COleServerApp::AppId() const { return m_pAppId != nullptr ? *m_pAppId : m_factories.front()->m_clsid; }

BOOL COleServerApp::CheckClasses()
{
    if (m_check != ECheck::NotYet)
        return m_check == ECheck::Passed;
    BOOL bPassed = TRUE;
    // Early-bound clients call by the library's DISPIDs and types, late-bound ones by the map's: a
    // class served with the two disagreeing works by name and fails in silence by number. Checked
    // from the class's static map and its library, so no object is made (and none left behind).
    for (COleObjectFactory* pFactory : m_factories) {
        std::string problems;
        if (pFactory->CheckDispatchMap(&problems) == S_OK)
            continue;
        bPassed = FALSE;
        pFactory->Refuse();
        ReportError(std::string(pFactory->m_lpszProgID ? pFactory->m_lpszProgID : "?") +
                    ": the dispatch map disagrees with the type library, so the class is neither registered nor "
                    "served:\n" + problems);
    }
    // A class factory that the list leaves out would be registered by nobody and never served.
    for (COleObjectFactory* pFactory : COleObjectFactory::FindUnnamed(m_factories)) {
        bPassed = FALSE;
        const char* name = pFactory->m_pRuntimeClass ? pFactory->m_pRuntimeClass->m_lpszClassName : "CMyClass";
        ReportError(std::string(pFactory->m_lpszProgID ? pFactory->m_lpszProgID : "?") +
                    ": the class factory exists, but the application does not name it: add &" + name +
                    "::factory to COleServerApp's list");
    }
    m_check = bPassed ? ECheck::Passed : ECheck::Failed;
    return bPassed;
}

BOOL COleServerApp::InitInstance()
{
    if (RunRegistrationSwitch())
        return FALSE;
    m_nExitCode = 1;
    if (!AfxOleInit() || !OnOleInitialized())
        return FALSE;
    if (!RunEmbedded() && !RunAutomated()) {
        // Started by hand: checked, registered, and nothing to serve.
        m_nExitCode = CheckClasses() && RegisterAtStart() ? 0 : 1;
        return FALSE;
    }
    // Without a window the user has no say: the last object's release ends the program.
    AfxOleSetUserCtrl(FALSE);
    if (!RegisterFactories()) {
        // COM would wait for a class that never comes; the client hears at once instead.
        ReportError("started by COM, but no class could be offered");
        return FALSE;
    }
    RegisterAtStart();
    m_nExitCode = 0;
    if (std::all_of(m_factories.begin(), m_factories.end(), [](const COleObjectFactory* p) { return p->IsRefused(); }))
        SetTimer(nullptr, 0, kRefusedGraceMs, &EndUnserved);
    return TRUE;
}

BOOL COleServerApp::OnOleInitialized()
{
    if (SUCCEEDED(CComSecurity::InitializeProcess()))
        return TRUE;
    ReportError("COM security could not be set up, so the server does not serve");
    return FALSE;
}

BOOL COleServerApp::RunRegistrationSwitch()
{
    // Installers run these unattended: no window, no message box, only the exit code. Asked for
    // more than one at once, the server does none.
    struct Switch {
        const char* name;
        BOOL bRegister;
        EClassesScope scope;
    };
    static const Switch kSwitches[] = {{"RegServer", TRUE, EClassesScope::Machine},
                                       {"UnregServer", FALSE, EClassesScope::Machine},
                                       {"RegServerPerUser", TRUE, EClassesScope::User},
                                       {"UnregServerPerUser", FALSE, EClassesScope::User}};
    const Switch* pSwitch = nullptr;
    int nSwitches = 0;
    for (const Switch& s : kSwitches) {
        if (HasSwitch(s.name)) {
            pSwitch = &s;
            ++nSwitches;
        }
    }
    if (nSwitches == 0)
        return FALSE;
    m_nExitCode = nSwitches == 1 && AfxOleInit() && UpdateRegistration(pSwitch->bRegister, pSwitch->scope) ? 0 : 1;
    return TRUE;
}

BOOL COleServerApp::RegisterFactories()
{
    CheckClasses();  // refuses the classes that disagree with their library
    return !m_factories.empty() && COleObjectFactory::RegisterAll(m_factories);
}

BOOL COleServerApp::UpdateRegistration(BOOL bRegister, EClassesScope scope)
{
    if (bRegister && !CheckClasses())
        return FALSE;
    // Both parts even when the first fails: as much as can be written, or removed, is.
    BOOL bClasses = COleObjectFactory::UpdateRegistryAll(m_factories, AppId(), bRegister, scope);
    BOOL bTypeLib = bRegister ? AfxOleRegisterTypeLib(AfxGetInstanceHandle(), m_libid, m_wVerMajor, m_wVerMinor, scope)
                              : AfxOleUnregisterTypeLib(AfxGetInstanceHandle(), m_libid, m_wVerMajor, m_wVerMinor, scope);
    return bClasses && bTypeLib;
}

BOOL COleServerApp::RegisterAtStart()
{
    if (COleObjectFactory::IsRegisteredHereAll(m_factories, AppId()) &&
        AfxOleIsTypeLibRegisteredHere(AfxGetInstanceHandle(), m_libid, m_wVerMajor, m_wVerMinor))
        return TRUE;
    // Asked before anything is written, so that a refusal leaves no half registration behind.
    CRegKey machine;
    if (CClassesRoot::OpenForWrite(EClassesScope::Machine, machine) != ERROR_ACCESS_DENIED)
        return UpdateRegistration(TRUE, EClassesScope::Machine);
    return UpdateRegistration(TRUE, EClassesScope::User);
}
