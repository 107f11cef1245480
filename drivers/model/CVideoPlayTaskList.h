// The play list of a source that runs its own schedule: host programs hand it whole lists of
// play tasks, it merges each with what is on air, and its thread calls the source's
// play-task steps in a fixed order, sleeping between cycles until the next thing is due. The
// source reads the preset, program and stopped tasks and moves tasks on and off air.
//
// One lock guards the lists and the active task; status callbacks and log lines are made
// after it is left. The thread starts on demand once the list has an owner.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoPlayTask.h"
#include "drivers/model/IVideoPlayTaskOwner.h"

#include <cstdint>
#include <memory>

class KSOVRA20_API CVideoPlayTaskList {
public:
    // How long Stop waits for the thread to end its cycle before giving it up: a cycle may
    // sleep to a start and cue a device over a serial line.
    static constexpr uint32_t kStopBoundMs = 15000;

    explicit CVideoPlayTaskList(IVideoPlayTaskOwner *owner = nullptr);
    // Stops the thread.
    ~CVideoPlayTaskList();
    CVideoPlayTaskList(const CVideoPlayTaskList &) = delete;
    CVideoPlayTaskList &operator=(const CVideoPlayTaskList &) = delete;

    // Without an owner the thread never starts.
    void SetOwner(IVideoPlayTaskOwner *owner);

    // Places the task by its start (status 1, flags 0), replacing a pending task of its id;
    // the active task's id only takes the new DUR. 0 for a task id of 0.
    int Add(const CVideoPlayTask &task);
    // Removes the pending task; a removed preset is told status 1. 1 when found.
    int RemoveAt(int32_t taskId);
    int RemoveAll();
    // Queues a whole list for the thread to merge with what is on air.
    int SubmitTaskList(const CVideoPlayTaskArray &tasks);
    // The preset goes back to waiting. Answers 0.
    int CancelPst();
    int RecuePgm(const CVideoPlayTask &task, const CVideoPlayTaskArray &tasks);
    // Takes the active task off air and, when more than 10 s of it are left, queues the rest
    // in front of the preset to be cued and started again in 5 s.
    int SyncPlay();
    // Clears the active task. Answers 0.
    int StopPgm();
    // The active task's DUR becomes the frames played since its start.
    int ModifyPgmTaskDur();
    // Writes `task` into the active task (id 0 or the active id) or the pending task of its
    // id; with `notify`, a changed status or flags are told to the callback. 1 when found.
    int ModifyTask(const CVideoPlayTask &task, int notify);
    // Renames the clip of every pending task that plays `oldClip`; their number.
    int ModifyTaskClip(const char *oldClip, const char *newClip);
    // With `all` the stopped tasks, then the active task (if any) and the pending tasks.
    int GetTaskList(CVideoPlayTaskArray &tasks, int all);
    // The active task's id (0 when none).
    int32_t Active();
    int32_t GetPgmTask(CVideoPlayTask &task);
    // Makes `task` the one on air (an empty task clears it); the task that was on air goes
    // to the stopped list.
    int SetActiveTask(const CVideoPlayTask &task);
    // The oldest stopped task, or the preset; taken off with `remove`. Its id, 0 when none.
    int32_t GetStoppedTask(CVideoPlayTask &task, int remove);
    int32_t GetPresetTask(CVideoPlayTask &task, int remove);

    int WorkingFine();
    int Start();
    // Asks the thread to end and waits for it (giving it up after the bound): the exchanges
    // and pauses of the step it is in end at once, and it sends nothing more (the thread is
    // bound to a calling unit for its run). From the thread itself (a step that closes the
    // device) it only asks, and the step runs on.
    int Stop();

private:
    struct State;
    std::shared_ptr<State> m_pState; // shared with the thread
};
