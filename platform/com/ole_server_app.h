// COleServerApp: the application of a local automation server, whole. Declare one global object
// with the factories it offers and its type library (TYPELIB resource 1):
//
//     COleServerApp theApp({&CMyClass::factory}, LIBID_MYLIB, 1, 0);
//
// Its start-up:
// - /RegServer, /UnregServer (the machine's classes), /RegServerPerUser, /UnregServerPerUser (the
//   current user's) write or remove the classes' and the library's registration and end, without a
//   window: exit code 0 on success, 1 on failure, 1 for two of them at once. A class whose dispatch
//   map disagrees with its library is not registered: exit code 1, each disagreement on standard
//   error and the debugger output.
// - Otherwise OLE is initialised, the classes are offered to COM, and their registration written
//   where COM does not already find this program (the machine's classes; the user's only where the
//   machine refuses). A server without a window then runs until its last object and its last
//   LockServer are gone; started by COM with no class to offer, it ends at once with exit code 1.
// A server with a window of its own (the user ends it) derives, overrides InitInstance, and uses
// the steps below in its own order.
#pragma once
#include "classes_root.h"
#include "win_app.h"

#include <initializer_list>
#include <vector>

class COleObjectFactory;

class COleServerApp : public CWinApp {
public:
    COleServerApp(std::initializer_list<COleObjectFactory*> factories, REFGUID libid, WORD wVerMajor,
                  WORD wVerMinor);

    BOOL InitInstance() override;
    int ExitInstance() override { return m_nExitCode; }

    // At start: nothing where COM already finds this program; otherwise the machine's classes, and
    // only where the machine refuses, the user's.
    BOOL RegisterAtStart();
    // The classes' entries and the type library's, written into or removed from one scope together.
    // Registering refuses a class whose dispatch map disagrees with the library.
    BOOL UpdateRegistration(BOOL bRegister, EClassesScope scope);

protected:
    // Where the command line holds a registration switch, carries it out, sets the exit code and
    // returns TRUE: the program then ends. FALSE for any other command line.
    BOOL RunRegistrationSwitch();
    // Called once OLE is initialised, before any class is offered to COM: process-wide COM settings
    // go here. FALSE ends the program with exit code 1. By default it sets the process's COM
    // security (CComSecurity::InitializeProcess): a server never serves with the machine's defaults.
    virtual BOOL OnOleInitialized();
    // Offers the factories to COM. FALSE when COM refused any of them.
    BOOL RegisterFactories();

    int m_nExitCode = 0;

private:
    std::vector<COleObjectFactory*> m_factories;
    const GUID& m_libid;  // a constant of the program: referred to, not copied at static initialisation
    WORD m_wVerMajor;
    WORD m_wVerMinor;
};
