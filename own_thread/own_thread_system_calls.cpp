#include "own_thread_system_calls.h"

#include <wnd.h>

#include <objbase.h>

namespace {

BOOL CreateWindowThroughFramework(CWnd* pWnd, DWORD dwExStyle, LPCSTR lpszClassName,
                                  LPCSTR lpszWindowName, DWORD dwStyle, int x, int y, int nWidth,
                                  int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam)
{
    return pWnd->CreateEx(dwExStyle, lpszClassName, lpszWindowName, dwStyle, x, y, nWidth, nHeight,
                          hWndParent, nIDorHMenu, lpParam);
}

const COwnThreadSystemCalls kDefaults = {
    &CoInitialize,         &CoUninitialize,       &CreateStreamOnHGlobal,
    &CoMarshalInterface,   &CoUnmarshalInterface, &CreateWindowThroughFramework,
};

}  // namespace

COwnThreadSystemCalls& COwnThreadSystemCalls::Current()
{
    static COwnThreadSystemCalls s_current = kDefaults;
    return s_current;
}

const COwnThreadSystemCalls& COwnThreadSystemCalls::Defaults() { return kDefaults; }
