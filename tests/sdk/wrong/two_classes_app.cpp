// A server with two classes: one AppID for both, the first one's ID.
#include "second.h"
#include "tally.h"

#include <ole_server_app.h>

COleServerApp theApp({&CTally::factory, &CSecond::factory}, LIBID_QDTALLY, 1, 0);
