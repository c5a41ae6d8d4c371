#include "ole_app.h"

#include "ole_object_factory.h"

#include <interleaving_points.h>
#include <message_pump.h>

#include <ole2.h>

#include <atomic>
#include <mutex>

namespace {
DWORD g_nOleThreadID = 0;  // the thread AfxOleInit succeeded on
std::atomic<BOOL> g_bUserCtrl{TRUE};
std::atomic<BOOL> g_bStopping{FALSE};
std::atomic<LONG> g_nObjectsEnding{0};  // released by their last client, not yet destroyed
HWND g_hServerEndWnd = nullptr;         // on the OLE thread: withdraws the classes for other threads
// Orders every change of the lock count against the decision that the server ends.
std::mutex g_lockMutex;

constexpr UINT WM_WITHDRAW_CLASSES = WM_APP + 1;
constexpr UINT WM_QUIT_FROM_LOOP = WM_APP + 2;
constexpr DWORD kLastCallsMs = 200;

// A server without user control ends its OLE thread's loop, and the program, once it is ending and
// no object is left, whichever thread decides. Posted to the thread rather than PostQuitMessage:
// under Wine a PostQuitMessage made inside an incoming COM call (a refused creation's) never ended
// the loop, and the server stayed. A quit posted while the thread waits inside COM can still be
// taken by that wait, so the loop is also asked, through the server's window, to quit by itself.
void QuitIfDone()
{
    if (g_bUserCtrl || !g_bStopping || g_nObjectsEnding != 0 || g_nOleThreadID == 0)
        return;
    PostThreadMessageA(g_nOleThreadID, WM_QUIT, 0, 0);
    if (g_hServerEndWnd != nullptr)
        PostMessageA(g_hServerEndWnd, WM_QUIT_FROM_LOOP, 0, 0);
}

LRESULT CALLBACK ServerEndWndProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == WM_WITHDRAW_CLASSES) {
        COleObjectFactory::RevokeAll();
        return 0;
    }
    if (nMsg == WM_QUIT_FROM_LOOP) {
        PostQuitMessage(0);  // dispatched by the loop itself, outside any COM call
        return 0;
    }
    return DefWindowProcA(hWnd, nMsg, wParam, lParam);
}

// Classes are revoked on the thread that offered them; another thread waits until they are, so
// that a client whose release ended the server finds them gone when its release returns.
void WithdrawClasses()
{
    if (g_nOleThreadID == GetCurrentThreadId())
        COleObjectFactory::RevokeAll();
    else if (g_hServerEndWnd != nullptr)
        SendMessageA(g_hServerEndWnd, WM_WITHDRAW_CLASSES, 0, 0);
}
}  // namespace

BOOL AfxOleInit()
{
    HRESULT hr = OleInitialize(nullptr);
    if (FAILED(hr))
        return FALSE;
    g_nOleThreadID = GetCurrentThreadId();
    return TRUE;
}

void AfxOleTerm()
{
    if (g_nOleThreadID == 0 || g_nOleThreadID != GetCurrentThreadId())
        return;
    COleObjectFactory::RevokeAll();
    // Calls that reach the apartment as it ends (a client's last release of a class factory) are
    // served first: under Wine, CoUninitialize waits for a call in flight to this apartment, which
    // only this thread could serve, and the server hung there for good (seen in a winedbg backtrace).
    AfxPumpMessagesUntil(nullptr, kLastCallsMs);
    if (g_hServerEndWnd != nullptr)
        DestroyWindow(g_hServerEndWnd);
    g_hServerEndWnd = nullptr;
    OleUninitialize();
    g_nOleThreadID = 0;
}

// A server with a window must not count through COM: on Windows the count's end suspends every
// class object of the process, and the server could create nothing more while its window is open.
void AfxOleLockApp()
{
    std::lock_guard<std::mutex> lock(g_lockMutex);
    if (!g_bUserCtrl)
        CoAddRefServerProcess();
}

BOOL AfxOleTryLockApp()
{
    std::lock_guard<std::mutex> lock(g_lockMutex);
    if (g_bStopping)
        return FALSE;
    if (!g_bUserCtrl)
        CoAddRefServerProcess();
    return TRUE;
}

void AfxOleUnlockApp()
{
    {
        std::lock_guard<std::mutex> lock(g_lockMutex);
        if (g_bUserCtrl || CoReleaseServerProcess() != 0)
            return;
        // A creation that locks from now on waits for this decision, and is refused.
        QD_INTERLEAVING_POINT(kPointLastLockGone);
        g_bStopping = TRUE;
    }
    // Windows has suspended the classes; revoking them withdraws them where suspension does nothing.
    // Outside the lock: the OLE thread, which revokes them, may be waiting for it.
    WithdrawClasses();
    QuitIfDone();
}

void AfxOleEndServing()
{
    {
        std::lock_guard<std::mutex> lock(g_lockMutex);
        g_bStopping = TRUE;
    }
    COleObjectFactory::RevokeAll();
    QD_INTERLEAVING_POINT(kPointClassesRevoked);
}

void AfxOleObjectEnding()
{
    ++g_nObjectsEnding;
    AfxOleUnlockApp();
}

void AfxOleObjectEnded()
{
    --g_nObjectsEnding;
    QuitIfDone();
}

void AfxOleSetUserCtrl(BOOL bUserCtrl)
{
    g_bUserCtrl = bUserCtrl;
    if (!bUserCtrl && g_hServerEndWnd == nullptr && g_nOleThreadID == GetCurrentThreadId()) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = ServerEndWndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "QDOleServerEndWnd";
        RegisterClassA(&wc);
        g_hServerEndWnd = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          wc.hInstance, nullptr);
    }
}

BOOL AfxOleGetUserCtrl() { return g_bUserCtrl; }

BOOL AfxOleIsServerStopping() { return g_bStopping; }
