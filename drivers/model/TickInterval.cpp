#include "drivers/model/TickInterval.h"

#include "platform/TimeSource.h"

int IsTickIntervalElapsed(uint32_t &last, uint32_t interval)
{
    const uint32_t now = plat::GetTickCount();
    if (now - last < interval) return 0;
    last = now;
    return 1;
}
