// The simulated transport that the base sources and recorders run when no driver overrides
// their commands: the play position of a CPlayCounter, moved by cue, play, stop and jog.
#pragma once

#include "drivers/model/CPlayCounter.h"
#include "platform/Sync.h"

#include <cstdint>

namespace simtransport {

// Frames at 25 a second to the counter's 100 ns units.
inline int64_t Units(int32_t frames)
{
    return static_cast<int64_t>(frames) * CPlayCounter::kUnitsPerFrame;
}

// Starts the transport at real speed: with a start time, first sleeps until then on the
// framework clock, and afterwards `afterMs` more. 0 when `cancel` ended the first sleep (the
// transport is left as it was); a cancel during the second only cuts it short.
int Run(CPlayCounter &counter, const int64_t *at, int32_t afterMs, const plat::Waitable &cancel);

} // namespace simtransport
