// Connection maps: a static table per class of the outgoing interfaces its objects fire, chained to
// the base class's table. The objects' connection points are made from it (connection_point_container.h).
#pragma once
#include "class_map.h"

#include <windows.h>

struct AFX_CONNECTIONMAP_ENTRY {
    const IID* piid;  // nullptr ends the table
};

struct AFX_CONNECTIONMAP {
    const AFX_CONNECTIONMAP* (*pfnGetBaseMap)();
    const AFX_CONNECTIONMAP_ENTRY* lpEntries;
};
