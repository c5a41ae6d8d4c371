#include "gated_calls.h"

#include "now_ms.h"

#include <objbase.h>

#include <algorithm>
#include <cmath>
#include <limits>

GatedCalls::GatedCalls(const std::vector<std::unique_ptr<RemoteObject>>& objects)
    : m_gate(CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_callMs(objects.size(), 0),
      m_createMs(objects.size(), std::numeric_limits<double>::quiet_NaN()), m_endMs(objects.size(), 0), m_results(objects.size(), E_PENDING)
{
    m_threads.reserve(objects.size());
    for (size_t i = 0; i < objects.size(); ++i)
        m_threads.emplace_back([this, &objects, i] { Call(i, objects[i].get(), nullptr); });
}

GatedCalls::GatedCalls(REFCLSID clsid, int count)
    : m_gate(CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_callMs(count, 0), m_createMs(count, 0),
      m_endMs(count, 0), m_results(count, E_PENDING)
{
    m_threads.reserve(count);
    for (int i = 0; i < count; ++i)
        m_threads.emplace_back([this, clsid, i] { Call(static_cast<size_t>(i), nullptr, &clsid); });
}

void GatedCalls::Call(size_t i, RemoteObject* pObject, const CLSID* pClsid)
{
    HRESULT hrInit = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ++m_ready;
    WaitForSingleObject(m_gate.Get(), INFINITE);
    double start = NowMs();
    std::unique_ptr<RemoteObject> created;
    if (pObject == nullptr && pClsid != nullptr && SUCCEEDED(hrInit)) {
        created = std::make_unique<RemoteObject>(*pClsid);
        pObject = created.get();
        m_createMs[i] = NowMs() - start;
    }
    m_results[i] = FAILED(hrInit) ? hrInit : pObject != nullptr ? pObject->Created() : E_POINTER;
    if (pObject != nullptr && SUCCEEDED(m_results[i]))
        m_results[i] = pObject->Test();
    m_endMs[i] = NowMs();
    m_callMs[i] = m_endMs[i] - start;
    created.reset();
    ++m_done;
    if (SUCCEEDED(hrInit))
        CoUninitialize();
}

double GatedCalls::Open()
{
    while (m_ready < static_cast<int>(m_threads.size()))
        Sleep(1);
    m_openedMs = NowMs();
    SetEvent(m_gate.Get());
    return m_openedMs;
}

void GatedCalls::Join()
{
    for (auto& t : m_threads)
        if (t.joinable())
            t.join();
}

double GatedCalls::WallMs() const
{
    return m_endMs.empty() ? 0 : *std::max_element(m_endMs.begin(), m_endMs.end()) - m_openedMs;
}

double GatedCalls::SlowestMs() const
{
    return m_callMs.empty() ? 0 : *std::max_element(m_callMs.begin(), m_callMs.end());
}

SampleStats GatedCalls::CreationMs() const
{
    SampleStats stats;
    for (double ms : m_createMs)
        if (!std::isnan(ms))
            stats.Add(ms);
    return stats;
}

int GatedCalls::Failed(HRESULT* pFirstError) const
{
    int failed = 0;
    for (HRESULT hr : m_results)
        if (hr != S_OK && failed++ == 0)
            *pFirstError = hr;
    return failed;
}
