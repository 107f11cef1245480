// How the composite switchers reach the switchers they drive, by device id. A target is
// usable when a live switcher of that id exists, is active and is not the asking device
// itself (a switcher that names itself would call itself without end).
#pragma once

#include "drivers/model/CVideoSwitchA.h"

namespace swtarget {

// The usable switcher `id`, else null; creates nothing. `self` is the asking device.
CVideoSwitchA *Find(const char *id, const void *self);
// CDeviceA::OpenDev of the switcher `id`: finds or creates and opens it. Whether a device came
// back; when none did, the reason goes into the status of `self`.
bool Open(const char *id, CDeviceA &self);
// Open, then the usable switcher `id` or null.
CVideoSwitchA *OpenUsable(const char *id, CDeviceA &self);

} // namespace swtarget
