// What the three Leitch matrix drivers share: the port opens when the device is activated and
// closes when it is deactivated, an open sets status 3 or 0, and the device manager never
// finds the device open (it opens it again through activation).
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

class KSOVRA20_API CVideoSwitchLeitchA : public CVideoSwitchSerialA {
public:
    int32_t OnActiveInstance() override;
    int32_t OnDeactiveInstance() override;
    int DevOpen() override;
    int DevIsOpen() override;

protected:
    using CVideoSwitchSerialA::CVideoSwitchSerialA;
};
