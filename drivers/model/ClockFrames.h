// The time frames of the serial station clocks, decoded from the bytes a line delivers without
// touching a port. A decoder is fed each delivered block and returns the readings it finds;
// what a model's frame does not carry (the date of a time-of-day frame) the line completes.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "platform/TimeConvert.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace clockframe {

// What one frame gives: a calendar time (local), or only the hour, minute and second of one.
// An invalid reading is a frame of the right length whose fields fail their checks (the
// models that report them), with the fields as read.
struct Reading {
    plat::SYSTEMTIME time{}; // wDayOfWeek as the clock sends it (1-7)
    bool timeOfDay = false;
    bool valid = true;
};

enum class Model { SY, BJSX, MCG, Z3400, ST3100, KHC3400, TVZ3100 };

class KSOVRA20_API CClockDecoder {
public:
    virtual ~CClockDecoder() = default;
    // Takes one delivered block: the readings of the frames it completes, in order.
    virtual std::vector<Reading> Feed(const uint8_t *data, size_t length) = 0;
    // Forgets what it holds of a frame.
    virtual void Reset() = 0;
};

// The decoder of a model's frames.
KSOVRA20_API std::unique_ptr<CClockDecoder> MakeDecoder(Model model);

// Two decimal digits in one byte; 0xFF for a digit above 9.
KSOVRA20_API int FromBcd(uint8_t byte);
// A two-digit year: below 50 in this century, from 50 in the last; others as they are.
KSOVRA20_API int FullYear(int year);
// Month 1..12, day 1..31, hour 0..24, minute and second 0..60 (the weekday is not looked at).
KSOVRA20_API bool IsValidCalendar(const plat::SYSTEMTIME &time);

} // namespace clockframe
