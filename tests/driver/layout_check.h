// The dialogs as they must look: every control's ID, class, text and rectangle (dialog units),
// checked against the real windows of another process. Styles are not compared here: what they do
// (a radio group, the default button, the tab order) is tested by using the controls.
#pragma once
#include <windows.h>

#include <vector>

struct ControlSpec {
    int id;            // -1 for IDC_STATIC
    const char* cls;
    const char* text;  // nullptr: not checked (an icon)
    int x, y, cx, cy;
    bool checkSize = true;
};

struct DialogSpec {
    const char* caption;
    int cx, cy;
    DWORD style;
    DWORD exStyle;
    std::vector<ControlSpec> controls;
};

const DialogSpec& ServerDialogSpec();
const DialogSpec& ClientDialogSpec();
DialogSpec AboutDialogSpec(const char* program);  // "QDServer" or "QDClient"

// Prints each difference to stdout; returns the number of differences.
int CheckDialog(HWND hWnd, const DialogSpec& spec);
