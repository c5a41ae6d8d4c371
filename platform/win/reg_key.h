// CRegKey: an open registry key that closes itself. Registration code opens many keys on paths that
// can fail at any step; the key must never leak on an early return.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // Win32 error codes, ERROR_SUCCESS on success. samView may name a registry view
    // (KEY_WOW64_64KEY or KEY_WOW64_32KEY); 0 is the caller's own.
    LONG Create(HKEY hParent, const std::string& subKey, REGSAM samView = 0);
    LONG Open(HKEY hParent, const std::string& subKey, REGSAM samView = 0);
    void Close();

    HKEY Handle() const { return m_hKey; }

    // The unnamed value when lpszName is nullptr.
    LONG SetStringValue(LPCSTR lpszName, const std::string& value);
    // Paths: through the wide API, so that no character outside the ANSI code page is lost.
    LONG SetStringValue(LPCSTR lpszName, const std::wstring& value);
    // Empty when the value is missing or not a string.
    std::string GetStringValue(LPCSTR lpszName) const;
    std::wstring GetWideStringValue(LPCSTR lpszName) const;
    std::vector<std::string> GetSubKeyNames() const;

    // Deletes a key with everything below it. A key that does not exist counts as deleted.
    static bool DeleteTree(HKEY hParent, const std::string& subKey, REGSAM samView = 0);

private:
    HKEY m_hKey = nullptr;
};

// A GUID as the registry spells it in key names and values: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.
std::string AfxRegGuidString(REFGUID guid);
