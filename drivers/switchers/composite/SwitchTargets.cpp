#include "drivers/switchers/composite/SwitchTargets.h"

#include "Kest20/ComponentA.h"

namespace swtarget {

CVideoSwitchA *Find(const char *id, const void *self)
{
    CDeviceA *device = CDeviceA::FindByDevName(id, CVideoSwitchA::GetClassID());
    if (!device || device == self || !device->IsKindOf(CVideoSwitchA::GetClassID())) return nullptr;
    if (device->GetObjectStatus() != OBJ_ACTIVE) return nullptr;
    return dynamic_cast<CVideoSwitchA *>(device);
}

bool Open(const char *id, CDeviceA &self)
{
    tagDevStatus status;
    if (CDeviceA::OpenDev(id, CVideoSwitchA::GetClassID(), &status)) return true;
    self.SetDevStatus(status.nCode, status.GetText());
    return false;
}

CVideoSwitchA *OpenUsable(const char *id, CDeviceA &self)
{
    return Open(id, self) ? Find(id, &self) : nullptr;
}

} // namespace swtarget
