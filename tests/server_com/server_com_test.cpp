// QDSERVER over real out-of-process COM: objects created by ProgID from this process, their calls
// timed, and the server's bars read from its real window. The prefix holds QDSERVER's
// registration from one earlier start. Times are checked with generous bounds: 6 s a call. Clicks
// and pings wait for what they act on (a bar that moves), not for a time.
#include "event_sink.h"
#include "server_link.h"

#include <creating_thread.h>
#include <unique_handle.h>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include <olectl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

using Microsoft::WRL::ComPtr;

constexpr double kCallMs = 6000;
const CLSID kDemoClsid = {0xbb2ff4e7, 0x0c33, 0x4764, {0xb3, 0xb4, 0xf9, 0x11, 0xb8, 0x49, 0x9c, 0x26}};
const IID kDemoDispatchIid = {0x0514e068, 0x97d3, 0x4158, {0xb9, 0xd0, 0xf5, 0x96, 0x9d, 0x13, 0x48, 0x6b}};
const GUID kServerLibId = {0x614cc714, 0x7756, 0x4fda, {0x91, 0x10, 0xfe, 0x0f, 0x11, 0x93, 0xc7, 0xac}};

class ServerComTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(PrepareServer(), ""); }
};

// Runs "Test" on each object from a thread of its own while `during` runs on this one; returns the
// wall time of all calls, and in *pHr each call's result.
double CallConcurrently(std::vector<std::unique_ptr<RemoteObject>>& objects, std::vector<HRESULT>* pHr,
                        const std::function<void()>& during)
{
    std::vector<HRESULT> hr(objects.size());
    std::vector<std::thread> threads;
    double start = NowMs();
    for (size_t i = 0; i < objects.size(); ++i)
        threads.emplace_back([&, i] {
            EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            hr[i] = objects[i]->Test();
            CoUninitialize();
        });
    during();
    for (auto& t : threads)
        t.join();
    double wall = NowMs() - start;
    if (pHr)
        *pHr = hr;
    return wall;
}

std::vector<std::unique_ptr<RemoteObject>> MakeObjects(int n)
{
    std::vector<std::unique_ptr<RemoteObject>> objects;
    for (int i = 0; i < n; ++i) {
        objects.push_back(std::make_unique<RemoteObject>(kDemoProgId));
        EXPECT_HRESULT_SUCCEEDED(objects.back()->Created());
    }
    return objects;
}

TEST_F(ServerComTest, OneCallTakesSixSecondsAndItsBarStaysFullUntilRelease)
{
    RemoteObject object(kDemoProgId);
    ASSERT_HRESULT_SUCCEEDED(object.Created());
    double ms = 0;
    ASSERT_HRESULT_SUCCEEDED(object.Test(&ms));
    RecordProperty("single_call_ms", static_cast<int>(ms));
    EXPECT_GT(ms, kCallMs * 0.95);
    EXPECT_LT(ms, kCallMs * 1.5);
    EXPECT_EQ(theServerWindow.Bar(0), 100) << "the first object takes \"Object 1:\"";
    Sleep(500);
    EXPECT_EQ(theServerWindow.Bar(0), 100) << "the bar stays full while the object lives";
    object.Release();
    EXPECT_TRUE(WaitUntil([] { return theServerWindow.Bar(0) == 0; })) << "release resets the bar";
}

TEST_F(ServerComTest, EnabledCallsAdvanceSideBySideAndTheWindowAnswers)
{
    auto objects = MakeObjects(2);
    int unanswered = 0;
    bool bothMoving = false;
    double wall = CallConcurrently(objects, nullptr, [&] {
        for (int i = 0; i < 20; ++i) {
            Sleep(200);
            // A window that a call blocks stays silent for the rest of the call's six seconds.
            unanswered += theServerWindow.Ping(2000) < 0;
            auto bars = theServerWindow.Bars();
            if (bars[0] > 0 && bars[0] < 100 && bars[1] > 0 && bars[1] < 100)
                bothMoving = true;
        }
    });
    RecordProperty("two_enabled_ms", static_cast<int>(wall));
    EXPECT_GT(wall, kCallMs * 0.95);
    EXPECT_LT(wall, kCallMs * 1.5) << "the calls ran one after another";
    EXPECT_TRUE(bothMoving) << "both bars advance at the same time";
    EXPECT_EQ(unanswered, 0) << "the window answers during own-thread calls";
    EXPECT_EQ(theServerWindow.Bar(0), 100);
    EXPECT_EQ(theServerWindow.Bar(1), 100);
}

TEST_F(ServerComTest, DisabledCallsRunOneAfterAnotherAndBlockTheWindow)
{
    theServerWindow.SelectOwnThread(false);
    auto objects = MakeObjects(2);
    theServerWindow.SelectOwnThread(true);  // the choice was read at construction
    int unanswered = 0;
    double wall = CallConcurrently(objects, nullptr, [&] {
        // Once the first call runs, the window stays silent while the calls run one after another.
        if (WaitUntil([] { return theServerWindow.Ping(300) < 0; }))
            for (int i = 0; i < 5; ++i)
                unanswered += theServerWindow.Ping(300) < 0;
    });
    RecordProperty("two_disabled_ms", static_cast<int>(wall));
    EXPECT_GT(wall, 2 * kCallMs * 0.95);
    EXPECT_LT(wall, 2 * kCallMs * 1.5);
    EXPECT_EQ(unanswered, 5) << "the window does not answer while a main-thread call runs";
}

TEST_F(ServerComTest, NinthObjectGetsNoBarAndFreedSlotsAreTakenLowestFirst)
{
    auto objects = MakeObjects(9);
    double ms = 0;
    ASSERT_HRESULT_SUCCEEDED(objects[8]->Test(&ms));
    RecordProperty("ninth_object_ms", static_cast<int>(ms));
    EXPECT_GT(ms, 550);
    EXPECT_LT(ms, kCallMs / 3) << "a call without a bar ends after its first wait";
    EXPECT_EQ(theServerWindow.Bars(), (std::array<int, 8>{})) << "it changes no bar";

    objects[2].reset();  // "Object 3:"
    objects[0].reset();  // "Object 1:"
    objects[8].reset();
    std::vector<std::unique_ptr<RemoteObject>> fresh;
    fresh.push_back(std::make_unique<RemoteObject>(kDemoProgId));
    CallConcurrently(fresh, nullptr, [] {
        // End the call once it has moved a bar: that bar tells the slot.
        EXPECT_TRUE(WaitUntil([] { return theServerWindow.Bars() != std::array<int, 8>{}; }));
        theServerWindow.Click(1010);
    });
    EXPECT_GT(theServerWindow.Bar(0), 0) << "the new object took \"Object 1:\"";
    EXPECT_EQ(theServerWindow.Bar(2), 0);
}

// Whether a call leaves the window free to answer tells where it runs.
bool WindowAnswersDuringCall(RemoteObject& object)
{
    std::vector<std::unique_ptr<RemoteObject>> one;
    one.emplace_back(&object);
    bool silent = false;
    CallConcurrently(one, nullptr, [&] {
        // A call on the main thread silences the window for six seconds; a ping waits two.
        silent = WaitUntil([] { return theServerWindow.Ping(2000) < 0; }, 3000);
    });
    static_cast<void>(one[0].release());  // the object is the caller's: not deleted here
    return !silent;
}

TEST_F(ServerComTest, OwnThreadChoiceIsTakenWhenAnObjectIsConstructed)
{
    RemoteObject own(kDemoProgId);           // created while "Enabled"
    theServerWindow.SelectOwnThread(false);
    RemoteObject onMain(kDemoProgId);        // created while "Disabled"
    theServerWindow.SelectOwnThread(true);  // changes nothing for either
    EXPECT_TRUE(WindowAnswersDuringCall(own)) << "the object keeps its own thread";
    EXPECT_FALSE(WindowAnswersDuringCall(onMain)) << "the object keeps running on the main thread";
}

TEST_F(ServerComTest, SecondCallContinuesFromWhereItsBarStands)
{
    std::vector<std::unique_ptr<RemoteObject>> objects;
    objects.push_back(std::make_unique<RemoteObject>(kDemoProgId));
    CallConcurrently(objects, nullptr, [] {
        EXPECT_TRUE(WaitUntil([] { return theServerWindow.Bar(0) >= 20; }));
        theServerWindow.Click(1010);
    });
    int first = theServerWindow.Bar(0);
    ASSERT_GT(first, 0);
    ASSERT_LT(first, 100);
    double ms = 0;
    ASSERT_HRESULT_SUCCEEDED(objects[0]->Test(&ms));
    // Ten more steps of 10: up to 100, then the control starts over and ends where it began.
    EXPECT_EQ(theServerWindow.Bar(0), first);
}

// What a member listing or an early-binding generator reads: the object's one type info is the
// dispatch interface that names "Test" as DISPID 1 (its members agree with the dispatch map, which
// the agreement test checks), and its library is registered, loadable by its ID alone, and holds
// the class.
TEST_F(ServerComTest, TypeInformationDescribesTestAndLeadsToTheRegisteredLibrary)
{
    RemoteObject object(kDemoProgId);
    ASSERT_HRESULT_SUCCEEDED(object.Created());
    UINT count = 0;
    ASSERT_HRESULT_SUCCEEDED(object.Get()->GetTypeInfoCount(&count));
    EXPECT_EQ(count, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_HRESULT_SUCCEEDED(object.Get()->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info));

    TYPEATTR* attr = nullptr;
    ASSERT_HRESULT_SUCCEEDED(info->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(attr->guid, kDemoDispatchIid));
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    info->ReleaseTypeAttr(attr);
    BSTR name = nullptr;
    UINT names = 0;
    ASSERT_HRESULT_SUCCEEDED(info->GetNames(1, &name, 1, &names));
    EXPECT_STREQ(name, L"Test");
    SysFreeString(name);

    ComPtr<ITypeLib> containing;
    UINT index = 0;
    ASSERT_HRESULT_SUCCEEDED(info->GetContainingTypeLib(&containing, &index));
    TLIBATTR* libAttr = nullptr;
    ASSERT_HRESULT_SUCCEEDED(containing->GetLibAttr(&libAttr));
    EXPECT_TRUE(IsEqualGUID(libAttr->guid, kServerLibId));
    EXPECT_EQ(libAttr->wMajorVerNum, 1);
    EXPECT_EQ(libAttr->wMinorVerNum, 0);
    containing->ReleaseTLibAttr(libAttr);

    ComPtr<ITypeLib> registered;
    ASSERT_HRESULT_SUCCEEDED(LoadRegTypeLib(kServerLibId, 1, 0, 0, &registered));
    BSTR help = nullptr;
    ASSERT_HRESULT_SUCCEEDED(registered->GetDocumentation(-1, nullptr, &help, nullptr, nullptr));
    EXPECT_STREQ(help, L"QDSERVER 1.0 Type Library");
    SysFreeString(help);
    ComPtr<ITypeInfo> coclass, defaultInterface;
    ASSERT_HRESULT_SUCCEEDED(registered->GetTypeInfoOfGuid(kDemoClsid, &coclass));
    ASSERT_HRESULT_SUCCEEDED(coclass->GetTypeAttr(&attr));
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    coclass->ReleaseTypeAttr(attr);
    HREFTYPE ref = 0;
    INT flags = 0;
    ASSERT_HRESULT_SUCCEEDED(coclass->GetImplTypeFlags(0, &flags));
    EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
    ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeOfImplType(0, &ref));
    ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeInfo(ref, &defaultInterface));
    ASSERT_HRESULT_SUCCEEDED(defaultInterface->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(attr->guid, kDemoDispatchIid)) << "the class's default interface";
    defaultInterface->ReleaseTypeAttr(attr);
}

TEST_F(ServerComTest, ServerStartedByComStaysOpenAfterTheLastRelease)
{
    // Close the running server and let Wine's COM forget its class registration, then create.
    ASSERT_EQ(CloseServer(), 0);
    ASSERT_EQ(theServerWindow.Find(), nullptr);

    double start = NowMs();
    {
        RemoteObject object(kDemoProgId);
        ASSERT_HRESULT_SUCCEEDED(object.Created());
        RecordProperty("cold_start_ms", static_cast<int>(NowMs() - start));
        EXPECT_NE(theServerWindow.Find(5000), nullptr) << "COM started the server and its dialog shows";
    }
    Sleep(1500);
    EXPECT_NE(theServerWindow.Find(), nullptr) << "the server stays open after the last release";
    // Its class is still offered: the next creation reaches the same server, none starts beside it.
    auto countServers = [] {
        int n = 0;
        for (HWND h = FindWindowExA(nullptr, nullptr, nullptr, "QDServer"); h != nullptr;
             h = FindWindowExA(nullptr, h, nullptr, "QDServer"))
            ++n;
        return n;
    };
    const DWORD pid = theServerWindow.ProcessId();
    RemoteObject again(kDemoProgId);
    ASSERT_HRESULT_SUCCEEDED(again.Created());
    EXPECT_EQ(theServerWindow.ProcessId(), pid);
    EXPECT_EQ(countServers(), 1);
}

// However the server ends (its dialog closed, or the session ending), its clients see it coming:
// running calls stop at their next step and return normally, and every client's next call fails at
// once as a disconnected object's does (Wine: RPC_E_DISCONNECTED), instead of a transport failure;
// the server waits for its own threads and exits with 0. A fourth object, whose sink holds its call
// inside Progress, keeps the server in its end while the clients make their next calls.
TEST_F(ServerComTest, AnEndingServerDisconnectsItsClientsAndEndsCleanly)
{
    for (bool bEndSession : {false, true}) {
        SCOPED_TRACE(bEndSession ? "the session ends" : "the dialog is closed");
        ASSERT_EQ(PrepareServer(), "");
        auto objects = MakeObjects(3);  // two called, one idle
        RemoteObject holder(kDemoProgId);
        EventSink* sink = EventSink::Create();
        ASSERT_HRESULT_SUCCEEDED(sink->Advise(holder.Get()));
        CUniqueHandle held(CreateEventA(nullptr, TRUE, FALSE, nullptr)), release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        sink->SetProgressHook([&](long) {
            SetEvent(held.Get());
            WaitForSingleObject(release.Get(), 20000);
        });
        HRESULT hrHolder = E_FAIL;
        std::thread holding([&] {
            EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            hrHolder = holder.Test();
            CoUninitialize();
        });
        DWORD pid = theServerWindow.ProcessId();
        CUniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
        ASSERT_TRUE(process);

        std::vector<std::unique_ptr<RemoteObject>> called;
        called.push_back(std::move(objects[0]));
        called.push_back(std::move(objects[1]));
        std::vector<HRESULT> hr;
        std::thread ending;
        CallConcurrently(called, &hr, [&] {
            EXPECT_EQ(WaitForSingleObject(held.Get(), 10000), WAIT_OBJECT_0);
            EXPECT_TRUE(WaitUntil([] { return theServerWindow.Bar(0) > 0 && theServerWindow.Bar(1) > 0; }, 10000));
            HWND hDialog = theServerWindow.Find();
            if (!bEndSession) {
                PostMessageA(hDialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                return;
            }
            DWORD_PTR answer = 0;
            EXPECT_TRUE(SendMessageTimeoutA(hDialog, WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 5000, &answer));
            EXPECT_EQ(answer, TRUE);
            // Sent from a thread of its own, as a session manager sends it.
            ending = std::thread([hDialog] { SendMessageA(hDialog, WM_ENDSESSION, TRUE, 0); });
        });
        for (HRESULT h : hr)
            EXPECT_HRESULT_SUCCEEDED(h) << "a running call stops and returns normally";
        for (auto* object : {called[0].get(), called[1].get(), objects[2].get()}) {
            double ms = 0;
            EXPECT_EQ(object->Test(&ms), RPC_E_DISCONNECTED);
            EXPECT_LT(ms, 2000);
        }
        SetEvent(release.Get());
        holding.join();
        if (ending.joinable())
            ending.join();
        EXPECT_HRESULT_SUCCEEDED(hrHolder);
        ASSERT_EQ(WaitForSingleObject(process.Get(), 10000), WAIT_OBJECT_0) << "the server did not end";
        DWORD code = 1234;
        GetExitCodeProcess(process.Get(), &code);
        EXPECT_EQ(code, 0u);
        sink->Release();
        Sleep(3000);  // Wine's COM holds an ended server's class for a moment
    }
}

// Events, as a client with an apartment of its own hears them: a thread in a single-threaded
// apartment advises two sinks and makes the call; COM brings every event to that thread, during its
// outgoing call. Both kinds of object: with an own thread and on the main thread.
TEST_F(ServerComTest, SinksHearTenProgressAndFinishedInOrderOnTheirOwnThread)
{
    for (bool ownThread : {true, false}) {
        SCOPED_TRACE(ownThread ? "own thread" : "main thread");
        theServerWindow.SelectOwnThread(ownThread);
        CCreatingThread client;
        EventSink* sinks[2] = {EventSink::Create(), EventSink::Create()};
        HRESULT hrCall = E_FAIL;
        client.Run([&] {
            RemoteObject object(kDemoProgId);
            ASSERT_HRESULT_SUCCEEDED(object.Created());
            for (EventSink* sink : sinks)
                ASSERT_HRESULT_SUCCEEDED(sink->Advise(object.Get()));
            hrCall = object.Test();
            DWORD first = sinks[0]->Cookie();
            EXPECT_HRESULT_SUCCEEDED(sinks[0]->Unadvise());
            EXPECT_EQ(sinks[1]->Point()->Unadvise(first), CONNECT_E_NOCONNECTION) << "a cookie is good once";
            EXPECT_HRESULT_SUCCEEDED(sinks[1]->Unadvise());
        });
        EXPECT_HRESULT_SUCCEEDED(hrCall);
        for (EventSink* sink : sinks) {
            auto events = sink->Events();
            EXPECT_EQ(events, EventSink::CallOf(10));
            for (const auto& event : events)
                EXPECT_EQ(event.threadId, client.GetThreadID()) << "an event ran outside the sink's apartment";
            sink->Release();
        }
        EXPECT_TRUE(theServerWindow.WaitForFreeBoard(5000));
    }
    theServerWindow.SelectOwnThread(true);
}

// An aborted call still ends with Finished, which counts the steps made; and a sink may unadvise
// itself inside Progress while another goes on hearing the call to its end.
TEST_F(ServerComTest, AbortedCallFinishesWithItsStepsAndASinkMayLeaveInsideProgress)
{
    std::vector<std::unique_ptr<RemoteObject>> objects;
    objects.push_back(std::make_unique<RemoteObject>(kDemoProgId));
    EventSink* stays = EventSink::Create();
    EventSink* leaves = EventSink::Create();
    ASSERT_HRESULT_SUCCEEDED(stays->Advise(objects[0]->Get()));
    ASSERT_HRESULT_SUCCEEDED(leaves->Advise(objects[0]->Get()));
    HRESULT hrLeave = E_FAIL;
    leaves->SetProgressHook([&](long nStep) {
        if (nStep == 2)
            hrLeave = leaves->Unadvise();
    });
    std::vector<HRESULT> hr;
    CallConcurrently(objects, &hr, [&] {
        EXPECT_TRUE(WaitUntil([&] { return stays->Events().size() >= 4; }, 10000));
        theServerWindow.Click(1010);  // "Abort Call"
    });
    ASSERT_EQ(hr.size(), 1u);
    EXPECT_HRESULT_SUCCEEDED(hr.at(0));
    EXPECT_HRESULT_SUCCEEDED(hrLeave);
    auto heard = stays->Events();
    ASSERT_FALSE(heard.empty());
    long steps = heard.back().value;
    EXPECT_GE(steps, 4);
    EXPECT_LT(steps, 10);
    EXPECT_EQ(heard, EventSink::CallOf(steps));
    auto bars = theServerWindow.Bars();  // an earlier test's object may still hold "Object 1:"
    EXPECT_NE(std::find(bars.begin(), bars.end(), steps * 10), bars.end()) << "Finished counts the bar's steps";
    auto left = leaves->Events();
    EXPECT_EQ(left, std::vector<EventSink::Event>(heard.begin(), heard.begin() + 2));
    stays->Unadvise();
    stays->Release();
    leaves->Release();
}

TEST_F(ServerComTest, ConnectionPointsAndClassInfoAnswerAsComDocuments)
{
    RemoteObject object(kDemoProgId);
    ASSERT_HRESULT_SUCCEEDED(object.Created());
    ComPtr<IConnectionPointContainer> container;
    ASSERT_HRESULT_SUCCEEDED(object.Get()->QueryInterface(IID_PPV_ARGS(&container)));
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_HRESULT_SUCCEEDED(container->EnumConnectionPoints(&points));
    ULONG fetched = 0;
    IConnectionPoint* all[2] = {};
    EXPECT_EQ(points->Next(2, all, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u) << "one outgoing interface";
    point = all[0];
    all[0]->Release();  // the enumerator's reference: MinGW's ComPtr::Attach would keep it
    IID iid = IID_NULL;
    ASSERT_HRESULT_SUCCEEDED(point->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(iid, kDemoEventsIid));
    ComPtr<IConnectionPointContainer> back;
    ASSERT_HRESULT_SUCCEEDED(point->GetConnectionPointContainer(&back));
    EXPECT_EQ(back.Get(), container.Get()) << "the point leads back to its object";

    DWORD cookie = 99;
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    RemoteObject notASink(kDemoProgId);  // an IDispatch, but not the events' interface
    EXPECT_EQ(point->Advise(notASink.Get(), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);

    ComPtr<IProvideClassInfo2> classInfo;
    ASSERT_HRESULT_SUCCEEDED(object.Get()->QueryInterface(IID_PPV_ARGS(&classInfo)));
    GUID source = GUID_NULL;
    ASSERT_HRESULT_SUCCEEDED(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source));
    EXPECT_TRUE(IsEqualGUID(source, kDemoEventsIid));
    EXPECT_EQ(classInfo->GetGUID(2, &source), E_INVALIDARG);
    ComPtr<ITypeInfo> coclass;
    ASSERT_HRESULT_SUCCEEDED(classInfo->GetClassInfo(&coclass));
    TYPEATTR* attr = nullptr;
    ASSERT_HRESULT_SUCCEEDED(coclass->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(attr->guid, kDemoClsid));
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    coclass->ReleaseTypeAttr(attr);
}

// A client killed while its sink runs Progress: the server drops the sink and finishes the call,
// and serves the next client, events included. Wine's COM never releases a dead client's objects
// (Windows does after its ping time-out), so its bar stays full until the server is closed.
TEST_F(ServerComTest, ClientKilledDuringProgressLeavesTheServerServing)
{
    const char kInProgress[] = "QDEventClientInProgress";
    CUniqueHandle inProgress(CreateEventA(nullptr, TRUE, FALSE, kInProgress));
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring command(path, n);
    command = L"\"" + command.substr(0, command.find_last_of(L"\\/") + 1) + L"qd_event_client.exe\" " +
              std::wstring(kInProgress, kInProgress + sizeof kInProgress - 1);
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CUniqueHandle process(pi.hProcess), thread(pi.hThread);
    DWORD signaled = WaitForMultipleObjects(2, std::array<HANDLE, 2>{inProgress.Get(), pi.hProcess}.data(),
                                            FALSE, 20000);
    ASSERT_EQ(signaled, WAIT_OBJECT_0) << "the client did not reach Progress(3)";
    auto bars = theServerWindow.Bars();  // an earlier test's object may still hold "Object 1:"
    const int slot = static_cast<int>(std::find(bars.begin(), bars.end(), 30) - bars.begin());
    ASSERT_LT(slot, 8) << "no bar at its third step";
    TerminateProcess(pi.hProcess, 9);
    EXPECT_TRUE(WaitUntil([slot] { return theServerWindow.Bar(slot) == 100; }, 15000))
        << "the call did not go on after its client died";

    RemoteObject next(kDemoProgId);
    ASSERT_HRESULT_SUCCEEDED(next.Created());
    EventSink* sink = EventSink::Create();
    ASSERT_HRESULT_SUCCEEDED(sink->Advise(next.Get()));
    EXPECT_HRESULT_SUCCEEDED(next.Test());
    EXPECT_EQ(sink->Events(), EventSink::CallOf(10));
    bars = theServerWindow.Bars();
    EXPECT_EQ(std::count(bars.begin(), bars.end(), 100), 2) << "the dead client's bar and the next one's";
    sink->Unadvise();
    sink->Release();
    next.Release();
    EXPECT_EQ(CloseServer(), 0) << "the dead client's object holds its bar until the server closes";
}

}  // namespace
