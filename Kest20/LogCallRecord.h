// Per-thread records of the calls into log units in progress. A thread that serves a unit
// looks the unit up in the core's table and enters the call in one step under its own
// record's lock, which no other reporting thread takes: reporting threads never meet on a
// shared lock or counter. The rare changes of the table visit every record instead: a new
// table is published, then every record's lock is passed once (after which no lookup uses
// the old table), and a removal waits until no record holds a call of the removed unit.
#pragma once

#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

// A cache line of its own: records of threads that report at once never share one.
class alignas(64) CLogCallRecord {
public:
    // The calling thread's record, made on its first use (or taken over from an ended thread).
    static CLogCallRecord &Mine();

    // Runs `find` under the record's lock; a non-zero unit key it gives counts as a call in
    // progress on this thread until Leave. The key, or 0.
    template <class Find> uint64_t Enter(Find &&find)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        const uint64_t key = find();
        if (key) m_keys.push_back(key);
        return key;
    }
    // Ends the innermost call, then runs `find` as Enter does, in the same step.
    template <class Find> uint64_t LeaveAndEnter(Find &&find)
    {
        std::vector<plat::Event> waiters;
        uint64_t key;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            waiters = LeaveLocked();
            key = find();
            if (key) m_keys.push_back(key);
        }
        for (const plat::Event &waiter : waiters) waiter.Set();
        return key;
    }
    void Leave()
    {
        LeaveAndEnter([] { return uint64_t{0}; });
    }

    // Passes every record's lock once: a lookup that may have seen a table replaced before
    // this call has ended when it returns.
    static void Synchronize();
    // Waits until no thread other than the caller is inside a call of `key`. Called once the
    // unit is out of the table, so no new call of it can start. The wait has no bound: it
    // lasts as long as the call it waits for.
    static void WaitIdle(uint64_t key);

    CLogCallRecord(const CLogCallRecord &) = delete;
    CLogCallRecord &operator=(const CLogCallRecord &) = delete;

private:
    CLogCallRecord() = default;
    // Records are never freed: a record ends with its thread and is taken by a later one.
    static CLogCallRecord *Take();
    void Release() { m_bTaken.store(false, std::memory_order_release); }
    friend struct CLogCallRecordHolder;

    // Pops the innermost call; the waiters to wake.
    std::vector<plat::Event> LeaveLocked();

    std::mutex m_lock;
    std::vector<uint64_t> m_keys;       // calls in progress, the innermost last
    std::vector<plat::Event> m_waiters; // removals waiting for one of these calls to end
    std::atomic<bool> m_bTaken{true};   // a live thread owns the record
    CLogCallRecord *m_pNext = nullptr;  // the list of all records; set before publication
};
