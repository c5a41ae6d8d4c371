// Converts dialog units to pixels for a dialog font, independently of the program under test: this
// process builds a dialog of its own with the same font and asks the system to map the rectangle.
#pragma once
#include <windows.h>

class DialogUnits {
public:
    DialogUnits(const wchar_t* fontName, WORD pointSize);
    ~DialogUnits();
    RECT ToPixels(int x, int y, int cx, int cy) const;
    bool ok() const { return m_hWnd != nullptr; }

private:
    HWND m_hWnd = nullptr;
};
