#include "devext/device/ComputerClock.h"

#include "platform/TimeSource.h"

#include <ctime>
#include <mutex>
#include <utility>

namespace {

int SetRealTimeClock(int64_t utcFileTime)
{
    const int64_t unix100ns = utcFileTime - plat::kFileTimeUnixEpoch;
    if (unix100ns < 0) return 0;
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(unix100ns / 10000000);
    ts.tv_nsec = static_cast<long>(unix100ns % 10000000 * 100);
    return clock_settime(CLOCK_REALTIME, &ts) == 0 ? 1 : 0;
}

std::mutex &SetterLock()
{
    static std::mutex lock;
    return lock;
}

ComputerClockSetter &Setter()
{
    static ComputerClockSetter setter = SetRealTimeClock;
    return setter;
}

int SetUtc(int64_t utcFileTime)
{
    ComputerClockSetter setter;
    {
        std::lock_guard<std::mutex> lk(SetterLock());
        setter = Setter();
    }
    return setter(utcFileTime);
}

} // namespace

ComputerClockSetter glReplaceComputerClockSetter(ComputerClockSetter setter)
{
    if (!setter) setter = SetRealTimeClock;
    std::lock_guard<std::mutex> lk(SetterLock());
    return std::exchange(Setter(), std::move(setter));
}

int glSetComputerLocalTime(const plat::SYSTEMTIME &local)
{
    int64_t fileTime = 0;
    if (!plat::SystemTimeToFileTime(local, &fileTime)) return 0;
    return SetUtc(plat::LocalFileTimeToFileTime(fileTime));
}

int glSetComputerSystemTime(const plat::SYSTEMTIME &utc)
{
    int64_t fileTime = 0;
    if (!plat::SystemTimeToFileTime(utc, &fileTime)) return 0;
    return SetUtc(fileTime);
}
