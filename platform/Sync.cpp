#include "platform/Sync.h"

#include "platform/WaitCore.h"

#include <algorithm>
#include <chrono>
#include <vector>

namespace plat {

namespace detail {

std::mutex &DispatcherLock()
{
    // Never destroyed: threads given up at exit may still wait or signal.
    static auto *lock = new std::mutex;
    return *lock;
}

void WaitObject::SignalLocked()
{
    signalled_ = true;
    for (Waiter *w : waiters_) {
        w->woken = true;
        w->cv.notify_one();
    }
}

void WaitObject::RemoveWaiterLocked(Waiter *w)
{
    waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), w), waiters_.end());
}

} // namespace detail

namespace {

// Under the dispatcher lock: the index of the object that satisfies the wait (consuming
// auto-reset events), or -1.
int SatisfiedLocked(detail::WaitObject *const *objs, size_t n, bool all)
{
    if (n == 0) return -1;
    if (all) {
        for (size_t i = 0; i < n; ++i)
            if (!objs[i]->SignalledLocked()) return -1;
        for (size_t i = 0; i < n; ++i) objs[i]->ConsumeLocked();
        return 0;
    }
    for (size_t i = 0; i < n; ++i) {
        if (objs[i]->SignalledLocked()) {
            objs[i]->ConsumeLocked();
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Under the manual clock a waiter is woken by Advance; it also looks again now and then in
// real time so that a clock switched under it cannot strand it.
constexpr auto kManualRecheck = std::chrono::milliseconds(200);

} // namespace

namespace {

constexpr uint64_t kNoDeadline = UINT64_MAX;

// The one wait behind every timed and untimed wait: `deadline` is a monotonic time in ns
// (kNoDeadline for none). On the real clock the condition wait sleeps to that instant with
// nothing rounded; under the manual clock the waiter is listed as a timed waiter and woken by
// Advance.
uint32_t WaitForMultipleAt(const Waitable *const *objects, size_t count, bool waitAll,
                           uint64_t deadline, bool poll)
{
    std::vector<detail::WaitObject *> objs(count);
    for (size_t i = 0; i < count; ++i) {
        if (!objects[i] || !objects[i]->Valid()) return WAIT_FAILED;
        objs[i] = objects[i]->Object();
    }

    std::unique_lock<std::mutex> lk(detail::DispatcherLock());
    int hit = SatisfiedLocked(objs.data(), count, waitAll);
    if (hit >= 0) return WAIT_OBJECT_0 + static_cast<uint32_t>(hit);
    const bool timed = deadline != kNoDeadline;
    if (poll || (timed && MonotonicNanos() >= deadline)) return WAIT_TIMEOUT;

    detail::Waiter w;
    if (timed) w.deadline = deadline;
    for (auto *o : objs) o->AddWaiterLocked(&w);
    bool registeredTimed = false;

    uint32_t result = WAIT_TIMEOUT;
    for (;;) {
        bool manual = detail::ManualClockActive();
        if (timed && manual != registeredTimed) {
            if (manual)
                detail::AddTimedWaiterLocked(&w);
            else
                detail::RemoveTimedWaiterLocked(&w);
            registeredTimed = manual;
        }
        w.woken = false;
        if (!timed)
            w.cv.wait(lk);
        else if (manual)
            w.cv.wait_for(lk, kManualRecheck);
        else
            w.cv.wait_until(lk, detail::RealDeadline(w.deadline));

        hit = SatisfiedLocked(objs.data(), count, waitAll);
        if (hit >= 0) {
            result = WAIT_OBJECT_0 + static_cast<uint32_t>(hit);
            break;
        }
        if (timed && MonotonicNanos() >= w.deadline) break;
    }
    for (auto *o : objs) o->RemoveWaiterLocked(&w);
    if (registeredTimed) detail::RemoveTimedWaiterLocked(&w);
    return result;
}

} // namespace

uint32_t WaitForMultiple(const Waitable *const *objects, size_t count, bool waitAll, uint32_t ms)
{
    if (ms == INFINITE) return WaitForMultipleAt(objects, count, waitAll, kNoDeadline, false);
    return WaitForMultipleAt(objects, count, waitAll,
                             MonotonicNanos() + static_cast<uint64_t>(ms) * 1000000ull, ms == 0);
}

uint32_t WaitForMultipleUntil(const Waitable *const *objects, size_t count, bool waitAll,
                              uint64_t monoDeadline)
{
    return WaitForMultipleAt(objects, count, waitAll, monoDeadline, false);
}

uint32_t Waitable::Wait(uint32_t ms) const
{
    const Waitable *self = this;
    return WaitForMultiple(&self, 1, false, ms);
}

uint32_t Waitable::WaitUntil(uint64_t monoDeadline) const
{
    const Waitable *self = this;
    return WaitForMultipleUntil(&self, 1, false, monoDeadline);
}

Event::Event(bool manualReset, bool initialState)
    : Waitable(std::make_shared<detail::WaitObject>(manualReset, initialState))
{
}

void Event::Set() const
{
    std::lock_guard<std::mutex> lk(detail::DispatcherLock());
    obj_->SignalLocked();
}

void Event::Reset() const
{
    std::lock_guard<std::mutex> lk(detail::DispatcherLock());
    obj_->ResetLocked();
}

bool Event::IsSet() const
{
    std::lock_guard<std::mutex> lk(detail::DispatcherLock());
    return obj_->SignalledLocked();
}

RecursiveLock::RecursiveLock() = default;
RecursiveLock::~RecursiveLock() = default;

namespace {
// How often a blocked Lock looks whether the owner has ended.
constexpr auto kOwnerCheck = std::chrono::milliseconds(10);
} // namespace

void RecursiveLock::Lock()
{
    auto me = detail::CurrentThreadRecord();
    std::unique_lock<std::mutex> lk(m_);
    for (;;) {
        if (owner_ == me) {
            ++count_;
            return;
        }
        if (!owner_ || !owner_->Alive()) {
            owner_ = std::move(me);
            count_ = 1;
            return;
        }
        cv_.wait_for(lk, kOwnerCheck);
    }
}

bool RecursiveLock::TryLock()
{
    auto me = detail::CurrentThreadRecord();
    std::lock_guard<std::mutex> lk(m_);
    if (owner_ == me) {
        ++count_;
        return true;
    }
    if (!owner_ || !owner_->Alive()) {
        owner_ = std::move(me);
        count_ = 1;
        return true;
    }
    return false;
}

void RecursiveLock::Unlock()
{
    auto me = detail::CurrentThreadRecord();
    std::lock_guard<std::mutex> lk(m_);
    if (owner_ != me) return;
    if (--count_ == 0) {
        owner_.reset();
        cv_.notify_one();
    }
}

bool RecursiveLock::IsHeldByCurrentThread() const
{
    auto me = detail::CurrentThreadRecord();
    std::lock_guard<std::mutex> lk(m_);
    return owner_ == me;
}

} // namespace plat
