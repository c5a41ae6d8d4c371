// QDSERVER's start-up when OLE cannot be initialised: string 100 in a message box, then the end;
// started by an installer, a silent failure instead.
#include "server_app.h"
#include "window_query.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace {

HWND FindOwnMessageBox(DWORD timeoutMs) { return WindowQuery::AnyMessageBox().InThisProcess().WaitFor(timeoutMs); }

TEST(ServerAppTest, FailedOleInitialisationShowsString100AndEnds)
{
    // A thread already in the multithreaded apartment cannot initialise OLE.
    BOOL bResult = TRUE;
    std::thread main([&] {
        EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
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
    EXPECT_EQ(WindowQuery("QDServer").InThisProcess().WaitFor(200), nullptr) << "no dialog was shown";
}

TEST(ServerAppTest, RegServerFailureEndsWithNonZeroExitCodeAndNoMessageBox)
{
    theApp.m_lpCmdLine = const_cast<LPSTR>("-regserver");
    // A message box would hold InitInstance until someone closes it.
    auto done = std::async(std::launch::async, [] {
        EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));  // OLE cannot be initialised on this thread
        BOOL bResult = theApp.InitInstance();
        CoUninitialize();
        return bResult;
    });
    bool bEnded = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!bEnded)
        PostMessageA(FindOwnMessageBox(1000), WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(bEnded) << "a message box waits for the user";
    EXPECT_FALSE(done.get());
    EXPECT_NE(theApp.ExitInstance(), 0) << "the installer learns of the failure";
    EXPECT_EQ(FindOwnMessageBox(0), nullptr);
    EXPECT_EQ(WindowQuery("QDServer").InThisProcess().WaitFor(200), nullptr) << "no dialog was shown";
    theApp.m_lpCmdLine = nullptr;
}

}  // namespace
