// Exported handle of a variant-1 broadcast task manager (see CVideoBroTaskMgrHandle).
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/CVideoBroTaskMgrHandle.h"

class KSOVRA20_API CVideoBroTaskMgr1 : public CVideoBroTaskMgrHandle<IVideoBroTaskMgr1> {
public:
    // A new manager with its process unit.
    CVideoBroTaskMgr1();
};
