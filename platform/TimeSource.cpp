#include "platform/TimeSource.h"

#include "platform/Sync.h"
#include "platform/WaitCore.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <sched.h>
#include <thread>

namespace plat {

namespace {

// Real monotonic readings are shifted by this offset so that monotonic time carries on from
// wherever a manual clock left it (it never goes back across install and uninstall).
std::atomic<uint64_t> g_realOffset{0};
// Added to the millisecond count to give the tick count (lets tests start near the wrap).
std::atomic<uint32_t> g_tickBias{0};

std::atomic<bool> g_manual{false};
std::atomic<uint64_t> g_manualMono{0};
std::atomic<int64_t> g_manualFileTime{0};

// Timed waiters under the manual clock, guarded by the dispatcher lock. Never destroyed: a
// thread still waiting when the process exits takes itself off the list after the exit
// handlers have run.
std::vector<detail::Waiter *> &TimedWaiterList()
{
    static auto *waiters = new std::vector<detail::Waiter *>;
    return *waiters;
}

uint64_t SteadyNanos()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

int64_t RealFileTime()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 10000000LL + ts.tv_nsec / 100 + kFileTimeUnixEpoch;
}

// Wakes every timed waiter so it measures its deadline again.
void WakeTimedWaitersLocked()
{
    for (detail::Waiter *w : TimedWaiterList()) {
        w->woken = true;
        w->cv.notify_one();
    }
}

} // namespace

namespace detail {

void AddTimedWaiterLocked(Waiter *w)
{
    TimedWaiterList().push_back(w);
}

void RemoveTimedWaiterLocked(Waiter *w)
{
    auto &v = TimedWaiterList();
    v.erase(std::remove(v.begin(), v.end(), w), v.end());
}

bool ManualClockActive()
{
    return g_manual.load(std::memory_order_acquire);
}

std::chrono::steady_clock::time_point RealDeadline(uint64_t monoDeadline)
{
    uint64_t offset = g_realOffset.load();
    uint64_t steadyDeadline = monoDeadline > offset ? monoDeadline - offset : 0;
    // CLOCK_MONOTONIC is what std::chrono::steady_clock reads on Linux.
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(steadyDeadline));
}

} // namespace detail

uint64_t MonotonicNanos()
{
    if (g_manual.load(std::memory_order_acquire)) return g_manualMono.load();
    return SteadyNanos() + g_realOffset.load();
}

uint32_t GetTickCount()
{
    return static_cast<uint32_t>(MonotonicNanos() / 1000000ull) + g_tickBias.load();
}

int64_t GetSystemTimeAsFileTime()
{
    if (g_manual.load(std::memory_order_acquire)) return g_manualFileTime.load();
    return RealFileTime();
}

void Sleep(uint32_t ms)
{
    if (ms == 0) {
        sched_yield();
        return;
    }
    WaitForMultiple(nullptr, 0, false, ms);
}

void SleepUntil(uint64_t monoDeadline)
{
    WaitForMultipleUntil(nullptr, 0, false, monoDeadline);
}

void TestClock::Install(uint32_t tickMs, int64_t fileTime)
{
    std::lock_guard<std::mutex> lk(detail::DispatcherLock());
    uint64_t now = SteadyNanos() + g_realOffset.load();
    g_manualMono = now;
    g_tickBias = tickMs - static_cast<uint32_t>(now / 1000000ull);
    g_manualFileTime = fileTime != 0 ? fileTime : RealFileTime();
    g_manual = true;
    WakeTimedWaitersLocked();
}

void TestClock::Uninstall()
{
    std::lock_guard<std::mutex> lk(detail::DispatcherLock());
    if (!g_manual) return;
    uint64_t real = SteadyNanos() + g_realOffset.load();
    uint64_t manual = g_manualMono.load();
    if (manual > real) g_realOffset += manual - real;
    g_manual = false;
    WakeTimedWaitersLocked();
}

bool TestClock::IsInstalled()
{
    return g_manual.load();
}

void TestClock::Advance(uint32_t ms)
{
    AdvanceNanos(static_cast<uint64_t>(ms) * 1000000ull);
}

void TestClock::AdvanceNanos(uint64_t ns)
{
    std::lock_guard<std::mutex> lk(detail::DispatcherLock());
    if (!g_manual) return;
    g_manualMono += ns;
    g_manualFileTime += static_cast<int64_t>(ns / 100);
    uint64_t now = g_manualMono.load();
    for (detail::Waiter *w : TimedWaiterList()) {
        if (w->deadline <= now) {
            w->woken = true;
            w->cv.notify_one();
        }
    }
}

void TestClock::SetFileTime(int64_t fileTime)
{
    std::lock_guard<std::mutex> lk(detail::DispatcherLock());
    g_manualFileTime = fileTime;
}

int TestClock::TimedWaiters()
{
    std::lock_guard<std::mutex> lk(detail::DispatcherLock());
    return static_cast<int>(TimedWaiterList().size());
}

namespace {

struct WaiterCounts {
    int blocked = 0;
    int woken = 0;
};

WaiterCounts CountWaiters()
{
    std::lock_guard<std::mutex> lk(detail::DispatcherLock());
    WaiterCounts counts;
    for (const detail::Waiter *w : TimedWaiterList()) ++(w->woken ? counts.woken : counts.blocked);
    return counts;
}

} // namespace

int TestClock::BlockedWaiters()
{
    return CountWaiters().blocked;
}

bool TestClock::WaitForSettled(int count, uint32_t realMs)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    for (;;) {
        const WaiterCounts counts = CountWaiters();
        if (counts.woken == 0 && counts.blocked >= count) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

bool TestClock::WaitForTimedWaiters(int count, uint32_t realMs)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (TimedWaiters() < count) {
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace plat
