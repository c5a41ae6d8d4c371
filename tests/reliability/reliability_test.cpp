// QDSERVER under load, faults and bad input, over real out-of-process COM: the server is the real
// program in the test run's Wine prefix, the bars are read from its real window.
#include "event_sink.h"
#include "process_census.h"
#include "sample_stats.h"
#include "server_link.h"

#include <interleaving_points.h>
#include <unique_handle.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

class ReliabilityTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(PrepareServer(), ""); }
};

// QDSERVER started anew by COM with its own-thread cap set: the server inherits this process's
// environment.
std::string RestartServerWithCap(const char* cap)
{
    if (CloseServer() != 0)
        return "the earlier server did not end with 0";
    SetEnvironmentVariableA("QD_MAX_OWN_THREADS", cap);
    std::string prepared = PrepareServer();
    SetEnvironmentVariableA("QD_MAX_OWN_THREADS", nullptr);
    return prepared;
}

// What a call may answer when the server ends under it: success (the call stopped early), an abort,
// its object disconnected, a server that no longer creates, and the server gone.
bool IsEndAnswer(HRESULT hr)
{
    return SUCCEEDED(hr) || hr == E_ABORT || hr == RPC_E_DISCONNECTED || hr == CO_E_SERVER_STOPPING ||
           hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
           hr == HRESULT_FROM_WIN32(RPC_S_UNKNOWN_IF);  // Wine's answer for a disconnected object
}


bool ServerAlive(DWORD pid)
{
    CUniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    return process && WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT;
}

// Random automation input. A well-formed call of "Test" is turned into a bad one, so every call
// answers at once.
class Fuzzer {
public:
    explicit Fuzzer(unsigned seed) : m_rng(seed) {}

    HRESULT Invoke(IDispatch* p)
    {
        static const DISPID kIds[] = {0, 1, 2, -1, -3, -4, -5, 0x10001, 0x7FFFFFFF, DISPID_UNKNOWN};
        DISPID id = Pick(3) == 0 ? static_cast<DISPID>(m_rng()) : kIds[Pick(std::size(kIds))];
        WORD flags = Pick(2) ? static_cast<WORD>(1u << Pick(5)) : static_cast<WORD>(m_rng());
        UINT cArgs = static_cast<UINT>(Pick(5));
        UINT cNamed = Pick(4) == 0 ? static_cast<UINT>(Pick(cArgs + 1)) : 0;
        if (id == 1 && (flags & DISPATCH_METHOD) && !(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) &&
            cArgs == 0 && cNamed == 0)
            cArgs = 1;  // would be a real six-second call
        std::vector<VARIANT> args(cArgs);
        std::vector<DISPID> named(cNamed);
        for (auto& v : args)
            RandomVariant(v);
        for (auto& n : named)
            n = Pick(2) ? DISPID_PROPERTYPUT : static_cast<DISPID>(Pick(4));
        DISPPARAMS params{cArgs ? args.data() : nullptr, cNamed ? named.data() : nullptr, cArgs, cNamed};
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO excep{};
        UINT argErr = 0;
        IID iid = Pick(6) == 0 ? IID_IDispatch : IID_NULL;
        HRESULT hr = p->Invoke(id, iid, static_cast<LCID>(m_rng()), flags, &params, Pick(2) ? &result : nullptr,
                               Pick(2) ? &excep : nullptr, Pick(2) ? &argErr : nullptr);
        for (auto& v : args)
            VariantClear(&v);
        VariantClear(&result);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrHelpFile);
        return hr;
    }

    HRESULT GetIDsOfNames(IDispatch* p)
    {
        UINT cNames = 1 + static_cast<UINT>(Pick(3));
        std::vector<std::wstring> text(cNames);
        std::vector<LPOLESTR> names(cNames);
        for (UINT i = 0; i < cNames; ++i) {
            static const wchar_t* kKnown[] = {L"Test", L"test", L"TEST", L"", L"Tes", L"Test ", L"Test\x00e9"};
            if (Pick(3) == 0) {
                text[i] = kKnown[Pick(std::size(kKnown))];
            } else {
                size_t n = Pick(40);
                for (size_t k = 0; k < n; ++k)
                    text[i] += static_cast<wchar_t>(1 + Pick(0xD7FF));
            }
            names[i] = text[i].data();
        }
        std::vector<DISPID> ids(cNames);
        IID iid = Pick(6) == 0 ? IID_IUnknown : IID_NULL;
        return p->GetIDsOfNames(iid, names.data(), cNames, static_cast<LCID>(m_rng()), ids.data());
    }

private:
    size_t Pick(size_t n) { return n ? static_cast<size_t>(m_rng() % n) : 0; }

    void RandomVariant(VARIANT& v)
    {
        VariantInit(&v);
        switch (Pick(6)) {
        case 0: v.vt = VT_I4; v.lVal = static_cast<LONG>(m_rng()); break;
        case 1: v.vt = VT_BSTR; v.bstrVal = SysAllocString(L"fuzz"); break;
        case 2: v.vt = VT_R8; v.dblVal = static_cast<double>(m_rng()) / 7.0; break;
        case 3: v.vt = VT_BOOL; v.boolVal = VARIANT_TRUE; break;
        case 4: v.vt = VT_DISPATCH; v.pdispVal = nullptr; break;
        default: v.vt = VT_EMPTY; break;
        }
    }

    std::mt19937 m_rng;
};

TEST_F(ReliabilityTest, TenThousandFuzzedCallsBreakNothing)
{
    DWORD pid = theServerWindow.ProcessId();
    RemoteObject own(kDemoProgId);
    theServerWindow.SelectOwnThread(false);
    RemoteObject onMain(kDemoProgId);
    theServerWindow.SelectOwnThread(true);
    ASSERT_HRESULT_SUCCEEDED(own.Created());
    ASSERT_HRESULT_SUCCEEDED(onMain.Created());

    const unsigned seed = 20261207;
    Fuzzer fuzzer(seed);
    int succeeded = 0;
    double start = NowMs();
    for (int i = 0; i < 10000; ++i) {
        IDispatch* p = (i % 2) ? own.Get() : onMain.Get();
        HRESULT hr = (i % 3 == 0) ? fuzzer.GetIDsOfNames(p) : fuzzer.Invoke(p);
        if (SUCCEEDED(hr))
            ++succeeded;
        ASSERT_NE(hr, RPC_E_SERVERFAULT) << "call " << i << " faulted in the server (seed " << seed << ")";
        ASSERT_NE(hr, RPC_E_DISCONNECTED) << "call " << i;
        ASSERT_NE(hr, static_cast<HRESULT>(0x800706BE)) << "call " << i << ": the server went away";
    }
    std::printf("10000 fuzzed calls in %.0f ms, %d succeeded (only name lookups can)\n", NowMs() - start, succeeded);
    EXPECT_TRUE(ServerAlive(pid));
    EXPECT_EQ(theServerWindow.Bars(), (std::array<int, 8>{})) << "no fuzzed call ran \"Test\"";
    double ms = 0;
    EXPECT_HRESULT_SUCCEEDED(own.Test(&ms)) << "a normal call still succeeds";
    EXPECT_GT(ms, 5700);
    EXPECT_EQ(theServerWindow.Bar(0), 100);
}

TEST_F(ReliabilityTest, ThousandOwnThreadObjectsLeaveNoThreadHandleOrWindowBehind)
{
    DWORD pid = theServerWindow.ProcessId();
    auto churn = [](int count) {
        std::atomic<int> failures{0};
        std::vector<std::thread> workers;
        workers.reserve(4);
        for (int w = 0; w < 4; ++w)
            workers.emplace_back([&, w] {
                EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
                IClassFactory* pFactory = nullptr;
                EXPECT_HRESULT_SUCCEEDED(CoGetClassObject(RemoteObject::ClassOf(kDemoProgId), CLSCTX_LOCAL_SERVER,
                                                          nullptr, IID_PPV_ARGS(&pFactory)));
                for (int i = w; i < count; i += 4) {
                    RemoteObject object(pFactory);
                    UINT n = 0;
                    if (FAILED(object.Created()) || FAILED(object.Get()->GetTypeInfoCount(&n)) || n != 1)
                        ++failures;
                }
                if (pFactory != nullptr)
                    pFactory->Release();
                CoUninitialize();
            });
        for (auto& t : workers)
            t.join();
        return failures.load();
    };
    constexpr int kRpcThreadSlack = 4;
    auto settled = [pid](const ProcessCensus& want) {
        ProcessCensus now;
        WaitUntil([&] {
            now = ProcessCensus::Of(pid);
            return now.threads <= want.threads && now.handles <= want.handles && now.windows <= want.windows &&
                   theServerWindow.Bars() == std::array<int, 8>{};
        }, 5000);
        return now;
    };
    // Objects live at once, held by four client processes, then released: past the cap they share
    // threads. More than the cap at once makes every own thread there is, which then parks.
    auto holdAll = [](int count, double* pWorstPingMs) {
        CUniqueHandle ready(CreateSemaphoreA(nullptr, 0, 4, "Local\\QDHeldReady"));
        CUniqueHandle release(CreateEventA(nullptr, TRUE, FALSE, "Local\\QDHeldRelease"));
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::vector<CUniqueHandle> children;
        for (int c = 0; c < 4; ++c) {
            std::string command = std::string("\"") + self + "\" --hold " + std::to_string(count / 4);
            STARTUPINFOA si{sizeof(si)};
            PROCESS_INFORMATION pi{};
            if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
                return -1;
            CloseHandle(pi.hThread);
            children.emplace_back(pi.hProcess);
        }
        const double deadline = NowMs() + 180000;
        for (int held = 0; held < 4 && NowMs() < deadline;) {
            *pWorstPingMs = std::max(*pWorstPingMs, theServerWindow.Ping(10000));
            if (WaitForSingleObject(ready.Get(), 50) == WAIT_OBJECT_0)
                ++held;
        }
        SetEvent(release.Get());
        int failures = 0;
        for (const CUniqueHandle& child : children) {
            DWORD code = 1;
            if (WaitForSingleObject(child.Get(), 120000) != WAIT_OBJECT_0 || !GetExitCodeProcess(child.Get(), &code))
                code = 1;
            failures += static_cast<int>(code);
        }
        return failures;
    };
    double worstPingMs = 0;
    ASSERT_EQ(holdAll(100, &worstPingMs), 0);
    ProcessCensus baseline = settled(ProcessCensus{1 << 20, 1 << 20, 1 << 20});
    double start = NowMs();
    ASSERT_EQ(churn(1000), 0) << "every object answered";
    double msPerObject = (NowMs() - start) / 1000;
    ProcessCensus after = settled(baseline);
    ASSERT_EQ(holdAll(1000, &worstPingMs), 0) << "every one of a thousand live objects answered";
    ProcessCensus afterHeld = settled(baseline);
    std::printf("server after 100 held at once: %d threads, %d handles, %d windows; after 1000 more one at a "
                "time: %d, %d, %d; %.1f ms per object; after 1000 more held at once: %d, %d, %d; the dialog "
                "answered within %.0f ms\n",
                baseline.threads, baseline.handles, baseline.windows, after.threads, after.handles, after.windows,
                msPerObject, afterHeld.threads, afterHeld.handles, afterHeld.windows, worstPingMs);
    RecordProperty("ms_per_object", static_cast<int>(msPerObject));
    // Wine's RPC runtime starts and ends worker threads of its own as calls come and go, each with a
    // few handles; a leak of even one thread or handle per object would show by the thousand.
    for (const ProcessCensus& census : {baseline, after, afterHeld})
        ASSERT_TRUE(census.threads > 0 && census.handles > 0 && census.windows > 0) << "a count failed";
    for (const ProcessCensus& census : {after, afterHeld}) {
        EXPECT_LE(census.threads, baseline.threads + kRpcThreadSlack);
        EXPECT_LE(census.handles, baseline.handles + kRpcThreadSlack * 4);
        EXPECT_LE(census.windows, baseline.windows);
    }
    EXPECT_GE(worstPingMs, 0) << "the dialog answered throughout";
}

TEST_F(ReliabilityTest, CappedAtFourOwnThreadsTwelveObjectsShareThemAndTheDialogAnswers)
{
    ASSERT_EQ(RestartServerWithCap("4"), "");
    constexpr int k = 12;
    std::vector<std::unique_ptr<RemoteObject>> objects;
    for (int i = 0; i < k; ++i) {
        objects.push_back(std::make_unique<RemoteObject>(kDemoProgId));
        ASSERT_HRESULT_SUCCEEDED(objects.back()->Created());
    }
    // Dealt in turn, objects i, i + 4 and i + 8 share a thread: the eight with bars two to a thread.
    // Their calls start first; the four without bars queue behind them, so the click below reaches a
    // call with a bar.
    std::vector<HRESULT> hr(k, E_PENDING);
    std::vector<double> ms(k, 0);
    std::atomic<int> returned{0};
    std::vector<std::thread> calls;
    auto call = [&](int i) {
        calls.emplace_back([&, i] {
            EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            hr[i] = objects[i]->Test(&ms[i]);
            ++returned;
            CoUninitialize();
        });
    };
    double start = NowMs();
    for (int i = 0; i < 8; ++i)
        call(i);
    ASSERT_TRUE(WaitUntil([] {
        auto bars = theServerWindow.Bars();
        return std::count_if(bars.begin(), bars.end(), [](int bar) { return bar > 0; }) == 4;
    }, 10000)) << "four calls run at once, one a thread";
    for (int i = 8; i < k; ++i)
        call(i);
    theServerWindow.Click(1010);
    SampleStats pings;
    while (returned < k) {
        pings.Add(theServerWindow.Ping(10000));
        Sleep(50);
    }
    for (auto& t : calls)
        t.join();
    double wall = NowMs() - start;
    std::printf("12 calls on 4 own threads: %.1f s; the dialog answered in %.1f ms median, %.1f ms at worst\n",
                wall / 1000, pings.Median(), pings.Max());
    for (int i = 0; i < k; ++i)
        EXPECT_HRESULT_SUCCEEDED(hr[i]) << "call " << i;
    // On the main thread a single call would have kept the dialog silent for seconds.
    EXPECT_GE(pings.Min(), 0);
    EXPECT_LT(pings.Max(), 1000);
    // Two six-second calls and one of 0.6 s a thread, one of them stopped early.
    EXPECT_LT(wall, 3 * 12600);
    auto bars = theServerWindow.Bars();
    EXPECT_EQ(std::count(bars.begin(), bars.end(), 100), 7) << "the click stopped exactly one call";
    // Released out of order; the server then holds no bar and serves on.
    for (int i : {5, 0, 11, 3, 8, 1, 10, 6, 2, 9, 4, 7})
        objects[i].reset();
    EXPECT_TRUE(theServerWindow.WaitForFreeBoard(10000));
    RemoteObject after(kDemoProgId);
    EXPECT_HRESULT_SUCCEEDED(after.Created());
    after.Release();
    EXPECT_EQ(CloseServer(), 0) << "later tests get a server with the platform's cap";
}

TEST_F(ReliabilityTest, ThirtyTwoClientsThreeRoundsEveryCallSucceeds)
{
    for (int round = 0; round < 3; ++round) {
        std::vector<HRESULT> hr(32, E_FAIL);
        std::vector<std::thread> clients;
        clients.reserve(32);
        double start = NowMs();
        for (int c = 0; c < 32; ++c)
            clients.emplace_back([&, c] {
                EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
                {
                    RemoteObject object(kDemoProgId);
                    hr[c] = FAILED(object.Created()) ? object.Created() : object.Test();
                }
                CoUninitialize();
            });
        for (auto& t : clients)
            t.join();
        double wall = NowMs() - start;
        for (int c = 0; c < 32; ++c)
            EXPECT_HRESULT_SUCCEEDED(hr[c]) << "round " << round << ", client " << c;
        EXPECT_LT(wall, 20000) << "round " << round << " took " << wall << " ms";
        std::printf("round %d: 32 clients in %.0f ms\n", round, wall);
        ASSERT_TRUE(WaitUntil([] { return theServerWindow.Bars() == std::array<int, 8>{}; }, 5000));
    }
}

TEST_F(ReliabilityTest, EachClickStopsExactlyOneOfManyCalls)
{
    constexpr int k = 6, n = 3;
    std::vector<std::unique_ptr<RemoteObject>> objects;
    objects.reserve(k);
    for (int i = 0; i < k; ++i)
        objects.push_back(std::make_unique<RemoteObject>(kDemoProgId));
    std::vector<HRESULT> hr(k);
    std::atomic<int> returned{0};
    std::vector<std::thread> calls;
    calls.reserve(k);
    for (int i = 0; i < k; ++i)
        calls.emplace_back([&, i] {
            EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            hr[i] = objects[i]->Test();
            ++returned;
            CoUninitialize();
        });
    ASSERT_TRUE(WaitUntil([] {
        auto bars = theServerWindow.Bars();
        return std::all_of(bars.begin(), bars.begin() + k, [](int bar) { return bar > 0; });
    }, 10000));
    for (int click = 1; click <= n; ++click) {
        theServerWindow.Click(1010);
        // The click is consumed when the call it stopped returns; only then comes the next one.
        EXPECT_TRUE(WaitUntil([&] { return returned >= click; })) << "click " << click;
    }
    for (auto& t : calls)
        t.join();
    auto bars = theServerWindow.Bars();
    for (int i = 0; i < k; ++i)
        EXPECT_HRESULT_SUCCEEDED(hr[i]);
    EXPECT_EQ(std::count(bars.begin(), bars.begin() + k, 100), k - n) << "the other calls ran to the end";
}

// The end, however it starts, with more objects than own threads: two in a call, one held idle by
// its client, one whose creation waits for a thread in a call. Every call and the creation answer,
// and the server ends at once with 0, without waiting out a call or its end's time limit.
TEST_F(ReliabilityTest, TheEndUnderLoadWhicheverWayItStarts)
{
    for (auto way : {ServerWindow::EndBy::kCloseBox, ServerWindow::EndBy::kEsc, ServerWindow::EndBy::kLogOff}) {
        SCOPED_TRACE(ServerWindow::Name(way));
        ASSERT_EQ(RestartServerWithCap("2"), "");
        // Dealt to the two threads: the idle object and the second busy one share the first.
        RemoteObject idle(kDemoProgId);
        std::vector<std::unique_ptr<RemoteObject>> busy;
        busy.reserve(2);
        for (int i = 0; i < 2; ++i)
            busy.push_back(std::make_unique<RemoteObject>(kDemoProgId));
        std::vector<HRESULT> hr(3, E_PENDING);
        std::vector<std::thread> calls;
        calls.reserve(3);
        for (size_t i = 0; i < 3; ++i)
            calls.emplace_back([&, i] {
                EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
                if (i == 2) {
                    // Both threads are in a call: this creation waits until one returns.
                    WaitUntil([] {
                        auto bars = theServerWindow.Bars();
                        return std::count_if(bars.begin(), bars.end(), [](int bar) { return bar > 0; }) >= 2;
                    }, 10000);
                    RemoteObject late(kDemoProgId);
                    hr[i] = FAILED(late.Created()) ? late.Created() : late.Test();
                } else {
                    hr[i] = busy[i]->Test();
                }
                CoUninitialize();
            });
        ASSERT_TRUE(WaitUntil([] {
            auto bars = theServerWindow.Bars();
            return std::count_if(bars.begin(), bars.end(), [](int bar) { return bar > 0; }) >= 2;
        }, 10000));
        Sleep(1000);  // the creation has begun, and waits some four seconds more for a thread
        DWORD code = 0;
        double start = NowMs();
        EXPECT_TRUE(theServerWindow.EndAndWaitForExit(way, 10000, &code));
        double endMs = NowMs() - start;
        EXPECT_EQ(code, 0u);
        EXPECT_LT(endMs, 3000) << "the end waited for a call, or out its time limit";
        for (auto& t : calls)
            t.join();
        std::printf("%s under load: ended in %.0f ms\n", ServerWindow::Name(way), endMs);
        for (size_t i = 0; i < hr.size(); ++i)
            EXPECT_TRUE(IsEndAnswer(hr[i])) << (i == 2 ? "the creation " : "call ") << i << ": 0x" << std::hex << hr[i];
        EXPECT_TRUE(IsEndAnswer(idle.Test())) << "the idle object after the end";
        Sleep(3000);  // Wine's COM holds an ended server's class for a moment
    }
}

// A logoff that reaches the server while its main thread waits for a client (an event of a
// "Disabled" object's "Test"). The session manager has its answers at once; the end runs from the
// dialog's loop, not inside the manager's SendMessage, where COM would refuse every call the end
// makes out (RPC_E_CANTCALLOUT_ININPUTSYNCCALL). A client that keeps a connection point, as the
// sinks here do to unadvise later, does not keep its object past the end.
TEST_F(ReliabilityTest, ALogoffDuringAMainThreadEventIsAnsweredAtOnceAndEndsTheServerAfterIt)
{
    const DWORD pid = theServerWindow.ProcessId();
    CUniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    ASSERT_TRUE(theServerWindow.SelectOwnThread(false));
    RemoteObject busy(kDemoProgId), idle(kDemoProgId);
    EventSink* pBusySink = EventSink::Create();
    EventSink* pIdleSink = EventSink::Create();
    ASSERT_HRESULT_SUCCEEDED(pBusySink->Advise(busy.Get()));
    ASSERT_HRESULT_SUCCEEDED(pIdleSink->Advise(idle.Get()));

    // The first event holds the server's main thread in its call to us while the logoff comes.
    bool bAnsweredInsideTheEvent = false;
    double eventLeftAt = 0;
    pBusySink->SetProgressHook([&](long nStep) {
        if (nStep != 1)
            return;
        bool bAnswered = false;
        std::thread logoff([&] { bAnswered = theServerWindow.SendLogoff(10000); });
        logoff.join();
        bAnsweredInsideTheEvent = bAnswered;
        eventLeftAt = NowMs();
    });
    HRESULT hr = E_PENDING;
    std::thread call([&] {
        EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        hr = busy.Test();
        CoUninitialize();
    });
    call.join();
    EXPECT_TRUE(bAnsweredInsideTheEvent) << "the session manager waited for the end";
    EXPECT_TRUE(IsEndAnswer(hr)) << std::hex << hr;
    DWORD code = 1;
    ASSERT_EQ(WaitForSingleObject(process.Get(), 10000), WAIT_OBJECT_0) << "the logoff did not end the server";
    EXPECT_LT(NowMs() - eventLeftAt, 3000) << "the end waited for an object, or out its time limit: " << NowMs() - eventLeftAt;
    EXPECT_TRUE(GetExitCodeProcess(process.Get(), &code));
    EXPECT_EQ(code, 0u);
    pIdleSink->Release();
    pBusySink->Release();
    Sleep(3000);  // Wine's COM holds an ended server's class for a moment
}

// A client that holds the class factory creates while the server ends, the server held right after
// it revoked its classes: the creation is refused, and the end does not wait for an object created
// behind its back.
TEST_F(ReliabilityTest, TheEndRefusesACreationThroughAClassFactoryAClientHolds)
{
    ASSERT_EQ(CloseServer(), 0);
    SetEnvironmentVariableA("QD_INTERLEAVING_HOLD", "ole_app.classes_revoked");
    std::string prepared = PrepareServer();
    SetEnvironmentVariableA("QD_INTERLEAVING_HOLD", nullptr);
    ASSERT_EQ(prepared, "");
    const DWORD pid = theServerWindow.ProcessId();
    CUniqueHandle held(OpenEventA(SYNCHRONIZE, FALSE, CInterleavingPoints::EventName("Held", pid).c_str()));
    CUniqueHandle go(OpenEventA(EVENT_MODIFY_STATE, FALSE, CInterleavingPoints::EventName("Go", pid).c_str()));
    ASSERT_TRUE(held && go) << "the server is not armed";
    // An object held idle: the end waits for it to go, and meanwhile answers the creation.
    RemoteObject idle(kDemoProgId);
    ASSERT_HRESULT_SUCCEEDED(idle.Created());
    IClassFactory* pFactory = nullptr;
    ASSERT_HRESULT_SUCCEEDED(CoGetClassObject(RemoteObject::ClassOf(kDemoProgId), CLSCTX_LOCAL_SERVER, nullptr,
                                              IID_PPV_ARGS(&pFactory)));
    CUniqueHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    PostMessageA(theServerWindow.Find(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_EQ(WaitForSingleObject(held.Get(), 10000), WAIT_OBJECT_0);
    // Reaches the server's main thread once the end goes on, while it waits for its objects.
    HRESULT hr = E_PENDING;
    std::thread creation([&] {
        EXPECT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        IDispatch* pObject = nullptr;
        hr = pFactory->CreateInstance(nullptr, IID_PPV_ARGS(&pObject));
        if (pObject != nullptr)
            pObject->Release();
        CoUninitialize();
    });
    Sleep(200);  // the creation's call is under way
    double start = NowMs();
    SetEvent(go.Get());
    creation.join();
    pFactory->Release();
    EXPECT_FALSE(SUCCEEDED(hr)) << "an object was created by a server that ends";
    EXPECT_TRUE(IsEndAnswer(hr)) << std::hex << hr;
    DWORD code = 1;
    EXPECT_EQ(WaitForSingleObject(process.Get(), 10000), WAIT_OBJECT_0);
    EXPECT_LT(NowMs() - start, 3000) << "the end waited for an object created behind its back";
    EXPECT_TRUE(GetExitCodeProcess(process.Get(), &code));
    EXPECT_EQ(code, 0u);
    Sleep(3000);  // Wine's COM holds an ended server's class for a moment
}

// Run by the thousand-object test as a child process: holds count objects until told to let go.
// The exit code is the number of objects that did not answer.
int HoldObjectsChild(int count)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return count;
    int failures = 0;
    {
        std::vector<std::unique_ptr<RemoteObject>> held;
        for (int i = 0; i < count; ++i) {
            held.push_back(std::make_unique<RemoteObject>(kDemoProgId));
            UINT n = 0;
            if (FAILED(held.back()->Created()) || FAILED(held.back()->Get()->GetTypeInfoCount(&n)) || n != 1)
                ++failures;
        }
        CUniqueHandle ready(OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, "Local\\QDHeldReady"));
        CUniqueHandle release(OpenEventA(SYNCHRONIZE, FALSE, "Local\\QDHeldRelease"));
        if (!ready || !release)
            return count;
        ReleaseSemaphore(ready.Get(), 1, nullptr);
        WaitForSingleObject(release.Get(), 120000);
    }
    CoUninitialize();
    return failures;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 2 && std::string(argv[1]) == "--hold")
        return HoldObjectsChild(std::atoi(argv[2]));
    ::testing::InitGoogleTest(&argc, argv);
    // Each case runs as a process of its own, and the server that COM started would outlive it:
    // every case closes it as it ends, so that whatever test follows finds no QDSERVER of ours.
    struct CCloseServerAtTheEnd : ::testing::Environment {
        void TearDown() override { EXPECT_EQ(CloseServer(), 0); }
    };
    ::testing::AddGlobalTestEnvironment(new CCloseServerAtTheEnd);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "CoInitializeEx failed\n");
        return 1;
    }
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
