#include "reg_key.h"

#include <objbase.h>

LONG CRegKey::Create(HKEY hParent, const std::string& subKey, REGSAM samView)
{
    Close();
    return RegCreateKeyExA(hParent, subKey.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | samView, nullptr,
                           &m_hKey, nullptr);
}

LONG CRegKey::Open(HKEY hParent, const std::string& subKey, REGSAM samView)
{
    Close();
    return RegOpenKeyExA(hParent, subKey.c_str(), 0, KEY_READ | samView, &m_hKey);
}

void CRegKey::Close()
{
    if (m_hKey != nullptr) {
        RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }
}

LONG CRegKey::SetStringValue(LPCSTR lpszName, const std::string& value)
{
    return RegSetValueExA(m_hKey, lpszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1));
}

LONG CRegKey::SetStringValue(LPCSTR lpszName, const std::wstring& value)
{
    std::wstring name = lpszName != nullptr ? std::wstring(lpszName, lpszName + lstrlenA(lpszName)) : L"";
    return RegSetValueExW(m_hKey, lpszName != nullptr ? name.c_str() : nullptr, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring CRegKey::GetWideStringValue(LPCSTR lpszName) const
{
    std::wstring name = lpszName != nullptr ? std::wstring(lpszName, lpszName + lstrlenA(lpszName)) : L"";
    LPCWSTR pszName = lpszName != nullptr ? name.c_str() : nullptr;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(m_hKey, pszName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(m_hKey, pszName, nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    value.resize(size / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0')  // a stored string need not end with its terminator
        value.pop_back();
    return value;
}

std::string CRegKey::GetStringValue(LPCSTR lpszName) const
{
    char buffer[1024];
    DWORD type = 0;
    DWORD size = sizeof(buffer) - 1;
    if (RegQueryValueExA(m_hKey, lpszName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    buffer[size] = '\0';  // a stored string need not end with its terminator
    return buffer;
}

std::vector<std::string> CRegKey::GetSubKeyNames() const
{
    std::vector<std::string> names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof(name);
        if (RegEnumKeyExA(m_hKey, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, size);
    }
    return names;
}

bool CRegKey::DeleteTree(HKEY hParent, const std::string& subKey, REGSAM samView)
{
    CRegKey key;
    LONG result = RegOpenKeyExA(hParent, subKey.c_str(), 0,
                                DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | samView,
                                &key.m_hKey);
    if (result == ERROR_FILE_NOT_FOUND)
        return true;
    if (result != ERROR_SUCCESS)
        return false;
    // Everything below the key first, in the view it was opened in; then the key itself.
    result = RegDeleteTreeA(key.m_hKey, nullptr);
    key.Close();
    if (result != ERROR_SUCCESS)
        return false;
    result = RegDeleteKeyExA(hParent, subKey.c_str(), samView, 0);
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::string AfxRegGuidString(REFGUID guid)
{
    wchar_t wide[64] = L"";
    if (StringFromGUID2(guid, wide, 64) == 0)
        return {};
    char narrow[64] = "";
    WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof(narrow), nullptr, nullptr);
    return narrow;
}
