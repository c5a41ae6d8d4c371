// Owns one kernel handle (an event, a thread, a process) and closes it when it goes, so that no code
// outside the platform closes a handle by hand. Move-only; creation functions answer NULL or
// INVALID_HANDLE_VALUE on failure, and both mean "no handle".
#pragma once
#include <windows.h>

class CUniqueHandle {
public:
    CUniqueHandle() = default;
    explicit CUniqueHandle(HANDLE h) : m_h(h) {}
    ~CUniqueHandle() { Reset(); }

    CUniqueHandle(CUniqueHandle&& other) noexcept : m_h(other.Detach()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;

    HANDLE Get() const { return m_h; }
    explicit operator bool() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }

    // Closes the handle held, if any, and takes h.
    void Reset(HANDLE h = nullptr)
    {
        if (*this)
            ::CloseHandle(m_h);
        m_h = h;
    }
    // Gives the handle up without closing it.
    HANDLE Detach()
    {
        HANDLE h = m_h;
        m_h = nullptr;
        return h;
    }

private:
    HANDLE m_h = nullptr;
};
