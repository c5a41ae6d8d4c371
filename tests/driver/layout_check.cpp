#include "layout_check.h"

#include "dialog_units.h"
#include "window_finder.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr DWORD kTypeMask = 0x1F;  // BS_TYPEMASK and SS_TYPEMASK share the low bits

ControlSpec Bar(int n, int y)
{
    return {1000 + n, "msctls_progress32", "Progress1", 59, y, 101, 15, -1,
            static_cast<DWORD>(WS_BORDER | WS_VISIBLE | (n == 0 ? WS_GROUP : 0)),
            static_cast<DWORD>(WS_TABSTOP | (n == 0 ? 0 : WS_GROUP))};
}

ControlSpec Label(const char* text, int y)
{
    return {-1, "Static", text, 20, y, 31, 11, SS_LEFT, WS_GROUP | WS_VISIBLE, WS_TABSTOP};
}

bool Near(LONG a, LONG b) { return std::labs(a - b) <= 1; }

const BYTE* SkipSzOrOrd(const BYTE* p)
{
    const WORD* w = reinterpret_cast<const WORD*>(p);
    if (*w == 0xFFFF)
        return p + 4;
    while (*w++ != 0) {}
    return reinterpret_cast<const BYTE*>(w);
}

const BYTE* AlignDword(const BYTE* p, const BYTE* base)
{
    return base + ((p - base + 3) & ~3);
}

// The item styles of an extended dialog template in the executable of the window's process.
std::vector<DWORD> TemplateItemStyles(HWND hWnd, int templateId)
{
    std::vector<DWORD> styles;
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    HANDLE hProcess = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    char path[MAX_PATH] = "";
    DWORD size = MAX_PATH;
    BOOL ok = hProcess && QueryFullProcessImageNameA(hProcess, 0, path, &size);
    if (hProcess)
        CloseHandle(hProcess);
    HMODULE hModule = ok ? LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE) : nullptr;
    HRSRC hRes = hModule ? FindResourceA(hModule, MAKEINTRESOURCEA(templateId), reinterpret_cast<LPCSTR>(RT_DIALOG)) : nullptr;
    const BYTE* base = hRes ? static_cast<const BYTE*>(LockResource(LoadResource(hModule, hRes))) : nullptr;
    if (base != nullptr && reinterpret_cast<const WORD*>(base)[1] == 0xFFFF) {
        // DLGTEMPLATEEX: version, signature, helpID, exStyle, style, cDlgItems, x, y, cx, cy.
        WORD count = *reinterpret_cast<const WORD*>(base + 16);
        DWORD dlgStyle = *reinterpret_cast<const DWORD*>(base + 12);
        const BYTE* p = base + 26;
        p = SkipSzOrOrd(p);  // menu
        p = SkipSzOrOrd(p);  // class
        p = SkipSzOrOrd(p);  // title
        if (dlgStyle & (DS_SETFONT | DS_SHELLFONT)) {
            p += 6;  // point size, weight, italic, charset
            p = SkipSzOrOrd(p);
        }
        for (WORD i = 0; i < count; ++i) {
            p = AlignDword(p, base);
            // DLGITEMTEMPLATEEX: helpID, exStyle, style, x, y, cx, cy, id (DWORD).
            styles.push_back(*reinterpret_cast<const DWORD*>(p + 8));
            p += 24;
            p = SkipSzOrOrd(p);  // class
            p = SkipSzOrOrd(p);  // title
            WORD extra = *reinterpret_cast<const WORD*>(p);
            p += 2 + extra;
        }
    }
    if (hModule)
        FreeLibrary(hModule);
    return styles;
}

}  // namespace

const DialogSpec& ServerDialogSpec()
{
    static const DialogSpec spec{
        "QDServer", 181, 256, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE,
        WS_EX_APPWINDOW,
        {
            {1008, "Button", "Enabled", 25, 26, 46, 11, BS_AUTORADIOBUTTON, WS_GROUP | WS_VISIBLE, WS_TABSTOP},
            {1009, "Button", "Disabled", 25, 40, 45, 11, BS_AUTORADIOBUTTON, WS_VISIBLE, WS_GROUP | WS_TABSTOP},
            Bar(0, 63), Bar(1, 86), Bar(2, 108), Bar(3, 132), Bar(4, 154), Bar(5, 178), Bar(6, 202), Bar(7, 223),
            Label("Object 1:", 66), Label("Object 2:", 87), Label("Object 3:", 111), Label("Object 4:", 134),
            Label("Object 5:", 156), Label("Object 6:", 180), Label("Object 7:", 202), Label("Object 8:", 226),
            {-1, "Button", "Own Thread", 17, 13, 60, 40, BS_GROUPBOX, WS_VISIBLE, WS_TABSTOP},
            {1010, "Button", "Abort Call", 99, 25, 56, 15, BS_PUSHBUTTON, WS_TABSTOP | WS_VISIBLE, 0},
        }};
    return spec;
}

const DialogSpec& ClientDialogSpec()
{
    static const DialogSpec spec{
        "QDClient", 155, 50, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE,
        WS_EX_APPWINDOW,
        {
            {1000, "Button", "Make call to QDServer", 23, 17, 109, 14, BS_DEFPUSHBUTTON,
             WS_TABSTOP | WS_VISIBLE, 0},
        }};
    return spec;
}

DialogSpec AboutDialogSpec(const char* program)
{
    static std::string caption, version;
    caption = std::string("About ") + program;
    version = std::string(program) + " Version 1.0";
    return DialogSpec{
        caption.c_str(), 217, 55, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0,
        {
            {-1, "Static", nullptr, 11, 17, 20, 20, SS_ICON, WS_VISIBLE, 0, false},
            {-1, "Static", version.c_str(), 40, 10, 119, 8, SS_LEFT, WS_GROUP | WS_VISIBLE | SS_NOPREFIX, 0},
            {-1, "Static", nullptr, 40, 25, 119, 8, SS_LEFT, WS_GROUP | WS_VISIBLE, 0},
            {IDOK, "Button", "OK", 178, 7, 32, 14, BS_DEFPUSHBUTTON, WS_GROUP | WS_TABSTOP | WS_VISIBLE, 0},
        }};
}

int CheckDialog(HWND hWnd, int templateId, const DialogSpec& spec)
{
    std::vector<DWORD> templateStyles = TemplateItemStyles(hWnd, templateId);
    int problems = 0;
    auto fail = [&](const std::string& what) {
        std::printf("MISMATCH %s: %s\n", spec.caption, what.c_str());
        ++problems;
    };
    if (WindowText(hWnd) != spec.caption)
        fail("caption is \"" + WindowText(hWnd) + "\"");
    DWORD style = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_STYLE));
    DWORD exStyle = static_cast<DWORD>(GetWindowLongA(hWnd, GWL_EXSTYLE));
    if ((style & spec.style) != spec.style)
        fail("window style " + std::to_string(style));
    if ((exStyle & spec.exStyle) != spec.exStyle)
        fail("extended style " + std::to_string(exStyle));

    DialogUnits units(L"MS Sans Serif", 8);
    if (!units.ok())
        fail("cannot measure dialog units");
    RECT client{};
    GetClientRect(hWnd, &client);
    RECT want = units.ToPixels(0, 0, spec.cx, spec.cy);
    if (!Near(client.right, want.right) || !Near(client.bottom, want.bottom))
        fail("client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom) +
             ", expected " + std::to_string(want.right) + "x" + std::to_string(want.bottom));

    // Children come in template order, which is also the tab order.
    HWND hChild = GetWindow(hWnd, GW_CHILD);
    for (size_t i = 0; i < spec.controls.size(); ++i, hChild = GetWindow(hChild, GW_HWNDNEXT)) {
        const ControlSpec& c = spec.controls[i];
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
        // Styles are read from the template the program was built with: controls change their own
        // at run time (a progress bar drops WS_BORDER, a checked radio button gains WS_TABSTOP).
        DWORD cs = i < templateStyles.size() ? templateStyles[i] : 0;
        if (i >= templateStyles.size())
            fail(name + ": not in the program's template");
        if (!IsWindowVisible(hChild))
            fail(name + ": not visible");
        if (c.type >= 0 && (cs & kTypeMask) != static_cast<DWORD>(c.type))
            fail(name + ": type " + std::to_string(cs & kTypeMask));
        if ((cs & c.mustHave) != c.mustHave)
            fail(name + ": style lacks " + std::to_string(c.mustHave & ~cs));
        if (cs & c.mustNotHave)
            fail(name + ": style has " + std::to_string(cs & c.mustNotHave));
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
