// What a process unit asks of the manager it serves beyond the exported interface.
#pragma once

#include <cstdint>

class IBroTaskMgrUnit {
public:
    // Ends the preset `id` when it never went on air, is not triggered and its whole slot
    // (start plus DUR) lies before `now`: status 13 with its flags kept (its callback tells it
    // as ended) and the next task becomes the preset. A task that never played needs no stop on
    // its source: it does not go to the ended list. 1 when it was ended.
    virtual int32_t EndLostPst(int32_t id, int64_t now) = 0;

protected:
    ~IBroTaskMgrUnit() = default;
};
