// QDTALLY.SECOND: a second class of QDTALLY's, without type information of its own, for the
// servers with two classes.
#pragma once
#include <ole_object_factory.h>

class CSecond : public CCmdTarget {
    DECLARE_DYNCREATE(CSecond)
    DECLARE_OLECREATE(CSecond)
public:
    CSecond() { EnableAutomation(); }
};
