// Internals of the platform's waits, shared by Sync.cpp, Thread.cpp and TimeSource.cpp only.
//
// One dispatcher lock guards the signalled state of every waitable object and every waiter
// list, as a kernel's dispatcher does: waits on several objects and "all" waits are then
// atomic. Each waiting thread sleeps on its own condition variable, so a Set wakes only the
// threads waiting on that object.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace plat::detail {

std::mutex &DispatcherLock();

struct Waiter {
    std::condition_variable cv;
    bool woken = false;
    uint64_t deadline = 0; // monotonic ns
};

class WaitObject {
public:
    explicit WaitObject(bool manualReset, bool signalled)
        : manualReset_(manualReset), signalled_(signalled)
    {
    }
    // All of these run under the dispatcher lock.
    void SignalLocked();
    void ResetLocked() { signalled_ = false; }
    bool SignalledLocked() const { return signalled_; }
    void ConsumeLocked()
    {
        if (!manualReset_) signalled_ = false;
    }
    void AddWaiterLocked(Waiter *w) { waiters_.push_back(w); }
    void RemoveWaiterLocked(Waiter *w);

private:
    bool manualReset_;
    bool signalled_;
    std::vector<Waiter *> waiters_;
};

// Timed waiters while the manual clock is installed; guarded by the dispatcher lock.
void AddTimedWaiterLocked(Waiter *w);
void RemoveTimedWaiterLocked(Waiter *w);
bool ManualClockActive();
// Real steady-clock time point for a monotonic deadline (real clock only).
std::chrono::steady_clock::time_point RealDeadline(uint64_t monoDeadline);

// Per-thread record: alive until the thread has ended. Locks hold the owner's record to see
// whether the owner still lives.
struct ThreadRecord {
    bool Alive() const { return alive.load(std::memory_order_acquire); }
    std::atomic<bool> alive{true};
    uint32_t tid = 0;
};
std::shared_ptr<ThreadRecord> CurrentThreadRecord();

} // namespace plat::detail
