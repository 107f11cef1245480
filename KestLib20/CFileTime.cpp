#include "KestLib20/CFileTime.h"

#include "KestLib20/ScratchText.h"
#include "KestLib20/StringConvert.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int64_t kUnitsPerMs = 10000;
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kUnitsPerDay = CFileTimeSpan::kUnitsPerDay;
constexpr int64_t kUnitsPerFrame = 40 * kUnitsPerMs;
constexpr int kFirstYear = 1600, kLastYear = 30827; // the 64-bit file time ends in 30828

int64_t FloorDiv(int64_t a, int64_t b)
{
    return a / b - (a % b != 0 && (a < 0) != (b < 0));
}

bool IsLeap(int64_t y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int64_t year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

// Days from 1601-01-01 (proleptic Gregorian, any sign); month 1-12, day may be out of range.
int64_t DaysFromCivil(int64_t y, int m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 134774; // 1970-01-01 is day 134774
}

// Broken-down form of a file time with no zone applied (any sign).
struct Fields {
    int64_t year;
    int month, day, hour, minute, second, ms, dayOfWeek, dayOfYear;
};

Fields Split(int64_t t)
{
    Fields f{};
    const int64_t days = FloorDiv(t, kUnitsPerDay);
    int64_t rest = t - days * kUnitsPerDay;
    const int64_t z = days - 134774 + 719468;
    const int64_t era = FloorDiv(z, 146097);
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    f.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    f.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    f.year = yoe + era * 400 + (f.month <= 2);
    f.dayOfWeek = static_cast<int>((days % 7 + 8) % 7); // 1601-01-01 was a Monday
    f.dayOfYear = static_cast<int>(days - DaysFromCivil(f.year, 1, 1));
    f.hour = static_cast<int>(rest / (3600 * kUnitsPerSecond));
    rest %= 3600 * kUnitsPerSecond;
    f.minute = static_cast<int>(rest / (60 * kUnitsPerSecond));
    rest %= 60 * kUnitsPerSecond;
    f.second = static_cast<int>(rest / kUnitsPerSecond);
    f.ms = static_cast<int>(rest % kUnitsPerSecond / kUnitsPerMs);
    return f;
}

// File time of broken-down fields (no zone); every field out of range carries over.
int64_t Join(int64_t year, int64_t month, int64_t day, int64_t hour, int64_t minute, int64_t second,
             int64_t ms)
{
    year += FloorDiv(month - 1, 12);
    month -= FloorDiv(month - 1, 12) * 12;
    const int64_t days = DaysFromCivil(year, static_cast<int>(month), day);
    return days * kUnitsPerDay + ((hour * 60 + minute) * 60 + second) * kUnitsPerSecond +
           ms * kUnitsPerMs;
}

int64_t ToLocal(int64_t utc)
{
    return plat::FileTimeToLocalFileTime(utc);
}

int64_t FromLocal(int64_t local)
{
    return plat::LocalFileTimeToFileTime(local);
}

int64_t LocalMidnight(int64_t local)
{
    return FloorDiv(local, kUnitsPerDay) * kUnitsPerDay;
}

std::string Base32(uint64_t v)
{
    static const char digits[] = "0123456789abcdefghijklmnopqrstuv";
    std::string out;
    do {
        out.insert(out.begin(), digits[v % 32]);
        v /= 32;
    } while (v);
    return out;
}

std::string Printf(const char *format, auto... args)
{
    char text[CFileTime::kTextSize];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

std::string DateText(int64_t utc, int format)
{
    const Fields f = Split(ToLocal(utc));
    const int y = static_cast<int>(f.year);
    switch (format) {
    case 0:
    case 'Y':
    case 'y':
        return Printf("%04d-%02d-%02d", y, f.month, f.day);
    case 'M':
    case 'm':
        return Printf("%02d-%02d-%04d", f.month, f.day, y);
    case 'i':
        return Base32(static_cast<uint64_t>(utc));
    default:
        return {};
    }
}

std::string TimeText(int64_t utc, int format)
{
    const Fields f = Split(ToLocal(utc));
    switch (format) {
    case 0:
    case 'S':
    case 's':
        return Printf("%02d:%02d:%02d", f.hour, f.minute, f.second);
    case 'F':
    case 'f':
        return Printf("%02d:%02d:%02d:%02d", f.hour, f.minute, f.second, f.ms * 25 / 1000);
    case 'M':
    case 'm':
        return Printf("%02d:%02d:%02d:%03d", f.hour, f.minute, f.second, f.ms);
    default:
        return {};
    }
}

std::string DateTimeText(int64_t utc, int dateFormat, int timeFormat)
{
    return DateText(utc, dateFormat) + ' ' + TimeText(utc, timeFormat);
}

} // namespace

CFileTime::CFileTime(const plat::SYSTEMTIME &local)
    : m_nTime(FromLocal(Join(local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                             local.wSecond, local.wMilliseconds)))
{
}

CFileTime::CFileTime(const char *date, const char *time)
{
    std::string text(date ? date : "");
    text = text.substr(0, 64);
    for (char &c : text)
        if (std::string_view("\t-/\\:.,").find(c) != std::string_view::npos) c = ' ';
    int32_t n[3] = {2002, 1, 1};
    ScanNumbers(text.c_str(), n, 3);
    int64_t year = n[0];
    if (year >= 0 && year <= 50)
        year += 2000;
    else if (year >= 51 && year <= 99)
        year += 1900;
    year = std::clamp<int64_t>(year, kFirstYear, kLastYear);
    const int month = std::clamp(n[1], 1, 12);
    const int day = std::clamp(n[2], 1, DaysInMonth(year, month));
    timecode_t timeOfDay;
    timeOfDay.SetAsFrames(time ? std::string(time).substr(0, 64).c_str() : "");
    // The last day of the last year and a time of many days run past the file time's range:
    // such a time stops at its end.
    int64_t local = 0;
    if (__builtin_add_overflow(Join(year, month, day, 0, 0, 0, 0),
                               static_cast<int64_t>(timeOfDay.nFrames) * kUnitsPerFrame, &local))
        local = timeOfDay.nFrames > 0 ? INT64_MAX : INT64_MIN;
    m_nTime = FromLocal(local);
}

CFileTime::CFileTime(const tm &local)
    : m_nTime(FromLocal(Join(local.tm_year < 1900 ? local.tm_year + 1900LL : local.tm_year,
                             local.tm_mon + 1LL, local.tm_mday, local.tm_hour, local.tm_min,
                             local.tm_sec, 0)))
{
}

CFileTime::CFileTime(const CTime &time)
    : m_nTime(time.GetTime() * kUnitsPerSecond + plat::kFileTimeUnixEpoch)
{
}

CFileTime CFileTime::GetCurrentTime()
{
    // Reads the framework clock (glGetTimeEx) once that exists.
    return CFileTime(plat::GetSystemTimeAsFileTime());
}

void CFileTime::GetSystemTime(CFileTime &out)
{
    out.m_nTime = FromLocal(GetCurrentTime().m_nTime);
}

int CFileTime::Get(plat::SYSTEMTIME &local) const
{
    const Fields f = Split(ToLocal(m_nTime));
    local.wYear = static_cast<uint16_t>(f.year);
    local.wMonth = static_cast<uint16_t>(f.month);
    local.wDayOfWeek = static_cast<uint16_t>(f.dayOfWeek);
    local.wDay = static_cast<uint16_t>(f.day);
    local.wHour = static_cast<uint16_t>(f.hour);
    local.wMinute = static_cast<uint16_t>(f.minute);
    local.wSecond = static_cast<uint16_t>(f.second);
    local.wMilliseconds = static_cast<uint16_t>(f.ms);
    return 1;
}

int CFileTime::Get(timecode_t &timeOfDay) const
{
    const Fields f = Split(ToLocal(m_nTime));
    timeOfDay.SetAsDetail(f.hour, f.minute, f.second, f.ms * 25 / 1000);
    return 1;
}

int CFileTime::Get(tm &local) const
{
    const Fields f = Split(ToLocal(m_nTime));
    local = tm{};
    local.tm_year = static_cast<int>(f.year - 1900);
    local.tm_mon = f.month - 1;
    local.tm_mday = f.day;
    local.tm_hour = f.hour;
    local.tm_min = f.minute;
    local.tm_sec = f.second;
    local.tm_wday = f.dayOfWeek;
    local.tm_yday = f.dayOfYear;
    local.tm_isdst = -1;
    return 1;
}

int CFileTime::Get(CTime &time) const
{
    time = CTime(FloorDiv(m_nTime - plat::kFileTimeUnixEpoch, kUnitsPerSecond));
    return 1;
}

CFileTime CFileTime::GetAsDate() const
{
    return CFileTime(FromLocal(LocalMidnight(ToLocal(m_nTime))));
}

void CFileTime::SetTime(timecode_t timeOfDay)
{
    int32_t h, m, s, f;
    timeOfDay.GetAsDetail(h, m, s, f);
    const int64_t into = ((h * 60LL + m) * 60 + s) * kUnitsPerSecond + f * kUnitsPerFrame;
    m_nTime = FromLocal(LocalMidnight(ToLocal(m_nTime)) + into);
}

const char *CFileTime::GetDateAsString(char *buffer, int format) const
{
    return EmitText(DateText(m_nTime, format), buffer, kTextSize, kTextSize);
}

const char *CFileTime::GetTimeAsString(char *buffer, int format) const
{
    return EmitText(TimeText(m_nTime, format), buffer, kTextSize, kTextSize);
}

const char *CFileTime::GetAsString(char *buffer, int dateFormat, int timeFormat) const
{
    return EmitText(DateTimeText(m_nTime, dateFormat, timeFormat), buffer, kDateTimeTextSize,
                    kDateTimeTextSize);
}

const char16_t *CFileTime::GetDateAsStringW(char16_t *buffer, int format) const
{
    return EmitText(DateText(m_nTime, format), buffer, kTextSize, kTextSize);
}

const char16_t *CFileTime::GetTimeAsStringW(char16_t *buffer, int format) const
{
    return EmitText(TimeText(m_nTime, format), buffer, kTextSize, kTextSize);
}

const char16_t *CFileTime::GetAsStringW(char16_t *buffer, int dateFormat, int timeFormat) const
{
    return EmitText(DateTimeText(m_nTime, dateFormat, timeFormat), buffer, kDateTimeTextSize,
                    kDateTimeTextSize);
}

void CFileTimeSpan::Set64(int32_t days, int32_t hours, int32_t minutes, int32_t seconds,
                          int32_t fraction)
{
    hours = std::clamp(hours, 0, 23);
    minutes = std::clamp(minutes, 0, 59);
    seconds = std::clamp(seconds, 0, 59);
    fraction = std::clamp(fraction, 0, 9999999);
    m_nSpan = ((hours * 60LL + minutes) * 60 + seconds) * kUnitsPerSecond + fraction +
              days * kUnitsPerDay;
}

void CFileTimeSpan::Set(int32_t days, int32_t hours, int32_t minutes, int32_t seconds,
                        int32_t milliseconds)
{
    const int64_t fraction = std::clamp<int64_t>(milliseconds * kUnitsPerMs, 0, 9999999);
    Set64(days, hours, minutes, seconds, static_cast<int32_t>(fraction));
}

void CFileTimeSpan::Get64(int32_t &days, int32_t &hours, int32_t &minutes, int32_t &seconds,
                          int32_t &fraction) const
{
    uint64_t n = m_nSpan < 0 ? 0 - static_cast<uint64_t>(m_nSpan) : static_cast<uint64_t>(m_nSpan);
    fraction = static_cast<int32_t>(n % kUnitsPerSecond);
    n /= kUnitsPerSecond;
    seconds = static_cast<int32_t>(n % 60);
    minutes = static_cast<int32_t>(n / 60 % 60);
    hours = static_cast<int32_t>(n / 3600 % 24);
    days = static_cast<int32_t>(n / 86400);
}

void CFileTimeSpan::Get(int32_t &days, int32_t &hours, int32_t &minutes, int32_t &seconds,
                        int32_t &milliseconds) const
{
    Get64(days, hours, minutes, seconds, milliseconds);
    milliseconds /= static_cast<int32_t>(kUnitsPerMs);
}

int CFileTimeSpan::Set(const char *text)
{
    if (!text) return 0;
    while (*text == ' ') ++text;
    std::string digits(text, std::min<size_t>(std::char_traits<char>::length(text), 32));
    for (char &c : digits)
        if (c < '0' || c > '9') c = ' ';
    int32_t n[4] = {0, 0, 0, 0};
    ScanNumbers(digits.c_str(), n, 4);
    Set(n[0] / 24, n[0] % 24, std::min(n[1], 59), std::min(n[2], 59), std::min(n[3], 999));
    return 1;
}

const char *CFileTimeSpan::ToString(char *buffer, int size) const
{
    return EmitText("", buffer, size, CFileTime::kDateTimeTextSize);
}
