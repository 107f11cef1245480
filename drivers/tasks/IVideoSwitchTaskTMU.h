// The switcher task management unit: keeps the switcher tasks in time order and runs one
// worker thread that presets each task ahead of its time and takes it at its time, less the
// transition's length and the switcher's own delay.
#pragma once

#include "drivers/tasks/tagVideoSwitchTask.h"

#include <cstdint>

class IVideoSwitchTaskArray;

class IVideoSwitchTaskTMU {
public:
    // Reference counting. With the last reference the unit removes its names ("Main"), stops its
    // worker and goes.
    virtual uint32_t Release() = 0;
    virtual uint32_t AddRef() = 0;
    // Reads DirectTake (and writes the value in use back), PSTRestTime and EnableFirstPreset
    // from the setting at `path`; absent keys keep the current values. 1.
    virtual int32_t LoadConfig(const char *path) = 0;
    // Replaces every task by the array's, each with an id, status 1 and error 0. The count.
    virtual int32_t SubmitTaskList(const char *name, IVideoSwitchTaskArray *tasks) = 0;
    // Copies every task into the array; its count.
    virtual int32_t GetTaskList(const char *name, IVideoSwitchTaskArray *tasks) = 0;
    virtual int32_t RemoveAll() = 0;
    virtual int32_t GetTaskCount() = 0;
    // Adds a copy with an id (written back into `task`), status 1 and error 0. The id.
    virtual int32_t AddTask(tagVideoSwitchTask &task) = 0;
    virtual int32_t IsRunning() = 0;
    // Starts the worker when it does not run. 1; 0 once the last reference has gone.
    virtual int32_t Start() = 0;
    // Asks the worker to end (a sleep until a take time ends too), waits up to 1000 ms and
    // gives it up when it has not ended. 1.
    virtual int32_t Stop() = 0;

protected:
    ~IVideoSwitchTaskTMU() = default;
};
