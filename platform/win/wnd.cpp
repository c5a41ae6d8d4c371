#include "wnd.h"

#include "data_exchange.h"
#include "exceptions.h"
#include "message_box.h"
#include "win_app.h"

#include <cstdio>
#include <exception>
#include <mutex>
#include <set>
#include <string>

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

namespace {

const char kObjectProperty[] = "PlatformCWnd";

struct CurrentMessage {
    HWND hWnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

thread_local CurrentMessage t_currentMessage{};
thread_local CWnd* t_pWndInit = nullptr;  // the window being created on this thread

}  // namespace

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::CWnd() = default;

CWnd::~CWnd()
{
    // A window created through this object dies with it; an attached control is only let go.
    if (m_hWnd != nullptr) {
        if (m_pfnSuper != nullptr || FromHandlePermanent(m_hWnd) == this)
            ::DestroyWindow(m_hWnd);
        if (m_hWnd != nullptr)
            DetachHandle();
    }
}

void CWnd::AttachHandle(HWND hWnd)
{
    m_hWnd = hWnd;
    SetPropA(hWnd, kObjectProperty, this);
}

void CWnd::DetachHandle()
{
    if (m_hWnd != nullptr && GetPropA(m_hWnd, kObjectProperty) == this)
        RemovePropA(m_hWnd, kObjectProperty);
    m_hWnd = nullptr;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    return hWnd ? static_cast<CWnd*>(GetPropA(hWnd, kObjectProperty)) : nullptr;
}

BOOL CWnd::Attach(HWND hWnd)
{
    if (hWnd == nullptr)
        return FALSE;
    m_hWnd = hWnd;  // not routed: nothing is recorded on the window
    return TRUE;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (hWnd == nullptr || FromHandlePermanent(hWnd) != nullptr)
        return FALSE;
    AttachHandle(hWnd);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AfxWndProc)));
    return TRUE;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle,
                    int x, int y, int nWidth, int nHeight, HWND hWndParent, HMENU nIDorHMenu,
                    LPVOID lpParam)
{
    CWnd* pOldInit = t_pWndInit;
    t_pWndInit = this;
    HWND hWnd = CreateWindowExA(dwExStyle, lpszClassName, lpszWindowName, dwStyle, x, y, nWidth,
                                nHeight, hWndParent, nIDorHMenu, AfxGetInstanceHandle(), lpParam);
    t_pWndInit = pOldInit;
    if (hWnd == nullptr)
        return FALSE;
    if (m_hWnd == nullptr)  // a class of someone else's: route its messages from now on
        SubclassWindow(hWnd);
    return TRUE;
}

BOOL CWnd::DestroyWindow()
{
    if (m_hWnd == nullptr)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

LRESULT CWnd::Default()
{
    const CurrentMessage& m = t_currentMessage;
    return DefWindowProc(m.message, m.wParam, m.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper != nullptr)
        return CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (!OnWndMsg(message, wParam, lParam, &lResult))
        lResult = DefWindowProc(message, wParam, lParam);
    return lResult;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    UINT nID = LOWORD(wParam);
    int nCode = HIWORD(wParam);
    if (OnCmdMsg(nID, nCode, wParam, lParam))
        return TRUE;
    // Commands nobody here handles go on to the application (ID_HELP, for instance).
    CWinApp* pApp = AfxGetApp();
    return pApp != nullptr && nCode == 0 && pApp->OnCmdMsg(nID, nCode, wParam, lParam);
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam))
            return FALSE;
        *pResult = 0;
        return TRUE;
    }
    const AFX_MSGMAP_ENTRY* pEntry = AfxFindMessageEntry(GetMessageMap(), message, 0, 0);
    if (pEntry == nullptr)
        return FALSE;
    *pResult = pEntry->pfn(this, wParam, lParam);
    return TRUE;
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (pWnd == nullptr && t_pWndInit != nullptr && t_pWndInit->m_hWnd == nullptr) {
        pWnd = t_pWndInit;
        pWnd->AttachHandle(hWnd);
    }
    if (pWnd == nullptr)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);

    if (message == WM_NCDESTROY) {
        // Last message: pass it on, then let the object go of the window.
        LRESULT lResult = pWnd->DefWindowProc(message, wParam, lParam);
        if (pWnd->m_pfnSuper != nullptr)
            SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(pWnd->m_pfnSuper));
        pWnd->DetachHandle();
        pWnd->m_pfnSuper = nullptr;
        pWnd->PostNcDestroy();
        return lResult;
    }

    CurrentMessage saved = t_currentMessage;
    t_currentMessage = {hWnd, message, wParam, lParam};
    LRESULT lResult = 0;
    try {
        // A handler may delete pWnd (a deferred final release does): pWnd is not touched after.
        lResult = pWnd->WindowProc(message, wParam, lParam);
    } catch (...) {
        AfxReportEscapedException();
    }
    t_currentMessage = saved;
    return lResult;
}

void AfxReportEscapedException()
{
    std::string text = AfxDescribeCurrentException();
    AfxMessageBox(text.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

const char* AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hbrBackground, HICON hIcon)
{
    // One class per distinct set of attributes, registered once per process.
    static std::mutex s_mutex;
    static std::set<std::string> s_names;
    char name[96];
    std::snprintf(name, sizeof(name), "Afx:%p:%x:%p:%p:%p", static_cast<void*>(AfxGetInstanceHandle()),
                  nClassStyle, static_cast<void*>(hCursor), static_cast<void*>(hbrBackground),
                  static_cast<void*>(hIcon));
    std::lock_guard<std::mutex> lock(s_mutex);
    auto it = s_names.find(name);
    if (it != s_names.end())
        return it->c_str();
    WNDCLASSA wc{};
    wc.style = nClassStyle;
    wc.lpfnWndProc = &CWnd::AfxWndProc;
    wc.hInstance = AfxGetInstanceHandle();
    wc.hCursor = hCursor;
    wc.hbrBackground = hbrBackground;
    wc.hIcon = hIcon;
    wc.lpszClassName = name;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    return s_names.insert(name).first->c_str();
}
