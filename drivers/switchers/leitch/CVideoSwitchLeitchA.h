// What the three Leitch matrix drivers share: the port key "COM" (default 2), the port opens
// when the device is activated and closes when it is deactivated, an open sets status 3 or
// 0, and the device manager never finds the device open (it opens it again through
// activation). None of them keeps the base's entries.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

class KSOVRA20_API CVideoSwitchLeitchA : public CVideoSwitchSerialA {
public:
    int32_t OnActiveInstance() override;
    int32_t OnDeactiveInstance() override;
    int DevIsOpen() override;

protected:
    CVideoSwitchLeitchA(const char *typeId, const char *description, int channels);
};
