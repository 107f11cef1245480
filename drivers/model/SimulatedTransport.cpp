#include "drivers/model/SimulatedTransport.h"

#include "Kest20/CClock.h"

namespace simtransport {

int Run(CPlayCounter &counter, const int64_t *at, int32_t afterMs, const plat::Waitable &cancel)
{
    if (at && !glSleepUntilSpecialTime(*at, cancel)) return 0;
    counter.SetSpeed(1.0);
    // The pre-roll after the start: a cancel only cuts it short, the transport runs.
    if (at && afterMs > 0) cancel.Wait(static_cast<uint32_t>(afterMs));
    return 1;
}

} // namespace simtransport
