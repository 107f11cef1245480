// Kernel-style synchronisation: events, waits on several objects (events and thread ends)
// with time-outs measured on the process's time source, a recursive lock that passes on when
// its owner thread has ended, and interlocked operations.
#pragma once

#include "platform/PlatformApi.h"
#include "platform/TimeSource.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>

namespace plat {

constexpr uint32_t WAIT_OBJECT_0 = 0;
constexpr uint32_t WAIT_TIMEOUT = 258;
constexpr uint32_t WAIT_FAILED = 0xFFFFFFFFu;

namespace detail {
class WaitObject;
struct ThreadRecord;
} // namespace detail

// Something a thread can wait on. Copies of a handle refer to the same object, so a thread
// that was given up can keep its copy alive after the owner has gone.
class PLAT_API Waitable {
public:
    Waitable() = default;
    bool Valid() const { return static_cast<bool>(obj_); }
    // WAIT_OBJECT_0 when signalled within `ms`, WAIT_TIMEOUT otherwise, WAIT_FAILED when
    // the handle is empty.
    uint32_t Wait(uint32_t ms) const;
    // As Wait, up to the monotonic instant `monoDeadline` (ns, see MonotonicNanos); a
    // deadline that has passed only looks at the object.
    uint32_t WaitUntil(uint64_t monoDeadline) const;
    detail::WaitObject *Object() const { return obj_.get(); }

protected:
    explicit Waitable(std::shared_ptr<detail::WaitObject> obj) : obj_(std::move(obj)) {}
    std::shared_ptr<detail::WaitObject> obj_;
};

// Auto-reset (one waiter released per Set) or manual-reset event.
class PLAT_API Event : public Waitable {
public:
    explicit Event(bool manualReset = false, bool initialState = false);
    void Set() const;
    void Reset() const;
    bool IsSet() const;
};

// Waits for one (waitAll false) or all of `count` objects. Returns WAIT_OBJECT_0 + index of
// the first signalled object (WAIT_OBJECT_0 when all), WAIT_TIMEOUT, or WAIT_FAILED for an
// empty handle. Auto-reset events that satisfy the wait are reset.
PLAT_API uint32_t WaitForMultiple(const Waitable *const *objects, size_t count, bool waitAll,
                                  uint32_t ms);
// As WaitForMultiple, up to the monotonic instant `monoDeadline` (ns), not rounded to ms.
PLAT_API uint32_t WaitForMultipleUntil(const Waitable *const *objects, size_t count, bool waitAll,
                                       uint64_t monoDeadline);
inline uint32_t WaitForAny(std::initializer_list<const Waitable *> objects, uint32_t ms)
{
    return WaitForMultiple(objects.begin(), objects.size(), false, ms);
}
inline uint32_t WaitForAll(std::initializer_list<const Waitable *> objects, uint32_t ms)
{
    return WaitForMultiple(objects.begin(), objects.size(), true, ms);
}

// Recursive lock. A lock whose owner thread has ended passes to the next caller at once;
// it never passes while the owner lives, however long it holds it.
class PLAT_API RecursiveLock {
public:
    RecursiveLock();
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock &) = delete;
    RecursiveLock &operator=(const RecursiveLock &) = delete;

    void Lock();
    bool TryLock();
    // Releases one level; a call from a thread that does not hold the lock is ignored.
    void Unlock();
    bool IsHeldByCurrentThread() const;

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::shared_ptr<detail::ThreadRecord> owner_;
    int count_ = 0;
};

// Interlocked operations on 32-bit words; each returns the resulting value except
// Exchange / CompareExchange, which return the previous value, as the familiar API does.
inline int32_t InterlockedIncrement(volatile int32_t *p)
{
    return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST);
}
inline int32_t InterlockedDecrement(volatile int32_t *p)
{
    return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST);
}
inline int32_t InterlockedExchange(volatile int32_t *p, int32_t v)
{
    return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST);
}
inline int32_t InterlockedExchangeAdd(volatile int32_t *p, int32_t v)
{
    return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST);
}
inline int32_t InterlockedCompareExchange(volatile int32_t *p, int32_t exchange, int32_t comparand)
{
    __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

} // namespace plat
