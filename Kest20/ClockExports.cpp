// The flat clock functions of Kest20. Each reaches the application's clock through glGetClock.
#include "Kest20/CClock.h"

#include "Kest20/CCounter.h"
#include "Kest20/CSystem.h"

// The application's clock: its slot reads null once the system object has gone.
CClock *glGetClock()
{
    static CClock **slot = ApplicationSlot(&CSystem::GetClockSlot);
    return slot ? *slot : nullptr;
}

namespace {
// Runs `call` on the application's clock; 0 when there is none (any more).
template <class Call> int WithClock(Call call)
{
    CClock *clock = glGetClock();
    return clock ? call(*clock) : 0;
}
} // namespace

int glGetTimeEx(int64_t *time)
{
    DYNAMIC_TIME now{};
    if (!time || !glGetTimeEx(&now)) return 0;
    *time = now.time;
    return 1;
}

int glGetTimeEx(DYNAMIC_TIME *now)
{
    return now ? WithClock([&](CClock &clock) { return clock.GetTime(now); }) : 0;
}

int glSetTimeEx(const DYNAMIC_TIME *target, int hard)
{
    return WithClock([&](CClock &clock) { return clock.SetTime(target, hard); });
}

int glQueryStdCounter(int64_t *counter)
{
    if (!counter) return 0;
    return WithClock([&](CClock &clock) {
        clock.GetCounter()->QueryCounter(counter);
        return 1;
    });
}

int glUCFileTimeToStdCounter(int64_t time, int64_t *counter)
{
    if (!counter) return 0;
    return WithClock([&](CClock &clock) {
        *counter = clock.UCFileTimeToStdCounter(time);
        return 1;
    });
}

int glSleep(int64_t duration)
{
    return WithClock([&](CClock &clock) {
        return clock.SleepUntilCounter(clock.GetCounter()->QueryCounter() + duration);
    });
}

int glSleepUntilSpecialCount(int64_t counter)
{
    return WithClock([&](CClock &clock) { return clock.SleepUntilCounter(counter); });
}

int glSleepUntilSpecialCount(int64_t counter, const plat::Waitable &stop)
{
    return WithClock([&](CClock &clock) { return clock.SleepUntilCounter(counter, stop); });
}

int glSleepUntilSpecialTime(int64_t time)
{
    return WithClock([&](CClock &clock) { return clock.SleepUntilClock(time); });
}

int glSleepUntilSpecialTime(int64_t time, const plat::Waitable &stop)
{
    return WithClock([&](CClock &clock) { return clock.SleepUntilClock(time, stop); });
}

int glGetSystemTime(plat::SYSTEMTIME *st)
{
    int64_t now = 0;
    if (!st || !glGetTimeEx(&now)) return 0;
    return plat::FileTimeToSystemTime(plat::FileTimeToLocalFileTime(now), st) ? 1 : 0;
}

int glSetSystemTime(const plat::SYSTEMTIME *)
{
    return 0;
}
