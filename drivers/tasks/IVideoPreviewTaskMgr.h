// The preview interfaces. A preview manager holds preview tasks (one clip on one source each),
// cues the first one, runs the commands that its controls send and reports the position of a
// cued task every 100 ms through the task's callback. A control is the operator's remote for
// one preview task of one manager. Managers are found by name in a process-wide registry.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/tagVideoPreviewTask.h"

#include <cstdint>

class KSOVRA20_API IVideoPreviewControl {
public:
    // Frees the control.
    virtual int32_t Release() = 0;
    // Each command returns 1 when queued (Still: when run), 0 when the control is detached.
    virtual int32_t Jog(int32_t speed) = 0;
    // Runs at once on the caller's thread, ending a play in progress.
    virtual int32_t Still() = 0;
    virtual int32_t PlaySpeed(double speed) = 0;
    virtual int32_t Play() = 0;
    // The clip's size from its source (not created for this): 1 and the size; 0 without a
    // source, when the source fails, or when the control is detached.
    virtual int32_t GetClipSize(const char *devId, const char *clipId, int32_t &size) = 0;
    virtual int32_t Reserved() = 0;
    virtual int32_t PlayNormal() = 0;
    virtual int32_t Eject() = 0;
    virtual int32_t Stop() = 0;
    virtual int32_t Goto(int32_t frame) = 0;
    // Closes the preview (the task leaves the manager) and detaches the control.
    virtual int32_t Close() = 0;
    // As Close, and the source is closed too.
    virtual int32_t CloseDevice() = 0;

protected:
    ~IVideoPreviewControl() = default;
};

class KSOVRA20_API IVideoPreviewTaskMgr {
public:
    // Stops the threads, leaves the registry and frees the manager. 1.
    virtual int32_t Release() = 0;
    // A new control for that preview id; the caller releases it.
    virtual IVideoPreviewControl *CreateControl(int32_t previewId) = 0;
    // Appends a copy under a free id (the record's, or 100 when 0, raised by 3 while taken),
    // status 1, position 0, clip and device ids cut to terminated texts, and starts the
    // threads. The id given; 0 once the manager is released.
    virtual int32_t AddTask(const tagVideoPreviewTask &task) = 0;
    virtual int32_t RemoveAll() = 0;
    // Whether the task was there.
    virtual int32_t RemoveTask(int32_t previewId) = 0;
    // Status 3 (told to the callback): the command thread cues the task once it is first.
    // Whether the task was there.
    virtual int32_t RequestCue(int32_t previewId) = 0;
    virtual int32_t GetTaskCount() = 0;
    // A copy and 1; a zeroed record and 0 when not there.
    virtual int32_t GetTask(int32_t previewId, tagVideoPreviewTask &task) = 0;
    virtual int32_t GetTaskAt(int32_t index, tagVideoPreviewTask &task) = 0;
    // Tells the callback (id, 512, position). Whether the task was there.
    virtual int32_t ReportPosition(int32_t previewId, int32_t position) = 0;
    // Empties the task list and waits (bounded) for both threads to end. 1.
    virtual int32_t Shutdown() = 0;

protected:
    ~IVideoPreviewTaskMgr() = default;
};

// The manager registered under `name` (exact bytes); for a null or empty name the first one
// registered. Null when none.
KSOVRA20_API IVideoPreviewTaskMgr *GetVideoPreviewTaskMgr(const char *name);
// Registers `mgr` under `name`, replacing what was there; a null manager removes the name.
// 1; 0 for a null name.
KSOVRA20_API int32_t SetVideoPreviewTaskMgr(const char *name, IVideoPreviewTaskMgr *mgr);
