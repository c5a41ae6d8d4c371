// Names the benchmark client and the servers it measures agree on.
#pragma once

#define QDBENCH_BARE_PROGID "QDBENCH.BARE"
#define QDBENCH_BARE_CLSID "{7DD27334-7037-4BC7-8083-7E1BC65A20B7}"
// The bare server's hidden window: the benchmark closes the server through it.
#define QDBENCH_BARE_CAPTION "QDBenchBare"
// The bare server's second class, served from its multithreaded apartment: every running call has
// a thread of Wine's RPC to itself, and "Test" takes as long as a QDSERVER object's.
#define QDBENCH_BARE_MTA_PROGID "QDBENCH.BAREMTA"
#define QDBENCH_BARE_MTA_CLSID "{6112F27C-8252-491E-BEBD-B0A13C3CE066}"

#define QDSERVER_PROGID "QDSERVER.DEMO"
#define QDSERVER_CAPTION "QDServer"
