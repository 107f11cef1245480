#include "platform/CTime.h"

#include "platform/TimeSource.h"

#include <ctime>
#include <string>

namespace {

// localtime_r need not look at TZ again after the first call; tzset makes it.
std::tm Local(int64_t time)
{
    tzset();
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

CString FormatTm(const char *format, const std::tm &tm)
{
    if (!format || !*format) return {};
    // strftime gives 0 both for "too small" and for an empty result: grow up to a bound.
    std::string buf(256, '\0');
    for (;;) {
        const size_t n = strftime(buf.data(), buf.size(), format, &tm);
        if (n > 0) return CString(std::string_view(buf.data(), n));
        if (buf.size() >= 64 * 1024) return {};
        buf.resize(buf.size() * 4);
    }
}

} // namespace

CTime::CTime(int year, int month, int day, int hour, int minute, int second, int dst)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = dst;
    m_time = mktime(&tm); // mktime reads TZ itself
}

CTime CTime::GetCurrentTime()
{
    return (plat::GetSystemTimeAsFileTime() - plat::kFileTimeUnixEpoch) / 10000000;
}

int CTime::GetYear() const
{
    return Local(m_time).tm_year + 1900;
}
int CTime::GetMonth() const
{
    return Local(m_time).tm_mon + 1;
}
int CTime::GetDay() const
{
    return Local(m_time).tm_mday;
}
int CTime::GetHour() const
{
    return Local(m_time).tm_hour;
}
int CTime::GetMinute() const
{
    return Local(m_time).tm_min;
}
int CTime::GetSecond() const
{
    return Local(m_time).tm_sec;
}
int CTime::GetDayOfWeek() const
{
    return Local(m_time).tm_wday + 1;
}

CString CTime::Format(const char *format) const
{
    return FormatTm(format, Local(m_time));
}

CString CTime::FormatGmt(const char *format) const
{
    const std::time_t t = static_cast<std::time_t>(m_time);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return FormatTm(format, tm);
}
