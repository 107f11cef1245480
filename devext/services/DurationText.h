// Durations (64-bit counts of 100 ns units) and times of day (seconds since midnight) in the
// text forms operators type: "1500" (ms), "2 s", "5m", "1h", "00:00:01:12", "PM 03:30".
#pragma once

#include "devext/Devext20Api.h"

#include <cstdint>

// Room a caller's buffer needs for FormatDuration and FormatTimeOfDay.
constexpr int kDurationTextSize = 48;

// Three or four numbers are hours, minutes, seconds and frames (25 a second, 30 with "t30"
// in the options); one number is scaled by the first unit letter of the text, else of the
// options (d, h, m, ms, s, u(s), n(s)), milliseconds without one. No number or two: 0 and
// `out` 0.
DEVEXT20_API int ParseDuration(int64_t &out, const char *text, const char *options);
// The shortest fitting form: frames "%02d:%02d:%02d:%02d", days "%dd", hours "%dh", minutes
// "%dm", seconds "%ds", "%dms", "%dus" or "%dns"; 1.
DEVEXT20_API int FormatDuration(int64_t value, char *out, const char *options);

// "[AM|PM] h[:m[:s]]": 0 when the text holds no number.
DEVEXT20_API int ParseTimeOfDay(int &seconds, const char *text);
// "hh:mm" when only the seconds are 0, else "hh:mm:ss"; with "am" or "pm" in the options the
// hour reads "AM hh" up to 12 and "PM hh" from 13 on; 1.
DEVEXT20_API int FormatTimeOfDay(int seconds, char *out, const char *options);
