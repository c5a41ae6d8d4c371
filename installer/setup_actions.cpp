// Custom actions of the Windows Installer packages (installer/qdemo.wxs). Windows Installer loads
// this DLL from the package's Binary table; nothing of it is installed.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "running_marker.h"

// Runs before an uninstallation, an upgrade or a reinstallation changes anything. A running
// QDSERVER of this package's architecture, in any session and of any user, is someone's:
// replacing or removing it under them would end the calls of every client it serves. So nothing is changed. With a user interface, Windows Installer shows the
// message and the user can close QDServer and try again; unattended, it only logs it and msiexec
// ends with ERROR_INSTALL_FAILURE (1603).
extern "C" UINT __stdcall CheckServerClosed(MSIHANDLE hInstall)
{
    if (!CRunningMarker::IsHeld())
        return ERROR_SUCCESS;
    PMSIHANDLE hRecord = MsiCreateRecord(1);
    MsiRecordSetStringA(hRecord, 0,
        "QDServer is running. Close QDServer and try again.");
    MsiProcessMessage(hInstall, INSTALLMESSAGE(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONWARNING), hRecord);
    return ERROR_INSTALL_FAILURE;
}
