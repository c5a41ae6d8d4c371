// A client's sink for QDSERVER.DEMO's events (IQDCmdTargetEvents): it records every event with the
// thread it arrived on and the time, and can advise itself to an object's connection point. An
// optional hook runs inside each Progress, before it returns to the server. Tests and the benchmark
// use it.
#pragma once
#include <windows.h>
#include <ocidl.h>

#include <functional>
#include <mutex>
#include <vector>

extern const IID kDemoEventsIid;

class EventSink final : public IDispatch {
public:
    struct Event {
        DISPID dispid;  // 1 Progress, 2 Finished
        long value;
        DWORD threadId;
        double atMs;    // NowMs() on arrival
        bool operator==(const Event& o) const { return dispid == o.dispid && value == o.value; }
    };

    static EventSink* Create() { return new EventSink; }

    // Advises this sink to the object's point for kDemoEventsIid; keeps the point (a reference to
    // the object) and the cookie until Unadvise, which must run in the same apartment.
    HRESULT Advise(IDispatch* pObject);
    HRESULT Unadvise();
    IConnectionPoint* Point() const { return m_pPoint; }
    DWORD Cookie() const { return m_dwCookie; }

    std::vector<Event> Events() const;
    // The events a full call makes: Progress 1 to 10, then Finished(10); or those of n steps.
    static std::vector<Event> CallOf(long nSteps);
    void SetProgressHook(std::function<void(long nStep)> hook) { m_hook = std::move(hook); }
    // What Invoke answers once it has recorded the event (a failure stands in for a sink's trouble).
    void SetAnswer(HRESULT hr) { m_answer = hr; }

    // The threads the sink was released on, in order (COM requires its apartment's).
    std::vector<DWORD> ReleaseThreads() const;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS* pParams, VARIANT*, EXCEPINFO*,
                        UINT*) override;

private:
    EventSink() = default;
    ~EventSink();

    LONG m_nRef = 1;
    mutable std::mutex m_lock;
    std::vector<Event> m_events;
    std::vector<DWORD> m_releaseThreads;
    std::function<void(long)> m_hook;
    HRESULT m_answer = S_OK;
    IConnectionPoint* m_pPoint = nullptr;
    DWORD m_dwCookie = 0;
};
