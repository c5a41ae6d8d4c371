#include "counter_app.h"

#include "counter.h"

#include <com_security.h>
#include <ole_app.h>
#include <type_lib_registration.h>

CCounterApp theApp;

BOOL CCounterApp::InitInstance()
{
    const BOOL bRegister = RunRegServer() || !(RunEmbedded() || RunAutomated() || RunUnregServer());
    const BOOL bUnregister = RunUnregServer();
    if (bRegister || bUnregister) {
        m_nExitCode = bRegister != bUnregister && AfxOleInit() && UpdateRegistration(bRegister) ? 0 : 1;
        return FALSE;
    }
    if (!AfxOleInit())
        return FALSE;
    if (FAILED(CComSecurity::InitializeProcess())) {  // before any class is offered
        m_nExitCode = 1;
        return FALSE;
    }
    AfxOleSetUserCtrl(FALSE);  // the last object's release ends the program
    // Naming the factory links the class in, from whatever library it comes.
    return COleObjectFactory::RegisterAll({&CCounter::factory});
}

BOOL CCounterApp::UpdateRegistration(BOOL bRegister)
{
    BOOL bClasses = COleObjectFactory::UpdateRegistryAll(bRegister);
    BOOL bTypeLib = bRegister ? AfxOleRegisterTypeLib(AfxGetInstanceHandle(), LIBID_QDSAMPLE, 1, 0)
                              : AfxOleUnregisterTypeLib(AfxGetInstanceHandle(), LIBID_QDSAMPLE, 1, 0);
    return bClasses && bTypeLib;
}
