// What a play list asks of the source that owns it: the play-task steps its thread calls
// each cycle, and the times from which it computes its waits.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstdint>

class KSOVRA20_API IVideoPlayTaskOwner {
public:
    virtual int OnTaskStartNewTask() = 0;
    virtual int OnTaskCheckNextTask() = 0;
    virtual int OnTaskCheckTaskList() = 0;
    virtual int OnTaskStopCurrentTask() = 0;
    virtual int OnTaskTracePgmTask() = 0;
    // Milliseconds before a task's start at which the source prepares and plays it.
    virtual int32_t GetPrepareTime() = 0;
    virtual int32_t GetPlayBeforeTime() = 0;
    // The longest the thread goes without checking the list, ms.
    virtual int32_t GetTaskPollInterval() = 0;

protected:
    ~IVideoPlayTaskOwner() = default;
};
