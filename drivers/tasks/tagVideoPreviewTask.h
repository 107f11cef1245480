// One preview task: a clip on a source that an operator looks at before it goes on air. Host
// programs fill it and hand it to a preview manager, which tells them what happens to it
// through the record's callback.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/tagVideoBroTask.h"

#include <cstdint>

// Preview statuses and the other codes the callback receives.
enum VideoPreviewCode : int32_t {
    PREVIEW_ADDED = 1,      // status after AddTask
    PREVIEW_CUE_WANTED = 3, // statuses 3 to 10 ask the command thread to cue
    PREVIEW_CUE_WANTED_LAST = 10,
    PREVIEW_CUED = 11,             // ready for commands
    PREVIEW_RELEASED = 17,         // closed and taken off the manager (value 0)
    PREVIEW_POSITION_SET = 256,    // value = the stored position
    PREVIEW_POSITION_REPORT = 512, // value = the position read, 0 when none
};

// The callback: user data, preview id, code, value.
using VIDEOPREVIEW_CALLBACK = int32_t (*)(void *userData, int32_t previewId, int32_t code,
                                          int32_t value);

struct KSOVRA20_API tagVideoPreviewTask {
    uint32_t Reserved1 = 0;
    int32_t PreviewID = 0; // given by AddTask
    name32_t ID;           // clip id
    name32_t Dev;          // device id of the source
    int32_t SOM = 0;       // frames
    int32_t DUR = 0;       // frames
    int32_t Status = 0;
    int32_t Position = 0;
    int32_t CueMode = 0; // handed to the source's PreviewCue as its last argument
    uint32_t Reserved2 = 0;
    void *pUserData = nullptr;
    VIDEOPREVIEW_CALLBACK pfnCallBack = nullptr;

    // Calls the callback when both user data and callback are set; its result, else 0.
    int32_t CallBack(int32_t code, int32_t value) const
    {
        return pUserData && pfnCallBack ? pfnCallBack(pUserData, PreviewID, code, value) : 0;
    }
};
// The fields keep their widths and order; the user data and the callback are native pointers,
// which makes the record 112 bytes on a 64-bit platform.
static_assert(sizeof(tagVideoPreviewTask) == 112, "the preview record's 64-bit layout");
