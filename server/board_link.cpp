#include "board_link.h"

#include "server_dlg.h"

#include <atomic>

namespace {
std::atomic<int> g_nUses{0};
}

CBoardUse::CBoardUse()
{
    // Counted before the pointer is read: CloseBoard clears the pointer before it reads the count,
    // so either this use sees no board or CloseBoard sees this use.
    ++g_nUses;
    CWinApp* pApp = AfxGetApp();
    m_pBoard = pApp ? static_cast<CServerDlg*>(pApp->m_pMainWnd.load()) : nullptr;
    if (m_pBoard == nullptr)
        --g_nUses;
}

CBoardUse::~CBoardUse()
{
    if (m_pBoard != nullptr)
        --g_nUses;
}

void CBoardUse::CloseBoard()
{
    if (CWinApp* pApp = AfxGetApp())
        pApp->m_pMainWnd = nullptr;
    while (g_nUses.load() > 0) {
        // A use may be waiting for this thread to take a message it sent to a bar.
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
        Sleep(1);
    }
}
