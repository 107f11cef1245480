// One switcher task: at a given time put source SrcID on channel ChnID of a switcher, after
// presetting it with its transition. Host programs fill it and hand it to the switcher task
// management unit, which reports progress through the task's callback.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/tagVideoBroTask.h"

#include <cstdint>

enum SwitchTaskStatus : int32_t {
    SWITCHTASK_BEGIN = 1,       // "stTaskBegin": added, or back after an error
    SWITCHTASK_CHECKDEV = 2,    // "stTaskCheckDev"
    SWITCHTASK_PRESET = 3,      // "stTaskPreset"
    SWITCHTASK_SETMODE = 4,     // "stTaskSetMode"
    SWITCHTASK_SETRATE = 5,     // "stTaskSetRate"
    SWITCHTASK_BEGINSWITCH = 6, // "stTaskBeginSwitch"
    SWITCHTASK_ENDSWITCH = 7,   // "stTaskEndSwitch"
    SWITCHTASK_ERROR = 32,      // "stTaskError": told to the callback only, with the error
};

enum SwitchTaskError : int32_t {
    SWITCHTASK_ERR_NONE = 0,
    SWITCHTASK_ERR_DEVICE = 1, // "设备没有准备好": no switcher
    SWITCHTASK_ERR_SWITCH = 2, // "切换失败": the switcher refused
};

// A transition type that needs no lead time.
constexpr int32_t kSwitchTransCut = 1;

// The status callback: user data, task id, status (32 for an error) and parameter.
using VIDEOSWITCHTASK_CALLBACK = int32_t (*)(void *userData, int32_t taskId, int32_t status,
                                             int32_t param);

// The fields keep their widths and order; the 64-bit time aligned on 8 bytes and the two native
// pointers make the record 128 bytes on a 64-bit platform.
struct KSOVRA20_API tagVideoSwitchTask {
    int32_t TaskID = 0; // assigned by the management unit when 0
    int32_t Status = 0;
    int32_t Error = SWITCHTASK_ERR_NONE;
    name32_t DevID;   // switcher device id
    name32_t Text;    // not read by the engine
    int64_t Time = 0; // take time, framework time in 100 ns units
    int32_t ChnID = 0;
    int32_t SrcID = 0;
    int32_t TransType = 0;
    int32_t TransRate = 0; // 0-3 select the lead time
    int32_t Take2 = 0;     // nonzero: the switcher's second take
    void *pUserData = nullptr;
    VIDEOSWITCHTASK_CALLBACK pfnCallBack = nullptr;
};
static_assert(sizeof(tagVideoSwitchTask) == 128, "the switcher task record's 64-bit layout");
