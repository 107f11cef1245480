// The broadcast task manager interfaces: a manager owns the play-out schedule of one channel:
// the pending tasks with the task on air (program, PGM) and the next to go on air (preset,
// PST), the ended tasks still to be stopped on their sources, and one process unit whose
// threads drive the sources. Status changes come back through SetTaskParam; a task's callback
// runs after the manager's lock is released.
//
// IVideoBroTaskMgr holds what both variants share; the sources and the process unit work
// through it. In variant 1 the program task is always the head of the pending list and ended
// tasks leave it; in variant 3 program and preset are named by id anywhere in the list and
// played tasks stay in it.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/tagVideoBroTask.h"
#include "platform/Collections.h"

#include <cstdint>

class IVideoBroTaskTPU;

class KSOVRA20_API IVideoBroTaskMgr {
public:
    // Reference counting of the object; holders that are not handles (the process unit's
    // threads during a source call) keep it alive with these. Both return the new count.
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

    // A copy of the preset; its id, 0 (and id 0 in `task`) when there is none.
    virtual int32_t GetPstTask(tagVideoBroTask &task) = 0;
    // A copy of the program task; 1 when there is one (else id 0 in `task`).
    virtual int32_t GetPgmTask(tagVideoBroTask &task) = 0;
    virtual int32_t IsEmpty() = 0;
    virtual int32_t Lock() = 0;
    virtual int32_t Unlock() = 0;
    // The stored record in the pending, else the ended list, without locking: the caller
    // holds Lock. 1 when found.
    virtual int32_t FindTask(int32_t id, tagVideoBroTask **task) = 0;
    // Type 0 sets the status (with the variant's reactions), 1 param 1, 2 param 2, 3 adds flag
    // bits. 1 for type 0, else whether the task was found.
    virtual int32_t SetTaskParam(int32_t id, int32_t value, int32_t type) = 0;
    // Param 1, param 2 or the flags (types 1 to 3) from the pending, else the ended list; 0
    // when not found or for another type.
    virtual int32_t GetTaskParam(int32_t id, int32_t type) = 0;
    // Sets the value word of a pending task. 0.
    virtual int32_t SetTaskValue(int32_t id, int32_t value) = 0;
    virtual int32_t GetTaskValue(int32_t id) = 0;
    // Takes the first ended task out (a copy into `task` when given); its id, 0 when none.
    virtual int32_t PopEndedTask(tagVideoBroTask *task) = 0;
    virtual int32_t AddEndedTask(const tagVideoBroTask &task) = 0;
    // A new schedule: a NULL-terminated list of record pointers and the wanted preset id.
    // 1 when taken, 0 when refused (nothing changed).
    virtual int32_t Submit(tagVideoBroTask *const *tasks, int32_t pstId) = 0;
    // Two slots kept free in the layout; they answer 1 and 0.
    virtual int32_t Reserved1() = 0;
    virtual int32_t Reserved2() = 0;
    virtual int32_t SetAttachedObject(int32_t value) = 0;
    virtual int32_t GetAttachedObject() = 0;
    virtual int32_t Abort() = 0;
    virtual int32_t SyncTask(int32_t id, const int64_t *start, int32_t position) = 0;
    virtual int32_t Hold() = 0;
    virtual int32_t Take(int32_t refuseWhileOnAir) = 0;
    // The program task ends (status 13); 0 when none is on air.
    virtual int32_t StopPgm(int32_t reserved) = 0;
    virtual IVideoBroTaskTPU *GetTPU() = 0;
    // Appends a copy and starts the process unit. 0.
    virtual int32_t AddTask(const tagVideoBroTask &task) = 0;
    // A copy before the pending task `id`; nothing when not found. 0.
    virtual int32_t InsertTask(const tagVideoBroTask &task, int32_t id) = 0;
    virtual int32_t RemoveTask(int32_t id) = 0;
    virtual int32_t RemoveAllTask() = 0;
    // Takes and leaves the lock. 1.
    virtual int32_t Sync(int32_t reserved) = 0;
    // A copy of the pending task `id` (`task` untouched when none). 0.
    virtual int32_t GetTask(int32_t id, tagVideoBroTask &task) = 0;
    virtual int32_t GetTaskAt(int32_t index, tagVideoBroTask &task) = 0;
    virtual int32_t GetTaskCount() = 0;
    // The pending ids in order; their count.
    virtual int32_t GetTaskIDList(CDWordArray &ids) = 0;
    // The ids still to play; their count.
    virtual int32_t GetPlayIDList(CDWordArray &ids) = 0;
    // The variant's three operations and Pause follow, in each variant's interface.

    int32_t SetTaskStatus(int32_t id, int32_t status)
    {
        return SetTaskParam(id, status, BROTASK_PARAM_STATUS);
    }
    int32_t SetTaskFlag(int32_t id, int32_t flags)
    {
        return SetTaskParam(id, flags, BROTASK_PARAM_FLAGS);
    }
    int32_t SetTaskParam1(int32_t id, int32_t value)
    {
        return SetTaskParam(id, value, BROTASK_PARAM_1);
    }
    int32_t GetTaskFlag(int32_t id) { return GetTaskParam(id, BROTASK_PARAM_FLAGS); }
    // Always 0: the status is not read through GetTaskParam.
    int32_t GetTaskStatus(int32_t id) { return GetTaskParam(id, BROTASK_PARAM_STATUS); }
    int32_t GetTaskParam1(int32_t id) { return GetTaskParam(id, BROTASK_PARAM_1); }

protected:
    ~IVideoBroTaskMgr() = default;
};

// Variant 1, with a staging list.
class KSOVRA20_API IVideoBroTaskMgr1 : public IVideoBroTaskMgr {
public:
    virtual int32_t RemoveAllStaged() = 0;
    // Submit with the staging list's records.
    virtual int32_t SubmitStaged() = 0;
    virtual int32_t AddStaged(const tagVideoBroTask &task) = 0;
    // Nothing to pause in this variant: 0.
    virtual int32_t Pause() = 0;

protected:
    ~IVideoBroTaskMgr1() = default;
};

// Variant 3, with operator navigation.
class KSOVRA20_API IVideoBroTaskMgr3 : public IVideoBroTaskMgr {
public:
    // Goto to the index of that id.
    virtual int32_t GotoTask(int32_t id) = 0;
    // The record at `index` becomes the preset. 0.
    virtual int32_t Goto(int32_t index) = 0;
    virtual int32_t Reset() = 0;
    // Stops the program, holds a waiting start and makes the preset a triggered one; whether
    // there was a preset.
    virtual int32_t Pause() = 0;

protected:
    ~IVideoBroTaskMgr3() = default;
};
