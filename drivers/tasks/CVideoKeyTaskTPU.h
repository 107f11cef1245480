// The exported handle of a key task process unit: creates an unbound unit; copies share it.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/IVideoKeyTaskTPU.h"
#include "drivers/tasks/KeySwitchTaskShared.h"

class KSOVRA20_API CVideoKeyTaskTPU : public CVideoTaskPtr<IVideoKeyTaskTPU> {
public:
    CVideoKeyTaskTPU();
};

// A new unbound unit with one reference.
IVideoKeyTaskTPU *CreateVideoKeyTaskTPU();
