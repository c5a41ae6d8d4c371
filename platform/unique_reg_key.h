// Owns one open registry key and closes it when it goes. Move-only.
#pragma once
#include <windows.h>

class CUniqueRegKey {
public:
    CUniqueRegKey() = default;
    ~CUniqueRegKey() { Reset(); }

    CUniqueRegKey(CUniqueRegKey&& other) noexcept : m_hKey(other.m_hKey) { other.m_hKey = nullptr; }
    CUniqueRegKey& operator=(CUniqueRegKey&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_hKey = other.m_hKey;
            other.m_hKey = nullptr;
        }
        return *this;
    }
    CUniqueRegKey(const CUniqueRegKey&) = delete;
    CUniqueRegKey& operator=(const CUniqueRegKey&) = delete;

    HKEY Get() const { return m_hKey; }
    explicit operator bool() const { return m_hKey != nullptr; }

    // For the functions that open a key into an out parameter: closes the key held first.
    HKEY* Put()
    {
        Reset();
        return &m_hKey;
    }
    void Reset()
    {
        if (m_hKey != nullptr)
            ::RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }

private:
    HKEY m_hKey = nullptr;
};
