// One client thread an object, in the multithreaded apartment, each calling "Test" on its object
// once a gate opens, so that every call can start at the same moment. The objects are created
// before, or by each thread once the gate opens (and released once its call returns).
#pragma once
#include "remote_object.h"
#include "sample_stats.h"

#include <unique_handle.h>

#include <windows.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class GatedCalls {
public:
    // Starts the threads; they wait at the gate. The objects must outlive Join.
    explicit GatedCalls(const std::vector<std::unique_ptr<RemoteObject>>& objects);
    // count threads, each creating one object of clsid once the gate opens, then calling it.
    GatedCalls(REFCLSID clsid, int count);
    ~GatedCalls() { Join(); }
    GatedCalls(const GatedCalls&) = delete;
    GatedCalls& operator=(const GatedCalls&) = delete;

    // Waits until every thread is at the gate and opens it; the time it opened (NowMs).
    double Open();
    int Done() const { return m_done; }
    void Join();

    // After Join: from the gate to the last return, the longest call, the calls' results.
    double WallMs() const;
    double SlowestMs() const;  // creation and call
    // Each thread's creation, from the gate; none when the objects were created before.
    SampleStats CreationMs() const;
    // The calls that did not return S_OK; the first one's result in *pFirstError.
    int Failed(HRESULT* pFirstError) const;

private:
    // On each thread: the call on pObject, or on an object of *pClsid that the thread creates.
    void Call(size_t i, RemoteObject* pObject, const CLSID* pClsid);

    CUniqueHandle m_gate;
    std::atomic<int> m_ready{0};
    std::atomic<int> m_done{0};
    double m_openedMs = 0;
    std::vector<double> m_callMs;
    std::vector<double> m_createMs;  // NaN where the object was created before
    std::vector<double> m_endMs;
    std::vector<HRESULT> m_results;
    std::vector<std::thread> m_threads;
};
