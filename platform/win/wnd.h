// CWnd: a C++ object attached to a window. Messages reach the object's message map through
// AfxWndProc; whatever the map does not handle, and whatever a handler passes on with Default(),
// goes to the window's original procedure. An exception that escapes a handler is reported in a
// message box at this boundary and goes no further.
#pragma once
#include "cmd_target.h"

class CDataExchange;

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)
public:
    CWnd();
    ~CWnd() override;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Creates a window whose messages go to this object's message map.
    BOOL CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, int x,
                  int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                  LPVOID lpParam = nullptr);
    virtual BOOL DestroyWindow();

    // Attaches an existing window without routing its messages (controls bound by data exchange).
    BOOL Attach(HWND hWnd);
    // Attaches an existing window and routes its messages through this object's message map.
    BOOL SubclassWindow(HWND hWnd);
    static CWnd* FromHandlePermanent(HWND hWnd);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    HMENU GetSystemMenu(BOOL bRevert) const { return ::GetSystemMenu(m_hWnd, bRevert); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon)
    {
        return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bBigIcon ? 1 : 0, reinterpret_cast<LPARAM>(hIcon)));
    }

    // Runs DoDataExchange: TRUE reads the controls into the members, FALSE writes them.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Passes the message being handled to the window's original procedure.
    LRESULT Default();

    // The current message's window procedure entry, shared by every CWnd.
    static LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after the window is gone (WM_NCDESTROY); the object is detached by then.
    virtual void PostNcDestroy() {}

    afx_msg void OnPaint() { Default(); }
    afx_msg void OnSysCommand(UINT, LPARAM) { Default(); }

    WNDPROC m_pfnSuper = nullptr;  // the procedure the window had before it was subclassed

    DECLARE_MESSAGE_MAP()

private:
    void AttachHandle(HWND hWnd);
    void DetachHandle();
};

// Registers (once) and returns the name of a window class whose procedure is AfxWndProc.
const char* AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = nullptr,
                                HBRUSH hbrBackground = nullptr, HICON hIcon = nullptr);

// Reports an exception that reached a framework boundary (the user sees a message box).
void AfxReportEscapedException();
