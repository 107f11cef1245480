// The framework clock: one time base for the whole system, in 100 ns units since 1601 (file
// time). It starts from the system clock and is then carried on by the standard counter, so it
// neither jumps when the system clock is set nor runs backwards; a station clock corrects it
// softly (the difference is slewed away) or hard. The flat functions reach the application's
// clock.
#pragma once

#include "Kest20/Kest20Api.h"
#include "platform/Sync.h"
#include "platform/TimeConvert.h"

#include <cstdint>
#include <memory>

class CCounter;

// A clock time together with the standard counter reading taken at that time.
struct DYNAMIC_TIME {
    int64_t time;
    int64_t counter;
};

class KEST20_API CClock {
public:
    // Reset(40, 1.0).
    CClock();
    // Clears the published slot.
    ~CClock();
    CClock(const CClock &) = delete;
    CClock &operator=(const CClock &) = delete;

    // Restarts from the system clock with a slew limit of `seconds` and the counter at `rate`.
    void Reset(int32_t seconds, double rate);
    // The current time and the counter reading it was taken at.
    int GetTime(DYNAMIC_TIME *now);
    // Hard (non-zero): `target` becomes the clock at once. Soft: how far `target` is ahead of
    // the clock is slewed away (double speed ahead, quarter speed behind); refused (0) from
    // the limit on either way, or while a slew is pending.
    int SetTime(const DYNAMIC_TIME *target, int hard);
    // The counter reading at which the clock shows `time`.
    int64_t UCFileTimeToStdCounter(int64_t time);
    // Sleep until the counter reaches `counter`, coarsely on the time source, then by reading
    // the counter. With a stop: 0 when the stop was signalled first (an auto-reset event is
    // consumed), else 1.
    int SleepUntilCounter(int64_t counter);
    int SleepUntilCounter(int64_t counter, const plat::Waitable &stop);
    // The same until the clock reaches `time`.
    int SleepUntilClock(int64_t time);
    int SleepUntilClock(int64_t time, const plat::Waitable &stop);
    CCounter *GetCounter();
    // The clock's published slot: holds the clock until it is destroyed, then null.
    CClock **GetActivePtr();

private:
    int SleepUntil(int64_t counter, const plat::Waitable *stop);

    struct _Impl;
    std::unique_ptr<_Impl> m_pImpl;
};

// The application's clock; null once it has gone.
KEST20_API CClock *glGetClock();
// The current time (and, with a DYNAMIC_TIME, the counter reading it was taken at).
KEST20_API int glGetTimeEx(int64_t *time);
KEST20_API int glGetTimeEx(DYNAMIC_TIME *now);
// Sets the clock, see CClock::SetTime; 1 when accepted.
KEST20_API int glSetTimeEx(const DYNAMIC_TIME *target, int hard);
// The standard counter: strictly rising, 100 ns units.
KEST20_API int glQueryStdCounter(int64_t *counter);
// The counter reading at which the clock shows `time`.
KEST20_API int glUCFileTimeToStdCounter(int64_t time, int64_t *counter);
// Sleeps until the counter has moved on by `duration` (100 ns units).
KEST20_API int glSleep(int64_t duration);
// Sleeps until the counter reaches `counter`; the variants with a stop return 0 when the
// stop ends the sleep first, else 1. A time or count that has passed returns at once.
KEST20_API int glSleepUntilSpecialCount(int64_t counter);
KEST20_API int glSleepUntilSpecialCount(int64_t counter, const plat::Waitable &stop);
// Sleeps until the clock reaches `time`.
KEST20_API int glSleepUntilSpecialTime(int64_t time);
KEST20_API int glSleepUntilSpecialTime(int64_t time, const plat::Waitable &stop);
// The clock time as local time, broken down.
KEST20_API int glGetSystemTime(plat::SYSTEMTIME *st);
// Setting the system time is not the framework's: does nothing and returns 0.
KEST20_API int glSetSystemTime(const plat::SYSTEMTIME *st);
