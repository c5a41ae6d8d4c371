#include "com_security.h"

#include <sddl.h>

#include <memory>
#include <vector>

namespace {

CComSecurity::PfnCoInitializeSecurity g_pfnForTest = nullptr;

// A SID in the string form SDDL takes; empty on failure.
std::wstring SidString(PSID pSid)
{
    LPWSTR psz = nullptr;
    if (!ConvertSidToStringSidW(pSid, &psz))
        return {};
    std::wstring s(psz);
    LocalFree(psz);
    return s;
}

// The SID of one kind of information of the process's token: its user or its integrity label.
std::wstring TokenSidString(HANDLE hToken, TOKEN_INFORMATION_CLASS infoClass)
{
    DWORD cb = 0;
    GetTokenInformation(hToken, infoClass, nullptr, 0, &cb);
    if (cb == 0)
        return {};
    std::vector<BYTE> buffer(cb);
    if (!GetTokenInformation(hToken, infoClass, buffer.data(), cb, &cb))
        return {};
    // TOKEN_USER and TOKEN_MANDATORY_LABEL both start with a SID_AND_ATTRIBUTES.
    return SidString(reinterpret_cast<const SID_AND_ATTRIBUTES*>(buffer.data())->Sid);
}

struct LocalFreeDeleter {
    void operator()(void* p) const { LocalFree(p); }
};

// The absolute form that CoInitializeSecurity takes: the descriptor and the four parts it points to.
class CAbsoluteDescriptor {
public:
    bool ConvertFrom(PSECURITY_DESCRIPTOR pRelative)
    {
        DWORD cbSd = 0, cbDacl = 0, cbSacl = 0, cbOwner = 0, cbGroup = 0;
        MakeAbsoluteSD(pRelative, nullptr, &cbSd, nullptr, &cbDacl, nullptr, &cbSacl, nullptr, &cbOwner,
                       nullptr, &cbGroup);
        m_sd.resize(cbSd);
        m_dacl.resize(cbDacl);
        m_sacl.resize(cbSacl);
        m_owner.resize(cbOwner);
        m_group.resize(cbGroup);
        return MakeAbsoluteSD(pRelative, Part<SECURITY_DESCRIPTOR>(m_sd), &cbSd, Part<ACL>(m_dacl), &cbDacl,
                              Part<ACL>(m_sacl), &cbSacl, Part<void>(m_owner), &cbOwner, Part<void>(m_group),
                              &cbGroup) != FALSE;
    }
    PSECURITY_DESCRIPTOR Get() { return m_sd.data(); }

private:
    template <class T>
    static T* Part(std::vector<BYTE>& v) { return v.empty() ? nullptr : reinterpret_cast<T*>(v.data()); }

    std::vector<BYTE> m_sd, m_dacl, m_sacl, m_owner, m_group;
};

}  // namespace

std::wstring CComSecurity::AccessSddl()
{
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return {};
    const std::wstring user = TokenSidString(hToken, TokenUser);
    const std::wstring level = TokenSidString(hToken, TokenIntegrityLevel);
    CloseHandle(hToken);
    if (user.empty() || level.empty())
        return {};
    // 0x3: COM_RIGHTS_EXECUTE | COM_RIGHTS_EXECUTE_LOCAL. NX: no execute up, so a process below
    // our integrity level cannot call in.
    return L"O:" + user + L"G:" + user + L"D:(A;;0x3;;;" + user + L")(A;;0x3;;;SY)S:(ML;;NX;;;" + level + L")";
}

HRESULT CComSecurity::InitializeProcess()
{
    const std::wstring sddl = AccessSddl();
    PSECURITY_DESCRIPTOR pRelative = nullptr;
    if (sddl.empty() ||
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &pRelative, nullptr))
        return HRESULT_FROM_WIN32(ERROR_INVALID_SECURITY_DESCR);
    const std::unique_ptr<void, LocalFreeDeleter> relative(pRelative);
    CAbsoluteDescriptor absolute;
    if (!absolute.ConvertFrom(pRelative))
        return HRESULT_FROM_WIN32(ERROR_INVALID_SECURITY_DESCR);
    PfnCoInitializeSecurity pfn = g_pfnForTest != nullptr ? g_pfnForTest : &CoInitializeSecurity;
    return pfn(absolute.Get(), -1, nullptr, nullptr, kAuthnLevel, kImpLevel, nullptr, kCapabilities, nullptr);
}

void CComSecurity::SetForTest(PfnCoInitializeSecurity pfn) { g_pfnForTest = pfn; }
