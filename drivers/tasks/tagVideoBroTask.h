// One broadcast task: play this clip on this source at this time (or when the operator takes
// it) for this many frames. Host programs fill it and hand it to a task manager; the process
// unit and the play-out sources pass it around as copies and report progress by task id.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstdint>

// The record's 32-byte text field. Its text is its own storage, always zero-terminated; a
// longer text is cut on a character boundary.
struct KSOVRA20_API name32_t {
    static constexpr int kSize = 32;

    char szText[kSize] = {};

    name32_t() = default;
    name32_t(const char *text) { Set(text); }
    name32_t &operator=(const char *text)
    {
        Set(text);
        return *this;
    }
    operator const char *() const { return szText; }
    void Set(const char *text);
};
static_assert(sizeof(name32_t) == 32, "a name field is 32 bytes");

// Task status values; the texts in comments are the names operators see.
enum BroTaskStatus : int32_t {
    BROTASK_BEGIN = 1,        // "Begin"
    BROTASK_DEVCHKBEGIN = 2,  // "DevChkBegin"
    BROTASK_DEVCHECKING = 3,  // "DevChecking"
    BROTASK_DEVCHKEND = 4,    // "DevChkEnd"
    BROTASK_CLIPCHKBEGIN = 5, // "ClipChkBegin"
    BROTASK_CLIPCHECKING = 6, // "ClipChecking"
    BROTASK_CLIPCHKEND = 7,   // "ClipChkEnd"
    BROTASK_BEGINCUE = 8,     // "BeginCue"
    BROTASK_CUING = 9,        // "Cuing"
    BROTASK_ENDCUE = 10,      // "EndCue"
    BROTASK_BEGINPLAY = 11,   // "BeginPlay"
    BROTASK_PLAYING = 12,     // "Playing"
    BROTASK_ENDPLAY = 13,     // "EndPlay"
    BROTASK_EJECTBEGIN = 14,  // "EjectBegin"
    BROTASK_EJECTING = 15,    // "Ejecting"
    BROTASK_EJECTEND = 16,    // "EjectEnd"
    BROTASK_FINISHED = 17,    // "Finished"
    BROTASK_ERRNOTIFY = 32,   // "ErrNotify": the callback's status when flag bits are added
};

enum BroTaskStartType : int32_t {
    BROTASK_START_FOLLOW = 1,  // follows the program task (variant-3 managers); the default
    BROTASK_START_TIME = 2,    // any value but 3 is timed
    BROTASK_START_TRIGGER = 3, // starts when the operator takes it
};

// Failure bits of the flag word; only ever added to.
enum BroTaskFlag : int32_t {
    BROTASK_FLAG_DEVICE = 1, // source missing, not opened, or failed to start
    BROTASK_FLAG_CLIP = 2,   // clip missing
    BROTASK_FLAG_CUE = 8,    // cue failed
};

// What SetTaskParam / GetTaskParam address.
enum BroTaskParam : int32_t {
    BROTASK_PARAM_STATUS = 0,
    BROTASK_PARAM_1 = 1,
    BROTASK_PARAM_2 = 2, // tick count of the last cue attempt
    BROTASK_PARAM_FLAGS = 3,
};

// The status callback: called with the user data as its receiver (as a member call passes its
// object), then task id, status and extra.
using VIDEOBROTASK_CALLBACK = int32_t (*)(void *userData, int32_t taskId, int32_t status,
                                          int32_t extra);

struct KSOVRA20_API tagVideoBroTask {
    static constexpr int64_t kUnitsPerFrame = 400000; // 100 ns units at 25 frames a second

    int32_t TaskID = 0;                       // 0: no task
    int32_t StartType = BROTASK_START_FOLLOW; // 3 triggered, else timed
    name32_t Dev;                             // device id of the source
    name32_t ID;                              // clip id
    int32_t SOM = 0;                          // frames
    int32_t DUR = 0;                          // frames
    int64_t Start = 0;                        // framework time, 100 ns units
    void *pUserData = nullptr;
    VIDEOBROTASK_CALLBACK pfnCallBack = nullptr;
    int32_t Status = BROTASK_BEGIN;
    uint32_t Flags = 0;
    int32_t Param1 = 0;
    int32_t Value = 0; // 1: cued to the first frame
    uint32_t Param2 = 0;
    uint32_t Reserved = 0;

    bool IsTrigger() const { return StartType == BROTASK_START_TRIGGER; }
    // Start + DUR frames.
    int64_t GetEndTime() const { return Start + DUR * kUnitsPerFrame; }
    // Start - now / now - start, on the framework clock.
    int64_t GetTimeToStart() const;
    int64_t GetTimeSinceStart() const;
    // Calls the callback when both user data and callback are set; its result, else 0.
    int32_t CallBack(int32_t status, int32_t extra) const;
};
// The fields keep their widths and order; the two native pointers make the record 128 bytes
// on a 64-bit platform.
static_assert(sizeof(tagVideoBroTask) == 128, "the task record's 64-bit layout");
