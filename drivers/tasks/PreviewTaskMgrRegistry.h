// What the preview manager and the control handle need of the registry of managers beyond its
// exported lookup and registration.
#pragma once

#include "drivers/tasks/IVideoPreviewTaskMgr.h"

#include <cstdint>

// Removes every name under which `mgr` is registered.
void ForgetPreviewTaskMgr(IVideoPreviewTaskMgr *mgr);
// A control of the manager found as GetVideoPreviewTaskMgr finds it, made while the registry
// holds it (so it cannot leave in between); null when there is no such manager.
IVideoPreviewControl *CreatePreviewControl(const char *mgrName, int32_t previewId);
