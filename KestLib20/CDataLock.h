// The system's lock: recursive, and recording the tick at which it was last taken. A lock
// left held by a thread that has ended passes to the next caller at once; while its owner
// lives it never passes, however long it is held.
#pragma once

#include "KestLib20/KestLibApi.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>

class KESTLIB_SHARED_TYPE CDataLock {
public:
    CDataLock() = default;
    CDataLock(const CDataLock &) = delete;
    CDataLock &operator=(const CDataLock &) = delete;

    void Lock();
    void Unlock();
    bool TryLock();

    // Kept for callers that set or read it; the lock passes on by owner death only.
    uint32_t GetTimeOut() const { return m_dwTimeOut; }
    void SetTimeOut(uint32_t ms) { m_dwTimeOut = ms; }
    // Tick count at which the lock was last taken, 0 when free.
    uint32_t GetLockTick() const { return m_dwLockTick; }

    // Standard-library lockable, so std::lock_guard / std::unique_lock work.
    void lock() { Lock(); }
    void unlock() { Unlock(); }
    bool try_lock() { return TryLock(); }

private:
    plat::RecursiveLock m_lock;
    uint32_t m_dwTimeOut = 1000;
    std::atomic<uint32_t> m_dwLockTick{0}; // read by other threads
};
