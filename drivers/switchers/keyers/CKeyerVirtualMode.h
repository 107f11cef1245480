// The main/backup ("virtual") mode of a keyer driver, over its driver class: while the keyer is
// virtual (CVideoKeyCtrlA's flag, set by its setting "Virtual" or the share bus with Exchange
// on) every device operation and key task take is answered here and leaves the keyer alone;
// otherwise it is the driver's. The driver class states, in its kVirtualAnswers, the few
// answers that differ from the guard's 1; the driver itself checks nothing. DevClose is not
// guarded: a close gives up the line and ends the waits in either mode.
#pragma once

#include "drivers/switchers/keyers/CVideoKeyCtrlA.h"

#include <cstdint>

// How a virtual keyer answers: every operation 1, reaching nothing, but for what is named here.
struct tagKeyerVirtualAnswers {
    // The open and the open state are the driver's in either mode: opening its own port sends
    // nothing, and a take after leaving virtual mode finds the line open.
    bool openInEitherMode = false;
    // A virtual open and test set the status normal first.
    bool normalStatus = false;
    // The answer of a virtual direct take.
    int32_t directTake = 1;
};

template <class Driver> class CKeyerVirtualMode : public Driver {
    static constexpr tagKeyerVirtualAnswers kAnswers = Driver::kVirtualAnswers;

public:
    using Driver::Driver;

    int DevOpen() override
    {
        return Answered(kAnswers.openInEitherMode) ? Normal() : Driver::DevOpen();
    }
    int DevIsOpen() override
    {
        return Answered(kAnswers.openInEitherMode) ? 1 : Driver::DevIsOpen();
    }
    int DevTest(const char *argument) override
    {
        return this->IsVirtual() ? Normal() : Driver::DevTest(argument);
    }
    int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) override
    {
        return this->IsVirtual() ? kAnswers.directTake : Driver::DevTaskDirectTake(tasks);
    }
    int32_t DevTaskTake(IVideoKeyTaskArray *tasks) override
    {
        return this->IsVirtual() ? 1 : Driver::DevTaskTake(tasks);
    }
    int32_t DevTaskPreset(IVideoKeyTaskArray *tasks) override
    {
        return this->IsVirtual() ? 1 : Driver::DevTaskPreset(tasks);
    }

private:
    // Whether the guard answers an operation the driver may answer in either mode.
    bool Answered(bool driversInEitherMode) const
    {
        return !driversInEitherMode && this->IsVirtual();
    }
    int Normal()
    {
        if constexpr (kAnswers.normalStatus) this->SetDevStatus(DEVSTATUS_NORMAL);
        return 1;
    }
};
