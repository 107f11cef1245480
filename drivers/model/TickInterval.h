// The interval gate that throttles device opens, status reports and polling.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstdint>

// 0 while less than `interval` ms have passed since the tick `last` (wrap-safe); otherwise
// `last` takes the current tick and the result is 1.
KSOVRA20_API int IsTickIntervalElapsed(uint32_t &last, uint32_t interval);
