// The keyer of the M2100 master-control switcher: it sets the switcher's key mask through the
// control object of its port, which it takes from the process-wide pool while open and
// shares with the M2100 switcher on the same line.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/keyers/CVideoKeyDriverA.h"
#include "drivers/switchers/production/CM2100Control.h"

#include <atomic>
#include <cstdint>

class KSOVRA20_API CVideoAux_M2100 : public CVideoKeyDriverA {
    DECLARE_KEST_CLASS(CVideoAux_M2100)

    CVideoAux_M2100();

    // The keyer base's keys, then COM (2), PutOffTime (0 ms), Continuous (1), RetCheck (0).
    int32_t OnInitInstance() override;
    // Takes the control object of port COM from the pool and checks the line: 1 (the status
    // tells 3 for a line that does not open, 5 for a switcher that does not answer); 1 at
    // once while virtual.
    int DevOpen() override;
    // Gives the control object back to the pool: 1.
    int DevClose() override;
    // 1 while virtual; else the control object's connected value (0 without one).
    int DevIsOpen() override;
    // 1 while virtual; else opens and gives the control object's check (status 5 when 0).
    int DevTest(const char *argument) override;
    // Waits for the start (plus PutOffTime unless the first task comes from the user
    // interface) and sets the keys of all tasks in one key operation; on success each task
    // is reported on "#OVRA_KEY". The operation's result; 1 at once while virtual.
    int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) override;

private:
    CM2100Link m_link; // the control object while open
    std::atomic<uint16_t> m_nPort{2};
    std::atomic<int32_t> m_nPutOffTime{0};
    std::atomic<bool> m_bContinuous{true};
    std::atomic<bool> m_bRetCheck{false};
};
