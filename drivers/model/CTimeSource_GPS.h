// A time source for a GPS receiver, which has no receiver protocol: it never gives a time.
#pragma once

#include "devext/device/CTimeSourceA.h"
#include "drivers/KsOvra20Api.h"

class KSOVRA20_API CTimeSource_GPS : public CTimeSourceA {
    DECLARE_KEST_CLASS(CTimeSource_GPS)

    CTimeSource_GPS() = default;

    // 0: no time.
    int GetStandardTime(DYNAMIC_TIME &t) override;
};
