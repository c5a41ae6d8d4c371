#include "second.h"

namespace {
const CLSID CLSID_Second = {0xd138207c, 0x587c, 0x4999, {0x88, 0x18, 0x85, 0xc5, 0x86, 0xc4, 0xa0, 0x05}};
}

IMPLEMENT_DYNCREATE(CSecond, CCmdTarget)
IMPLEMENT_OLECREATE(CSecond, "QDTALLY.SECOND", CLSID_Second)
