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

CVideoSwitchLeitchA::CVideoSwitchLeitchA(const char *typeId, const char *description, int channels)
    : CVideoSwitchSerialA({.typeId = typeId,
                           .description = description,
                           .sources = 16,
                           .channels = channels,
                           .portDefault = 2})
{
}

int CVideoSwitchLeitchA::DevIsOpen()
{
    return CDeviceA::DevIsOpen();
}
