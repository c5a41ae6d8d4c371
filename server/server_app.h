// QDSERVER's application: initialises OLE, offers its automation classes to COM, writes their
// registration and its type library's where they do not already lead to this program, and runs the
// main dialog until the user closes it. Started with /RegServer or /UnregServer (the machine's
// classes) or /RegServerPerUser or /UnregServerPerUser (the current user's), it only writes or
// removes that registration and ends, without a window; its exit code is then 0 on success and 1
// on failure.
#pragma once
#include "afx.h"
#include "classes_root.h"

class CServerApp : public CWinApp {
public:
    CServerApp();
    BOOL InitInstance() override;
    int ExitInstance() override;

    // On the main thread when the server ends (its dialog closed, or the session ending): no new
    // objects, running calls stop at their next step, every object is disconnected from its
    // clients, and the server waits a bounded time for the objects to go and their own threads to
    // leave them. A thread still held then (a client that does not return from an event) ends the
    // process at once rather than run its static destructors under that thread. Safe to repeat.
    static void EndServing();
    static constexpr DWORD kEndWaitMs = 5000;

protected:
    // The classes' entries and the type library's, written into or removed from one scope together.
    static BOOL UpdateRegistration(BOOL bRegister, EClassesScope scope);
    // At start: nothing where COM already finds this program; otherwise the machine's classes, and
    // only where the machine refuses, the user's.
    static BOOL RegisterAtStart();

    int m_nExitCode = 0;

    DECLARE_MESSAGE_MAP()
};

extern CServerApp theApp;
