// QDTALLY's application: a server without a window, all of it the framework's. It takes the
// registration switches, registers itself when started by hand, and started by COM it offers its
// class and runs until the last object is gone.
#include "tally.h"

#include <ole_server_app.h>

COleServerApp theApp({&CTally::factory}, LIBID_QDTALLY, 1, 0);
