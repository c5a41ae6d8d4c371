#include "tally_app.h"

#include "tally.h"

#include <ole_app.h>
#include <type_lib_registration.h>

CTallyApp theApp;

BOOL CTallyApp::InitInstance()
{
    const BOOL bRegister = RunRegServer() || !(RunEmbedded() || RunAutomated() || RunUnregServer());
    const BOOL bUnregister = RunUnregServer();
    if (bRegister || bUnregister) {
        m_nExitCode = bRegister != bUnregister && AfxOleInit() && UpdateRegistration(bRegister) ? 0 : 1;
        return FALSE;
    }
    if (!AfxOleInit())
        return FALSE;
    AfxOleSetUserCtrl(FALSE);  // the last object's release ends the program
    return COleObjectFactory::RegisterAll({&CTally::factory});
}

BOOL CTallyApp::UpdateRegistration(BOOL bRegister)
{
    BOOL bClasses = COleObjectFactory::UpdateRegistryAll(bRegister);
    BOOL bTypeLib = bRegister ? AfxOleRegisterTypeLib(AfxGetInstanceHandle(), LIBID_QDTALLY, 1, 0)
                              : AfxOleUnregisterTypeLib(AfxGetInstanceHandle(), LIBID_QDTALLY, 1, 0);
    return bClasses && bTypeLib;
}
