// qd_driver: reads and drives QDSERVER's and QDCLIENT's windows from outside, for the desktop tests.
//   wait CAPTION [MS]            a window with this caption shows (prints its process ID)
//   gone CAPTION [MS]            no window with this caption is left
//   check-server | check-client  the main dialog against its template; focus, initial state, keys
//   check-about CAPTION PROGRAM COMMAND   WM_SYSCOMMAND COMMAND opens "About PROGRAM"; closes it
//   bars [CAPTION]               prints the eight bars' positions ("Object 1:" first)
//   click CAPTION ID             posts a click to control ID
//   ping CAPTION [MS]            how long the window takes to answer a message (prints ms)
//   msgbox [MS] [ok]             prints the caption and text of a message box; "ok" presses OK
//   key CAPTION VK               posts a key press to the window's focused control
//   sysmenu-close CAPTION        the close box (SC_CLOSE)
//   click-all CAPTION ID         posts a click to control ID in every window with this caption
//   count CAPTION                prints how many windows have this caption
//   move CAPTION X Y             moves the window (to lay windows side by side)
//   offset CAPTION ID            prints the control's centre relative to its window (for xdotool)
//   arch CAPTION                 prints the architecture of the window's program: x86 or x64
//   run MS PROGRAM [ARGS...]     runs a program and watches it until it ends; prints
//                                "exit CODE windows N" (N: visible windows it showed) and the captions
#include "layout_check.h"
#include "now_ms.h"
#include "server_window.h"
#include "wait_until.h"
#include "window_query.h"

#include <unique_handle.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD ArgMs(int argc, char** argv, int i, DWORD fallback)
{
    return argc > i ? static_cast<DWORD>(std::strtoul(argv[i], nullptr, 0)) : fallback;
}

HWND Require(const char* caption, DWORD timeoutMs = 10000)
{
    HWND hWnd = WindowQuery(caption).WaitFor(timeoutMs);
    if (hWnd == nullptr) {
        std::printf("no window \"%s\"\n", caption);
        std::exit(2);
    }
    return hWnd;
}

HWND FocusOf(HWND hWnd)
{
    GUITHREADINFO info{sizeof(info)};
    DWORD tid = GetWindowThreadProcessId(hWnd, nullptr);
    return GetGUIThreadInfo(tid, &info) ? info.hwndFocus : nullptr;
}

int Key(HWND hWnd, WPARAM vk);

// Presses a key in the dialog and waits for the focus to reach control nID.
bool KeyMovesFocusTo(HWND hWnd, WPARAM vk, int nID)
{
    Key(hWnd, vk);
    if (WaitUntil([&] { return GetDlgCtrlID(FocusOf(hWnd)) == nID; }, 5000, 20))
        return true;
    std::printf("MISMATCH key 0x%02X: the focus is on \"%s\", not on control %d\n", static_cast<unsigned>(vk),
                WindowText(FocusOf(hWnd)).c_str(), nID);
    return false;
}

int CheckServer()
{
    HWND hWnd = Require("QDServer");
    int problems = CheckDialog(hWnd, ExpectedServerDialog());
    std::array<int, 8> bars = ServerWindow("QDServer").Bars();
    for (int i = 0; i < 8; ++i) {
        if (bars[i] != 0) {
            std::printf("MISMATCH bar %d: pos %d\n", i + 1, bars[i]);
            ++problems;
        }
    }
    if (SendMessageA(GetDlgItem(hWnd, 1008), BM_GETCHECK, 0, 0) != BST_CHECKED ||
        SendMessageA(GetDlgItem(hWnd, 1009), BM_GETCHECK, 0, 0) != BST_UNCHECKED) {
        std::printf("MISMATCH \"Enabled\" is not the selected choice\n");
        ++problems;
    }
    if (FocusOf(hWnd) != GetDlgItem(hWnd, 1010)) {
        std::printf("MISMATCH focus is on \"%s\", not \"Abort Call\"\n", WindowText(FocusOf(hWnd)).c_str());
        ++problems;
    }
    // The keyboard: Tab leads from "Abort Call" into the choice and back; in the choice the arrow
    // keys move the selection, as one group of two.
    if (!KeyMovesFocusTo(hWnd, VK_TAB, 1008) || !KeyMovesFocusTo(hWnd, VK_DOWN, 1009) ||
        SendMessageA(GetDlgItem(hWnd, 1009), BM_GETCHECK, 0, 0) != BST_CHECKED ||
        !KeyMovesFocusTo(hWnd, VK_DOWN, 1008) || SendMessageA(GetDlgItem(hWnd, 1008), BM_GETCHECK, 0, 0) != BST_CHECKED ||
        !KeyMovesFocusTo(hWnd, VK_TAB, 1010)) {
        std::printf("MISMATCH the keyboard does not work the dialog as its groups and tab stops say\n");
        ++problems;
    }
    std::printf(problems ? "server dialog: %d problem(s)\n" : "server dialog matches its template\n", problems);
    return problems ? 1 : 0;
}

int CheckClient()
{
    HWND hWnd = Require("QDClient");
    int problems = CheckDialog(hWnd, ExpectedClientDialog());
    if (FocusOf(hWnd) != GetDlgItem(hWnd, 1000)) {
        std::printf("MISMATCH focus is not on the button\n");
        ++problems;
    }
    std::printf(problems ? "client dialog: %d problem(s)\n" : "client dialog matches its template\n", problems);
    return problems ? 1 : 0;
}

int CheckAbout(const char* mainCaption, const char* program, WPARAM command)
{
    HWND hMain = Require(mainCaption);
    PostMessageA(hMain, WM_SYSCOMMAND, command, 0);
    ExpectedDialog expected = ExpectedAboutDialog(program);
    HWND hAbout = WindowQuery(expected.caption).WaitFor(5000);
    if (hAbout == nullptr) {
        std::printf("MISMATCH command 0x%04X opened no \"%s\"\n", static_cast<unsigned>(command), expected.caption);
        return 1;
    }
    int problems = CheckDialog(hAbout, expected);
    PostMessageA(hAbout, WM_COMMAND, IDOK, 0);
    if (!WindowQuery(expected.caption).WaitUntilGone(5000)) {
        std::printf("MISMATCH OK did not close the About box\n");
        ++problems;
    }
    std::printf(problems ? "about box: %d problem(s)\n" : "about box matches its template\n", problems);
    return problems ? 1 : 0;
}

int Bars(const char* caption)
{
    Require(caption);
    std::array<int, 8> bars = ServerWindow(caption).Bars();
    for (int i = 0; i < 8; ++i)
        std::printf(i ? " %d" : "%d", bars[i]);
    std::printf("\n");
    return 0;
}

int Ping(const char* caption, DWORD timeoutMs)
{
    HWND hWnd = Require(caption);
    double start = NowMs();
    DWORD_PTR result = 0;
    LRESULT ok = SendMessageTimeoutA(hWnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, timeoutMs, &result);
    std::printf("%.1f\n", ok ? NowMs() - start : -1.0);
    return ok ? 0 : 1;
}

int MessageBoxText(DWORD timeoutMs, bool pressOk)
{
    HWND hBox = WindowQuery::AnyMessageBox().WaitFor(timeoutMs);
    if (hBox == nullptr) {
        std::printf("no message box\n");
        return 2;
    }
    std::printf("caption: %s\ntext: %s\n", WindowText(hBox).c_str(),
                WindowText(GetDlgItem(hBox, 0xFFFF)).c_str());
    if (pressOk) {
        PostMessageA(hBox, WM_COMMAND, IDOK, reinterpret_cast<LPARAM>(GetDlgItem(hBox, IDOK)));
        WaitUntil([&] { return !IsWindow(hBox); }, 5000, 20);
    }
    return 0;
}

// Runs a program, looking every few milliseconds for any visible window of its process (a dialog,
// a message box), until it ends. 1 when it did not end within timeoutMs (it is then ended).
int RunWatched(DWORD timeoutMs, int argc, char** argv)
{
    std::string commandLine;
    for (int i = 0; i < argc; ++i) {
        if (i > 0)
            commandLine += ' ';
        bool quote = std::strchr(argv[i], ' ') != nullptr || *argv[i] == '\0';
        commandLine += quote ? std::string("\"") + argv[i] + "\"" : std::string(argv[i]);
    }
    STARTUPINFOA si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        std::printf("cannot start %s (error %lu)\n", commandLine.c_str(), GetLastError());
        return 2;
    }
    CUniqueHandle process(pi.hProcess), thread(pi.hThread);
    std::vector<HWND> seen;
    DWORD start = GetTickCount();
    bool ended = false;
    for (;;) {
        for (HWND hWnd : WindowQuery::AnyOfProcess(pi.dwProcessId).FindAll())
            if (std::find(seen.begin(), seen.end(), hWnd) == seen.end()) {
                seen.push_back(hWnd);
                std::printf("window: \"%s\" (%s)\n", WindowText(hWnd).c_str(), WindowClass(hWnd).c_str());
            }
        if (ended)
            break;  // one last look after the end: a window shown just before it
        ended = WaitForSingleObject(process.Get(), 10) == WAIT_OBJECT_0;
        if (!ended && GetTickCount() - start >= timeoutMs) {
            TerminateProcess(process.Get(), 1);
            std::printf("timeout after %lu ms\n", static_cast<unsigned long>(timeoutMs));
            return 1;
        }
    }
    DWORD code = 0;
    GetExitCodeProcess(process.Get(), &code);
    std::printf("exit %lu windows %u\n", static_cast<unsigned long>(code), static_cast<unsigned>(seen.size()));
    return 0;
}

int Key(HWND hWnd, WPARAM vk)
{
    HWND hFocus = FocusOf(hWnd);
    HWND hTarget = hFocus ? hFocus : hWnd;
    PostMessageA(hTarget, WM_KEYDOWN, vk, 1);
    PostMessageA(hTarget, WM_KEYUP, vk, 0xC0000001);
    return 0;
}

// Read from the program's image, so the answer does not depend on the driver's own architecture.
int Arch(const char* caption)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(Require(caption), &pid);
    CUniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    char path[MAX_PATH] = "";
    DWORD n = MAX_PATH;
    BOOL bNamed = process && QueryFullProcessImageNameA(process.Get(), 0, path, &n);
    HMODULE hImage = bNamed ? LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE) : nullptr;
    if (hImage == nullptr) {
        std::printf("unknown\n");
        return 2;
    }
    // A data-file mapping's handle is its base address with the low bit set.
    auto* pBase = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(hImage) & ~ULONG_PTR(3));
    auto* pDos = reinterpret_cast<const IMAGE_DOS_HEADER*>(pBase);
    auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(pBase + pDos->e_lfanew);
    WORD machine = pNt->FileHeader.Machine;
    FreeLibrary(hImage);
    const char* arch = machine == IMAGE_FILE_MACHINE_I386    ? "x86"
                       : machine == IMAGE_FILE_MACHINE_AMD64 ? "x64"
                                                             : "unknown";
    std::printf("%s\n", arch);
    return std::strcmp(arch, "unknown") == 0 ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        std::printf("usage: qd_driver COMMAND ...\n");
        return 2;
    }
    std::string cmd = argv[1];
    if (cmd == "wait" && argc >= 3) {
        HWND hWnd = WindowQuery(argv[2]).WaitFor(ArgMs(argc, argv, 3, 10000));
        if (!hWnd)
            return 1;
        DWORD pid = 0;
        GetWindowThreadProcessId(hWnd, &pid);
        std::printf("%lu\n", static_cast<unsigned long>(pid));
        return 0;
    }
    if (cmd == "gone" && argc >= 3)
        return WindowQuery(argv[2]).WaitUntilGone(ArgMs(argc, argv, 3, 10000)) ? 0 : 1;
    if (cmd == "check-server")
        return CheckServer();
    if (cmd == "check-client")
        return CheckClient();
    if (cmd == "check-about" && argc >= 5)
        return CheckAbout(argv[2], argv[3], static_cast<WPARAM>(std::strtoul(argv[4], nullptr, 0)));
    if (cmd == "bars")
        return Bars(argc >= 3 ? argv[2] : "QDServer");
    if (cmd == "click" && argc >= 4) {
        HWND hWnd = Require(argv[2]);
        PostMessageA(GetDlgItem(hWnd, std::atoi(argv[3])), BM_CLICK, 0, 0);
        return 0;
    }
    if (cmd == "ping" && argc >= 3)
        return Ping(argv[2], ArgMs(argc, argv, 3, 5000));
    if (cmd == "msgbox")
        return MessageBoxText(ArgMs(argc, argv, 2, 10000), argc >= 4 && std::strcmp(argv[3], "ok") == 0);
    if (cmd == "key" && argc >= 4)
        return Key(Require(argv[2]), static_cast<WPARAM>(std::strtoul(argv[3], nullptr, 0)));
    if (cmd == "sysmenu-close" && argc >= 3) {
        PostMessageA(Require(argv[2]), WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    }
    if (cmd == "click-all" && argc >= 4) {
        for (HWND hWnd : WindowQuery(argv[2]).FindAll())
            PostMessageA(GetDlgItem(hWnd, std::atoi(argv[3])), BM_CLICK, 0, 0);
        return 0;
    }
    if (cmd == "count" && argc >= 3) {
        std::printf("%u\n", static_cast<unsigned>(WindowQuery(argv[2]).FindAll().size()));
        return 0;
    }
    if (cmd == "move" && argc >= 5) {
        SetWindowPos(Require(argv[2]), nullptr, std::atoi(argv[3]), std::atoi(argv[4]), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    if (cmd == "offset" && argc >= 4) {
        HWND hWnd = Require(argv[2]);
        RECT w{}, c{};
        GetWindowRect(hWnd, &w);
        GetWindowRect(GetDlgItem(hWnd, std::atoi(argv[3])), &c);
        std::printf("%ld %ld\n", (c.left + c.right) / 2 - w.left, (c.top + c.bottom) / 2 - w.top);
        return 0;
    }
    if (cmd == "arch" && argc >= 3)
        return Arch(argv[2]);
    if (cmd == "run" && argc >= 4)
        return RunWatched(ArgMs(argc, argv, 2, 10000), argc - 3, argv + 3);
    std::printf("unknown command %s\n", cmd.c_str());
    return 2;
}
