#include "drivers/switchers/leitch/CVideoSwitchLeitchA.h"

int32_t CVideoSwitchLeitchA::OnActiveInstance()
{
    return CDeviceA::OnActiveInstance() ? Serial().DevOpen() : 0;
}

int32_t CVideoSwitchLeitchA::OnDeactiveInstance()
{
    Serial().DevClose();
    return CDeviceA::OnDeactiveInstance();
}

int CVideoSwitchLeitchA::DevOpen()
{
    return OpenPlain();
}

int CVideoSwitchLeitchA::DevIsOpen()
{
    return CDeviceA::DevIsOpen();
}
