// CTime and CTimeSpan: calendar time in whole seconds since 1970-01-01 UTC, broken down in
// local time as TZ gives it (the zone is read again on every call, so a changed TZ applies).
#pragma once

#include "platform/PlatformApi.h"
#include "platform/String.h"

#include <compare>
#include <cstdint>

class PLAT_API CTimeSpan {
public:
    CTimeSpan() = default;
    CTimeSpan(int64_t seconds) : m_span(seconds) {}
    CTimeSpan(int32_t days, int hours, int minutes, int seconds)
        : m_span(((int64_t{days} * 24 + hours) * 60 + minutes) * 60 + seconds)
    {
    }

    // Totals count the whole span; the parts without "Total" are what remains below the next
    // larger unit (hours 0-23 and so on; negative for a negative span).
    int64_t GetDays() const { return m_span / 86400; }
    int64_t GetTotalHours() const { return m_span / 3600; }
    int GetHours() const { return static_cast<int>(GetTotalHours() - GetDays() * 24); }
    int64_t GetTotalMinutes() const { return m_span / 60; }
    int GetMinutes() const { return static_cast<int>(GetTotalMinutes() - GetTotalHours() * 60); }
    int64_t GetTotalSeconds() const { return m_span; }
    int GetSeconds() const { return static_cast<int>(m_span - GetTotalMinutes() * 60); }

    CTimeSpan operator+(CTimeSpan other) const { return m_span + other.m_span; }
    CTimeSpan operator-(CTimeSpan other) const { return m_span - other.m_span; }
    CTimeSpan &operator+=(CTimeSpan other)
    {
        m_span += other.m_span;
        return *this;
    }
    CTimeSpan &operator-=(CTimeSpan other)
    {
        m_span -= other.m_span;
        return *this;
    }
    auto operator<=>(const CTimeSpan &) const = default;

private:
    int64_t m_span = 0;
};

class PLAT_API CTime {
public:
    CTime() = default;
    CTime(int64_t time) : m_time(time) {}
    // Local time. Out-of-range fields carry over (month 13 is January of the next year);
    // dst -1 lets the zone decide whether summer time applies.
    CTime(int year, int month, int day, int hour, int minute, int second, int dst = -1);

    static CTime GetCurrentTime();

    int64_t GetTime() const { return m_time; }
    int GetYear() const;
    int GetMonth() const; // 1-12
    int GetDay() const;   // 1-31
    int GetHour() const;
    int GetMinute() const;
    int GetSecond() const;
    int GetDayOfWeek() const; // 1 = Sunday

    // strftime formats, in local time and in UTC.
    CString Format(const char *format) const;
    CString FormatGmt(const char *format) const;

    CTimeSpan operator-(CTime other) const { return m_time - other.m_time; }
    CTime operator+(CTimeSpan span) const { return m_time + span.GetTotalSeconds(); }
    CTime operator-(CTimeSpan span) const { return m_time - span.GetTotalSeconds(); }
    CTime &operator+=(CTimeSpan span)
    {
        m_time += span.GetTotalSeconds();
        return *this;
    }
    CTime &operator-=(CTimeSpan span)
    {
        m_time -= span.GetTotalSeconds();
        return *this;
    }
    auto operator<=>(const CTime &) const = default;

private:
    int64_t m_time = 0;
};
