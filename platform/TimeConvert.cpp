#include "platform/TimeConvert.h"

#include "platform/Process.h"
#include "platform/TimeSource.h"

#include <ctime>

namespace plat {

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerDay = kTicksPerSecond * 86400;

// Days from 1601-01-01 to year-month-day (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t daysFrom1970 = era * 146097 + static_cast<int64_t>(doe) - 719468;
    return daysFrom1970 + 134774; // 1601-01-01 .. 1970-01-01
}

bool IsLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

} // namespace

bool FileTimeToSystemTime(int64_t fileTime, SYSTEMTIME *st)
{
    if (fileTime < 0 || !st) return false;
    int64_t days = fileTime / kTicksPerDay;
    int64_t rest = fileTime % kTicksPerDay;
    // Civil date from days since 1970 (Howard Hinnant's algorithm).
    int64_t z = days - 134774 + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
    if (y > 30827) return false;
    st->wYear = static_cast<uint16_t>(y);
    st->wMonth = static_cast<uint16_t>(m);
    st->wDay = static_cast<uint16_t>(d);
    st->wDayOfWeek = static_cast<uint16_t>((days + 1) % 7); // 1601-01-01 was a Monday
    st->wHour = static_cast<uint16_t>(rest / (kTicksPerSecond * 3600));
    rest %= kTicksPerSecond * 3600;
    st->wMinute = static_cast<uint16_t>(rest / (kTicksPerSecond * 60));
    rest %= kTicksPerSecond * 60;
    st->wSecond = static_cast<uint16_t>(rest / kTicksPerSecond);
    rest %= kTicksPerSecond;
    st->wMilliseconds = static_cast<uint16_t>(rest / 10000);
    return true;
}

bool SystemTimeToFileTime(const SYSTEMTIME &st, int64_t *fileTime)
{
    if (st.wYear < 1601 || st.wYear > 30827 || st.wMonth < 1 || st.wMonth > 12 || st.wDay < 1 ||
        st.wDay > DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 || st.wMinute > 59 ||
        st.wSecond > 59 || st.wMilliseconds > 999)
        return false;
    int64_t days = DaysFromCivil(st.wYear, st.wMonth, st.wDay);
    int64_t t = days * kTicksPerDay +
                ((st.wHour * 60 + st.wMinute) * 60 + st.wSecond) * kTicksPerSecond +
                st.wMilliseconds * 10000LL;
    if (fileTime) *fileTime = t;
    return true;
}

int32_t LocalUtcOffsetSeconds(int64_t unixSeconds)
{
    RefreshTimeZone();
    time_t t = static_cast<time_t>(unixSeconds);
    tm local{};
    if (!localtime_r(&t, &local)) return 0;
    return static_cast<int32_t>(local.tm_gmtoff);
}

namespace {

// A file time moved by a zone offset stops at the ends of the 64-bit range.
int64_t MovedBy(int64_t time, int64_t ticks)
{
    int64_t moved = 0;
    if (!__builtin_add_overflow(time, ticks, &moved)) return moved;
    return ticks > 0 ? INT64_MAX : INT64_MIN;
}

} // namespace

int64_t FileTimeToLocalFileTime(int64_t utc)
{
    int64_t secs = utc / kTicksPerSecond - kFileTimeUnixEpoch / kTicksPerSecond;
    return MovedBy(utc, static_cast<int64_t>(LocalUtcOffsetSeconds(secs)) * kTicksPerSecond);
}

int64_t LocalFileTimeToFileTime(int64_t local)
{
    // The offset that applies is the one at the UTC instant itself: try the offset at the
    // local reading taken as UTC, then correct once (enough away from a zone change).
    int64_t secs = local / kTicksPerSecond - kFileTimeUnixEpoch / kTicksPerSecond;
    int32_t off = LocalUtcOffsetSeconds(secs);
    int32_t off2 = LocalUtcOffsetSeconds(secs - off);
    return MovedBy(local, -static_cast<int64_t>(off2) * kTicksPerSecond);
}

void GetSystemTime(SYSTEMTIME *st)
{
    FileTimeToSystemTime(GetSystemTimeAsFileTime(), st);
}

void GetLocalTime(SYSTEMTIME *st)
{
    FileTimeToSystemTime(FileTimeToLocalFileTime(GetSystemTimeAsFileTime()), st);
}

} // namespace plat
