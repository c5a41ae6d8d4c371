// QDSERVER's application: initialises OLE, offers its automation classes to COM, writes their
// registration and its type library's where they do not already lead to this program, and runs the
// main dialog until the user closes it. The registration switches are the framework's (see
// COleServerApp): they write or remove the registration and end without a window.
#pragma once
#include "afx.h"
#include "ole_server_app.h"

class CServerApp : public COleServerApp {
public:
    CServerApp();
    BOOL InitInstance() override;

    // On the main thread when the server ends (its dialog closed, or the session ending): no new
    // objects, running calls stop at their next step, every object is disconnected from its
    // clients, and the server waits a bounded time for the objects to go and their own threads to
    // leave them. A thread still held then (a client that does not return from an event) ends the
    // process at once rather than run its static destructors under that thread. Safe to repeat.
    static void EndServing();
    // What of it must not wait, for the moment the user or the session asks for the end, which may
    // come inside a call of a "Disabled" object (its "Test" serves the dialog): no new objects,
    // running calls stop at their next step, every object is disconnected. EndServing, once the
    // dialog's loop has returned, waits for the objects to go.
    static void BeginEnd();
    static constexpr DWORD kEndWaitMs = 5000;

protected:
    DECLARE_MESSAGE_MAP()
};

extern CServerApp theApp;
