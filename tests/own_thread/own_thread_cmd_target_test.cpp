#include "own_thread_test_support.h"

#include <connection_point_container.h>
#include <event_receiver.h>
#include <own_thread_pool.h>

#include <gtest/gtest.h>

#include <objbase.h>
#include <wrl/client.h>

#include <atomic>
#include <future>
#include <mutex>
#include <vector>

namespace {

using OwnThreadCmdTargetTest = ProbeObjectTest;

TEST_F(OwnThreadCmdTargetTest, CallsRunOnTheOwnThreadWhileTheCreatingThreadStaysFree)
{
    CThreadProbeTarget* pObject = nullptr;
    IDispatch* pDisp = CreateProbe(TRUE, &pObject);
    ASSERT_NE(pDisp, nullptr);
    ASSERT_TRUE(pObject->IsOwnThreadEnabled());
    const DWORD nOwnThread = pObject->GetOwnThreadID();
    EXPECT_NE(nOwnThread, TheCreatingThread().GetThreadID());
    EXPECT_EQ(static_cast<DWORD>(CallLong(pDisp, L"threadid")), nOwnThread);

    // The call holds the own thread until the creating thread lets it go: only a free creating
    // thread can.
    auto heldCall = std::async(std::launch::async, [pDisp] {
        return static_cast<DWORD>(CallLong(pDisp, L"WaitForReleaseThenThreadId", 10000));
    });
    ASSERT_TRUE(WaitUntil([] { return CThreadProbeTarget::s_bCallWaiting.load(); }));
    TheCreatingThread().Post([] { SetEvent(CThreadProbeTarget::s_hCallRelease); });
    EXPECT_EQ(heldCall.get(), nOwnThread);

    // The last reference falls on the own thread; the deletion comes back to the creating thread.
    CallLong(pDisp, L"SlowDownThreadEnd");
    ASSERT_TRUE(ReleaseAndWaitForDeletion(pDisp));
    EXPECT_EQ(CThreadProbeTarget::s_nFinalReleases, 2) << "one WM_USER + 1, handled once";
    EXPECT_EQ(CThreadProbeTarget::s_nFirstFinalReleaseThread, nOwnThread);
    EXPECT_EQ(CThreadProbeTarget::s_nDeletionThread, TheCreatingThread().GetThreadID());
    EXPECT_EQ(CThreadProbeTarget::s_nOwnThreadParkedAtDeletion, 1) << "the destructor awaited the thread";
}

// However many interfaces the creating thread hands out, each pointer carries its own reference and
// the object is deleted once, there, after the last. An interface beyond the dispatch ones leads to
// the own thread too.
TEST_F(OwnThreadCmdTargetTest, InterfaceRequestsOnTheCreatingThreadEachCarryAReferenceOfTheirOwn)
{
    const IID* const kRequests[] = {&IID_IDispatch, &IID_IUnknown, &CThreadProbeTarget::kDispatchIID};
    for (bool bHandOut : {false, true}) {  // only a missing interface asked for, or the three first
        SCOPED_TRACE(bHandOut);
        CThreadProbeTarget::ResetCounters();
        DWORD nOwnThread = 0;
        TheCreatingThread().Run([&] {
            auto* pObject = new CThreadProbeTarget(TRUE);
            if (!pObject->IsOwnThreadEnabled()) {
                ADD_FAILURE() << "the object got no own thread";
                pObject->ExternalRelease();
                return;
            }
            nOwnThread = pObject->GetOwnThreadID();
            std::vector<IDispatch*> pointers;
            for (const IID* piid : kRequests) {
                if (!bHandOut)
                    break;
                IUnknown* pUnk = nullptr;
                ASSERT_EQ(pObject->ExternalQueryInterface(piid, reinterpret_cast<void**>(&pUnk)), S_OK);
                EXPECT_NE(pUnk, static_cast<IUnknown*>(pObject->GetIDispatch(FALSE))) << "the proxy";
                pointers.push_back(static_cast<IDispatch*>(pUnk));
            }
            if (bHandOut) {
                IPersist* pPersist = nullptr;
                ASSERT_EQ(pObject->ExternalQueryInterface(&IID_IPersist, reinterpret_cast<void**>(&pPersist)), S_OK);
                CLSID ranOn = GUID_NULL;
                EXPECT_EQ(pPersist->GetClassID(&ranOn), S_OK);
                EXPECT_EQ(ranOn.Data1, nOwnThread) << "IPersist's call ran on the own thread";
                pPersist->Release();
            }
            IUnknown* pMissing = reinterpret_cast<IUnknown*>(1);
            EXPECT_EQ(pObject->ExternalQueryInterface(&IID_IPersistStream, reinterpret_cast<void**>(&pMissing)),
                      E_NOINTERFACE) << "asked of the object, which has none";
            EXPECT_EQ(pMissing, nullptr);
            pObject->ExternalRelease();  // the creation reference
            while (!pointers.empty()) {
                // Whatever is still held keeps the object, and its calls still reach the own thread.
                for (IDispatch* pDisp : pointers)
                    EXPECT_EQ(static_cast<DWORD>(CallLong(pDisp, L"ThreadId")), nOwnThread);
                EXPECT_EQ(CThreadProbeTarget::s_nLive, 1);
                pointers.front()->Release();
                pointers.erase(pointers.begin());
            }
        });
        ASSERT_TRUE(ReleaseAndWaitForDeletion(nullptr));
        EXPECT_EQ(CThreadProbeTarget::s_nDeletionThread, TheCreatingThread().GetThreadID());
        EXPECT_EQ(CThreadProbeTarget::s_nOwnThreadParkedAtDeletion, 1);
        EXPECT_TRUE(WaitUntil([nOwnThread] { return COwnThreadPool::Instance().IsParked(nOwnThread); }));
    }
    // On the own thread the hook leaves the request to the maps.
    CThreadProbeTarget::ResetCounters();
    IDispatch* pDisp = CreateProbe(TRUE);
    ASSERT_NE(pDisp, nullptr);
    EXPECT_EQ(CallLong(pDisp, L"HookAnswersOnThisThread"), 0);
    ASSERT_TRUE(ReleaseAndWaitForDeletion(pDisp));
}

TEST_F(OwnThreadCmdTargetTest, CreatedByRuntimeClassWithoutOwnThreadItIsAPlainAutomationObject)
{
    TheCreatingThread().Run([] {
        auto* pObject = static_cast<CThreadProbeTarget*>(
            CRuntimeClass::FromName("CThreadProbeTarget")->CreateObject());
        ASSERT_NE(pObject, nullptr);
        EXPECT_TRUE(pObject->IsOwnThreadEnabled()) << "the default constructor asks for it";
        IDispatch* pProxy = nullptr;
        pObject->ExternalQueryInterface(&IID_IDispatch, reinterpret_cast<void**>(&pProxy));
        pObject->ExternalRelease();
        pProxy->Release();
    });
    ASSERT_TRUE(WaitUntil([] { return CThreadProbeTarget::s_nLive == 0; }));

    TheCreatingThread().Run([] {
        auto* pObject = new CThreadProbeTarget(FALSE);
        EXPECT_FALSE(pObject->IsOwnThreadEnabled());
        EXPECT_EQ(pObject->GetInterfaceHook(&IID_IUnknown), nullptr);
        IUnknown* pUnk = nullptr;
        ASSERT_EQ(pObject->ExternalQueryInterface(&IID_IUnknown, reinterpret_cast<void**>(&pUnk)), S_OK);
        EXPECT_EQ(pUnk, pObject->GetIDispatch(FALSE));
        pUnk->Release();
        EXPECT_EQ(static_cast<DWORD>(pObject->ThreadId()), GetCurrentThreadId());
        CThreadProbeTarget::ResetCounters();
        pObject->ExternalRelease();
        EXPECT_EQ(CThreadProbeTarget::s_nLive, 0) << "deleted at once";
        EXPECT_EQ(CThreadProbeTarget::s_nFinalReleases, 1);
    });
}

TEST_F(OwnThreadCmdTargetTest, ObjectRevivedBeforeItsDeferredDeleteLivesUntilItsNextFinalRelease)
{
    CThreadProbeTarget* pObject = nullptr;
    IDispatch* pDisp = CreateProbe(TRUE, &pObject);
    ASSERT_NE(pDisp, nullptr);
    // The creating thread is held while the last reference falls on the own thread, and gives the
    // object a new reference once the deferred final release waits in its queue.
    std::atomic<LPDISPATCH> pRevived{nullptr};
    TheCreatingThread().Post([&] {
        MSG msg;
        EXPECT_TRUE(WaitUntil([&] {
            return PeekMessageA(&msg, pObject->GetFinalReleaseWnd(), WM_OWNTHREAD_FINALRELEASE,
                                WM_OWNTHREAD_FINALRELEASE, PM_NOREMOVE) != FALSE;
        }));
        pRevived = pObject->GetIDispatch(TRUE);
    });
    pDisp->Release();
    ASSERT_TRUE(WaitUntil([&] { return pRevived != nullptr; }));
    TheCreatingThread().Run([&] {  // queued after the deferred final release
        EXPECT_EQ(CThreadProbeTarget::s_nFinalReleases, 2) << "the deferred final release came";
        EXPECT_EQ(CThreadProbeTarget::s_nLive, 1) << "and left the revived object alone";
        // Its next final release, on the creating thread, deletes it at once.
        pRevived.load()->Release();
        EXPECT_EQ(CThreadProbeTarget::s_nLive, 0);
    });
    EXPECT_EQ(CThreadProbeTarget::s_nFinalReleases, 3);
}

TEST_F(OwnThreadCmdTargetTest, ThreadEventReachesTheHookUnlessAStopIsRequested)
{
    CThreadProbeTarget* pObject = nullptr;
    IDispatch* pDisp = CreateProbe(TRUE, &pObject);
    ASSERT_NE(pDisp, nullptr);
    TheCreatingThread().Run([pObject] { EXPECT_TRUE(pObject->SetThreadEvent()); });
    ASSERT_TRUE(WaitUntil([] { return CThreadProbeTarget::s_nThreadEvents == 1; }));
    EXPECT_EQ(CThreadProbeTarget::s_nThreadEventThread, pObject->GetOwnThreadID());
    ASSERT_TRUE(ReleaseAndWaitForDeletion(pDisp));

    // A wake with the stop requested leaves the loop without the hook.
    CThreadProbeTarget::ResetCounters();
    pDisp = CreateProbe(TRUE, &pObject);
    ASSERT_NE(pDisp, nullptr);
    DWORD nOwnThread = pObject->GetOwnThreadID();
    TheCreatingThread().Run([pObject] { pObject->RequestStop(); });
    ASSERT_TRUE(WaitUntil([nOwnThread] { return COwnThreadPool::Instance().IsParked(nOwnThread); }));
    EXPECT_EQ(CThreadProbeTarget::s_nThreadEvents, 0);
    // The parked thread still serves the apartment, so the object is released normally.
    ASSERT_TRUE(ReleaseAndWaitForDeletion(pDisp));
    EXPECT_EQ(CThreadProbeTarget::s_nDeletionThread, TheCreatingThread().GetThreadID());

    // A message still waiting when the stop is seen is left to the parked thread, not the loop.
    CThreadProbeTarget::ResetCounters();
    pDisp = CreateProbe(TRUE, &pObject);
    ASSERT_NE(pDisp, nullptr);
    CThreadProbeTarget::s_bStopFromThreadEvent = true;
    TheCreatingThread().Run([pObject] { pObject->SetThreadEvent(); });
    ASSERT_TRUE(WaitUntil([] { return CThreadProbeTarget::s_nProbeSeenWhileParked != -1; }));
    EXPECT_EQ(CThreadProbeTarget::s_nProbeSeenWhileParked, 1);
    EXPECT_EQ(CThreadProbeTarget::s_nThreadEvents, 1);
    ASSERT_TRUE(ReleaseAndWaitForDeletion(pDisp));
}

TEST_F(OwnThreadCmdTargetTest, EnginesShareOneWindowClassEachWithItsOwnHiddenWindow)
{
    TheCreatingThread().Run([] {
        auto* pFirst = new CThreadProbeTarget(FALSE);
        auto* pSecond = new CThreadProbeTarget(FALSE);
        HWND hFirst = pFirst->GetFinalReleaseWnd();
        HWND hSecond = pSecond->GetFinalReleaseWnd();
        EXPECT_NE(hFirst, nullptr);
        EXPECT_NE(hSecond, nullptr);
        EXPECT_NE(hFirst, hSecond);
        char szFirst[128] = "", szSecond[128] = "", szTitle[64] = "";
        GetClassNameA(hFirst, szFirst, sizeof(szFirst));
        GetClassNameA(hSecond, szSecond, sizeof(szSecond));
        EXPECT_STREQ(szFirst, szSecond);
        GetWindowTextA(hFirst, szTitle, sizeof(szTitle));
        EXPECT_STREQ(szTitle, "OwnThreadFinalReleaseWnd");
        EXPECT_FALSE(IsWindowVisible(hFirst));
        EXPECT_EQ(GetWindowThreadProcessId(hFirst, nullptr), GetCurrentThreadId());
        // Message-only, not top-level: no broadcast reaches it.
        EXPECT_NE(GetAncestor(hFirst, GA_PARENT), GetDesktopWindow());
        pFirst->ExternalRelease();
        pSecond->ExternalRelease();
        EXPECT_FALSE(IsWindow(hFirst));
        EXPECT_FALSE(IsWindow(hSecond));
    });
}

// An own-thread object with a connection point and a callback property, and no final release of
// its own: the framework gives both back.
class CEventHolderProbe : public CZKOwnThreadCmdTarget {
public:
    CEventHolderProbe()
    {
        EnableAutomation();
        EnableOwnThread();
    }
    ~CEventHolderProbe() override { s_bDeleted = true; }
    // On the own thread: s_pWitness, a receiver of this apartment, advised and kept as the callback.
    void HoldWitness()
    {
        DWORD dwCookie = 0;
        EXPECT_HRESULT_SUCCEEDED(m_xConnPtContainer.FindPoint(IID_IDispatch)->Advise(s_pWitness, &dwCookie));
        EXPECT_HRESULT_SUCCEEDED(m_callback.Attach(s_pWitness, IID_IDispatch));
    }
    DWORD GetOwnThreadID() const { return m_nOwnThreadID; }

    CEventReceiver m_callback{this};
    static std::atomic<bool> s_bDeleted;
    static IDispatch* s_pWitness;

    DECLARE_DISPATCH_MAP()
    DECLARE_INTERFACE_MAP()
    DECLARE_CONNECTION_MAP()
};
std::atomic<bool> CEventHolderProbe::s_bDeleted{false};
IDispatch* CEventHolderProbe::s_pWitness = nullptr;

BEGIN_DISPATCH_MAP(CEventHolderProbe, CZKOwnThreadCmdTarget)
    DISP_FUNCTION(CEventHolderProbe, "HoldWitness", HoldWitness, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()
BEGIN_INTERFACE_MAP(CEventHolderProbe, CZKOwnThreadCmdTarget)
    INTERFACE_PART(CEventHolderProbe, IID_IConnectionPointContainer, ConnPtContainer)
END_INTERFACE_MAP()
BEGIN_CONNECTION_MAP(CEventHolderProbe, CZKOwnThreadCmdTarget)
    CONNECTION_POINT(IID_IDispatch)
END_CONNECTION_MAP()

// A receiver handed to the object in its own apartment, so that every release reaches it on the
// thread that makes it. It records those threads once armed.
class CReleaseWitness final : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_nRef)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_bArmed)
            m_releaseThreads.push_back(GetCurrentThreadId());
        return static_cast<ULONG>(InterlockedDecrement(&m_nRef));  // lives on the test's stack
    }
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override { *pctinfo = 0; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return S_OK;
    }
    void Arm()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_bArmed = true;
    }
    std::vector<DWORD> ReleaseThreads()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_releaseThreads;
    }
    LONG m_nRef = 1;

private:
    std::mutex m_lock;
    bool m_bArmed = false;
    std::vector<DWORD> m_releaseThreads;
};

// The last release lands on the own thread, where the sink and the callback were handed in; they
// are given back there, before the deletion moves to the creating thread.
TEST_F(OwnThreadCmdTargetTest, SinksAndCallbacksAreGivenBackOnTheOwnThreadWithoutAnOverride)
{
    using Microsoft::WRL::ComPtr;
    CEventHolderProbe::s_bDeleted = false;
    CReleaseWitness witness;
    DWORD nOwnThread = 0;
    // As the server's main thread does: the interfaces it hands out lead to the own thread.
    TheCreatingThread().Run([&] {
        auto* pObject = new CEventHolderProbe;
        nOwnThread = pObject->GetOwnThreadID();
        ComPtr<IDispatch> object;
        EXPECT_HRESULT_SUCCEEDED(pObject->ExternalQueryInterface(&IID_IDispatch, &object));
        pObject->ExternalRelease();
        ASSERT_NE(nOwnThread, 0u);
        CEventHolderProbe::s_pWitness = &witness;
        EXPECT_EQ(CallLong(object.Get(), L"HoldWitness"), 0);
        witness.Arm();
    });
    ASSERT_TRUE(WaitUntil([] { return CEventHolderProbe::s_bDeleted.load(); }));
    std::vector<DWORD> threads = witness.ReleaseThreads();
    EXPECT_FALSE(threads.empty());
    for (DWORD nThread : threads)
        EXPECT_EQ(nThread, nOwnThread) << "given back in the object's apartment";
    EXPECT_EQ(witness.m_nRef, 1) << "the point's sink and the callback both given back";
}

}  // namespace
