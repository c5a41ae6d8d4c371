// OLE for the application: initialisation of the main thread, and the application locks that live
// objects and clients hold.
#pragma once
#include <windows.h>

// Initialises OLE for the calling (main) thread. FALSE when OLE cannot be initialised.
BOOL AfxOleInit();
// Revokes the class factories and uninitialises OLE, when AfxOleInit succeeded on this thread.
void AfxOleTerm();

// A lock keeps the server running. Each object that a class factory creates holds one for its life,
// and each LockServer(TRUE) one until its LockServer(FALSE); a class may take more.
void AfxOleLockApp();
void AfxOleUnlockApp();
// A creation's lock: FALSE, and no lock taken, once the server is ending. "The last lock went, so
// the server ends" and "a creation locks; does the server end?" are one decision, so no creation
// can slip in between the last release and the end.
BOOL AfxOleTryLockApp();
// A server whose user ends it (its window closed, the session ending): from now on creations are
// refused with CO_E_SERVER_STOPPING, also through a class factory a client already holds; then
// every class is revoked. Safe to repeat.
void AfxOleEndServing();
// The named point, right after the server's last lock went and before the server counts as ending,
// where a test can hold that thread (interleaving_points.h).
constexpr const char* kPointLastLockGone = "ole_app.last_lock_gone";
// The named point after AfxOleEndServing has revoked the classes.
constexpr const char* kPointClassesRevoked = "ole_app.classes_revoked";
// An object's lock ends in two steps: its last release gives the lock back (so a server that ends
// withdraws its classes before that release returns to the client), and the server ends only once
// the object has been destroyed as well.
void AfxOleObjectEnding();
void AfxOleObjectEnded();

// Whether the user controls the program's lifetime (the default): a server with a window, which
// stays while the window is open. A server that COM starts for its objects sets FALSE before it
// offers its classes; its locks then count through COM's server-process count
// (CoAddRefServerProcess), and the last unlock withdraws every class at once (COM suspends them;
// they are revoked too where suspension does nothing) before it returns, makes a creation that
// still arrives answer CO_E_SERVER_STOPPING, so that COM starts a new server, and ends the message
// loop of the thread that ran AfxOleInit, and the program with it, once no object is left. Set it
// on the thread that ran AfxOleInit.
void AfxOleSetUserCtrl(BOOL bUserCtrl);
BOOL AfxOleGetUserCtrl();
// Whether the server is ending: the last lock of a server without user control has gone, or
// AfxOleEndServing was called.
BOOL AfxOleIsServerStopping();
