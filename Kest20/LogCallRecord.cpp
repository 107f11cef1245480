#include "Kest20/LogCallRecord.h"

#include <algorithm>

namespace {
// The newest record; each points to the one made before it. Only ever grows. Its accesses,
// like those of the core's table pointer, are sequentially consistent: a writer that misses a
// record pushed after it replaced the table knows that the record's thread sees the new one.
std::atomic<CLogCallRecord *> g_records{nullptr};
} // namespace

// Gives the thread's record back when the thread ends.
struct CLogCallRecordHolder {
    CLogCallRecord *record = nullptr;
    ~CLogCallRecordHolder()
    {
        if (record) record->Release();
        record = nullptr;
    }
};

namespace {
thread_local CLogCallRecordHolder t_record;
} // namespace

CLogCallRecord &CLogCallRecord::Mine()
{
    if (!t_record.record) t_record.record = Take();
    return *t_record.record;
}

CLogCallRecord *CLogCallRecord::Take()
{
    for (CLogCallRecord *r = g_records.load(); r; r = r->m_pNext) {
        bool taken = false;
        if (!r->m_bTaken.load(std::memory_order_relaxed) &&
            r->m_bTaken.compare_exchange_strong(taken, true, std::memory_order_acquire))
            return r;
    }
    auto *record = new CLogCallRecord;
    record->m_pNext = g_records.load();
    while (!g_records.compare_exchange_weak(record->m_pNext, record)) {
    }
    return record;
}

std::vector<plat::Event> CLogCallRecord::LeaveLocked()
{
    std::vector<plat::Event> waiters;
    if (!m_keys.empty()) m_keys.pop_back();
    if (!m_waiters.empty()) waiters.swap(m_waiters);
    return waiters;
}

void CLogCallRecord::Synchronize()
{
    for (CLogCallRecord *r = g_records.load(); r; r = r->m_pNext)
        std::lock_guard<std::mutex> pass(r->m_lock);
}

void CLogCallRecord::WaitIdle(uint64_t key)
{
    const CLogCallRecord *self = t_record.record;
    for (;;) {
        // Each pass has an event of its own, listed where the call was found, so no end of a
        // call is lost between the look and the wait.
        plat::Event ended;
        bool busy = false;
        for (CLogCallRecord *r = g_records.load(); r && !busy; r = r->m_pNext) {
            if (r == self) continue;
            std::lock_guard<std::mutex> lock(r->m_lock);
            if (std::find(r->m_keys.begin(), r->m_keys.end(), key) == r->m_keys.end()) continue;
            r->m_waiters.push_back(ended);
            busy = true;
        }
        if (!busy) return;
        ended.Wait(plat::INFINITE);
    }
}
