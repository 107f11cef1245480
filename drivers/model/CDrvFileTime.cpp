#include "drivers/model/CDrvFileTime.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace {

constexpr size_t kMaxText = 63;
constexpr int kMaxNumbers = 6;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::string Trimmed(const char *text)
{
    std::string s(text ? text : "");
    const size_t first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    s = s.substr(first, kMaxText);
    while (!s.empty() && IsBlank(s.back())) s.pop_back();
    return s;
}

// Up to kMaxNumbers numbers of a text made of digits and blanks; each held below 10^9.
int ReadNumbers(const std::string &text, int64_t (&numbers)[kMaxNumbers])
{
    int count = 0;
    size_t i = 0;
    while (count < kMaxNumbers) {
        while (i < text.size() && !IsDigit(text[i])) ++i;
        if (i == text.size()) break;
        int64_t value = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i)
            value = std::min<int64_t>(value * 10 + (text[i] - '0'), 999999999);
        numbers[count++] = value;
    }
    return count;
}

uint16_t Held(int64_t value, int64_t low, int64_t high)
{
    return static_cast<uint16_t>(std::clamp(value, low, high));
}

} // namespace

int64_t CDrvFileTime::SetAsString(const char *text)
{
    std::string s = Trimmed(text);
    if (std::all_of(s.begin(), s.end(), IsDigit)) {
        uint64_t value = 0; // an overlong number wraps, as a 64-bit reading does
        for (char c : s) value = value * 10 + static_cast<uint64_t>(c - '0');
        Set(static_cast<int64_t>(value));
        return GetTime();
    }
    char separator = 0;
    for (char &c : s) {
        if (IsDigit(c) || IsBlank(c)) continue;
        if (!separator) separator = c;
        c = ' ';
    }
    int64_t n[kMaxNumbers] = {};
    const int count = ReadNumbers(s, n);
    int64_t year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    if (count > 3) {
        year = n[0], month = n[1], day = n[2], hour = n[3], minute = n[4], second = n[5];
    } else if (separator == ':') {
        hour = n[0], minute = n[1], second = n[2];
    } else {
        year = n[0], month = n[1], day = n[2];
    }
    if (year < 100) year += year >= 50 ? 1900 : 2000;
    plat::SYSTEMTIME local{};
    local.wYear = Held(year, 1601, 30000);
    local.wMonth = Held(month, 1, 12);
    local.wDay = Held(day, 1, 31);
    local.wHour = Held(hour, 0, 23);
    local.wMinute = Held(minute, 0, 59);
    local.wSecond = Held(second, 0, 59);
    Set(CFileTime(local).GetTime());
    return GetTime();
}
