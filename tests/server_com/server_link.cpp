#include "server_link.h"

#include <commctrl.h>

namespace {

struct Search {
    HWND found;
};

BOOL CALLBACK Visit(HWND hWnd, LPARAM lParam)
{
    char text[64] = "";
    GetWindowTextA(hWnd, text, sizeof(text));
    if (lstrcmpA(text, "QDServer") == 0 && IsWindowVisible(hWnd)) {
        reinterpret_cast<Search*>(lParam)->found = hWnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

double NowMs()
{
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

HWND ServerWindow::Find(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        Search search{nullptr};
        EnumWindows(&Visit, reinterpret_cast<LPARAM>(&search));
        if (search.found || GetTickCount() - start >= timeoutMs)
            return search.found;
        Sleep(20);
    }
}

int ServerWindow::Bar(int slot)
{
    return static_cast<int>(SendMessageA(GetDlgItem(Find(), 1000 + slot), PBM_GETPOS, 0, 0));
}

std::array<int, 8> ServerWindow::Bars()
{
    std::array<int, 8> bars{};
    for (int i = 0; i < 8; ++i)
        bars[i] = Bar(i);
    return bars;
}

void ServerWindow::Click(int controlId) { PostMessageA(GetDlgItem(Find(), controlId), BM_CLICK, 0, 0); }

bool ServerWindow::IsEnabledSelected()
{
    return SendMessageA(GetDlgItem(Find(), 1008), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ServerWindow::SelectOwnThread(bool enabled)
{
    Click(enabled ? 1008 : 1009);
    WaitUntil([&] { return IsEnabledSelected() == enabled; }, 2000);
}

double ServerWindow::Ping(DWORD timeoutMs)
{
    DWORD_PTR result = 0;
    double start = NowMs();
    LRESULT ok = SendMessageTimeoutA(Find(), WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result);
    return ok ? NowMs() - start : -1.0;
}

DWORD ServerWindow::ProcessId()
{
    DWORD pid = 0;
    GetWindowThreadProcessId(Find(), &pid);
    return pid;
}

std::string PrepareServer()
{
    if (!ServerWindow::Find()) {
        DemoObject starter;  // COM starts the server
        if (FAILED(starter.created()))
            return "COM could not start QDSERVER";
    }
    if (!ServerWindow::Find(10000))
        return "no QDServer window";
    ServerWindow::SelectOwnThread(true);
    if (!WaitUntil([] { return ServerWindow::Bars() == std::array<int, 8>{}; }, 3000))
        return "a bar is still held";
    return {};
}

int CloseServer()
{
    HWND hWnd = ServerWindow::Find();
    if (!hWnd)
        return 0;
    DWORD pid = ServerWindow::ProcessId();
    HANDLE hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    PostMessageA(hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    DWORD code = static_cast<DWORD>(-1);
    if (hProcess && WaitForSingleObject(hProcess, 10000) == WAIT_OBJECT_0)
        GetExitCodeProcess(hProcess, &code);
    if (hProcess)
        CloseHandle(hProcess);
    Sleep(3000);  // Wine's COM holds an ended server's class for a moment
    return static_cast<int>(code);
}

DemoObject::DemoObject()
{
    CLSID clsid;
    m_hrCreate = CLSIDFromProgID(L"QDSERVER.DEMO", &clsid);
    if (SUCCEEDED(m_hrCreate))
        m_hrCreate = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                      reinterpret_cast<void**>(&m_pDisp));
}

DemoObject::~DemoObject() { Release(); }

void DemoObject::Release()
{
    if (m_pDisp) {
        m_pDisp->Release();
        m_pDisp = nullptr;
    }
}

HRESULT DemoObject::Test(double* pMs)
{
    if (!m_pDisp)
        return E_POINTER;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    double start = NowMs();
    HRESULT hr = m_pDisp->Invoke(1, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr,
                                 nullptr, nullptr);
    if (pMs)
        *pMs = NowMs() - start;
    return hr;
}
