// COleServerApp: the application of a local automation server, whole. Declare one global object
// with the factories it offers and its type library (TYPELIB resource 1):
//
//     COleServerApp theApp({&CMyClass::factory}, LIBID_MYLIB, 1, 0);
//
// An empty list does not compile. The classes are grouped under one AppID: the first class's ID,
// or the one given after the version.
// Every start first checks each class's dispatch map against its type library (without creating
// an object) and looks for class factories that the list leaves out; each finding goes to standard
// error and the debugger output. Then:
// - /RegServer, /UnregServer (the machine's classes), /RegServerPerUser, /UnregServerPerUser (the
//   current user's) write or remove the classes' and the library's registration and end, without a
//   window: exit code 0 on success, 1 on failure, 1 for two of them at once. Registering refuses
//   (exit code 1, nothing written) where a check found anything.
// - Started by hand: exit code 1 where a check found anything; otherwise the registration is written
//   where COM does not already find this program (the machine's classes; the user's only where the
//   machine refuses), exit code 0.
// - Started by COM: the classes are offered; a class that disagrees with its library creates
//   nothing (CO_E_CLASS_CREATE_FAILED), the others serve. The server runs until its last object and
//   its last LockServer are gone; with no class that COM accepts, it ends at once with exit code 1.
// A server with a window of its own (the user ends it) derives, overrides InitInstance, and uses
// the steps below in its own order.
#pragma once
#include "classes_root.h"
#include "win_app.h"

#include <cstddef>
#include <type_traits>
#include <vector>

class COleObjectFactory;

class COleServerApp : public CWinApp {
public:
    template <size_t N>
    COleServerApp(COleObjectFactory* const (&factories)[N], REFGUID libid, WORD wVerMajor, WORD wVerMinor,
                  const GUID* pAppId = nullptr)
        : COleServerApp(std::vector<COleObjectFactory*>(factories, factories + N), libid, wVerMajor, wVerMinor,
                        pAppId)
    {
    }
    // What an empty list, {}, becomes: a server that offers nothing is a mistake of the build.
    struct CNoFactory {};
    template <class T = CNoFactory>
    COleServerApp(CNoFactory, REFGUID libid, WORD wVerMajor, WORD wVerMinor, const GUID* pAppId = nullptr)
        : COleServerApp(std::vector<COleObjectFactory*>(), libid, wVerMajor, wVerMinor, pAppId)
    {
        static_assert(!std::is_same_v<T, T>, "COleServerApp names no class factory: list the classes it offers, "
                                             "COleServerApp theApp({&CMyClass::factory}, LIBID_MYLIB, 1, 0)");
    }

    BOOL InitInstance() override;
    int ExitInstance() override { return m_nExitCode; }

    // At start: nothing where COM already finds this program; otherwise the machine's classes, and
    // only where the machine refuses, the user's.
    BOOL RegisterAtStart();
    // The classes' entries and the type library's, written into or removed from one scope together.
    // Registering refuses where CheckClasses found anything.
    BOOL UpdateRegistration(BOOL bRegister, EClassesScope scope);
    // Each class's dispatch map against its library, and the factories the list leaves out: TRUE when
    // all is well. Each finding is reported once, on standard error and the debugger output, and a
    // class that disagrees with its library is refused (it creates nothing).
    BOOL CheckClasses();

protected:
    // Where the command line holds a registration switch, carries it out, sets the exit code and
    // returns TRUE: the program then ends. FALSE for any other command line.
    BOOL RunRegistrationSwitch();
    // Called once OLE is initialised, before any class is offered to COM: process-wide COM settings
    // go here. FALSE ends the program with exit code 1. By default it sets the process's COM
    // security (CComSecurity::InitializeProcess): a server never serves with the machine's defaults.
    virtual BOOL OnOleInitialized();
    // Checks the classes (CheckClasses) and offers the factories to COM. FALSE when COM refused any
    // of them.
    BOOL RegisterFactories();

    int m_nExitCode = 0;

private:
    COleServerApp(std::vector<COleObjectFactory*> factories, REFGUID libid, WORD wVerMajor, WORD wVerMinor,
                  const GUID* pAppId);
    const GUID& AppId() const;

    std::vector<COleObjectFactory*> m_factories;
    const GUID& m_libid;  // a constant of the program: referred to, not copied at static initialisation
    WORD m_wVerMajor;
    WORD m_wVerMinor;
    const GUID* m_pAppId;  // nullptr: the first class's ID
    enum class ECheck { NotYet, Passed, Failed } m_check = ECheck::NotYet;
};
