#include "drivers/model/VideoDevEntries.h"

#include "drivers/model/CVideoAuxA.h"
#include "drivers/model/CVideoRecA.h"
#include "drivers/model/CVideoSrcA.h"

namespace {
iRtc *ClassOrDevice(const char *name)
{
    iRtc *device = CDeviceA::GetClassID();
    iRtc *found = device->FindByNames(name);
    return found ? found : device;
}
} // namespace

iRtc *GetVideoDevKindRtc(int32_t kind)
{
    switch (kind) {
    case VIDEODEV_SRC:
        return CVideoSrcA::GetClassID();
    case VIDEODEV_REC:
        return CVideoRecA::GetClassID();
    case VIDEODEV_AUX:
        return CVideoAuxA::GetClassID();
    case VIDEODEV_STORE:
        return ClassOrDevice("CVideoStoreA");
    case VIDEODEV_SWITCH:
        return ClassOrDevice("CVideoSwitchA");
    default:
        return nullptr;
    }
}
