#include "ole_app.h"

#include "ole_object_factory.h"

#include <ole2.h>

#include <atomic>

namespace {
std::atomic<LONG> g_nLockCount{0};
DWORD g_nOleThreadID = 0;  // the thread AfxOleInit succeeded on
std::atomic<BOOL> g_bUserCtrl{TRUE};
}

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
    OleUninitialize();
    g_nOleThreadID = 0;
}

void AfxOleLockApp() { ++g_nLockCount; }

void AfxOleUnlockApp()
{
    if (--g_nLockCount == 0 && !g_bUserCtrl && g_nOleThreadID != 0)
        PostThreadMessageA(g_nOleThreadID, WM_QUIT, 0, 0);
}

void AfxOleSetUserCtrl(BOOL bUserCtrl) { g_bUserCtrl = bUserCtrl; }

BOOL AfxOleGetUserCtrl() { return g_bUserCtrl; }
