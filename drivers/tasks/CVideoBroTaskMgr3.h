// Exported handle of a variant-3 broadcast task manager (see CVideoBroTaskMgrHandle).
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/CVideoBroTaskMgrHandle.h"

class KSOVRA20_API CVideoBroTaskMgr3 : public CVideoBroTaskMgrHandle<IVideoBroTaskMgr3> {
public:
    // A new manager with its process unit.
    CVideoBroTaskMgr3();
};
