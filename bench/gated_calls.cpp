#include "gated_calls.h"

#include "now_ms.h"

#include <objbase.h>

#include <algorithm>

GatedCalls::GatedCalls(const std::vector<std::unique_ptr<RemoteObject>>& objects)
    : m_gate(CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_callMs(objects.size(), 0),
      m_endMs(objects.size(), 0), m_results(objects.size(), E_PENDING)
{
    m_threads.reserve(objects.size());
    for (size_t i = 0; i < objects.size(); ++i)
        m_threads.emplace_back([this, &objects, i] {
            HRESULT hrInit = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            ++m_ready;
            WaitForSingleObject(m_gate.Get(), INFINITE);
            double start = NowMs();
            m_results[i] = FAILED(hrInit) ? hrInit : objects[i]->Created();
            if (SUCCEEDED(m_results[i]))
                m_results[i] = objects[i]->Test();
            m_endMs[i] = NowMs();
            m_callMs[i] = m_endMs[i] - start;
            ++m_done;
            if (SUCCEEDED(hrInit))
                CoUninitialize();
        });
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

int GatedCalls::Failed(HRESULT* pFirstError) const
{
    int failed = 0;
    for (HRESULT hr : m_results)
        if (hr != S_OK && failed++ == 0)
            *pFirstError = hr;
    return failed;
}
