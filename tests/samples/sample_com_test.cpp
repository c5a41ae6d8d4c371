// QDSAMPLE over real out-of-process COM: its registration switches, two objects on two own threads
// (neither the server's main thread), each member once, and the bad arguments once.
#include "process_census.h"
#include "remote_object.h"
#include "wait_until.h"

#include <com_variant.h>

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <string>
#include <vector>

namespace {

constexpr char kProgId[] = "QDSAMPLE.COUNTER";

// QDSAMPLE.EXE as Windows names it (the build's path on Wine's Z: drive).
std::string SamplePath()
{
    std::string path = "Z:" + std::string(QD_SAMPLE_PATH);
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

DWORD RunSample(const char* lpszSwitches)
{
    std::string command = "\"" + SamplePath() + "\" " + lpszSwitches;
    STARTUPINFOA si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0xFFFFFFFF;
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

// In this program's registry view.
bool KeyExists(const char* lpszKey)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, lpszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return false;
    RegCloseKey(hKey);
    return true;
}

// The IDs of a running QDSAMPLE's process and of its main (first) thread; 0 when none runs.
DWORD SampleProcess(DWORD* pMainThread = nullptr)
{
    DWORD pid = 0;
    HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD, 0);
    PROCESSENTRY32 pe{sizeof(pe)};
    for (BOOL b = Process32First(hSnap, &pe); b && pid == 0; b = Process32Next(hSnap, &pe))
        if (lstrcmpiA(pe.szExeFile, "QDSAMPLE.EXE") == 0)
            pid = pe.th32ProcessID;
    ULONGLONG first = ~0ULL;
    THREADENTRY32 te{sizeof(te)};
    for (BOOL b = Thread32First(hSnap, &te); b && pid != 0 && pMainThread; b = Thread32Next(hSnap, &te)) {
        if (te.th32OwnerProcessID != pid)
            continue;
        HANDLE hThread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, te.th32ThreadID);
        FILETIME created, x1, x2, x3;
        if (hThread && GetThreadTimes(hThread, &created, &x1, &x2, &x3)) {
            ULONGLONG t = (ULONGLONG(created.dwHighDateTime) << 32) | created.dwLowDateTime;
            if (t < first) {
                first = t;
                *pMainThread = te.th32ThreadID;
            }
        }
        if (hThread)
            CloseHandle(hThread);
    }
    CloseHandle(hSnap);
    return pid;
}

// A late-bound call, as a script makes it: the name first, then Invoke.
HRESULT Call(IDispatch* pDisp, const wchar_t* pszName, WORD wFlags, std::vector<CComVariant> args,
             VARIANT* pResult = nullptr, UINT* puArgErr = nullptr)
{
    LPOLESTR name = const_cast<LPOLESTR>(pszName);
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = pDisp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    bool bPut = wFlags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), bPut ? &put : nullptr,
                      static_cast<UINT>(reversed.size()), bPut ? 1u : 0u};
    return pDisp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params, pResult, nullptr, puArgErr);
}

long LongOf(IDispatch* pDisp, const wchar_t* pszName, std::vector<CComVariant> args = {},
            WORD wFlags = DISPATCH_METHOD | DISPATCH_PROPERTYGET)
{
    CComVariant result;
    HRESULT hr = Call(pDisp, pszName, wFlags, std::move(args), &result);
    EXPECT_EQ(hr, S_OK) << "calling " << std::string(pszName, pszName + lstrlenW(pszName));
    return result.vt == VT_I4 ? result.lVal : (result.vt == VT_BOOL ? result.boolVal : -999999);
}

CComVariant Missing()
{
    CComVariant v;
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

class SampleComTest : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(RunSample("/RegServer"), 0u); }
};

TEST_F(SampleComTest, RegistrationSwitchesWriteAndRemoveTheClassAndItsLibrary)
{
    EXPECT_TRUE(KeyExists("QDSAMPLE.COUNTER\\CLSID"));
    EXPECT_TRUE(KeyExists("CLSID\\{3F1C2B6E-8D4A-4E57-A1B0-5C6D7E8F9A03}\\LocalServer32"));
    const std::string typeLib = std::string("TypeLib\\{3F1C2B6E-8D4A-4E57-A1B0-5C6D7E8F9A01}\\1.0\\0\\") +
                                (sizeof(void*) == 8 ? "win64" : "win32");
    EXPECT_TRUE(KeyExists(typeLib.c_str()));
    EXPECT_EQ(RunSample("/UnregServer"), 0u);
    EXPECT_FALSE(KeyExists("CLSID\\{3F1C2B6E-8D4A-4E57-A1B0-5C6D7E8F9A03}"));
    EXPECT_FALSE(KeyExists(typeLib.c_str()));
    EXPECT_EQ(RunSample("/RegServer /UnregServer"), 1u) << "contradictory switches";
    EXPECT_EQ(RunSample("-regserver"), 0u);
    EXPECT_TRUE(KeyExists("QDSAMPLE.COUNTER\\CLSID"));
}

// The per-user switches act on the user's classes only, as QDSERVER's do.
TEST_F(SampleComTest, PerUserSwitchesWriteAndRemoveOnlyTheUsersClasses)
{
    auto exists = [](HKEY hRoot, const char* lpszKey) {
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(hRoot, lpszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS)
            return false;
        RegCloseKey(hKey);
        return true;
    };
    const char* kUserKey = "Software\\Classes\\CLSID\\{3F1C2B6E-8D4A-4E57-A1B0-5C6D7E8F9A03}\\LocalServer32";
    const char* kMachineKey = "Software\\Classes\\CLSID\\{3F1C2B6E-8D4A-4E57-A1B0-5C6D7E8F9A03}";
    ASSERT_EQ(RunSample("/UnregServer"), 0u);
    EXPECT_EQ(RunSample("/RegServerPerUser"), 0u);
    EXPECT_TRUE(exists(HKEY_CURRENT_USER, kUserKey));
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, kMachineKey)) << "the machine's classes untouched";
    EXPECT_EQ(RunSample("/UnregServerPerUser /RegServerPerUser"), 1u) << "contradictory switches";
    EXPECT_EQ(RunSample("/UnregServerPerUser"), 0u);
    EXPECT_FALSE(exists(HKEY_CURRENT_USER, kUserKey));
    EXPECT_FALSE(exists(HKEY_LOCAL_MACHINE, kMachineKey));
    EXPECT_EQ(RunSample("/RegServer"), 0u);
}

TEST_F(SampleComTest, TwoObjectsRunOnTwoOwnThreadsAndEveryMemberAnswers)
{
    {
        RemoteObject a(kProgId), b(kProgId);
        ASSERT_EQ(a.Created(), S_OK);
        ASSERT_EQ(b.Created(), S_OK);
        IDispatch* pA = a.Get();
        IDispatch* pB = b.Get();

        DWORD nMainThread = 0;
        ASSERT_NE(SampleProcess(&nMainThread), 0u);
        const long nThreadA = LongOf(pA, L"ThreadId"), nThreadB = LongOf(pB, L"ThreadId");
        EXPECT_NE(nThreadA, nThreadB) << "each object has a thread of its own";
        EXPECT_NE(static_cast<DWORD>(nThreadA), nMainThread);
        EXPECT_NE(static_cast<DWORD>(nThreadB), nMainThread);
        EXPECT_EQ(LongOf(pA, L"IsOwnThread"), VARIANT_TRUE);
        EXPECT_EQ(LongOf(pB, L"isownthread"), VARIANT_TRUE);

        EXPECT_EQ(LongOf(pA, L"Count"), 0);
        EXPECT_EQ(LongOf(pA, L"Add", {CComVariant(2L), CComVariant(L"40")}), 42);
        EXPECT_EQ(LongOf(pA, L"Count"), 1) << "Add counts";
        EXPECT_EQ(LongOf(pB, L"Count"), 0) << "per object";
        EXPECT_EQ(Call(pA, L"Count", DISPATCH_PROPERTYPUT, {CComVariant(10L)}), S_OK);
        EXPECT_EQ(LongOf(pA, L"Count"), 10);
        EXPECT_EQ(LongOf(pA, L"Sum"), 0);
        EXPECT_EQ(LongOf(pA, L"Sum", {CComVariant(1L), Missing(), CComVariant(L"3")}), 4);
        EXPECT_EQ(LongOf(pA, L"Sum", {CComVariant(1L), CComVariant(2L), CComVariant(3L)}), 6);

        CComVariant sent(L"h\x00e9llo, own thread"), echoed;
        ASSERT_EQ(Call(pB, L"Echo", DISPATCH_METHOD, {sent}, &echoed), S_OK);
        ASSERT_EQ(echoed.vt, VT_BSTR);
        EXPECT_STREQ(echoed.bstrVal, sent.bstrVal);

        // The class's type information, and its dispatch interface's IID.
        UINT nInfo = 0;
        EXPECT_EQ(pA->GetTypeInfoCount(&nInfo), S_OK);
        EXPECT_EQ(nInfo, 1u);
        const IID iidCounter = {0x3f1c2b6e, 0x8d4a, 0x4e57, {0xa1, 0xb0, 0x5c, 0x6d, 0x7e, 0x8f, 0x9a, 0x02}};
        IDispatch* pCounter = nullptr;
        ASSERT_EQ(pA->QueryInterface(iidCounter, reinterpret_cast<void**>(&pCounter)), S_OK);
        pCounter->Release();

        // The bad arguments.
        CComVariant result;
        UINT nArgErr = 99;
        EXPECT_EQ(Call(pA, L"Add", DISPATCH_METHOD, {CComVariant(L"abc"), CComVariant(1L)}, &result, &nArgErr),
                  DISP_E_TYPEMISMATCH);
        EXPECT_EQ(nArgErr, 1u) << "the first of two arguments";
        EXPECT_EQ(Call(pA, L"Add", DISPATCH_METHOD, {CComVariant(1L)}, &result), DISP_E_BADPARAMCOUNT);
        EXPECT_EQ(Call(pA, L"Add", DISPATCH_METHOD, {Missing(), CComVariant(1L)}, &result), DISP_E_PARAMNOTOPTIONAL);
        EXPECT_EQ(Call(pA, L"Sum", DISPATCH_METHOD, {CComVariant(1L), CComVariant(1L), CComVariant(1L), CComVariant(1L)},
                       &result), DISP_E_BADPARAMCOUNT);
        EXPECT_EQ(Call(pA, L"Add", DISPATCH_METHOD, {CComVariant(2147483647L), CComVariant(1L)}, &result),
                  DISP_E_OVERFLOW);
        EXPECT_EQ(Call(pA, L"ThreadId", DISPATCH_PROPERTYPUT, {CComVariant(1L)}), DISP_E_MEMBERNOTFOUND);
        EXPECT_EQ(Call(pA, L"Nothing", DISPATCH_METHOD, {}), DISP_E_UNKNOWNNAME);
        EXPECT_EQ(LongOf(pA, L"Count"), 10) << "a refused Add does not count";
    }
    // With its last object gone, the server ends by itself.
    EXPECT_TRUE(WaitUntil([] { return SampleProcess() == 0; }, 20000, 100));
}

}  // namespace
