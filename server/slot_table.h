// The board's rules, apart from any window: eight slots that each lend one bar to one object at a
// time, and a one-shot abort request that the next step consumes. Objects call these from their own
// threads as well as from the main thread, so the table and the request are atomics, and taking the
// request is a single exchange: one request stops exactly one call.
#pragma once
#include <atomic>

template <class TBar>
class CSlotTable {
public:
    static constexpr int kSlotCount = 8;

    // Frees every slot (the bars are left as they are).
    void Clear()
    {
        for (auto& slot : m_apSlot)
            slot.store(nullptr);
    }

    // Takes the lowest free slot for the bar that barForSlot(i) names; -1 when all are held.
    template <class TBarForSlot>
    int Allocate(TBarForSlot barForSlot)
    {
        for (int i = 0; i < kSlotCount; ++i) {
            TBar* pExpected = nullptr;
            if (m_apSlot[i].compare_exchange_strong(pExpected, barForSlot(i)))
                return i;
        }
        return -1;
    }

    // Consumes a pending abort (returns FALSE without stepping), or steps the slot's bar.
    bool Step(int nSlot)
    {
        if (m_bAbortCall.exchange(false))
            return false;
        TBar* pBar = IsInRange(nSlot) ? m_apSlot[nSlot].load() : nullptr;
        if (pBar == nullptr)
            return false;
        pBar->StepIt();
        return true;
    }

    // Resets the slot's bar to 0 and frees the slot; a slot outside 0-7 is ignored.
    void Release(int nSlot)
    {
        if (!IsInRange(nSlot))
            return;
        if (TBar* pBar = m_apSlot[nSlot].load())
            pBar->SetPos(0);
        m_apSlot[nSlot].store(nullptr);
    }

    void RequestAbort() { m_bAbortCall.store(true); }
    bool IsAbortPending() const { return m_bAbortCall.load(); }
    TBar* GetSlot(int nSlot) const { return IsInRange(nSlot) ? m_apSlot[nSlot].load() : nullptr; }

private:
    static bool IsInRange(int nSlot) { return nSlot >= 0 && nSlot < kSlotCount; }

    std::atomic<TBar*> m_apSlot[kSlotCount] = {};
    std::atomic<bool> m_bAbortCall{false};
};
