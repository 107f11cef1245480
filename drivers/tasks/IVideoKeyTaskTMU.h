// The key task management unit: keeps the key tasks sorted by time, fills in their keyer and
// key number from configuration, drops outdated caption tasks and hands the due tasks, grouped
// by keyer and time, to its process unit.
#pragma once

#include "drivers/tasks/tagVideoKeyTask.h"

#include <cstdint>

class IVideoKeyTaskArray;
class IVideoKeyTaskTPU;

class IVideoKeyTaskTMU {
public:
    // Reference counting. With the last reference the unit removes its names ("Main"), unbinds
    // its process unit and shuts it down, and goes (a holder of a held lookup keeps it in
    // memory, out of service, with its process unit).
    virtual uint32_t Release() = 0;
    virtual uint32_t AddRef() = 0;
    virtual IVideoKeyTaskTPU *GetTPU() = 0;
    // Adds a copy (status 1, parameter 0) when a keyer can be assigned, and wakes the process
    // unit. 1 when added, else 0.
    virtual int32_t AddTask(const tagVideoKeyTask &task) = 0;
    // A null or empty name removes every task, else every task of that source. The number
    // removed.
    virtual int32_t RemoveBySource(const char *source) = 0;
    // Replaces the tasks of the source `name` by the NULL-terminated list; outdated caption
    // tasks are filtered. The number of tasks added.
    virtual int32_t SubmitTaskList(tagVideoKeyTask *const *tasks, const char *name) = 0;
    // 1 and a copy; 0 out of range.
    virtual int32_t GetTaskAt(int32_t index, tagVideoKeyTask &task) = 0;
    virtual int32_t GetTaskCount() = 0;
    // A list built record by record: begun (emptied), added to, submitted under a name and
    // emptied again (ended).
    virtual int32_t BeginTaskList() = 0;
    virtual int32_t AddToTaskList(const tagVideoKeyTask &task) = 0;
    virtual int32_t SubmitTaskList(const char *name) = 0;
    virtual int32_t EndTaskList() = 0;
    // Progress of a task handed out: no effect here. 0.
    virtual int32_t OnTaskStatus(int32_t id, int32_t status, int32_t param) = 0;
    virtual int32_t OnTaskFailed(int32_t id, int32_t status, const char *text) = 0;
    // Called by the process unit while it has nothing due. 1.
    virtual int32_t OnIdle() = 0;
    // Hands out the next group of due tasks (same keyer, same start time) into `out`; 1 when
    // any were handed out.
    virtual int32_t GetPgmTask(IVideoKeyTaskArray *out) = 0;

protected:
    ~IVideoKeyTaskTMU() = default;
};
