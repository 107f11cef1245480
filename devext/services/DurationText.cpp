#include "devext/services/DurationText.h"

#include <cinttypes>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr int kMaxCopy = 32;
constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kUnitsPerMs = 10000;

// A lower-cased copy of at most 32 characters after leading blanks, ":" and "-" as blanks.
std::string Normalised(const char *text)
{
    if (!text) return {};
    while (*text == ' ' || *text == '\t') ++text;
    std::string copy(text, strnlen(text, kMaxCopy));
    for (char &c : copy) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c == ':' || c == '-') c = ' ';
    }
    return copy;
}

// Up to `max` unsigned numbers separated by white space, from `from` on; stops at anything
// else. Values saturate at the 32-bit range.
int ReadNumbers(const std::string &text, size_t from, uint32_t *numbers, int max)
{
    int count = 0;
    size_t i = from;
    while (count < max) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size() || text[i] < '0' || text[i] > '9') break;
        uint64_t value = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(text[i] - '0'),
                                       std::numeric_limits<uint32_t>::max());
        numbers[count++] = static_cast<uint32_t>(value);
    }
    return count;
}

// The number of 100 ns units in one `unit` of the first unit letter of `text`, or 0.
int64_t UnitScale(const std::string &text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
        case 'd':
            return 864000000000LL;
        case 'h':
            return 36000000000LL;
        case 'm':
            return i + 1 < text.size() && text[i + 1] == 's' ? kUnitsPerMs : 600000000LL;
        case 's':
            return kUnitsPerSecond;
        case 'u':
            return 10;
        case 'n':
            return 1;
        default:
            break;
        }
    }
    return 0;
}

using wide_t = unsigned __int128;

int64_t Saturated(wide_t value)
{
    constexpr auto kMax = std::numeric_limits<int64_t>::max();
    return value > static_cast<wide_t>(kMax) ? kMax : static_cast<int64_t>(value);
}

bool HasOption(const char *options, const char *word)
{
    return options && std::strstr(options, word);
}

void FormatFrames(char *out, int64_t s, int64_t r, int64_t frame)
{
    std::snprintf(out, kDurationTextSize, "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ":%02" PRId64,
                  s / 3600, s / 60 % 60, s % 60, r / frame);
}

} // namespace

int ParseDuration(int64_t &out, const char *text, const char *options)
{
    out = 0;
    const std::string copy = Normalised(text);
    uint32_t n[4] = {};
    const int count = ReadNumbers(copy, 0, n, 4);
    if (count == 3 || count == 4) {
        const uint32_t rate = HasOption(options, "t30") ? 30 : 25;
        const wide_t minutes = std::min<uint32_t>(n[1], 59);
        const wide_t seconds = std::min<uint32_t>(n[2], 59);
        const wide_t frames = std::min<uint32_t>(n[3], rate - 1);
        const wide_t whole = (wide_t{n[0]} * 60 + minutes) * 60 + seconds;
        out = Saturated(whole * kUnitsPerSecond + frames * kUnitsPerSecond / rate);
        return 1;
    }
    if (count != 1) return 0;
    int64_t scale = UnitScale(copy);
    if (!scale) scale = UnitScale(Normalised(options));
    if (!scale) scale = kUnitsPerMs;
    out = Saturated(wide_t{n[0]} * static_cast<wide_t>(scale));
    return 1;
}

int FormatDuration(int64_t value, char *out, const char *options)
{
    const int64_t frame = HasOption(options, "t30") ? 333333 : 400000;
    const int64_t s = value / kUnitsPerSecond;
    const int64_t r = value % kUnitsPerSecond;
    const int64_t ms = s * 1000 + r / kUnitsPerMs;
    if (r % frame < 20 && r >= 333333 && s >= 1)
        FormatFrames(out, s, r, frame);
    else if (s >= 86400 && s % 86400 < 300)
        std::snprintf(out, kDurationTextSize, "%" PRId64 "d", s / 86400);
    else if (s >= 3600 && s % 3600 < 15)
        std::snprintf(out, kDurationTextSize, "%" PRId64 "h", s / 3600);
    else if (s >= 60 && s % 60 == 0)
        std::snprintf(out, kDurationTextSize, "%" PRId64 "m", s / 60);
    else if (s >= 1 && r < 20000)
        std::snprintf(out, kDurationTextSize, "%" PRId64 "s", s);
    else if (s < 300000 && ms > 0 && r % kUnitsPerMs < 10)
        std::snprintf(out, kDurationTextSize, "%" PRId64 "ms", ms);
    else if (s < 300 && r % 10 == 0)
        std::snprintf(out, kDurationTextSize, "%" PRId64 "us", s * 1000000 + r / 10);
    else if (s < 30)
        std::snprintf(out, kDurationTextSize, "%" PRId64 "ns", value);
    else
        FormatFrames(out, s, r, frame);
    return 1;
}

int ParseTimeOfDay(int &seconds, const char *text)
{
    const std::string copy = Normalised(text);
    const bool pm = copy.find("pm") != std::string::npos;
    const bool am = !pm && copy.find("am") != std::string::npos;
    uint32_t n[3] = {};
    const int count = ReadNumbers(copy, am || pm ? 2 : 0, n, 3);
    if (count == 0) return 0;
    uint32_t hours = n[0];
    if ((am || pm) && hours >= 13) hours = 12;
    const uint32_t minutes = std::min<uint32_t>(n[1], 59);
    const uint32_t secs = std::min<uint32_t>(n[2], 59);
    const int64_t total = (int64_t{hours} * 60 + minutes) * 60 + secs + (pm ? 43200 : 0);
    seconds = static_cast<int>(std::min<int64_t>(total, std::numeric_limits<int>::max()));
    return 1;
}

int FormatTimeOfDay(int seconds, char *out, const char *options)
{
    const int hour = seconds / 3600 % 24;
    const int minutes = seconds / 60 % 60;
    const int secs = seconds % 60;
    char hourText[16];
    if (!HasOption(options, "am") && !HasOption(options, "pm"))
        std::snprintf(hourText, sizeof hourText, "%02d", hour);
    else if (hour <= 12)
        std::snprintf(hourText, sizeof hourText, "AM %02d", hour);
    else
        std::snprintf(hourText, sizeof hourText, "PM %02d", hour - 12);
    if (secs == 0 && minutes != 0)
        std::snprintf(out, kDurationTextSize, "%s:%02d", hourText, minutes);
    else
        std::snprintf(out, kDurationTextSize, "%s:%02d:%02d", hourText, minutes, secs);
    return 1;
}
