// Names the benchmark client and the servers it measures agree on.
#pragma once

#define QDBENCH_BARE_PROGID "QDBENCH.BARE"
#define QDBENCH_BARE_CLSID "{7DD27334-7037-4BC7-8083-7E1BC65A20B7}"
// The bare server's hidden window: the benchmark closes the server through it.
#define QDBENCH_BARE_CAPTION "QDBenchBare"

#define QDSERVER_PROGID "QDSERVER.DEMO"
#define QDSERVER_CAPTION "QDServer"
