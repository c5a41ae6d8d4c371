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

protected:
    DECLARE_MESSAGE_MAP()
};

extern CServerApp theApp;
