#include "dialog_units.h"

#include <cwchar>
#include <vector>

namespace {
INT_PTR CALLBACK NoOpDialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
}

DialogUnits::DialogUnits(const wchar_t* fontName, WORD pointSize)
{
    // A DLGTEMPLATE with DS_SETFONT, no menu, default class, no caption, then the font.
    std::vector<WORD> t(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* dlg = reinterpret_cast<DLGTEMPLATE*>(t.data());
    dlg->style = WS_POPUP | DS_SETFONT;
    dlg->cx = 100;
    dlg->cy = 100;
    t.push_back(0);  // menu
    t.push_back(0);  // class
    t.push_back(0);  // title
    t.push_back(pointSize);
    for (const wchar_t* p = fontName; *p; ++p)
        t.push_back(static_cast<WORD>(*p));
    t.push_back(0);
    m_hWnd = CreateDialogIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()),
                                        nullptr, &NoOpDialogProc, 0);
}

DialogUnits::~DialogUnits()
{
    if (m_hWnd)
        DestroyWindow(m_hWnd);
}

RECT DialogUnits::ToPixels(int x, int y, int cx, int cy) const
{
    RECT r{x, y, x + cx, y + cy};
    MapDialogRect(m_hWnd, &r);
    return r;
}
