#include "creating_thread.h"

#include <objbase.h>

#include <stdexcept>

namespace {
const UINT WM_RUN = WM_APP + 1;
const char kClassName[] = "OwnThreadTestCreatingThread";
}  // namespace

CCreatingThread::CCreatingThread() : m_ready(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    m_thread.Reset(CreateThread(nullptr, 0, &ThreadProc, this, 0, &m_nThreadID));
    if (!m_thread)
        throw std::runtime_error("cannot start the creating thread");
    WaitForSingleObject(m_ready.Get(), INFINITE);
}

CCreatingThread::~CCreatingThread()
{
    PostMessageA(m_hWnd, WM_CLOSE, 0, 0);
    WaitForSingleObject(m_thread.Get(), INFINITE);
}

DWORD WINAPI CCreatingThread::ThreadProc(LPVOID pParam)
{
    auto* pThis = static_cast<CCreatingThread*>(pParam);
    CoInitialize(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = &WndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassA(&wc);
    pThis->m_hWnd = CreateWindowExA(0, kClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                    wc.hInstance, nullptr);
    SetEvent(pThis->m_ready.Get());
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    CoUninitialize();
    return 0;
}

LRESULT CALLBACK CCreatingThread::WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_RUN) {
        auto* pFn = reinterpret_cast<std::function<void()>*>(lParam);
        (*pFn)();
        delete pFn;
        return 0;
    }
    if (message == WM_CLOSE) {
        DestroyWindow(hWnd);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hWnd, message, wParam, lParam);
}

void CCreatingThread::Post(std::function<void()> fn)
{
    auto* pFn = new std::function<void()>(std::move(fn));
    if (!PostMessageA(m_hWnd, WM_RUN, 0, reinterpret_cast<LPARAM>(pFn))) {
        // Nothing will run it: a test waiting for it would wait forever.
        delete pFn;
        throw std::runtime_error("the creating thread takes no more work");
    }
}  // NOLINT(clang-analyzer-cplusplus.NewDeleteLeaks): the posted message owns pFn; WndProc deletes it

void CCreatingThread::Run(const std::function<void()>& fn)
{
    CUniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    Post([&fn, &done] {
        fn();
        SetEvent(done.Get());
    });
    WaitForSingleObject(done.Get(), INFINITE);
}

IDispatch* CCreatingThread::HandOut(const std::function<IDispatch*()>& make)
{
    IStream* pStream = nullptr;
    Run([&] {
        if (IDispatch* pDisp = make()) {
            if (FAILED(CoMarshalInterThreadInterfaceInStream(IID_IDispatch, pDisp, &pStream)))
                pStream = nullptr;
            pDisp->Release();
        }
    });
    IDispatch* pDisp = nullptr;
    if (pStream == nullptr ||
        FAILED(CoGetInterfaceAndReleaseStream(pStream, IID_IDispatch, reinterpret_cast<void**>(&pDisp))))
        return nullptr;
    return pDisp;
}
