// The dialogs as they must look: every control's ID, class, text, rectangle (dialog units) and
// style, checked against the real windows of another process.
#pragma once
#include <windows.h>

#include <vector>

struct ControlSpec {
    int id;            // -1 for IDC_STATIC
    const char* cls;
    const char* text;  // nullptr: not checked (an icon)
    int x, y, cx, cy;
    int type;          // low style bits (BS_*/SS_* type), -1 not checked
    DWORD mustHave;    // WS_GROUP, WS_TABSTOP, WS_BORDER...
    DWORD mustNotHave;
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

// Positions, texts and visibility are read from the live window, styles from its template
// resource. Prints each difference to stdout; returns the number of differences.
int CheckDialog(HWND hWnd, int templateId, const DialogSpec& spec);
