// The exported handle of the switcher task list dialog: the tasks of the first registered
// switcher task management unit with their switcher, time, channel, source and state.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/KeySwitchTaskListDlg.h"
#include "drivers/tasks/KeySwitchTaskShared.h"
#include "drivers/tasks/tagVideoSwitchTask.h"

class KSOVRA20_API CVideoSwitchTaskDialogPtr : public CVideoTaskPtr<IVideoTaskListDialog> {
public:
    CVideoSwitchTaskDialogPtr();
};

// The state text of a task: its error's text, else its status name, else "未知".
KSOVRA20_API const char *SwitchTaskStateText(const tagVideoSwitchTask &task);
