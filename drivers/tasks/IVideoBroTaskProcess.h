// The broadcast-task process interface: what a play-out source answers, when asked through
// QueryInterface, so that the process unit's threads can cue, start, stop, pause and trace the
// manager's preset and program tasks on it. Each operation takes the manager and a reserved 0;
// the process unit does not read the results.
#pragma once

#include "platform/ComTypes.h"

#include <cstdint>

class IVideoBroTaskMgr;

// {5C80D4FE-025F-4717-A326-8456BAC6C669}
inline constexpr IID IID_IVideoBroTaskProcess = {
    0x5C80D4FE, 0x025F, 0x4717, {0xA3, 0x26, 0x84, 0x56, 0xBA, 0xC6, 0xC6, 0x69}};

class IVideoBroTaskProcess {
public:
    virtual int32_t DevTaskCue(IVideoBroTaskMgr *mgr, int32_t reserved) = 0;
    virtual int32_t DevTaskPlay(IVideoBroTaskMgr *mgr, int32_t reserved) = 0;
    virtual int32_t DevTaskStop(IVideoBroTaskMgr *mgr, int32_t reserved) = 0;
    virtual int32_t DevTaskPause(IVideoBroTaskMgr *mgr, int32_t reserved) = 0;
    virtual int32_t DevTaskTrace(IVideoBroTaskMgr *mgr, int32_t reserved) = 0;

protected:
    ~IVideoBroTaskProcess() = default;
};
