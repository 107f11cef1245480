// The wait for a card event in a receive loop: a wait that fails before its time-out (its event
// is not enabled, the card has gone) is followed by the rest of that time waited on the loop's
// stop event, so that the loop never spins and its stop is not held up.
#pragma once

#include "gpi/CGPICard_PinioTech.h"

#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <cstdint>

// The driver's code of the wait.
inline uint32_t WaitCardEvent(CGPICard_PinioTech &card, uint16_t type, uint32_t milliseconds,
                              const plat::Event &stop)
{
    const uint32_t start = plat::GetTickCount();
    const uint32_t code = card.CheckEvent(type, milliseconds);
    const uint32_t waited = plat::TickElapsed(start);
    if (code != DRV_OK && waited < milliseconds) stop.Wait(milliseconds - waited);
    return code;
}
