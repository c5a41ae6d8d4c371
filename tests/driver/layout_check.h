// The dialogs as they must look: every control's ID, class, text and rectangle (dialog units),
// checked against the real windows of another process. Styles are not compared here: what they do
// (a radio group, the default button, the tab order) is tested by using the controls.
#pragma once
#include <windows.h>

#include <vector>

struct ExpectedControl {
    int id;            // -1 for IDC_STATIC
    const char* cls;
    const char* text;  // nullptr: not checked (an icon)
    int x, y, cx, cy;
    bool checkSize = true;
};

struct ExpectedDialog {
    const char* caption;
    int cx, cy;
    DWORD style;
    DWORD exStyle;
    std::vector<ExpectedControl> controls;
};

const ExpectedDialog& ExpectedServerDialog();
const ExpectedDialog& ExpectedClientDialog();
ExpectedDialog ExpectedAboutDialog(const char* program);  // "QDServer" or "QDClient"

// Prints each difference to stdout; returns the number of differences.
int CheckDialog(HWND hWnd, const ExpectedDialog& expected);
