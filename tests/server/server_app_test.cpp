// QDSERVER's start-up when OLE cannot be initialised: string 100 in a message box, then the end.
#include "modal_dialog_runner.h"
#include "server_app.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

HWND FindOwnMessageBox(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        HWND hWnd = nullptr;
        while ((hWnd = FindWindowExA(nullptr, hWnd, "#32770", nullptr)) != nullptr) {
            DWORD pid = 0;
            GetWindowThreadProcessId(hWnd, &pid);
            if (pid == GetCurrentProcessId() && GetDlgItem(hWnd, 0xFFFF) && IsWindowVisible(hWnd))
                return hWnd;
        }
        Sleep(20);
    }
    return nullptr;
}

TEST(ServerAppTest, FailedOleInitialisationShowsString100AndEnds)
{
    // A thread already in the multithreaded apartment cannot initialise OLE.
    BOOL bResult = TRUE;
    std::thread main([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        bResult = theApp.InitInstance();
        CoUninitialize();
    });
    HWND hBox = FindOwnMessageBox(10000);
    ASSERT_NE(hBox, nullptr) << "no message box";
    char text[256] = "";
    GetWindowTextA(GetDlgItem(hBox, 0xFFFF), text, sizeof(text));
    EXPECT_STREQ(text, "OLE initialization failed.  Make sure that the OLE libraries are the correct version.");
    PostMessageA(hBox, WM_COMMAND, IDOK, 0);
    main.join();
    EXPECT_FALSE(bResult) << "the program ends";
    EXPECT_EQ(WaitForOwnWindow("QDServer", 200), nullptr) << "no dialog was shown";
}

}  // namespace
