// The key task interface: what every keyer answers, when asked through QueryInterface, so that
// the key task process unit can hand it the key tasks that are due. Each operation takes the
// group of tasks (one keyer, one start time, in order); the unit does not read the results.
#pragma once

#include "platform/ComTypes.h"

#include <cstdint>

class IVideoKeyTaskArray;

// {5C80D4FE-025F-4717-A326-8456BAC6C770}
inline constexpr IID IID_IVideoKeyTaskProcess = {
    0x5C80D4FE, 0x025F, 0x4717, {0xA3, 0x26, 0x84, 0x56, 0xBA, 0xC6, 0xC7, 0x70}};

class IVideoKeyTaskProcess {
public:
    // Puts the tasks on air at their time.
    virtual int32_t DevTaskDirectTake(IVideoKeyTaskArray *tasks) = 0;
    virtual int32_t DevTaskTake(IVideoKeyTaskArray *tasks) = 0;
    virtual int32_t DevTaskPreset(IVideoKeyTaskArray *tasks) = 0;

protected:
    ~IVideoKeyTaskProcess() = default;
};
