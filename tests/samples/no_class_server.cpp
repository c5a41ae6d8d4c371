// A server that names no class: started by COM it has nothing to offer.
#include <counter_i.h>
#include <ole_server_app.h>

COleServerApp theApp({}, LIBID_QDSAMPLE, 1, 0);
