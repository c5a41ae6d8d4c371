// Where QDSERVER's registration goes: at start, with each switch, with the machine's classes
// writable or refused. Windows refuses the machine's classes to a user without elevation; Wine
// never refuses a registry write, so both classes keys are keys of the test's own here, and the
// machine's refuses through the seam. The registration is the real one: this program carries the
// server's classes and type library.
#include "classes_root.h"
#include "server_app.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <thread>
#include <utility>

namespace {

const char kTestRoot[] = "Software\\QDTest.Registration";
const char kMachine[] = "Software\\QDTest.Registration\\Machine";
const char kUser[] = "Software\\QDTest.Registration\\User";
const char kClassKey[] = "CLSID\\{BB2FF4E7-0C33-4764-B3B4-F911B8499C26}";
const char kOtherServer[] = "C:\\other\\QDSERVER.EXE";

enum class Where { Nowhere, Here, Elsewhere, Mixed };

std::wstring ThisProgram()
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::string TypeLibPathKey()
{
    return std::string("TypeLib\\{614CC714-7756-4FDA-9110-FE0F1193C7AC}\\1.0\\0\\") +
           (sizeof(void*) == 8 ? "win64" : "win32");
}

std::wstring ReadValue(const char* root, const std::string& subKey)
{
    CRegKey key;
    return key.Open(HKEY_CURRENT_USER, std::string(root) + "\\" + subKey) == ERROR_SUCCESS
               ? key.GetWideStringValue(nullptr)
               : L"";
}

// Where one classes key's ProgID, class and type library lead, all three alike or Mixed.
Where Read(const char* root)
{
    const std::wstring progId = ReadValue(root, "QDSERVER.DEMO\\CLSID");
    const std::wstring server = ReadValue(root, std::string(kClassKey) + "\\LocalServer32");
    const std::wstring typeLib = ReadValue(root, TypeLibPathKey());
    if (progId.empty() && server.empty() && typeLib.empty())
        return Where::Nowhere;
    if (lstrcmpiW(progId.c_str(), L"{BB2FF4E7-0C33-4764-B3B4-F911B8499C26}") != 0)
        return Where::Mixed;
    if (server == L"\"" + ThisProgram() + L"\"" && typeLib == ThisProgram())
        return Where::Here;
    const std::wstring other(kOtherServer, kOtherServer + sizeof(kOtherServer) - 1);
    return server == L"\"" + other + L"\"" && typeLib == other ? Where::Elsewhere : Where::Mixed;
}

void WriteValue(const char* root, const std::string& subKey, const std::string& value)
{
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, std::string(root) + "\\" + subKey), ERROR_SUCCESS);
    key.SetStringValue(nullptr, value);
}

// Runs the start-up's registration, or InitInstance with a switch, on a thread of its own (OLE).
int RunRegistration(const char* lpszSwitch)
{
    int nResult = -1;
    std::thread([&] {
        if (lpszSwitch == nullptr) {
            CoInitialize(nullptr);
            nResult = theApp.RegisterAtStart() ? 0 : 1;
            CoUninitialize();
            return;
        }
        theApp.m_lpCmdLine = const_cast<LPSTR>(lpszSwitch);
        EXPECT_FALSE(theApp.InitInstance());
        theApp.m_lpCmdLine = nullptr;
        nResult = theApp.ExitInstance();
        OleUninitialize();
    }).join();
    return nResult;
}

struct Case {
    const char* name;
    Where machineBefore;
    Where userBefore;
    bool bRefuseMachine;
    const char* lpszSwitch;  // nullptr: a start
    int nExitCode;
    Where machineAfter;
    Where userAfter;
};

const Case kCases[] = {
    // A start writes nothing where COM already finds this program, the machine's first otherwise,
    // and the user's only where the machine refuses.
    {"StartRegisteredHereRefused", Where::Here, Where::Nowhere, true, nullptr, 0, Where::Here, Where::Nowhere},
    {"StartRegisteredHereForTheUser", Where::Nowhere, Where::Here, false, nullptr, 0, Where::Nowhere, Where::Here},
    {"StartRegisteredElsewhere", Where::Elsewhere, Where::Nowhere, false, nullptr, 0, Where::Here, Where::Nowhere},
    {"StartRegisteredElsewhereRefused", Where::Elsewhere, Where::Nowhere, true, nullptr, 0, Where::Elsewhere, Where::Here},
    {"StartRegisteredNowhere", Where::Nowhere, Where::Nowhere, false, nullptr, 0, Where::Here, Where::Nowhere},
    {"StartRegisteredNowhereRefused", Where::Nowhere, Where::Nowhere, true, nullptr, 0, Where::Nowhere, Where::Here},
    // The machine's switches touch the machine's classes only, and fail where it refuses.
    {"RegServer", Where::Elsewhere, Where::Elsewhere, false, "/RegServer", 0, Where::Here, Where::Elsewhere},
    {"RegServerRefused", Where::Elsewhere, Where::Nowhere, true, "/RegServer", 1, Where::Elsewhere, Where::Nowhere},
    {"UnregServer", Where::Here, Where::Here, false, "-unregserver", 0, Where::Nowhere, Where::Here},
    {"UnregServerRefused", Where::Here, Where::Nowhere, true, "/UnregServer", 1, Where::Here, Where::Nowhere},
    // The user's switches touch the user's classes only, whatever the machine allows.
    {"RegServerPerUserRefused", Where::Elsewhere, Where::Nowhere, true, "/RegServerPerUser", 0, Where::Elsewhere, Where::Here},
    {"UnregServerPerUser", Where::Here, Where::Here, false, "-UNREGSERVERPERUSER", 0, Where::Here, Where::Nowhere},
    {"TwoSwitches", Where::Nowhere, Where::Nowhere, false, "/RegServer /RegServerPerUser", 1, Where::Nowhere, Where::Nowhere},
};

void Prepare(const char* root, EClassesScope scope, Where where)
{
    if (where == Where::Here) {
        CClassesRoot::SetForTest(HKEY_CURRENT_USER, kMachine, kUser, false);
        ASSERT_EQ(RunRegistration(scope == EClassesScope::Machine ? "/RegServer" : "/RegServerPerUser"), 0);
    } else if (where == Where::Elsewhere) {
        WriteValue(root, "QDSERVER.DEMO\\CLSID", "{BB2FF4E7-0C33-4764-B3B4-F911B8499C26}");
        WriteValue(root, std::string(kClassKey) + "\\LocalServer32", std::string("\"") + kOtherServer + "\"");
        WriteValue(root, TypeLibPathKey(), kOtherServer);
    }
    ASSERT_EQ(Read(root), where);
}

void RunCases(const Case* pCases, size_t nCases, bool bElevated)
{
    for (const Case* c = pCases; c != pCases + nCases; ++c) {
        SCOPED_TRACE(c->name);
        CRegKey::DeleteTree(HKEY_CURRENT_USER, kTestRoot);
        Prepare(kMachine, EClassesScope::Machine, c->machineBefore);
        Prepare(kUser, EClassesScope::User, c->userBefore);
        CClassesRoot::SetForTest(HKEY_CURRENT_USER, kMachine, kUser, c->bRefuseMachine, bElevated);
        EXPECT_EQ(RunRegistration(c->lpszSwitch), c->nExitCode);
        EXPECT_EQ(Read(kMachine), c->machineAfter);
        EXPECT_EQ(Read(kUser), c->userAfter);
    }
    CClassesRoot::Reset();
    CRegKey::DeleteTree(HKEY_CURRENT_USER, kTestRoot);
}

// One part of a registration that leads elsewhere is enough for a start to write it all again.
TEST(RegistrationRulesTest, StartMendsALibraryOrProgIdThatLeadsElsewhere)
{
    const std::pair<std::string, std::string> kStrays[] = {
        {TypeLibPathKey(), kOtherServer},
        {"QDSERVER.DEMO\\CLSID", "{00000000-0000-0000-C000-000000000046}"},
    };
    for (const auto& stray : kStrays) {
        SCOPED_TRACE(stray.first);
        CRegKey::DeleteTree(HKEY_CURRENT_USER, kTestRoot);
        Prepare(kMachine, EClassesScope::Machine, Where::Here);
        WriteValue(kMachine, stray.first, stray.second);
        ASSERT_EQ(Read(kMachine), Where::Mixed);
        EXPECT_EQ(RunRegistration(nullptr), 0);
        EXPECT_EQ(Read(kMachine), Where::Here);
    }
    CClassesRoot::Reset();
    CRegKey::DeleteTree(HKEY_CURRENT_USER, kTestRoot);
}

TEST(RegistrationRulesTest, EachStartAndSwitchWritesWhereTheMachineAllows)
{
    RunCases(kCases, std::size(kCases), false);
}

// COM gives an elevated process the machine's classes only: what the user's classes hold does not
// count as registered.
const Case kElevatedCases[] = {
    {"ElevatedStartRegisteredHereForTheUser", Where::Nowhere, Where::Here, false, nullptr, 0, Where::Here, Where::Here},
    {"ElevatedStartRegisteredHere", Where::Here, Where::Elsewhere, false, nullptr, 0, Where::Here, Where::Elsewhere},
};

TEST(RegistrationRulesTest, AnElevatedStartReadsTheMachinesClassesOnly)
{
    RunCases(kElevatedCases, std::size(kElevatedCases), true);
}

}  // namespace
