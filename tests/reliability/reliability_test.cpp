// QDSERVER under load, faults and bad input, over real out-of-process COM: the server is the real
// program in the test run's Wine prefix, the bars are read from its real window.
#include "process_census.h"
#include "server_link.h"

#include <unique_handle.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
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
                for (int i = w; i < count; i += 4) {
                    RemoteObject object(kDemoProgId);
                    UINT n = 0;
                    if (FAILED(object.Created()) || FAILED(object.Get()->GetTypeInfoCount(&n)) || n != 1)
                        ++failures;
                }
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
    ASSERT_EQ(churn(200), 0);
    ProcessCensus baseline = settled(ProcessCensus{1 << 20, 1 << 20, 1 << 20});
    double start = NowMs();
    ASSERT_EQ(churn(1000), 0) << "every object answered";
    double msPerObject = (NowMs() - start) / 1000;
    ProcessCensus after = settled(baseline);
    std::printf("server after 200: %d threads, %d handles, %d windows; after 1000 more: %d, %d, %d; %.1f ms per object\n",
                baseline.threads, baseline.handles, baseline.windows, after.threads, after.handles, after.windows,
                msPerObject);
    RecordProperty("ms_per_object", static_cast<int>(msPerObject));
    // Wine's RPC runtime starts and ends worker threads of its own as calls come and go, each with a
    // few handles; a leak of even one thread or handle per object would show by the thousand.
    for (const ProcessCensus& census : {baseline, after})
        ASSERT_TRUE(census.threads > 0 && census.handles > 0 && census.windows > 0) << "a count failed";
    EXPECT_LE(after.threads, baseline.threads + kRpcThreadSlack);
    EXPECT_LE(after.handles, baseline.handles + kRpcThreadSlack * 4);
    EXPECT_LE(after.windows, baseline.windows);
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

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::fprintf(stderr, "CoInitializeEx failed\n");
        return 1;
    }
    int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
