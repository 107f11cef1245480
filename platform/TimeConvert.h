// Conversions between file time (100 ns units since 1601-01-01), broken-down time, and local
// time. Local time follows the TZ variable, read again on every conversion.
#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>

namespace plat {

struct SYSTEMTIME {
    uint16_t wYear;
    uint16_t wMonth;     // 1-12
    uint16_t wDayOfWeek; // 0 = Sunday
    uint16_t wDay;       // 1-31
    uint16_t wHour;
    uint16_t wMinute;
    uint16_t wSecond;
    uint16_t wMilliseconds;
};

// Broken-down form of a file time (no zone applied). False for negative times.
PLAT_API bool FileTimeToSystemTime(int64_t fileTime, SYSTEMTIME *st);
// File time of a broken-down time (no zone applied). False when a field is out of range.
PLAT_API bool SystemTimeToFileTime(const SYSTEMTIME &st, int64_t *fileTime);
// UTC file time to local file time and back, with the zone rules in force at that time.
PLAT_API int64_t FileTimeToLocalFileTime(int64_t utc);
PLAT_API int64_t LocalFileTimeToFileTime(int64_t local);
// Current time, broken down, in UTC and in local time (from the process's time source).
PLAT_API void GetSystemTime(SYSTEMTIME *st);
PLAT_API void GetLocalTime(SYSTEMTIME *st);
// Seconds east of UTC of local time at the given Unix time.
PLAT_API int32_t LocalUtcOffsetSeconds(int64_t unixSeconds);

} // namespace plat
