// QDSERVER's start-up when OLE cannot be initialised: string 100 in a message box, then the end;
// started by an installer, a silent failure instead.
#include "board_link.h"
#include "classes_root.h"
#include "com_security.h"
#include "demo_cmd_target.h"
#include "server_app.h"
#include "unique_handle.h"
#include "wait_until.h"
#include "window_query.h"

#include <memory>

#include <gtest/gtest.h>

#include <sddl.h>

#include <future>
#include <string>
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

// What the start handed CoInitializeSecurity (Wine's is a stub).
struct SecurityCall {
    int nCalls = 0;
    bool bClassOffered = false;
    std::wstring sddl;
    std::wstring label;  // the mandatory label: its mask and level
    LONG cAuthSvc = 0;
    DWORD dwAuthnLevel = 0, dwImpLevel = 0, dwCapabilities = 0;
    HRESULT hrAnswer = S_OK;
} g_security;

HRESULT WINAPI RecordSecurity(PSECURITY_DESCRIPTOR pSd, LONG cAuthSvc, SOLE_AUTHENTICATION_SERVICE*, void*,
                              DWORD dwAuthnLevel, DWORD dwImpLevel, void*, DWORD dwCapabilities, void*)
{
    ++g_security.nCalls;
    g_security.bClassOffered = CQDCmdTarget::factory.IsRegistered() != FALSE;
    LPWSTR psz = nullptr;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            pSd, SDDL_REVISION_1, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
            &psz, nullptr)) {
        g_security.sddl = psz;
        LocalFree(psz);
    }
    // Wine's SDDL writer has no name for a label: read its one entry.
    BOOL bPresent = FALSE, bDefaulted = FALSE;
    PACL pSacl = nullptr;
    void* pAce = nullptr;
    if (GetSecurityDescriptorSacl(pSd, &bPresent, &pSacl, &bDefaulted) && bPresent && pSacl != nullptr &&
        pSacl->AceCount == 1 && GetAce(pSacl, 0, &pAce) &&
        static_cast<ACE_HEADER*>(pAce)->AceType == SYSTEM_MANDATORY_LABEL_ACE_TYPE &&
        ConvertSidToStringSidW(&static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(pAce)->SidStart, &psz)) {
        g_security.label = std::to_wstring(static_cast<SYSTEM_MANDATORY_LABEL_ACE*>(pAce)->Mask) + L" " + psz;
        LocalFree(psz);
    }
    g_security.cAuthSvc = cAuthSvc;
    g_security.dwAuthnLevel = dwAuthnLevel;
    g_security.dwImpLevel = dwImpLevel;
    g_security.dwCapabilities = dwCapabilities;
    return g_security.hrAnswer;
}

// The SID of the process's user, or of its integrity level, as SDDL writes it.
std::wstring TokenSid(TOKEN_INFORMATION_CLASS infoClass)
{
    HANDLE hToken = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken);
    CUniqueHandle token(hToken);
    BYTE buffer[256];
    DWORD cb = 0;
    LPWSTR psz = nullptr;
    if (!GetTokenInformation(hToken, infoClass, buffer, sizeof buffer, &cb) ||
        !ConvertSidToStringSidW(reinterpret_cast<SID_AND_ATTRIBUTES*>(buffer)->Sid, &psz))
        return L"?";
    std::wstring sid(psz);
    LocalFree(psz);
    return sid;
}

TEST(ServerAppTest, ComSecurityIsSetOnceBeforeAnyClassIsOfferedOrTheStartEnds)
{
    CClassesRoot::SetForTest(HKEY_CURRENT_USER, "Software\\QDTest.Security\\Machine",
                             "Software\\QDTest.Security\\User", false);
    CComSecurity::SetForTest(&RecordSecurity);
    const std::wstring user = TokenSid(TokenUser);
    // 0x3 (COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL) reads CCDC in SDDL.
    const std::wstring expectedSddl = L"O:" + user + L"G:" + user + L"D:(A;;CCDC;;;" + user + L")(A;;CCDC;;;SY)";
    const std::wstring expectedLabel = L"4 " + TokenSid(TokenIntegrityLevel);
    for (HRESULT hrAnswer : {S_OK, E_ACCESSDENIED}) {
        SCOPED_TRACE(hrAnswer == S_OK ? "set" : "refused");
        g_security = SecurityCall();
        g_security.hrAnswer = hrAnswer;
        BOOL bResult = TRUE;
        std::thread main([&] {
            bResult = theApp.InitInstance();
            AfxOleTerm();
        });
        if (hrAnswer == S_OK) {
            HWND hDialog = WindowQuery("QDServer").InThisProcess().WaitFor(10000);
            EXPECT_NE(hDialog, nullptr);
            PostMessageA(hDialog, WM_COMMAND, IDCANCEL, 0);
        } else {
            HWND hBox = FindOwnMessageBox(10000);
            EXPECT_NE(hBox, nullptr) << "a refusal is not silent";
            if (hBox != nullptr)
                PostMessageA(hBox, WM_COMMAND, IDOK, 0);
            else  // the server went on with the machine's defaults
                PostMessageA(WindowQuery("QDServer").InThisProcess().Find(), WM_COMMAND, IDCANCEL, 0);
        }
        main.join();
        EXPECT_FALSE(bResult);
        EXPECT_EQ(theApp.ExitInstance(), hrAnswer == S_OK ? 0 : 1);
        EXPECT_EQ(g_security.nCalls, 1);
        EXPECT_FALSE(g_security.bClassOffered) << "set before the class is offered";
        EXPECT_EQ(g_security.sddl, expectedSddl);
        EXPECT_EQ(g_security.label, expectedLabel) << "no execute up, at our own level";
        EXPECT_EQ(g_security.cAuthSvc, -1);
        EXPECT_EQ(g_security.dwAuthnLevel, static_cast<DWORD>(RPC_C_AUTHN_LEVEL_PKT_PRIVACY));
        EXPECT_EQ(g_security.dwImpLevel, static_cast<DWORD>(RPC_C_IMP_LEVEL_IDENTIFY));
        EXPECT_EQ(g_security.dwCapabilities, static_cast<DWORD>(EOAC_DISABLE_AAA | EOAC_NO_CUSTOM_MARSHAL));
    }
    EXPECT_FALSE(CQDCmdTarget::factory.IsRegistered()) << "a refused start offers nothing";
    CComSecurity::SetForTest(nullptr);
    CClassesRoot::Reset();
    CRegKey::DeleteTree(HKEY_CURRENT_USER, "Software\\QDTest.Security");
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
