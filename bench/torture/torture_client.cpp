#include "torture_client.h"

#include "bench_names.h"
#include "event_sink.h"
#include "wait_until.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <thread>

namespace {

const int kOwnThreadEnabledId = 1008;
const int kOwnThreadDisabledId = 1009;
const int kAbortCallId = 1010;
const DISPID kOnProgressDispid = 2;
// RPC_S_SERVER_UNAVAILABLE is expected once the process is gone; it may still be ending.
const DWORD kServerEndingMs = 5000;
// The conductor gives a client 30 s after the stop; a hang is reported before that.
const DWORD kHangMs = 25000;

}  // namespace

struct TortureClient::Object {
    explicit Object(IDispatch* pDisp) : remote(pDisp) {}
    RemoteObject remote;
    std::mutex lock;  // guards sinks
    std::vector<EventSink*> sinks;
    ~Object()
    {
        for (EventSink* pSink : sinks)
            pSink->Release();
    }
};

TortureClient::TortureClient(const Options& options)
    : m_options(options), m_window(WindowQuery::AnyOfProcess(options.serverPid))
{
}

int TortureClient::Run()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 2;
    HRESULT hr = S_OK;
    m_clsid = RemoteObject::ClassOf(QDSERVER_PROGID, &hr);
    m_stop.Reset(OpenEventA(SYNCHRONIZE, FALSE, m_options.stopEvent.c_str()));
    m_ending.Reset(OpenEventA(SYNCHRONIZE, FALSE, (m_options.stopEvent + kEndingSuffix).c_str()));
    m_server.Reset(OpenProcess(SYNCHRONIZE, FALSE, m_options.serverPid));
    m_counterMapping.Reset(OpenFileMappingA(FILE_MAP_WRITE, FALSE, m_options.callCounter.c_str()));
    if (m_counterMapping)
        m_pCallsInFlight = static_cast<volatile LONG*>(MapViewOfFile(m_counterMapping.Get(), FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
    if (FAILED(hr) || !m_stop || !m_server) {
        std::fprintf(stderr, "[client %d] cannot start: class 0x%08lX, stop event %d, server %d\n", m_options.index,
                     static_cast<unsigned long>(hr), static_cast<bool>(m_stop), static_cast<bool>(m_server));
        CoUninitialize();
        return 2;
    }
    m_doing.assign(m_options.threads, "starting");
    m_threadIds.assign(m_options.threads, 0);
    std::vector<std::thread> threads;
    threads.reserve(static_cast<size_t>(m_options.threads));
    for (int i = 0; i < m_options.threads; ++i)
        threads.emplace_back([this, i] { Work(i); });
    // A thread still in a call long after the stop is a hang: say where, and end without waiting.
    WaitForSingleObject(m_stop.Get(), INFINITE);
    if (!WaitUntil([&] { return m_finished.load() == m_options.threads; }, kHangMs, 20)) {
        // Not waited for: a thread that never gives the lock back is itself such a hang.
        std::unique_lock<std::mutex> lock(m_lock, std::try_to_lock);
        for (size_t i = 0; i < m_doing.size(); ++i)
            std::fprintf(stderr, "[client %d] thread %zu still in \"%s\" %lu s after the stop (server %s)\n",
                         m_options.index, i, lock.owns_lock() ? m_doing[i] : "(its lock is held)", kHangMs / 1000,
                         WaitForSingleObject(m_server.Get(), 0) == WAIT_TIMEOUT ? "running" : "gone");
        std::fflush(stderr);
        ExitProcess(kHungExit);
    }
    // The rest is the main thread's: a hang there is said the same way, by a thread of its own.
    std::atomic<const char*> step{"joining its threads"};
    CUniqueHandle hTailDone(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::thread([this, &step, hDone = hTailDone.Get()] {
        if (WaitForSingleObject(hDone, kHangMs) != WAIT_TIMEOUT)
            return;
        std::fprintf(stderr, "[client %d] main thread still in \"%s\" %lu s after its threads ended (server %s)\n",
                     m_options.index, step.load(), kHangMs / 1000,
                     WaitForSingleObject(m_server.Get(), 0) == WAIT_TIMEOUT ? "running" : "gone");
        std::fflush(stderr);
        ExitProcess(kHungExit);
    }).detach();
    for (std::thread& t : threads)
        t.join();
    std::mt19937 rng(m_options.seed ^ 0x5EEDu);
    step = "letting go of its objects";
    LetGoOfEverything(rng);
    step = "writing its tally";
    bool bWritten = WriteTally();
    step = "CoUninitialize";
    CoUninitialize();
    SetEvent(hTailDone.Get());  // what follows is the process's end
    if (!bWritten)
        return 2;
    return m_tally.Unexpected() ? kUnexpectedExit : 0;
}

void TortureClient::Work(int thread)
{
    const HRESULT hrInit = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_threadIds[thread] = GetCurrentThreadId();
    }
    std::mt19937 rng(m_options.seed + 7919u * static_cast<uint32_t>(thread + 1));
    while (!Stopped()) {
        Act(rng);
        Doing("pausing");
        // A short random pause between choices, ended early by the stop.
        WaitForSingleObject(m_stop.Get(), std::uniform_int_distribution<DWORD>(0, 150)(rng));
    }
    if (SUCCEEDED(hrInit))
        CoUninitialize();
    ++m_finished;
}

void TortureClient::Act(std::mt19937& rng)
{
    // Weights: calls and creations most, the rest now and then.
    enum { kCreate, kCreateByFactory, kHoldFactory, kDropFactory, kChooseOwnThread, kTest, kAdvise, kUnadvise,
           kCallback, kAbort, kRelease, kActions };
    static const int kWeights[kActions] = {16, 5, 4, 3, 8, 20, 8, 4, 6, 6, 12};
    static const char* const kNames[kActions] = {"create", "factory_create", "get_factory", "drop_factory",
                                                 "own_thread_click", "test", "advise", "unadvise", "callback",
                                                 "abort_click", "release"};
    std::discrete_distribution<int> choose(std::begin(kWeights), std::end(kWeights));
    int action = choose(rng);
    Doing(kNames[action]);
    switch (action) {
    case kCreate:
        Create(rng, false);
        break;
    case kCreateByFactory:
        Create(rng, true);
        break;
    case kHoldFactory:
        HoldFactory(rng);
        break;
    case kDropFactory:
        DropFactory();
        break;
    case kChooseOwnThread:
        m_window.Click(m_options.mainThreadToo && rng() % 2 ? kOwnThreadDisabledId : kOwnThreadEnabledId);
        break;
    case kTest:
        CallTest(rng);
        break;
    case kAdvise:
        Advise(rng);
        break;
    case kUnadvise:
        UnadviseOne(rng);
        break;
    case kCallback:
        SetCallback(rng);
        break;
    case kAbort:
        m_window.Click(kAbortCallId);
        break;
    default:
        ReleaseOne(rng);
        break;
    }
}

void TortureClient::Create(std::mt19937& rng, bool bThroughFactory)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_objects.size() >= m_options.maxObjects)
            return;
    }
    IDispatch* pDisp = nullptr;
    HRESULT hr = S_OK;
    if (bThroughFactory) {
        IClassFactory* pFactory = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if ((pFactory = m_pFactory) != nullptr)
                pFactory->AddRef();
        }
        if (pFactory == nullptr) {
            HoldFactory(rng);
            return;
        }
        hr = pFactory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&pDisp));
        pFactory->Release();
        Record("factory_create", hr);
    } else {
        hr = CoCreateInstance(m_clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&pDisp));
        Record("create", hr);
    }
    if (FAILED(hr) || pDisp == nullptr)
        return;
    std::lock_guard<std::mutex> lock(m_lock);
    m_objects.push_back(std::make_shared<Object>(pDisp));
}

void TortureClient::HoldFactory(std::mt19937& rng)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_pFactory != nullptr)
            return;
    }
    IClassFactory* pFactory = nullptr;
    HRESULT hr = CoGetClassObject(m_clsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&pFactory));
    Record("get_factory", hr);
    if (FAILED(hr))
        return;
    bool bLock = rng() % 2 == 0;
    if (bLock)
        Record("lock_server", pFactory->LockServer(TRUE));
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_pFactory == nullptr) {
            m_pFactory = pFactory;
            m_bFactoryLocked = bLock;
            return;
        }
    }
    // Another thread was quicker. Given back outside the lock: Record takes it, and a call made
    // under it would hold every other thread of the client for as long as the call takes.
    if (bLock)
        Record("unlock_server", pFactory->LockServer(FALSE));
    pFactory->Release();
}

void TortureClient::DropFactory()
{
    IClassFactory* pFactory = nullptr;
    bool bLocked = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::swap(pFactory, m_pFactory);
        std::swap(bLocked, m_bFactoryLocked);
    }
    if (pFactory == nullptr)
        return;
    if (bLocked)
        Record("unlock_server", pFactory->LockServer(FALSE));
    pFactory->Release();
}

std::shared_ptr<TortureClient::Object> TortureClient::Pick(std::mt19937& rng)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_objects.empty())
        return nullptr;
    return m_objects[rng() % m_objects.size()];
}

void TortureClient::CallTest(std::mt19937& rng)
{
    std::shared_ptr<Object> object = Pick(rng);
    if (!object)
        return;
    if (m_pCallsInFlight)
        InterlockedIncrement(m_pCallsInFlight);
    HRESULT hr = object->remote.Test();
    if (m_pCallsInFlight)
        InterlockedDecrement(m_pCallsInFlight);
    Record("test", hr);
}

void TortureClient::Advise(std::mt19937& rng)
{
    std::shared_ptr<Object> object = Pick(rng);
    if (!object)
        return;
    EventSink* pSink = EventSink::Create();
    HRESULT hr = pSink->Advise(object->remote.Get());
    Record("advise", hr);
    if (FAILED(hr)) {
        pSink->Release();
        return;
    }
    std::lock_guard<std::mutex> lock(object->lock);
    object->sinks.push_back(pSink);
}

void TortureClient::UnadviseOne(std::mt19937& rng)
{
    std::shared_ptr<Object> object = Pick(rng);
    if (!object)
        return;
    EventSink* pSink = nullptr;
    {
        std::lock_guard<std::mutex> lock(object->lock);
        if (object->sinks.empty())
            return;
        size_t i = rng() % object->sinks.size();
        pSink = object->sinks[i];
        object->sinks.erase(object->sinks.begin() + static_cast<std::ptrdiff_t>(i));
    }
    Record("unadvise", pSink->Unadvise());
    pSink->Release();
}

void TortureClient::SetCallback(std::mt19937& rng)
{
    std::shared_ptr<Object> object = Pick(rng);
    if (!object)
        return;
    // A sink stands in for a script's function: it answers Invoke(DISPID_VALUE). One in four clears.
    EventSink* pCallback = rng() % 4 == 0 ? nullptr : EventSink::Create();
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_DISPATCH;
    value.pdispVal = pCallback;
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &putId, 1, 1};
    EXCEPINFO excep{};
    HRESULT hr = object->remote.Get()->Invoke(kOnProgressDispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                                              &params, nullptr, &excep, nullptr);
    if (hr == DISP_E_EXCEPTION) {
        // The server's own failure, in its words: the run's line says what it was.
        std::fprintf(stderr, "[client %d] callback: exception 0x%08lX %ls\n", m_options.index,
                     static_cast<unsigned long>(excep.scode), excep.bstrDescription ? excep.bstrDescription : L"");
        std::fflush(stderr);
    }
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    Record("callback", hr);
    if (pCallback)
        pCallback->Release();
}

void TortureClient::ReleaseOne(std::mt19937& rng)
{
    std::shared_ptr<Object> object;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_objects.empty())
            return;
        size_t i = rng() % m_objects.size();
        object = m_objects[i];
        m_objects.erase(m_objects.begin() + static_cast<std::ptrdiff_t>(i));
    }
    // Half the time the sinks are unadvised first; otherwise the object lets them go itself.
    if (rng() % 2 == 0) {
        std::vector<EventSink*> sinks;
        {
            std::lock_guard<std::mutex> lock(object->lock);
            sinks.swap(object->sinks);
        }
        for (EventSink* pSink : sinks) {
            Record("unadvise", pSink->Unadvise());
            pSink->Release();
        }
    }
    // The last reference may be another thread's, still in a call: the object goes when it returns.
}

void TortureClient::LetGoOfEverything(std::mt19937& rng)
{
    std::vector<std::shared_ptr<Object>> objects;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        objects.swap(m_objects);
    }
    std::shuffle(objects.begin(), objects.end(), rng);
    for (std::shared_ptr<Object>& object : objects) {
        if (rng() % 2 == 0) {
            for (EventSink* pSink : object->sinks) {
                Record("unadvise", pSink->Unadvise());
                pSink->Release();
            }
            object->sinks.clear();
        }
        object.reset();
    }
    DropFactory();
}

void TortureClient::Doing(const char* action)
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (size_t i = 0; i < m_threadIds.size(); ++i)
        if (m_threadIds[i] == GetCurrentThreadId())
            m_doing[i] = action;
}

bool TortureClient::Stopped() const { return WaitForSingleObject(m_stop.Get(), 0) == WAIT_OBJECT_0; }

bool TortureClient::ServerGone() const { return WaitForSingleObject(m_server.Get(), kServerEndingMs) == WAIT_OBJECT_0; }

void TortureClient::Record(const char* action, HRESULT hr)
{
    // Only a failure asks where the server stands. Whether it has gone may take a moment to see:
    // only the errors of a process that went wait for it.
    CallTally::Server server = CallTally::Server::kRunning;
    if (FAILED(hr)) {
        const bool bProcessError = hr == HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE) ||
                                   hr == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED) || hr == RPC_E_SERVER_DIED_DNE;
        if (WaitForSingleObject(m_ending.Get(), 0) == WAIT_OBJECT_0)
            server = CallTally::Server::kEnding;
        if (bProcessError ? ServerGone() : WaitForSingleObject(m_server.Get(), 0) == WAIT_OBJECT_0)
            server = CallTally::Server::kGone;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_tally.Add(action, hr, server) == CallTally::kUnexpected)
        std::fprintf(stderr, "[client %d] unexpected: %s returned 0x%08lX (server %s%s, %s)\n", m_options.index, action,
                     static_cast<unsigned long>(hr),
                     WaitForSingleObject(m_server.Get(), 0) == WAIT_TIMEOUT ? "running" : "gone",
                     server == CallTally::Server::kEnding ? " and told to end" : "",
                     Stopped() ? "after the stop" : "before the stop");
}

bool TortureClient::WriteTally() const
{
    std::ofstream out(m_options.tallyPath, std::ios::trunc);
    std::lock_guard<std::mutex> lock(m_lock);
    out << m_tally.Serialize() << "end\n";
    return static_cast<bool>(out);
}
