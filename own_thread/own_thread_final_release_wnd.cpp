#include "own_thread_final_release_wnd.h"

#include "own_thread_engine.h"
#include "own_thread_system_calls.h"

#include <mutex>
#include <string>

namespace {
// One window class for every engine of the process, registered by the first one.
std::string g_strClassName;
std::mutex g_classNameMutex;
}  // namespace

BEGIN_MESSAGE_MAP(COwnThreadFinalReleaseWnd, CWnd)
    ON_MESSAGE(WM_OWNTHREAD_FINALRELEASE, OnFinalReleaseMessage)
END_MESSAGE_MAP()

COwnThreadFinalReleaseWnd::COwnThreadFinalReleaseWnd(COwnThreadEngine* pOwner) : m_pOwner(pOwner)
{
    std::string strClassName;
    {
        std::lock_guard<std::mutex> lock(g_classNameMutex);
        if (g_strClassName.empty()) {
            const char* lpszName = AfxRegisterWndClass(0, nullptr, nullptr, nullptr);
            if (lpszName != nullptr)
                g_strClassName = lpszName;
        }
        strClassName = g_strClassName;
    }
    // Message-only: it only receives what is posted to it. A hidden top-level window would also
    // get every broadcast (a session's end, a setting's change), one per object, each waiting for
    // the creating thread, and costs several times as much to create.
    // A failure shows as a missing handle, which the engine checks before it starts a thread.
    COwnThreadSystemCalls::Current().pfnCreateWindowEx(this, 0, strClassName.c_str(),
                                                       "OwnThreadFinalReleaseWnd", 0, 0, 0, 0, 0,
                                                       HWND_MESSAGE, nullptr, nullptr);
}

LRESULT COwnThreadFinalReleaseWnd::OnFinalReleaseMessage(WPARAM, LPARAM)
{
    // Usually deletes the owner, and this window object with it: touch nothing afterwards.
    m_pOwner->OnFinalRelease();
    return 0;
}
