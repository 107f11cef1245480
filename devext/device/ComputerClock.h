// Setting the computer's own clock. Every part of the system that sets it goes through here, so
// that tests can put a recorder in place of the real setter and never change the machine's clock.
#pragma once

#include "devext/Devext20Api.h"
#include "platform/TimeConvert.h"

#include <cstdint>
#include <functional>

// Sets the computer's clock to a universal time in file-time units: 1 when it was set.
using ComputerClockSetter = std::function<int(int64_t utcFileTime)>;

// The setter in force (by default the system's real-time clock, which needs the right to set
// the time); an empty setter puts the default back. Returns the one it replaces.
DEVEXT20_API ComputerClockSetter glReplaceComputerClockSetter(ComputerClockSetter setter);
// Sets the computer's clock from a local broken-down time: 1 when it was set.
DEVEXT20_API int glSetComputerLocalTime(const plat::SYSTEMTIME &local);
// The same from a universal broken-down time.
DEVEXT20_API int glSetComputerSystemTime(const plat::SYSTEMTIME &utc);
