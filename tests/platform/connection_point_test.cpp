// Connection points of the framework in one process: the enumerators, and the rule that a sink is
// called in its own apartment whichever thread fires.
#include "event_source_probe.h"

#include <connection_point.h>
#include <creating_thread.h>
#include <event_sink.h>
#include <interleaving_points.h>

#include <algorithm>
#include <thread>

#include <gtest/gtest.h>
#include <olectl.h>
#include <wrl/client.h>

namespace {

using Microsoft::WRL::ComPtr;

class ConnectionPointTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))); }
    void TearDown() override { CoUninitialize(); }

    // A new source, held by its point from now on; the probe is for firing.
    static CEventSourceProbe* NewSource(ComPtr<IConnectionPoint>& point)
    {
        auto* pProbe = new CEventSourceProbe;
        ComPtr<IConnectionPointContainer> container;
        EXPECT_HRESULT_SUCCEEDED(pProbe->GetIDispatch(FALSE)->QueryInterface(IID_PPV_ARGS(&container)));
        pProbe->GetIDispatch(FALSE)->Release();  // the creation reference
        EXPECT_HRESULT_SUCCEEDED(container->FindConnectionPoint(IID_IDispatch, &point));
        return pProbe;
    }
};

TEST_F(ConnectionPointTest, EnumeratorsListThePointAndItsSinksAndClonesKeepTheirPlace)
{
    auto* pProbe = new CEventSourceProbe;
    ComPtr<IConnectionPointContainer> container;
    ASSERT_HRESULT_SUCCEEDED(pProbe->GetIDispatch(FALSE)->QueryInterface(IID_PPV_ARGS(&container)));
    pProbe->GetIDispatch(FALSE)->Release();  // the creation reference: container holds the object now
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_HRESULT_SUCCEEDED(container->EnumConnectionPoints(&points));
    ComPtr<IConnectionPoint> point;
    ULONG fetched = 0;
    ASSERT_EQ(points->Next(1, &point, &fetched), S_OK);
    IConnectionPoint* pNone = nullptr;
    EXPECT_EQ(points->Next(1, &pNone, &fetched), S_FALSE) << "one outgoing interface";
    EXPECT_EQ(fetched, 0u);

    EventSink* sinks[3] = {EventSink::Create(), EventSink::Create(), EventSink::Create()};
    DWORD cookies[3] = {};
    for (int i = 0; i < 3; ++i)
        ASSERT_HRESULT_SUCCEEDED(point->Advise(sinks[i], &cookies[i]));
    ComPtr<IEnumConnections> connections, clone;
    ASSERT_HRESULT_SUCCEEDED(point->EnumConnections(&connections));
    EXPECT_EQ(connections->Skip(1), S_OK);
    ASSERT_HRESULT_SUCCEEDED(connections->Clone(&clone));
    CONNECTDATA data[3] = {};
    EXPECT_EQ(clone->Next(3, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u) << "the clone starts where its original stood";
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(data[i].dwCookie, cookies[i + 1]);
        ComPtr<IUnknown> identity;
        sinks[i + 1]->QueryInterface(IID_PPV_ARGS(&identity));
        EXPECT_EQ(data[i].pUnk, identity.Get());
        data[i].pUnk->Release();
    }
    EXPECT_EQ(connections->Skip(5), S_FALSE);
    ASSERT_HRESULT_SUCCEEDED(connections->Reset());
    EXPECT_EQ(connections->Next(1, data, nullptr), S_OK);
    EXPECT_EQ(data[0].dwCookie, cookies[0]);
    data[0].pUnk->Release();

    pProbe->Fire(7);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(sinks[i]->Events().size(), 1u);
        EXPECT_HRESULT_SUCCEEDED(point->Unadvise(cookies[i]));
        sinks[i]->Release();
    }
}

// A sink advised in a single-threaded apartment, fired at from this multithreaded one: the call
// travels to the sink's thread, as COM requires, through the pointer the global interface table
// gives the firing thread.
TEST_F(ConnectionPointTest, FiringFromAnotherApartmentCallsTheSinkOnItsOwnThread)
{
    ComPtr<IConnectionPoint> point;
    CEventSourceProbe* pProbe = NewSource(point);
    ASSERT_NE(point.Get(), nullptr);

    CCreatingThread home;
    EventSink* sink = EventSink::Create();
    DWORD cookie = 0;
    // The point is the object itself: a free pointer for both apartments in this test, as an
    // object's own thread would hand it to COM.
    home.Run([&] { EXPECT_HRESULT_SUCCEEDED(point->Advise(sink, &cookie)); });
    pProbe->Fire(1);
    pProbe->Fire(2);
    auto events = sink->Events();
    ASSERT_EQ(events.size(), 2u);
    for (const auto& event : events)
        EXPECT_EQ(event.threadId, home.GetThreadID());
    EXPECT_EQ(events[1].value, 2);
    home.Run([&] { EXPECT_HRESULT_SUCCEEDED(point->Unadvise(cookie)); });
    pProbe->Fire(3);
    EXPECT_EQ(sink->Events().size(), 2u) << "an unadvised sink hears nothing more";
    sink->Release();
}

// A sink whose client is gone is dropped by the firing; a sink that merely fails stays.
TEST_F(ConnectionPointTest, FiringDropsASinkWhoseClientIsGoneAndKeepsOneThatFails)
{
    ComPtr<IConnectionPoint> point;
    CEventSourceProbe* pProbe = NewSource(point);
    ASSERT_NE(point.Get(), nullptr);
    EventSink* gone = EventSink::Create();
    EventSink* failing = EventSink::Create();
    gone->SetAnswer(RPC_E_DISCONNECTED);
    failing->SetAnswer(E_FAIL);
    DWORD goneCookie = 0, failingCookie = 0;
    ASSERT_HRESULT_SUCCEEDED(point->Advise(gone, &goneCookie));
    ASSERT_HRESULT_SUCCEEDED(point->Advise(failing, &failingCookie));
    pProbe->Fire(1);
    ComPtr<IEnumConnections> connections;
    ASSERT_HRESULT_SUCCEEDED(point->EnumConnections(&connections));
    CONNECTDATA data[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(connections->Next(2, data, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(data[0].dwCookie, failingCookie);
    data[0].pUnk->Release();
    EXPECT_HRESULT_SUCCEEDED(point->Unadvise(failingCookie));
    gone->Release();
    failing->Release();
}

// Fired from a worker thread (an own thread's object may fire from any thread), a sink whose client is
// gone is dropped there, but its reference belongs to its home apartment and is given back there:
// whether the worker drops it first, or its home unadvises it while the worker is about to.
TEST_F(ConnectionPointTest, AGoneSinkMetByAWorkerIsGivenBackInItsHomeApartment)
{
    ComPtr<IConnectionPoint> point;
    CEventSourceProbe* pProbe = NewSource(point);
    ASSERT_NE(point.Get(), nullptr);
    CCreatingThread home;
    for (bool bHomeFirst : {false, true}) {
        SCOPED_TRACE(bHomeFirst ? "unadvised at home first" : "dropped by the worker first");
        EventSink* sink = EventSink::Create();
        sink->SetAnswer(RPC_E_DISCONNECTED);
        DWORD cookie = 0;
        home.Run([&] { EXPECT_HRESULT_SUCCEEDED(point->Advise(sink, &cookie)); });
        if (bHomeFirst)
            CInterleavingPoints::Hold(CConnectionPoint::kPointDroppingGoneSink);
        std::thread worker([&] {  // a thread of this multithreaded apartment
            EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            pProbe->Fire(1);
            CoUninitialize();
        });
        if (bHomeFirst) {
            ASSERT_TRUE(CInterleavingPoints::WaitUntilHeld(CConnectionPoint::kPointDroppingGoneSink, 10000));
            home.Run([&] { EXPECT_HRESULT_SUCCEEDED(point->Unadvise(cookie)); });
            CInterleavingPoints::Release(CConnectionPoint::kPointDroppingGoneSink);
        }
        worker.join();
        // Any call of the point at home gives back what a worker dropped.
        home.Run([&] { EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION); });
        EXPECT_EQ(sink->Events().size(), 1u);
        sink->AddRef();
        EXPECT_EQ(sink->Release(), 1u) << "the point holds no reference any more";
        auto threads = sink->ReleaseThreads();
        threads.pop_back();  // the test's own release just now
        for (DWORD nThread : threads)
            EXPECT_EQ(nThread, home.GetThreadID()) << "released outside its apartment";
        sink->Release();
    }
}

}  // namespace
