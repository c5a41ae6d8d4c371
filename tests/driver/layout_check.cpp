#include "layout_check.h"

#include "dialog_units.h"
#include "window_query.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

ExpectedControl Bar(int n, int y) { return {1000 + n, "msctls_progress32", "Progress1", 59, y, 101, 15}; }

ExpectedControl Label(const char* text, int y) { return {-1, "Static", text, 20, y, 31, 11}; }

bool Near(LONG a, LONG b) { return std::labs(a - b) <= 1; }

}  // namespace

const ExpectedDialog& ExpectedServerDialog()
{
    static const ExpectedDialog expected{
        "QDServer", 181, 256, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE,
        WS_EX_APPWINDOW,
        {
            {1008, "Button", "Enabled", 25, 26, 46, 11},
            {1009, "Button", "Disabled", 25, 40, 45, 11},
            Bar(0, 63), Bar(1, 86), Bar(2, 108), Bar(3, 132), Bar(4, 154), Bar(5, 178), Bar(6, 202), Bar(7, 223),
            Label("Object 1:", 66), Label("Object 2:", 87), Label("Object 3:", 111), Label("Object 4:", 134),
            Label("Object 5:", 156), Label("Object 6:", 180), Label("Object 7:", 202), Label("Object 8:", 226),
            {-1, "Button", "Own Thread", 17, 13, 60, 40},
            {1010, "Button", "Abort Call", 99, 25, 56, 15},
        }};
    return expected;
}

const ExpectedDialog& ExpectedClientDialog()
{
    static const ExpectedDialog expected{
        "QDClient", 155, 50, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE,
        WS_EX_APPWINDOW,
        {
            {1000, "Button", "Make call to QDServer", 23, 17, 109, 14},
        }};
    return expected;
}

ExpectedDialog ExpectedAboutDialog(const char* program)
{
    static std::string caption, version;
    caption = std::string("About ") + program;
    version = std::string(program) + " Version 1.0";
    return ExpectedDialog{
        caption.c_str(), 217, 55, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0,
        {
            {-1, "Static", nullptr, 11, 17, 20, 20, false},
            {-1, "Static", version.c_str(), 40, 10, 119, 8},
            {-1, "Static", nullptr, 40, 25, 119, 8},
            {IDOK, "Button", "OK", 178, 7, 32, 14},
        }};
}

int CheckDialog(HWND hWnd, const ExpectedDialog& expected)
{
    int problems = 0;
    auto fail = [&](const std::string& what) {
        std::printf("MISMATCH %s: %s\n", expected.caption, what.c_str());
        ++problems;
    };
    if (WindowText(hWnd) != expected.caption)
        fail("caption is \"" + WindowText(hWnd) + "\"");
    DWORD style = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_EXSTYLE));
    if ((style & expected.style) != expected.style)
        fail("window style " + std::to_string(style));
    if ((exStyle & expected.exStyle) != expected.exStyle)
        fail("extended style " + std::to_string(exStyle));

    DialogUnits units(L"MS Sans Serif", 8);
    if (!units.ok())
        fail("cannot measure dialog units");
    RECT client{};
    GetClientRect(hWnd, &client);
    RECT want = units.ToPixels(0, 0, expected.cx, expected.cy);
    if (!Near(client.right, want.right) || !Near(client.bottom, want.bottom))
        fail("client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom) +
             ", expected " + std::to_string(want.right) + "x" + std::to_string(want.bottom));

    // Children come in template order, which is also the tab order.
    HWND hChild = GetWindow(hWnd, GW_CHILD);
    for (size_t i = 0; i < expected.controls.size(); ++i, hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        const ExpectedControl& c = expected.controls[i];
        std::string name = "control #" + std::to_string(i) + " (" + (c.text ? c.text : "?") + ")";
        if (hChild == nullptr) {
            fail(name + " is missing");
            break;
        }
        int id = GetDlgCtrlID(hChild);
        if (id != (c.id == -1 ? 0xFFFF : c.id) && !(c.id == -1 && id == -1))
            fail(name + ": ID " + std::to_string(id));
        if (_stricmp(WindowClass(hChild).c_str(), c.cls) != 0)
            fail(name + ": class " + WindowClass(hChild));
        if (c.text != nullptr && WindowText(hChild) != c.text)
            fail(name + ": text \"" + WindowText(hChild) + "\"");
        if (!IsWindowVisible(hChild))
            fail(name + ": not visible");
        RECT r{};
        GetWindowRect(hChild, &r);
        MapWindowPoints(nullptr, hWnd, reinterpret_cast<POINT*>(&r), 2);
        RECT w = units.ToPixels(c.x, c.y, c.cx, c.cy);
        bool posOk = Near(r.left, w.left) && Near(r.top, w.top);
        bool sizeOk = !c.checkSize || (Near(r.right, w.right) && Near(r.bottom, w.bottom));
        if (!posOk || !sizeOk)
            fail(name + ": rectangle " + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                 std::to_string(r.right) + "," + std::to_string(r.bottom) + " expected " +
                 std::to_string(w.left) + "," + std::to_string(w.top) + "," + std::to_string(w.right) +
                 "," + std::to_string(w.bottom));
    }
    if (hChild != nullptr)
        fail("more controls than expected, starting with \"" + WindowText(hChild) + "\"");
    return problems;
}
