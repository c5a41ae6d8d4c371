// One torture client process: a few threads in COM's multithreaded apartment making random choices
// against one running QDSERVER (create with either "Own Thread" setting, call "Test", advise sinks,
// set callbacks, click "Abort Call", release in any order, hold a class factory) until the
// conductor sets the stop event; then it lets go of everything it holds and writes its tally.
#pragma once
#include "call_tally.h"
#include "remote_object.h"
#include "server_window.h"

#include <unique_handle.h>

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

class EventSink;

class TortureClient {
public:
    struct Options {
        uint32_t seed = 0;
        int index = 0;
        int threads = 2;
        size_t maxObjects = 6;  // this client's objects at one time
        bool mainThreadToo = false;  // "Disabled" is clicked too, not only "Enabled"
        DWORD serverPid = 0;
        std::string stopEvent;
        std::string callCounter;  // a shared LONG: this run's "Test" calls in flight, all clients
        std::string tallyPath;
    };
    static constexpr int kUnexpectedExit = 3;
    // The conductor's event, named after the stop event, that it sets as it ends the server.
    static constexpr const char* kEndingSuffix = ".ending";
    static constexpr int kHungExit = 4;  // a thread was still in a call long after the stop

    explicit TortureClient(const Options& options);
    // The process's exit code: 0 when every call returned what it may, kUnexpectedExit when one did
    // not, 2 when the client could not start.
    int Run();

private:
    struct Object;  // an object with the sinks advised to it
    void Work(int thread);
    void Act(std::mt19937& rng);
    void Create(std::mt19937& rng, bool bThroughFactory);
    void HoldFactory(std::mt19937& rng);
    void DropFactory();
    void CallTest(std::mt19937& rng);
    void Advise(std::mt19937& rng);
    void UnadviseOne(std::mt19937& rng);
    void SetCallback(std::mt19937& rng);
    void ReleaseOne(std::mt19937& rng);
    void LetGoOfEverything(std::mt19937& rng);
    std::shared_ptr<Object> Pick(std::mt19937& rng);
    bool Stopped() const;
    bool ServerGone() const;
    void Record(const char* action, HRESULT hr);
    void Doing(const char* action);
    bool WriteTally() const;

    Options m_options;
    CLSID m_clsid{};
    CUniqueHandle m_stop;
    CUniqueHandle m_ending;  // set by the conductor as it tells the server to end
    CUniqueHandle m_server;
    CUniqueHandle m_counterMapping;
    volatile LONG* m_pCallsInFlight = nullptr;
    ServerWindow m_window;

    mutable std::mutex m_lock;  // guards everything below
    std::vector<std::shared_ptr<Object>> m_objects;
    IClassFactory* m_pFactory = nullptr;
    bool m_bFactoryLocked = false;
    CallTally m_tally;
    std::atomic<int> m_finished{0};
    std::vector<DWORD> m_threadIds;
    std::vector<const char*> m_doing;  // each thread's current action, for a hang's report
};
