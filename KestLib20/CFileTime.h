// Absolute times and spans of the system. CFileTime is a file time (100 ns units since
// 1601-01-01 UTC, the unit of the framework clock) whose broken-down and text forms are in
// local time as TZ gives it; CFileTimeSpan is a signed span in the same unit.
#pragma once

#include "KestLib20/KestLibApi.h"
#include "KestLib20/timecode_t.h"
#include "platform/CTime.h"
#include "platform/TimeConvert.h"

#include <compare>
#include <cstdint>
#include <ctime>

class KESTLIB_SHARED_TYPE CFileTime {
public:
    // Room a caller's buffer needs for a date or a time alone, and for both.
    static constexpr int kTextSize = 32;
    static constexpr int kDateTimeTextSize = 64;

    CFileTime() = default;
    explicit CFileTime(int64_t fileTime) : m_nTime(fileTime) {}
    // Local broken-down time (fields out of range carry over).
    explicit CFileTime(const plat::SYSTEMTIME &local);
    // A local date "y m d" (separators tab - / \ : . ,; defaults 2002-01-01; a year 0-50 is
    // 2000-2050, 51-99 is 1951-1999; then limited to 1600..30827, month to 1..12, day to the
    // days of that month) at the time of day of a timecode text. Null texts read as empty.
    CFileTime(const char *date, const char *time);
    // Local time; a year below 1900 gets 1900 added (tm_year counts from 1900).
    explicit CFileTime(const tm &local);
    explicit CFileTime(const CTime &time);

    // The current time. Every reading of the current time in this library goes through here.
    static CFileTime GetCurrentTime();
    // The current UTC time taken as if it were local time: its local text shows UTC.
    static void GetSystemTime(CFileTime &out);

    int64_t GetTime() const { return m_nTime; }
    void Set(int64_t fileTime) { m_nTime = fileTime; }

    // Local broken-down forms; each answers 1.
    int Get(plat::SYSTEMTIME &local) const;
    // Local time of day; frames = milliseconds x 25 / 1000.
    int Get(timecode_t &timeOfDay) const;
    int Get(tm &local) const; // tm_isdst -1
    int Get(CTime &time) const;

    // The same day at local midnight.
    CFileTime GetAsDate() const;
    // Keeps the local date and sets the local time of day from the timecode's magnitude.
    void SetTime(timecode_t timeOfDay);

    // Date: format 0, 'Y', 'y' "%04d-%02d-%02d"; 'M', 'm' "%02d-%02d-%04d" (month first);
    // 'i' the raw value in base 32 (0-9, a-v); any other an empty text.
    // Time: format 0, 'S', 's' "%02d:%02d:%02d"; 'F', 'f' with frames ":%02d"; 'M', 'm'
    // with milliseconds ":%03d"; any other an empty text.
    // Both: date, one space, time. A null buffer uses the thread's scratch ring; a caller's
    // buffer needs kTextSize (kDateTimeTextSize for both) characters.
    const char *GetDateAsString(char *buffer, int format = 0) const;
    const char *GetTimeAsString(char *buffer, int format = 0) const;
    const char *GetAsString(char *buffer, int dateFormat = 0, int timeFormat = 0) const;
    const char16_t *GetDateAsStringW(char16_t *buffer, int format = 0) const;
    const char16_t *GetTimeAsStringW(char16_t *buffer, int format = 0) const;
    const char16_t *GetAsStringW(char16_t *buffer, int dateFormat = 0, int timeFormat = 0) const;

    // Difference in 100 ns units.
    int64_t operator-(const CFileTime &other) const { return m_nTime - other.m_nTime; }
    auto operator<=>(const CFileTime &) const = default;

private:
    int64_t m_nTime = 0;
};
static_assert(sizeof(CFileTime) == 8, "a file time is one 64-bit value");

class KESTLIB_SHARED_TYPE CFileTimeSpan {
public:
    static constexpr int64_t kUnitsPerDay = 864000000000LL;

    CFileTimeSpan() = default;
    explicit CFileTimeSpan(int64_t span) : m_nSpan(span) {}
    int64_t GetSpan() const { return m_nSpan; }

    // Hours limited to 0..23, minutes and seconds to 0..59, the fraction (100 ns units) to
    // 0..9,999,999; days are not limited.
    void Set64(int32_t days, int32_t hours, int32_t minutes, int32_t seconds, int32_t fraction);
    void Set(int32_t days, int32_t hours, int32_t minutes, int32_t seconds, int32_t milliseconds);
    // Fields of the magnitude.
    void Get64(int32_t &days, int32_t &hours, int32_t &minutes, int32_t &seconds,
               int32_t &fraction) const;
    void Get(int32_t &days, int32_t &hours, int32_t &minutes, int32_t &seconds,
             int32_t &milliseconds) const;
    // "hours minutes seconds milliseconds" with any non-digits between them; hours above 23
    // give days, minutes and seconds above 59 become 59, milliseconds above 999 become 999.
    // A null text changes nothing and answers 0.
    int Set(const char *text);
    // An empty text (null buffer: the scratch ring); null when size is below 1.
    const char *ToString(char *buffer, int size) const;

private:
    int64_t m_nSpan = 0;
};
