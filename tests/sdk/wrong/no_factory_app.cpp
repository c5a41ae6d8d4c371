// A server that names no class factory.
#include <ole_server_app.h>
#include <tally_i.h>

COleServerApp theApp({}, LIBID_QDTALLY, 1, 0);
