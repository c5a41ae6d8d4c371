#include "dialog_probe.h"

#include "now_ms.h"

namespace {

BOOL CALLBACK FindGroupBox(HWND hWnd, LPARAM lParam)
{
    char name[32] = "";
    GetClassNameA(hWnd, name, sizeof(name));
    if (lstrcmpiA(name, "Button") == 0 && (GetWindowLongA(hWnd, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX) {
        *reinterpret_cast<HWND*>(lParam) = hWnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

DialogProbe::DialogProbe(HWND hDialog) { EnumChildWindows(hDialog, &FindGroupBox, reinterpret_cast<LPARAM>(&m_hBox)); }

double DialogProbe::Measure(DWORD timeoutMs)
{
    if (m_hBox == nullptr)
        return -1;
    m_bPushed = !m_bPushed;
    double start = NowMs();
    if (!PostMessageA(m_hBox, BM_SETSTATE, m_bPushed, 0))
        return -1;
    for (;;) {
        DWORD_PTR state = 0;
        double left = timeoutMs - (NowMs() - start);
        if (left <= 0 || !SendMessageTimeoutA(m_hBox, BM_GETSTATE, 0, 0, SMTO_NORMAL, static_cast<UINT>(left) + 1, &state))
            return -1;
        if (((state & BST_PUSHED) != 0) == m_bPushed)
            return NowMs() - start;
        Sleep(1);
    }
}
