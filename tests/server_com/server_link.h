// The test's view of a running QDSERVER: its window read and clicked from this process, and demo
// objects created by ProgID over real out-of-process COM.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include "wait_until.h"

#include <array>
#include <string>

class ServerWindow {
public:
    // The "QDServer" dialog of another process, or nullptr after timeoutMs.
    static HWND Find(DWORD timeoutMs = 0);
    static std::array<int, 8> Bars();
    static int Bar(int slot);
    static void Click(int controlId);   // posted, as a user's click
    static bool IsEnabledSelected();
    static void SelectOwnThread(bool enabled);
    // Milliseconds the window takes to answer a message, or -1 if it does not within timeoutMs.
    static double Ping(DWORD timeoutMs);
    static DWORD ProcessId();
};

// One "QDSERVER.DEMO" object, created in the constructor and released in the destructor.
class DemoObject {
public:
    DemoObject();
    ~DemoObject();
    DemoObject(const DemoObject&) = delete;
    DemoObject& operator=(const DemoObject&) = delete;

    HRESULT created() const { return m_hrCreate; }
    IDispatch* get() const { return m_pDisp; }
    // Invokes "Test" (DISPID 1) and returns its HRESULT; *pMs receives the call's duration.
    HRESULT Test(double* pMs = nullptr);
    void Release();

private:
    IDispatch* m_pDisp = nullptr;
    HRESULT m_hrCreate = E_FAIL;
};

double NowMs();

// Makes sure a QDSERVER runs (COM starts one when none does), "Enabled" is selected and every bar
// is free. Returns an empty string, or what is wrong.
std::string PrepareServer();

// Closes the running QDSERVER through its close box and waits for the process to end, then for
// Wine's COM to let its class go. Returns the server's exit code, or -1 when it did not end.
int CloseServer();

