// The operating-system calls whose failures the own-thread machinery must survive. They are reached
// through this table so that each failure can be produced on demand; the defaults are the real calls.
#pragma once
#include <windows.h>
#include <objidl.h>

class CWnd;

struct COwnThreadSystemCalls {
    HRESULT (WINAPI* pfnCoInitialize)(LPVOID pvReserved);
    void (WINAPI* pfnCoUninitialize)();
    HRESULT (WINAPI* pfnCreateStreamOnHGlobal)(HGLOBAL hGlobal, BOOL fDeleteOnRelease,
                                               LPSTREAM* ppStream);
    HRESULT (WINAPI* pfnCoMarshalInterface)(LPSTREAM pStream, REFIID riid, LPUNKNOWN pUnk,
                                            DWORD dwDestContext, LPVOID pvDestContext,
                                            DWORD mshlflags);
    HRESULT (WINAPI* pfnCoUnmarshalInterface)(LPSTREAM pStream, REFIID riid, LPVOID* ppv);
    // CWnd::CreateEx on pWnd.
    BOOL (*pfnCreateWindowEx)(CWnd* pWnd, DWORD dwExStyle, LPCSTR lpszClassName,
                              LPCSTR lpszWindowName, DWORD dwStyle, int x, int y, int nWidth,
                              int nHeight, HWND hWndParent, HMENU nIDorHMenu, LPVOID lpParam);

    // The table in use. Replace entries only while no own-thread object exists.
    static COwnThreadSystemCalls& Current();
    // The real calls.
    static const COwnThreadSystemCalls& Defaults();
};
