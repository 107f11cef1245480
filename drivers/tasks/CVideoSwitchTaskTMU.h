// The exported handle of a switcher task management unit, and the process-wide registry of
// these units by name. A new unit registers itself as "Main" and loads its settings from
// "/etc/tvx/Environment".
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/IVideoSwitchTaskTMU.h"
#include "drivers/tasks/KeySwitchTaskShared.h"

#include <cstdint>
#include <memory>

class KSOVRA20_API CVideoSwitchTaskTMUPtr : public CVideoTaskPtr<IVideoSwitchTaskTMU> {
public:
    CVideoSwitchTaskTMUPtr();
};

// A new unit with one reference, registered as "Main".
KSOVRA20_API IVideoSwitchTaskTMU *CreateVideoSwitchTaskTMU();

// A null or empty name gives the first registered unit; else the unit of that name, or null.
KSOVRA20_API IVideoSwitchTaskTMU *GetVideoSwitchTaskTMU(const char *name);
// Registers under the name, replacing an earlier one; a null unit removes the name. 1.
KSOVRA20_API int32_t SetVideoSwitchTaskTMU(const char *name, IVideoSwitchTaskTMU *tmu);
// As GetVideoSwitchTaskTMU, with a reference held for the caller: the unit stays in memory
// while it is held, however soon its last handle goes (it is then out of service: its worker
// does not start again). What a control program looks up while other threads may release the
// unit.
KSOVRA20_API std::shared_ptr<IVideoSwitchTaskTMU> HoldVideoSwitchTaskTMU(const char *name);
