// The exported handle of the key task list dialog: the tasks of the first registered key task
// management unit with their keyer, time, key, operation, function and status.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/KeySwitchTaskListDlg.h"
#include "drivers/tasks/KeySwitchTaskShared.h"

class KSOVRA20_API CVideoKeyTaskDialog : public CVideoTaskPtr<IVideoTaskListDialog> {
public:
    CVideoKeyTaskDialog();
};

// The status name of a key task status: "stTaskBegin" to "stTaskPgmEnd", else "未知".
KSOVRA20_API const char *KeyTaskStatusName(int32_t status);
