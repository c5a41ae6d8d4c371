#include "classes_root.h"

#include "unique_handle.h"

#include <vector>

namespace {

struct Roots {
    HKEY hMachineParent = HKEY_LOCAL_MACHINE;
    std::string machineKey = "Software\\Classes";
    HKEY hUserParent = HKEY_CURRENT_USER;
    std::string userKey = "Software\\Classes";
    bool bRefuseMachine = false;
    int nElevated = -1;  // -1: as the process's token says
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

std::wstring CClassesRoot::ReadEffective(const std::string& subKey, REGSAM samView, LPCSTR lpszValue)
{
    for (EClassesScope scope : {EClassesScope::User, EClassesScope::Machine}) {
        if (scope == EClassesScope::User && IsElevated())
            continue;
        CRegKey root, key;
        if (Open(scope, root, samView) == ERROR_SUCCESS &&
            key.Open(root.Handle(), subKey, samView) == ERROR_SUCCESS)
            return key.GetWideStringValue(lpszValue);
    }
    return {};
}

bool CClassesRoot::Exists(EClassesScope scope, const std::string& subKey, REGSAM samView)
{
    CRegKey root, key;
    return Open(scope, root, samView) == ERROR_SUCCESS &&
           key.Open(root.Handle(), subKey, samView) == ERROR_SUCCESS;
}

bool CClassesRoot::IsElevated()
{
    const int nElevated = TheRoots().nElevated;
    if (nElevated >= 0)
        return nElevated != 0;
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return false;
    const CUniqueHandle token(hToken);
    // COM's rule is the integrity level: from high up, the user's classes are not read (an
    // administrator without UAC, whose token is not "elevated", runs at high integrity too).
    DWORD cb = 0;
    GetTokenInformation(hToken, TokenIntegrityLevel, nullptr, 0, &cb);
    if (cb == 0)
        return false;
    std::vector<BYTE> buffer(cb);
    if (!GetTokenInformation(hToken, TokenIntegrityLevel, buffer.data(), cb, &cb))
        return false;
    PSID pLevel = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
    const UCHAR nParts = *GetSidSubAuthorityCount(pLevel);
    return nParts > 0 && *GetSidSubAuthority(pLevel, nParts - 1u) >= SECURITY_MANDATORY_HIGH_RID;
}

void CClassesRoot::SetForTest(HKEY hParent, const std::string& machineKey, const std::string& userKey,
                              bool bRefuseMachine, bool bElevated)
{
    Roots& roots = TheRoots();
    roots.hMachineParent = roots.hUserParent = hParent;
    roots.machineKey = machineKey;
    roots.userKey = userKey;
    roots.bRefuseMachine = bRefuseMachine;
    roots.nElevated = bElevated ? 1 : 0;
}

void CClassesRoot::Reset() { TheRoots() = Roots(); }
