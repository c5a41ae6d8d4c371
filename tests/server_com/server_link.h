// The tests' view of a running QDSERVER: its window read and clicked from this process, and demo
// objects created by ProgID over real out-of-process COM, as a client creates them.
#pragma once
#include "now_ms.h"
#include "remote_object.h"
#include "server_window.h"
#include "wait_until.h"

#include <string>

constexpr char kDemoProgId[] = "QDSERVER.DEMO";
inline const ServerWindow theServerWindow("QDServer");

// Makes sure a QDSERVER runs (COM starts one when none does), "Enabled" is selected and every bar
// is free. Returns an empty string, or what is wrong.
std::string PrepareServer();

// Closes the running QDSERVER through its close box and waits for the process to end, then for
// Wine's COM to let its class go. Returns the server's exit code, or -1 when it did not end.
int CloseServer();
