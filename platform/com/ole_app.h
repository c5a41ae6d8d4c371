// OLE for the application: initialisation of the main thread, and the count of application locks
// that live objects and clients hold.
#pragma once
#include <windows.h>

// Initialises OLE for the calling (main) thread. FALSE when OLE cannot be initialised.
BOOL AfxOleInit();
// Revokes the class factories and uninitialises OLE, when AfxOleInit succeeded on this thread.
void AfxOleTerm();

void AfxOleLockApp();
void AfxOleUnlockApp();

// Whether the user controls the program's lifetime (the default). A server that COM started for
// its objects sets FALSE: the last unlock then ends the message loop of the thread that ran
// AfxOleInit, and the program with it.
void AfxOleSetUserCtrl(BOOL bUserCtrl);
BOOL AfxOleGetUserCtrl();
