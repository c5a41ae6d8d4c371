// CComBSTR: owns one BSTR. Dispatch handlers return strings as a CComBSTR, so a string that came in
// as an argument goes back out as a copy, and the caller's free never meets the framework's.
#pragma once
#include <windows.h>
#include <oleauto.h>

#include <new>
#include <utility>

class CComBSTR {
public:
    CComBSTR() = default;
    // Copies: a CComBSTR never takes a string it was not given by Attach.
    CComBSTR(LPCOLESTR psz) : m_str(Allocate(psz, psz != nullptr ? LengthOf(psz) : 0)) {}
    CComBSTR(LPCOLESTR psz, UINT nLength) : m_str(Allocate(psz, nLength)) {}
    CComBSTR(const CComBSTR& other) : m_str(other.Copy()) {}
    CComBSTR(CComBSTR&& other) noexcept : m_str(other.Detach()) {}
    ~CComBSTR() { SysFreeString(m_str); }

    CComBSTR& operator=(CComBSTR other) noexcept
    {
        std::swap(m_str, other.m_str);
        return *this;
    }

    operator BSTR() const { return m_str; }
    UINT Length() const { return SysStringLen(m_str); }

    // A new allocation with the same text (NULL stays NULL).
    BSTR Copy() const { return m_str != nullptr ? Allocate(m_str, SysStringLen(m_str)) : nullptr; }
    // Takes a string that the caller owned; gives it back.
    void Attach(BSTR str) { SysFreeString(m_str); m_str = str; }
    BSTR Detach() { return std::exchange(m_str, nullptr); }

private:
    static UINT LengthOf(LPCOLESTR psz) { return static_cast<UINT>(lstrlenW(psz)); }
    static BSTR Allocate(LPCOLESTR psz, UINT nLength)
    {
        if (psz == nullptr)
            return nullptr;
        BSTR str = SysAllocStringLen(psz, nLength);
        if (str == nullptr)
            throw std::bad_alloc();
        return str;
    }

    BSTR m_str = nullptr;
};
