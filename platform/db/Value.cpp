#include "platform/db/Value.h"

#include "platform/TimeConvert.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace plat::db {

namespace {

std::string_view Trimmed(std::string_view text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The whole text as one number.
std::optional<double> ParseNumber(std::string_view text)
{
    const std::string trimmed(Trimmed(text));
    if (trimmed.empty()) return std::nullopt;
    char *end = nullptr;
    const double value = std::strtod(trimmed.c_str(), &end);
    if (end != trimmed.c_str() + trimmed.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kSecondsPerDay = 86400;
// Days from 1601-01-01 (file time) to 1899-12-30 (automation date 0).
constexpr int64_t kAutomationEpochDays = 109205;

// "yyyy-mm-dd[ hh:mm[:ss[.fff]]]".
std::optional<double> ParseDate(std::string_view text)
{
    const std::string trimmed(Trimmed(text));
    DateParts parts;
    char sep1 = 0, sep2 = 0;
    int consumed = 0;
    if (std::sscanf(trimmed.c_str(), "%5d%c%2d%c%2d%n", &parts.year, &sep1, &parts.month, &sep2,
                    &parts.day, &consumed) != 5 ||
        sep1 != sep2 || (sep1 != '-' && sep1 != '/'))
        return std::nullopt;
    std::string_view rest = std::string_view(trimmed).substr(static_cast<size_t>(consumed));
    if (!rest.empty()) {
        if (rest[0] != ' ' && rest[0] != 'T') return std::nullopt;
        const std::string time(rest.substr(1));
        double seconds = 0;
        int used = 0;
        const int got = std::sscanf(time.c_str(), "%2d:%2d%n:%lf%n", &parts.hour, &parts.minute,
                                    &used, &seconds, &used);
        if (got < 2 || static_cast<size_t>(used) != time.size()) return std::nullopt;
        parts.second = static_cast<int>(seconds);
    }
    if (parts.month < 1 || parts.month > 12 || parts.day < 1 || parts.day > 31 || parts.hour > 23 ||
        parts.minute > 59 || parts.second > 59 || parts.hour < 0 || parts.minute < 0 ||
        parts.second < 0)
        return std::nullopt;
    return ToAutomationDate(parts);
}

} // namespace

std::optional<int32_t> Value::ToInt32() const
{
    if (m_kind == Kind::Integer) {
        if (m_integer < INT32_MIN || m_integer > INT32_MAX) return std::nullopt;
        return static_cast<int32_t>(m_integer);
    }
    const std::optional<double> number = ToDouble();
    if (!number) return std::nullopt;
    const double rounded = std::nearbyint(*number); // half to even in the default mode
    if (rounded < INT32_MIN || rounded > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(rounded);
}

std::optional<double> Value::ToDouble() const
{
    switch (m_kind) {
    case Kind::Integer:
        return static_cast<double>(m_integer);
    case Kind::Real:
        return m_real;
    case Kind::Text:
        return ParseNumber(m_text);
    default:
        return std::nullopt;
    }
}

std::optional<std::string> Value::ToText() const
{
    switch (m_kind) {
    case Kind::Integer:
        return std::to_string(m_integer);
    case Kind::Real: {
        char text[32];
        std::snprintf(text, sizeof text, "%.15g", m_real);
        return std::string(text);
    }
    case Kind::Text:
        return m_text;
    default:
        return std::nullopt;
    }
}

std::optional<double> Value::ToDate() const
{
    return m_kind == Kind::Text ? ParseDate(m_text) : ToDouble();
}

DateParts FromAutomationDate(double date)
{
    double whole = std::trunc(date);
    int64_t seconds = std::llround(std::fabs(date - whole) * kSecondsPerDay);
    if (seconds >= kSecondsPerDay) {
        seconds -= kSecondsPerDay;
        whole += 1;
    }
    const int64_t days = static_cast<int64_t>(whole) + kAutomationEpochDays;
    SYSTEMTIME st{};
    if (!FileTimeToSystemTime((days * kSecondsPerDay + seconds) * kUnitsPerSecond, &st))
        return DateParts{};
    return DateParts{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

std::optional<double> ToAutomationDate(const DateParts &parts)
{
    SYSTEMTIME st{};
    st.wYear = static_cast<uint16_t>(parts.year);
    st.wMonth = static_cast<uint16_t>(parts.month);
    st.wDay = static_cast<uint16_t>(parts.day);
    st.wHour = static_cast<uint16_t>(parts.hour);
    st.wMinute = static_cast<uint16_t>(parts.minute);
    st.wSecond = static_cast<uint16_t>(parts.second);
    int64_t fileTime = 0;
    if (parts.year < 1601 || parts.year > 9999 || !SystemTimeToFileTime(st, &fileTime))
        return std::nullopt;
    const int64_t seconds = fileTime / kUnitsPerSecond;
    const double days = static_cast<double>(seconds / kSecondsPerDay - kAutomationEpochDays);
    const double time = static_cast<double>(seconds % kSecondsPerDay) / kSecondsPerDay;
    return days >= 0 ? days + time : days - time;
}

} // namespace plat::db
