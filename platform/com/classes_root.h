// CClassesRoot: the two keys that hold COM classes, the machine's (HKLM\Software\Classes) and the
// current user's (HKCU\Software\Classes), named explicitly instead of through the merged
// HKEY_CLASSES_ROOT: a write through the merged root lands in the user's key wherever that key
// exists, so a registration meant for the machine would become a per-user shadow of it.
//
// Windows refuses the machine's key to a user without elevation; Wine never refuses a registry
// write. Tests therefore point both keys at keys of their own and refuse the machine's through
// SetForTest, as a start without elevation on Windows would find it.
//
// COM gives an elevated process the machine's classes only; Wine has no elevation to speak of, so
// the same seam says whether the process counts as elevated.
#pragma once
#include "reg_key.h"

#include <string>

enum class EClassesScope { Machine, User };

class CClassesRoot {
public:
    // Opens the scope's classes key for reading and writing, in the registry view samView (0: the
    // program's own). ERROR_ACCESS_DENIED where the scope refuses writes.
    static LONG OpenForWrite(EClassesScope scope, CRegKey& key, REGSAM samView = 0);
    // The string value as COM reads it for this process: the user's key where it exists, else the
    // machine's; in an elevated process the machine's only. Empty when none has it. lpszValue
    // names the value (nullptr: the key's unnamed value).
    static std::wstring ReadEffective(const std::string& subKey, REGSAM samView = 0, LPCSTR lpszValue = nullptr);
    // Whether the scope's key holds subKey.
    static bool Exists(EClassesScope scope, const std::string& subKey, REGSAM samView = 0);

    // Whether COM reads only the machine's classes for this process (it runs at high integrity or
    // above: elevated).
    static bool IsElevated();

    // Tests: both scopes under keys of the test's own; the machine's refuses writes if bRefuseMachine,
    // and the process counts as elevated if bElevated.
    static void SetForTest(HKEY hParent, const std::string& machineKey, const std::string& userKey,
                           bool bRefuseMachine, bool bElevated = false);
    static void Reset();

private:
    static LONG Open(EClassesScope scope, CRegKey& key, REGSAM samView);
};
