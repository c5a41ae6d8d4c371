// QDSERVER's start-up when OLE cannot be initialised: string 100 in a message box, then the end;
// started by an installer, a silent failure instead.
#include "board_link.h"
#include "classes_root.h"
#include "demo_cmd_target.h"
#include "server_app.h"
#include "wait_until.h"
#include "window_query.h"

#include <memory>

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

// Answers, on the thread that owns its window, whether the demo class could be registered with COM
// there now: CO_E_OBJISREG while the server's own factory is still registered.
class CRegistrationProbe final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory) ? this : nullptr;
        return *ppv != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    static LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message != WM_APP)
            return DefWindowProcA(hWnd, message, wParam, lParam);
        static CRegistrationProbe s_probe;
        DWORD dwCookie = 0;
        HRESULT hr = CoRegisterClassObject(CLSID_QDCmdTarget, &s_probe, CLSCTX_LOCAL_SERVER, REGCLS_SINGLEUSE, &dwCookie);
        if (SUCCEEDED(hr))
            CoRevokeClassObject(dwCookie);
        return hr;
    }
};

TEST(ServerAppTest, ClassFactoriesAreRevokedBeforeTheBoardCloses)
{
    // The start-up's registration goes to keys of the test's own.
    CClassesRoot::SetForTest(HKEY_CURRENT_USER, "Software\\QDTest.CloseOrder\\Machine",
                             "Software\\QDTest.CloseOrder\\User", false);
    HWND hProbe = nullptr;
    std::thread main([&] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = &CRegistrationProbe::WndProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "QDTestRegistrationProbe";
        RegisterClassA(&wc);
        hProbe = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        theApp.InitInstance();
        DestroyWindow(hProbe);
        AfxOleTerm();
    });
    HWND hDialog = WindowQuery("QDServer").InThisProcess().WaitFor(10000);
    ASSERT_NE(hDialog, nullptr);
    EXPECT_EQ(SendMessageA(hProbe, WM_APP, 0, 0), CO_E_OBJISREG) << "the dialog runs: the factory is registered";

    // A use of the board holds the closing dialog in CloseBoard, which serves sent messages.
    auto pUse = std::make_unique<CBoardUse>();
    ASSERT_TRUE(*pUse);
    PostMessageA(hDialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil([] { return AfxGetApp()->m_pMainWnd.load() == nullptr; }, 10000)) << "the board closes";
    EXPECT_EQ(SendMessageA(hProbe, WM_APP, 0, 0), S_OK) << "revoked before the board closed";
    pUse.reset();
    main.join();
    CClassesRoot::Reset();
    CRegKey::DeleteTree(HKEY_CURRENT_USER, "Software\\QDTest.CloseOrder");
}

}  // namespace
