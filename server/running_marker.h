#pragma once

#include <unique_handle.h>

// A named event in the global namespace that a running QDSERVER holds, one name per
// architecture. The installer's check (installer/setup_actions.cpp) opens it: it sees a server
// of any session and any user, and only a server of its own package's architecture.
class CRunningMarker {
public:
    CRunningMarker();

    // Whether a QDSERVER of this build's architecture runs anywhere on the machine.
    static bool IsHeld();

private:
    CUniqueHandle m_hEvent;
};
