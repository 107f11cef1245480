// The process's one time source: tick count, monotonic counter, system time and every timed
// wait go through it. Production reads the real clocks; tests install a manual clock that they
// set and advance, and every thread sleeping or waiting on a deadline wakes as if that much
// time had passed.
#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>

namespace plat {

constexpr uint32_t INFINITE = 0xFFFFFFFFu;

// Milliseconds since boot (CLOCK_MONOTONIC), 32-bit and wrapping.
PLAT_API uint32_t GetTickCount();

// Wrap-safe tick arithmetic: how far `later` lies after `earlier` (negative when before).
inline int32_t TickDiff(uint32_t later, uint32_t earlier)
{
    return static_cast<int32_t>(later - earlier);
}

// Milliseconds elapsed since `since`, wrap-safe for spans below 49.7 days.
inline uint32_t TickElapsed(uint32_t since)
{
    return GetTickCount() - since;
}

// Monotonic time in nanoseconds (never wraps, never goes back).
PLAT_API uint64_t MonotonicNanos();

// Monotonic counter in 100 ns units (the performance counter of the framework clock).
inline int64_t MonotonicCounter100ns()
{
    return static_cast<int64_t>(MonotonicNanos() / 100);
}

// System time as file time: 100 ns units since 1601-01-01 UTC.
PLAT_API int64_t GetSystemTimeAsFileTime();

// Difference between the file-time epoch (1601) and the Unix epoch (1970) in 100 ns units.
constexpr int64_t kFileTimeUnixEpoch = 116444736000000000LL;

// Sleeps `ms` milliseconds on the time source; 0 yields the processor.
PLAT_API void Sleep(uint32_t ms);
// Sleeps until the monotonic instant `monoDeadline` (ns, see MonotonicNanos), to the
// nanosecond on the real clock; returns at once when it has passed.
PLAT_API void SleepUntil(uint64_t monoDeadline);

// Manual clock for tests. While installed, the tick count, monotonic time and system time
// only move when the test advances them, and timed waits measure against them.
class PLAT_API TestClock {
public:
    // Installs the manual clock starting at the given tick count (ms) and file time.
    static void Install(uint32_t tickMs = 1000, int64_t fileTime = 0);
    // Returns to the real clocks and wakes every waiter so it re-measures its deadline.
    static void Uninstall();
    static bool IsInstalled();
    // Moves every manual reading on by `ms` and wakes the waiters whose deadline passed.
    static void Advance(uint32_t ms);
    static void AdvanceNanos(uint64_t ns);
    // Sets the system time only (a jump of the wall clock; monotonic time is unchanged).
    static void SetFileTime(int64_t fileTime);
    // Number of threads now blocked in a timed wait on the manual clock; a test advances
    // once the threads it drives have reached their waits.
    static int TimedWaiters();
    // Waits (in real time, at most `realMs`) until at least `count` threads are blocked in
    // a timed wait. Returns whether they were.
    static bool WaitForTimedWaiters(int count, uint32_t realMs = 5000);
    // Waits (in real time, at most `realMs`) until every thread the clock or an object has
    // woken from a timed wait has run on, and at least `count` threads are blocked in timed
    // waits again. A test steps on once this holds, so no thread misses a step.
    static bool WaitForSettled(int count, uint32_t realMs = 5000);
    // Number of threads blocked in a timed wait and not yet woken.
    static int BlockedWaiters();
};

// RAII installation of the manual clock for one test.
class ScopedTestClock {
public:
    explicit ScopedTestClock(uint32_t tickMs = 1000, int64_t fileTime = 0)
    {
        TestClock::Install(tickMs, fileTime);
    }
    ~ScopedTestClock() { TestClock::Uninstall(); }
    ScopedTestClock(const ScopedTestClock &) = delete;
    ScopedTestClock &operator=(const ScopedTestClock &) = delete;
};

} // namespace plat
