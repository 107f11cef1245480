// What a process unit asks of the manager it serves beyond the exported interface.
#pragma once

#include "drivers/tasks/tagVideoBroTask.h"

#include <cstdint>

class IBroTaskMgrUnit {
public:
    // A copy of the task that becomes the preset once the preset `pstId` and the `nth` - 1
    // tasks after it have gone (nth 1: the next one), with the start it then gets; its id, 0
    // when none follows.
    virtual int32_t GetNextPst(int32_t pstId, int32_t nth, tagVideoBroTask &next) = 0;
    // Passes over the preset `id`, which has not gone on air and is not triggered: with
    // `uncued` only while it is not cued, else only once its whole slot (start plus DUR) lies
    // before `now`. It ends with status 13 and its flags kept, a task that has none being given
    // `flag` first, so the host always hears why; the next task becomes the preset. A task
    // that never played needs no stop on its source: it does not go to the ended list, and
    // where played tasks end with the stop's statuses it is given them at once. 1 when it was
    // passed over.
    virtual int32_t PassOverPst(int32_t id, int64_t now, bool uncued, uint32_t flag) = 0;

protected:
    ~IBroTaskMgrUnit() = default;
};
