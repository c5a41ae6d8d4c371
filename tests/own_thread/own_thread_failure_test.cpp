// Each start-up failure leaves an object that works on its creating thread, is deleted once, by its
// first final release, and leaves no own thread working for it.
#include "own_thread_test_support.h"

#include <own_thread_pool.h>
#include <own_thread_system_calls.h>

#include <gtest/gtest.h>

#include <objbase.h>

#include <thread>

namespace {

HRESULT WINAPI FailCoInitialize(LPVOID) { return E_OUTOFMEMORY; }
// The second marshal (the creating thread's packet) fails, the first succeeded: it must be given back.
int g_nMarshals = 0;
HRESULT WINAPI FailSecondMarshal(LPSTREAM pStream, REFIID riid, LPUNKNOWN pUnk, DWORD dwContext, LPVOID pv, DWORD flags)
{
    return ++g_nMarshals == 2 ? E_FAIL : CoMarshalInterface(pStream, riid, pUnk, dwContext, pv, flags);
}
BOOL FailCreateWindow(CWnd*, DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, LPVOID)
{
    return FALSE;
}

struct Failure {
    const char* name;
    void (*install)(COwnThreadSystemCalls& sys);
    bool bThreadStarted;
    bool bCreatorWithoutCom = false;  // created on a thread that never initialised COM
};

const Failure kFailures[] = {
    {"NoStream", [](COwnThreadSystemCalls& s) { s.pfnCreateStreamOnHGlobal = &FailCreateStream; }, true},
    {"NoWindow", [](COwnThreadSystemCalls& s) { s.pfnCreateWindowEx = &FailCreateWindow; }, false},
    {"CoInitializeFails", [](COwnThreadSystemCalls& s) { s.pfnCoInitialize = &FailCoInitialize; }, true},
    {"MarshalFails", [](COwnThreadSystemCalls& s) { s.pfnCoMarshalInterface = &FailMarshal; }, true},
    {"SecondMarshalFails", [](COwnThreadSystemCalls& s) {
         g_nMarshals = 0;
         s.pfnCoMarshalInterface = &FailSecondMarshal;
     },
     true},
    // A real failure: a creating thread without an apartment could never take what the own thread marshals.
    {"CreatorWithoutCom", [](COwnThreadSystemCalls&) {}, false, true},
};

TEST(OwnThreadFailureTest, EachStartUpFailureLeavesAWorkingObjectAndNoThreadWorking)
{
    COwnThreadPool& pool = COwnThreadPool::Instance();
    for (const Failure& failure : kFailures) {
        SCOPED_TRACE(failure.name);
        CThreadProbeTarget::ResetCounters();
        failure.install(COwnThreadSystemCalls::Current());
        auto createUseRelease = [&] {
            const DWORD nCreator = GetCurrentThreadId();
            auto* pObject = new CThreadProbeTarget(TRUE);
            EXPECT_FALSE(pObject->IsOwnThreadEnabled());
            if (failure.bThreadStarted) {
                EXPECT_NE(pObject->GetOwnThreadID(), 0u) << "the failure must come from the own thread";
            }
            // EnableOwnThread brought the thread to its end before it returned.
            EXPECT_EQ(pool.GetParkedCount(), pool.GetCreatedCount());
            EXPECT_EQ(pObject->GetInterfaceHook(&IID_IUnknown), nullptr);
            EXPECT_EQ(pObject->m_dwRef, 1) << "the creation reference is intact";
            IDispatch* pDisp = nullptr;
            ASSERT_EQ(pObject->ExternalQueryInterface(&IID_IDispatch, reinterpret_cast<void**>(&pDisp)), S_OK);
            EXPECT_EQ(pDisp, pObject->GetIDispatch(FALSE));
            EXPECT_EQ(static_cast<DWORD>(CallLong(pDisp, L"ThreadId")), nCreator);
            pDisp->Release();
            pObject->ExternalRelease();
            EXPECT_EQ(CThreadProbeTarget::s_nLive, 0) << "deleted by the first final release";
            EXPECT_EQ(CThreadProbeTarget::s_nFinalReleases, 1);
        };
        if (failure.bCreatorWithoutCom) {
            // While no thread is in the multithreaded apartment, a thread without COM has no
            // apartment at all, not even the implicit one.
            CoUninitialize();
            std::thread(createUseRelease).join();
            EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        } else {
            TheCreatingThread().Run(createUseRelease);
        }
        COwnThreadSystemCalls::Current() = COwnThreadSystemCalls::Defaults();

        // A thread that failed serves the next object normally.
        IDispatch* pDisp = CreateProbe(TRUE);
        ASSERT_NE(pDisp, nullptr);
        EXPECT_NE(static_cast<DWORD>(CallLong(pDisp, L"ThreadId")), TheCreatingThread().GetThreadID());
        ASSERT_TRUE(ReleaseAndWaitForDeletion(pDisp));
    }
}

}  // namespace
