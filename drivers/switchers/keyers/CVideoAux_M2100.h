// The keyer of the M2100 master-control switcher: it sets the switcher's key mask through the
// control object of its port, which it takes from the process-wide pool while open and
// shares with the M2100 switcher on the same line.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/keyers/CKeyerVirtualMode.h"
#include "drivers/switchers/keyers/CVideoKeyDriverA.h"
#include "drivers/switchers/production/CM2100Control.h"

#include <atomic>
#include <cstdint>

// The M2100 keyer's operations, which CVideoAux_M2100 guards for virtual mode.
class KSOVRA20_API CVideoAux_M2100Device : public CVideoKeyDriverA {
public:
    // While virtual the open and the test set the status normal.
    static constexpr tagKeyerVirtualAnswers kVirtualAnswers{.normalStatus = true};

    // The keyer base's keys, then COM (2), PutOffTime (0 ms), Continuous (1), RetCheck (0).
    int32_t OnInitInstance() override;
    // Takes the control object of port COM from the pool and checks the line: 1 (the status
    // tells 3 for a line that does not open, 5 for a switcher that does not answer).
    int DevOpen() override;
    // Gives the control object back to the pool: 1.
    int DevClose() override;
    // The control object's connected value (0 without one).
    int DevIsOpen() override;
    // Opens and gives the control object's check (status 5 when 0).
    int DevTest(const char *argument) override;
    // Waits for the start (plus PutOffTime unless the first task comes from the user
    // interface) and sets the keys of all tasks in one key operation; on success each task
    // is reported on "#OVRA_KEY". The operation's result.
    int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) override;

protected:
    CVideoAux_M2100Device();

private:
    CM2100Link m_link; // the control object while open
    std::atomic<uint16_t> m_nPort{2};
    std::atomic<int32_t> m_nPutOffTime{0};
    std::atomic<bool> m_bContinuous{true};
    std::atomic<bool> m_bRetCheck{false};
};

class KSOVRA20_API CVideoAux_M2100 : public CKeyerVirtualMode<CVideoAux_M2100Device> {
    DECLARE_KEST_CLASS(CVideoAux_M2100)
};
