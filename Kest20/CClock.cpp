#include "Kest20/CClock.h"

#include "Kest20/CCounter.h"
#include "KestLib20/ActiveSlot.h"
#include "KestLib20/CDataLock.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <mutex>

namespace {
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kUnitsPerMs = 10000;
constexpr int32_t kDefaultLimitSeconds = 40;
// The last 10 ms of a sleep are spent reading the counter, up to this many times, until it
// is within 5.7 us of the target.
constexpr int64_t kFineSpan = 100000;
constexpr int kFineReads = 100000;
constexpr int64_t kFineMargin = 57;
// How many counter reads pass between looks at the stop.
constexpr int kStopLookEvery = 1024;
} // namespace

struct CClock::_Impl {
    CCounter counter;
    int64_t limit = 0;
    int64_t slew = 0;
    int64_t baseTime = 0;
    int64_t baseCounter = 0;
    CDataLock lock;
    CClock **slot = nullptr;
};

CClock::CClock() : m_pImpl(std::make_unique<_Impl>())
{
    Reset(kDefaultLimitSeconds, 1.0);
}

CClock::~CClock()
{
    WithdrawSlot(m_pImpl->slot, this);
}

void CClock::Reset(int32_t seconds, double rate)
{
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    if (m_pImpl->counter.GetRateOfAcc() != rate) m_pImpl->counter.SetRateOfAcc(rate);
    m_pImpl->slew = 0;
    m_pImpl->limit = seconds * kUnitsPerSecond;
    m_pImpl->baseTime = plat::GetSystemTimeAsFileTime();
    m_pImpl->baseCounter = m_pImpl->counter.QueryCounter();
}

int CClock::GetTime(DYNAMIC_TIME *now)
{
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    _Impl &c = *m_pImpl;
    int64_t counter = c.counter.QueryCounter();
    int64_t step = counter - c.baseCounter;
    if (step > 0 && c.slew > 0) {
        // Ahead: the clock runs at double speed until the slew is absorbed.
        if (c.slew < step) {
            step += c.slew;
            c.slew = 0;
        } else {
            c.slew -= step;
            step *= 2;
        }
    } else if (step > 0 && c.slew < 0) {
        // Behind: a quarter of its speed, never backwards.
        int64_t correction = std::min(step * 3 / 4, -c.slew);
        step -= correction;
        c.slew += correction;
    }
    c.baseTime += step;
    c.baseCounter = counter;
    if (now) *now = {c.baseTime, counter};
    return 1;
}

int CClock::SetTime(const DYNAMIC_TIME *target, int hard)
{
    if (!target) return 0;
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    _Impl &c = *m_pImpl;
    if (hard) {
        c.slew = 0;
        c.baseTime = target->time;
        c.baseCounter = target->counter;
        return 1;
    }
    int64_t offset = (target->time - target->counter) - (c.baseTime - c.baseCounter);
    if (offset <= -c.limit || offset >= c.limit || c.slew != 0) return 0;
    c.slew = offset;
    return 1;
}

int64_t CClock::UCFileTimeToStdCounter(int64_t time)
{
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    return m_pImpl->baseCounter - m_pImpl->baseTime + time;
}

int CClock::SleepUntilCounter(int64_t counter)
{
    return SleepUntil(counter, nullptr);
}

int CClock::SleepUntilCounter(int64_t counter, const plat::Waitable &stop)
{
    return SleepUntil(counter, &stop);
}

int CClock::SleepUntilClock(int64_t time)
{
    return SleepUntil(UCFileTimeToStdCounter(time), nullptr);
}

int CClock::SleepUntilClock(int64_t time, const plat::Waitable &stop)
{
    return SleepUntil(UCFileTimeToStdCounter(time), &stop);
}

int CClock::SleepUntil(int64_t target, const plat::Waitable *stop)
{
    CCounter &counter = m_pImpl->counter;
    // Coarse part on the time source, again after every wake until 10 ms are left.
    for (;;) {
        int64_t remaining = target - counter.QueryCounter();
        if (remaining <= kFineMargin) return 1;
        if (remaining <= kFineSpan) break;
        const int64_t coarse = remaining - kFineSpan;
        if (coarse < kUnitsPerMs) break;
        // To the instant, not rounded down to the ms: the fine reads then start 10 ms before
        // the target rather than up to 11 ms.
        const uint64_t until = plat::MonotonicNanos() + static_cast<uint64_t>(coarse) * 100;
        if (!stop)
            plat::SleepUntil(until);
        else if (stop->WaitUntil(until) == plat::WAIT_OBJECT_0)
            return 0;
    }
    for (int i = 0; i < kFineReads; ++i) {
        if (counter.QueryCounter() >= target - kFineMargin) return 1;
        if (stop && i % kStopLookEvery == 0 && stop->Wait(0) == plat::WAIT_OBJECT_0) return 0;
    }
    return 1;
}

CCounter *CClock::GetCounter()
{
    return &m_pImpl->counter;
}

CClock **CClock::GetActivePtr()
{
    std::lock_guard<CDataLock> lk(m_pImpl->lock);
    return PublishSlot(m_pImpl->slot, this);
}
