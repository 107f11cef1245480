// The exported handle of a key task management unit, and the process-wide registry of these
// units by name. A new unit registers itself as "Main" and comes with its own process unit.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/IVideoKeyTaskTMU.h"
#include "drivers/tasks/KeySwitchTaskShared.h"

#include <cstdint>
#include <memory>

class KSOVRA20_API CVideoKeyTaskTMU : public CVideoTaskPtr<IVideoKeyTaskTMU> {
public:
    CVideoKeyTaskTMU();
};

// A null or empty name gives the first registered unit; else the unit of that name, or null.
KSOVRA20_API IVideoKeyTaskTMU *GetVideoKeyTaskTMU(const char *name);
// Registers under the name, replacing an earlier one; a null unit removes the name. 1.
KSOVRA20_API int32_t SetVideoKeyTaskTMU(const char *name, IVideoKeyTaskTMU *tmu);

// As GetVideoKeyTaskTMU, with a reference held for the caller: the unit stays in memory while
// it is held, however soon its last handle goes (it is then out of service: it hands nothing
// to a keyer). What a control program looks up while other threads may release the unit.
KSOVRA20_API std::shared_ptr<IVideoKeyTaskTMU> HoldVideoKeyTaskTMU(const char *name);

// A new unit with one reference, registered as "Main".
IVideoKeyTaskTMU *CreateVideoKeyTaskTMU();

// A share of the unit that keeps it in memory (not in service) while the holder runs; for a
// unit of another making, a share that does not own it.
std::shared_ptr<IVideoKeyTaskTMU> LeaseKeyTaskTMU(IVideoKeyTaskTMU *tmu);
