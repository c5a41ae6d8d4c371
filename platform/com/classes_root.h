// CClassesRoot: the two keys that hold COM classes, the machine's (HKLM\Software\Classes) and the
// current user's (HKCU\Software\Classes), named explicitly instead of through the merged
// HKEY_CLASSES_ROOT: a write through the merged root lands in the user's key wherever that key
// exists, so a registration meant for the machine would become a per-user shadow of it.
//
// Windows refuses the machine's key to a user without elevation; Wine never refuses a registry
// write. Tests therefore point both keys at keys of their own and refuse the machine's through
// SetForTest, as a start without elevation on Windows would find it.
#pragma once
#include "reg_key.h"

#include <string>

enum class EClassesScope { Machine, User };

class CClassesRoot {
public:
    // Opens the scope's classes key for reading and writing, in the registry view samView (0: the
    // program's own). ERROR_ACCESS_DENIED where the scope refuses writes.
    static LONG OpenForWrite(EClassesScope scope, CRegKey& key, REGSAM samView = 0);
    // The string value as COM reads it through the merged root: the user's key where it exists,
    // else the machine's. Empty when neither has it.
    static std::wstring ReadEffective(const std::string& subKey, REGSAM samView = 0);
    // Whether the scope's key holds subKey.
    static bool Exists(EClassesScope scope, const std::string& subKey, REGSAM samView = 0);

    // Tests: both scopes under keys of the test's own; the machine's refuses writes if bRefuseMachine.
    static void SetForTest(HKEY hParent, const std::string& machineKey, const std::string& userKey,
                           bool bRefuseMachine);
    static void Reset();

private:
    static LONG Open(EClassesScope scope, CRegKey& key, REGSAM samView);
};
