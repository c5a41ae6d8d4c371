#include "classes_root.h"

namespace {

struct Roots {
    HKEY hMachineParent = HKEY_LOCAL_MACHINE;
    std::string machineKey = "Software\\Classes";
    HKEY hUserParent = HKEY_CURRENT_USER;
    std::string userKey = "Software\\Classes";
    bool bRefuseMachine = false;
};

Roots& TheRoots()
{
    static Roots s_roots;
    return s_roots;
}

}  // namespace

LONG CClassesRoot::OpenForWrite(EClassesScope scope, CRegKey& key, REGSAM samView)
{
    const Roots& roots = TheRoots();
    if (scope == EClassesScope::Machine) {
        if (roots.bRefuseMachine)
            return ERROR_ACCESS_DENIED;
        return key.Create(roots.hMachineParent, roots.machineKey, samView);
    }
    return key.Create(roots.hUserParent, roots.userKey, samView);
}

LONG CClassesRoot::Open(EClassesScope scope, CRegKey& key, REGSAM samView)
{
    const Roots& roots = TheRoots();
    return scope == EClassesScope::Machine ? key.Open(roots.hMachineParent, roots.machineKey, samView)
                                           : key.Open(roots.hUserParent, roots.userKey, samView);
}

std::wstring CClassesRoot::ReadEffective(const std::string& subKey, REGSAM samView)
{
    for (EClassesScope scope : {EClassesScope::User, EClassesScope::Machine}) {
        CRegKey root, key;
        if (Open(scope, root, samView) == ERROR_SUCCESS &&
            key.Open(root.Handle(), subKey, samView) == ERROR_SUCCESS)
            return key.GetWideStringValue(nullptr);
    }
    return {};
}

bool CClassesRoot::Exists(EClassesScope scope, const std::string& subKey, REGSAM samView)
{
    CRegKey root, key;
    return Open(scope, root, samView) == ERROR_SUCCESS &&
           key.Open(root.Handle(), subKey, samView) == ERROR_SUCCESS;
}

void CClassesRoot::SetForTest(HKEY hParent, const std::string& machineKey, const std::string& userKey,
                              bool bRefuseMachine)
{
    Roots& roots = TheRoots();
    roots.hMachineParent = roots.hUserParent = hParent;
    roots.machineKey = machineKey;
    roots.userKey = userKey;
    roots.bRefuseMachine = bRefuseMachine;
}

void CClassesRoot::Reset() { TheRoots() = Roots(); }
