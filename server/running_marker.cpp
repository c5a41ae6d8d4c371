#include "running_marker.h"

namespace {
#ifdef _WIN64
const wchar_t kName[] = L"Global\\QDSERVER.Running.x64";
#else
const wchar_t kName[] = L"Global\\QDSERVER.Running.x86";
#endif
}  // namespace

// A second server (another session's) opens the same event; either one keeps it alive.
CRunningMarker::CRunningMarker() : m_hEvent(CreateEventW(nullptr, TRUE, FALSE, kName)) {}

bool CRunningMarker::IsHeld()
{
    if (CUniqueHandle(OpenEventW(SYNCHRONIZE, FALSE, kName)))
        return true;
    // Another user's server: the event is there, but its default security keeps us out.
    return GetLastError() == ERROR_ACCESS_DENIED;
}
