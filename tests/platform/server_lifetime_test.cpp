// The lifetime of a server that COM starts for its objects: its last lock ends it, and a creation
// that arrives as it goes is refused rather than handed an object that dies with the server.
#include "dispatch_probe_target.h"

#include <creating_thread.h>
#include <interleaving_points.h>
#include <ole_app.h>
#include <ole_object_factory.h>
#include <wait_until.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

const CLSID kProbeClsid = {0x6c1f1b52, 0x3a0e, 0x4d6b, {0x9b, 0x41, 0x2e, 0x57, 0x0c, 0x84, 0x1d, 0x93}};

// The last object's release (here on a thread of its own, as on an own thread) and a creation on
// the server's main thread meet: the creation waits for the decision, and is refused.
TEST(ServerLifetimeTest, TheLastReleaseAndACreationAreOneDecision)
{
    CCreatingThread mainThread;
    COleObjectFactory factory(kProbeClsid, RUNTIME_CLASS(CDispatchProbeTarget), FALSE, nullptr);
    mainThread.Run([] {
        ASSERT_TRUE(AfxOleInit());
        AfxOleSetUserCtrl(FALSE);
        AfxOleLockApp();  // the one object's lock
    });
    CInterleavingPoints::Hold(kPointLastLockGone);
    std::thread lastRelease([] { AfxOleUnlockApp(); });
    ASSERT_TRUE(CInterleavingPoints::WaitUntilHeld(kPointLastLockGone, 10000));
    std::atomic<HRESULT> hr{E_PENDING};
    mainThread.Post([&] {
        IUnknown* pObject = nullptr;
        hr = factory.m_xClassFactory.CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&pObject));
        if (pObject != nullptr)
            pObject->Release();
    });
    // A creation let in between would be answered at once.
    WaitUntil([&] { return hr != E_PENDING; }, 1000);
    CInterleavingPoints::Release(kPointLastLockGone);
    lastRelease.join();
    ASSERT_TRUE(WaitUntil([&] { return hr != E_PENDING; }, 10000));
    EXPECT_EQ(hr, CO_E_SERVER_STOPPING);
    EXPECT_TRUE(AfxOleIsServerStopping());
    EXPECT_EQ(CDispatchProbeTarget::s_nLive, 0);
}

}  // namespace
