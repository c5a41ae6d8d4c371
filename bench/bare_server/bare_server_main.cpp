// bare_server: the smallest local automation server we can write, to measure what Wine's COM costs
// by itself. Every start writes the class registrations; started by COM (-Embedding) it serves
// CBareDispatch objects until its hidden window is closed: QDBENCH.BARE's from its main apartment,
// QDBENCH.BAREMTA's (timed) from its multithreaded apartment. Started by hand, it only registers.
#include "bare_class_factory.h"
#include "bare_mta_class.h"
#include "bench_names.h"

#include <reg_key.h>

#include <windows.h>
#include <objbase.h>

#include <cstring>
#include <string>

namespace {

bool SetDefaultValue(const std::string& subKey, const std::string& value)
{
    CRegKey key;
    // HKEY_CLASSES_ROOT: Wine's COM does not look under the per-user classes.
    return key.Create(HKEY_CLASSES_ROOT, subKey) == ERROR_SUCCESS &&
           key.SetStringValue(nullptr, value) == ERROR_SUCCESS;
}

bool RegisterClass(const char* progId, const char* clsid)
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string clsidKey = std::string("CLSID\\") + clsid;
    return SetDefaultValue(progId, progId) && SetDefaultValue(std::string(progId) + "\\CLSID", clsid) &&
           SetDefaultValue(clsidKey, progId) && SetDefaultValue(clsidKey + "\\ProgID", progId) &&
           SetDefaultValue(clsidKey + "\\LocalServer32", std::string("\"") + path + "\"");
}

bool Register()
{
    return RegisterClass(QDBENCH_BARE_PROGID, QDBENCH_BARE_CLSID) &&
           RegisterClass(QDBENCH_BARE_MTA_PROGID, QDBENCH_BARE_MTA_CLSID);
}


LRESULT CALLBACK WndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, msg, wParam, lParam);
}

HWND CreateHiddenWindow(HINSTANCE hInstance)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = &WndProc;
    wc.hInstance = hInstance;
    wc.lpszClassName = "QDBenchBareWnd";
    if (!RegisterClassA(&wc))
        return nullptr;
    return CreateWindowA(wc.lpszClassName, QDBENCH_BARE_CAPTION, WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                         nullptr, hInstance, nullptr);
}

bool StartedByCom(const char* cmdLine)
{
    std::string args(cmdLine);
    for (char& c : args)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return args.find("embedding") != std::string::npos || args.find("automation") != std::string::npos;
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR lpCmdLine, int)
{
    if (!Register())
        return 1;
    if (!StartedByCom(lpCmdLine))
        return 0;

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 2;
    HWND hWnd = CreateHiddenWindow(hInstance);
    CLSID clsid;
    static CBareClassFactory s_factory;
    DWORD dwRegister = 0;
    int code = 3;
    CBareMtaClass mtaClass;
    if (hWnd != nullptr && mtaClass.Registered() && CBareMtaClass::ClassId(QDBENCH_BARE_CLSID, &clsid) &&
        SUCCEEDED(CoRegisterClassObject(clsid, &s_factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &dwRegister))) {
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        CoRevokeClassObject(dwRegister);
        code = 0;
    }
    CoUninitialize();
    return code;
}
