// The own-thread machinery where two threads meet, each order forced by holding one thread at a
// named point while the other is driven into the window: the creating thread goes on answering
// while a creation waits for a busy shared thread, and no own thread acts for an object whose
// destruction has begun.
#include "own_thread_test_support.h"

#include <interleaving_points.h>
#include <ole_app.h>
#include <own_thread_pool.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using OwnThreadInterleavingsTest = ProbeObjectTest;

// The cap lowered to one own thread, which another object's call holds from Hold until Release:
// every other object shares that thread. Gives everything back as it goes, whatever failed.
class CBusySharedThread {
public:
    CBusySharedThread() : m_nCap(COwnThreadPool::Instance().GetMaxOwnThreads())
    {
        COwnThreadPool::Instance().SetMaxOwnThreads(1);
        m_pBusy = CreateProbe(TRUE);
    }
    ~CBusySharedThread()
    {
        Release();
        if (m_pBusy != nullptr) {
            EXPECT_TRUE(ReleaseAndWaitForDeletion(m_pBusy));
        }
        COwnThreadPool::Instance().SetMaxOwnThreads(m_nCap);
    }
    CBusySharedThread(const CBusySharedThread&) = delete;
    CBusySharedThread& operator=(const CBusySharedThread&) = delete;

    // Starts the call; whether it is under way on the thread.
    bool Hold()
    {
        if (m_pBusy == nullptr)
            return false;
        m_call = std::thread([this] {
            EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            m_nThread = static_cast<DWORD>(CallLong(m_pBusy, L"WaitForReleaseThenThreadId", 60000));
            CoUninitialize();
        });
        return WaitUntil([] { return CThreadProbeTarget::s_bCallWaiting.load(); }, 10000);
    }
    // Lets the call return; the thread it ran on.
    DWORD Release()
    {
        SetEvent(CThreadProbeTarget::s_hCallRelease);
        if (m_call.joinable())
            m_call.join();
        return m_nThread;
    }

private:
    const int m_nCap;
    IDispatch* m_pBusy = nullptr;
    std::thread m_call;
    DWORD m_nThread = 0;
};

// Past the cap a new object shares a thread, which must start it before its creation returns. With
// that thread in a call the creation waits, and the creating thread (a server's window thread)
// still handles what is posted to it: input, paint, COM's calls into its apartment.
TEST_F(OwnThreadInterleavingsTest, ACreationWaitingForABusySharedThreadLeavesItsThreadAnswering)
{
    CBusySharedThread busy;
    ASSERT_TRUE(busy.Hold());

    CInterleavingPoints::Hold(COwnThreadEngine::kPointStartWait);
    std::atomic<bool> bCreated{false};
    IDispatch* pShared = nullptr;  // the proxy, for the creating thread
    DWORD nSharedThread = 0;
    TheCreatingThread().Post([&] {
        auto* pObject = new CThreadProbeTarget(TRUE);
        nSharedThread = pObject->GetOwnThreadID();
        pObject->ExternalQueryInterface(&IID_IDispatch, reinterpret_cast<void**>(&pShared));
        pObject->InternalRelease();
        bCreated = true;
    });
    ASSERT_TRUE(CInterleavingPoints::WaitUntilHeld(COwnThreadEngine::kPointStartWait, 10000));
    CInterleavingPoints::Release(COwnThreadEngine::kPointStartWait);

    std::atomic<bool> bAnswered{false};
    TheCreatingThread().Post([&] { bAnswered = true; });
    EXPECT_TRUE(WaitUntil([&] { return bAnswered.load(); }, 5000)) << "the creating thread stopped answering";
    EXPECT_FALSE(bCreated) << "the creation did not wait for the call";

    const DWORD nCallThread = busy.Release();
    ASSERT_TRUE(WaitUntil([&] { return bCreated.load(); }, 10000));
    EXPECT_EQ(nSharedThread, nCallThread) << "the object shares the busy thread";
    TheCreatingThread().Run([&] { pShared->Release(); });
}

// The server ends while a creation waits for a shared thread whose call goes on (a client that does
// not return from an event): the object gives up its own thread and stays on the creating thread,
// and the creation returns without waiting for that call.
TEST_F(OwnThreadInterleavingsTest, AnEndDoesNotWaitForTheCallOfTheThreadACreationWaitsFor)
{
    CBusySharedThread busy;
    ASSERT_TRUE(busy.Hold());

    CInterleavingPoints::Hold(COwnThreadEngine::kPointStartWait);
    std::atomic<bool> bCreated{false};
    CThreadProbeTarget* pObject = nullptr;
    TheCreatingThread().Post([&] {
        pObject = new CThreadProbeTarget(TRUE);
        bCreated = true;
    });
    ASSERT_TRUE(CInterleavingPoints::WaitUntilHeld(COwnThreadEngine::kPointStartWait, 10000));
    CInterleavingPoints::Release(COwnThreadEngine::kPointStartWait);
    TheCreatingThread().Post([] { AfxOleEndServing(); });
    EXPECT_TRUE(WaitUntil([&] { return bCreated.load(); }, 5000)) << "the creation waited for the call";
    EXPECT_TRUE(CThreadProbeTarget::s_bCallWaiting) << "the call still runs";
    if (bCreated) {
        EXPECT_EQ(pObject->GetOwnThreadID(), 0u) << "the object took the busy thread after all";
        TheCreatingThread().Run([&] { pObject->InternalRelease(); });
    }
}

// A class factory hands its new object out and lets go of it at once; by then the object's shared
// thread may be in another object's call. Neither the hand-out nor the letting go waits for that
// call: the creating thread goes on answering, and the client reaches the object once it is free.
// A later marshal of another interface takes COM's own way, and reaches the same object.
TEST_F(OwnThreadInterleavingsTest, HandingOutAnObjectNeverWaitsForItsBusySharedThread)
{
    CBusySharedThread busy;
    IDispatch* pNew = nullptr;  // as the factory's caller gets it, before COM marshals it
    DWORD nNewThread = 0;
    TheCreatingThread().Run([&] {
        auto* pObject = new CThreadProbeTarget(TRUE);
        nNewThread = pObject->GetOwnThreadID();
        pObject->ExternalQueryInterface(&IID_IDispatch, reinterpret_cast<void**>(&pNew));
        pObject->InternalRelease();
    });
    ASSERT_NE(pNew, nullptr);
    ASSERT_TRUE(busy.Hold());

    // What COM does with a class factory's answer for a client in another process.
    IStream* pStream = nullptr;
    ASSERT_HRESULT_SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &pStream));
    std::atomic<HRESULT> hrMarshal{E_PENDING};
    TheCreatingThread().Post([&] {
        hrMarshal = CoMarshalInterface(pStream, IID_IDispatch, pNew, MSHCTX_LOCAL, nullptr, MSHLFLAGS_NORMAL);
    });
    std::atomic<bool> bAnswered{false};
    TheCreatingThread().Post([&] { bAnswered = true; });
    EXPECT_TRUE(WaitUntil([&] { return bAnswered.load(); }, 5000)) << "the creating thread waited for the call";
    EXPECT_EQ(hrMarshal, S_OK);

    EXPECT_EQ(busy.Release(), nNewThread) << "the call held the new object's thread";
    // A second marshal, of another interface: COM's own, through a proxy of the creating thread.
    IStream* pSecond = nullptr;
    TheCreatingThread().Run([&] {
        EXPECT_HRESULT_SUCCEEDED(CoMarshalInterThreadInterfaceInStream(IID_IUnknown, pNew, &pSecond));
        pNew->Release();
    });
    LARGE_INTEGER zero{};
    pStream->Seek(zero, STREAM_SEEK_SET, nullptr);
    IDispatch* pClient = nullptr;
    ASSERT_HRESULT_SUCCEEDED(CoUnmarshalInterface(pStream, IID_IDispatch, reinterpret_cast<void**>(&pClient)));
    pStream->Release();
    IDispatch* pOther = nullptr;
    ASSERT_HRESULT_SUCCEEDED(CoGetInterfaceAndReleaseStream(pSecond, IID_IDispatch, reinterpret_cast<void**>(&pOther)));
    EXPECT_EQ(static_cast<DWORD>(CallLong(pClient, L"ThreadId")), nNewThread);
    EXPECT_EQ(static_cast<DWORD>(CallLong(pOther, L"ThreadId")), nNewThread);
    pOther->Release();
    pClient->Release();
}

// The end's disconnect reaches an object whose count has already reached zero, its deletion posted:
// its own thread wakes for it while the creating thread deletes it. The deletion waits until the
// thread has let the object go, before any destructor runs.
TEST_F(OwnThreadInterleavingsTest, NoOwnThreadActsForAnObjectWhoseDestructionHasBegun)
{
    CThreadProbeTarget* pObject = nullptr;
    IDispatch* pDisp = CreateProbe(TRUE, &pObject);
    ASSERT_NE(pDisp, nullptr);
    CInterleavingPoints::Hold(COwnThreadEngine::kPointEventHook);
    CInterleavingPoints::Hold(COwnThreadEngine::kPointStopWait);
    CInterleavingPoints::Hold(COwnThreadEngine::kPointDisconnectsAsked);
    // On the creating thread: once the count is zero, and before the posted deletion is handled.
    TheCreatingThread().Post([] {
        WaitUntil([] { return CThreadProbeTarget::s_nFinalReleases > 0; }, 10000);
        COwnThreadEngine::DisconnectAll(20000);
    });
    pDisp->Release();
    // The own thread acts for the object before the creating thread goes on to handle its deletion.
    ASSERT_TRUE(CInterleavingPoints::WaitUntilHeld(COwnThreadEngine::kPointDisconnectsAsked, 10000));
    ASSERT_TRUE(CInterleavingPoints::WaitUntilHeld(COwnThreadEngine::kPointEventHook, 10000));
    CInterleavingPoints::Release(COwnThreadEngine::kPointDisconnectsAsked);
    ASSERT_TRUE(CInterleavingPoints::WaitUntilHeld(COwnThreadEngine::kPointStopWait, 10000));
    EXPECT_EQ(CThreadProbeTarget::s_nLive, 1) << "the object was being destroyed under its own thread";
    CInterleavingPoints::Release(COwnThreadEngine::kPointStopWait);
    CInterleavingPoints::Release(COwnThreadEngine::kPointEventHook);
    EXPECT_TRUE(WaitUntil([] { return CThreadProbeTarget::s_nLive == 0; }, 10000));
    TheCreatingThread().Run([] {});  // the end's wait is over
    EXPECT_EQ(CThreadProbeTarget::s_nDeletionThread, TheCreatingThread().GetThreadID());
}

}  // namespace
