// The clip copy manager: copies clips between video stores in the background. Jobs wait in
// queue-time order; a scheduler thread starts them as far as the configured channel limits
// allow, one thread per running job has the source store perform the copy, failed jobs are
// retried, and a watchdog restarts the application when a copy hangs or the tick count
// jumps back.
//
// The exported handle: copies share one manager, and when the last handle goes the manager is
// shut down (its running copies stopped, its scheduler ended).
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/tagVideoClipCopyTask.h"
#include "platform/Collections.h"
#include "platform/String.h"

#include <memory>

class CVideoClipCopyTaskMgr_Impl;

class KSOVRA20_API CVideoClipCopyTaskMgr {
public:
    // What the watchdog calls to restart the application after it has ended hung jobs.
    using RestartAction = int (*)();

    CVideoClipCopyTaskMgr();
    ~CVideoClipCopyTaskMgr();
    CVideoClipCopyTaskMgr(const CVideoClipCopyTaskMgr &other);
    CVideoClipCopyTaskMgr &operator=(const CVideoClipCopyTaskMgr &other);

    // Reads the channel limits from the setting path. 0.
    int Init(const char *setting);
    // Queues the job; the caller's record gets the task id and cleared state. The task id,
    // or 0 when a job with the same destination store and clip is already held.
    int AddCopyTask(tagVideoClipCopyTask &task);
    // Removes the first waiting and the first failed job of these stores and clip (without
    // case); a running job stays. 1.
    int RemoveCopyTask(CString src, CString dest, CString clip);
    // 1 when a running job matches all three (without case).
    int IsActiveCopyTask(CString src, CString dest, CString clip);
    // The ids of the running, then the waiting, then the failed jobs; their count. The second
    // argument is not used.
    int GetTaskList(CDWordArray &ids, int reserved = 0);
    // A copy of the job with that id; 0 when none.
    int GetTaskAt(int id, tagVideoClipCopyTask &task);
    int GetTaskCount();
    // Drops every failed job. 1.
    int RemoveErrorTask();
    // Stops the running copies and drops every job. 1.
    int RemoveAllTask();
    // RemoveAllTask, then ends the scheduler. 1.
    int ShutDown();
    // The copies that may run at once from `src` to `dest` under the configured limit type.
    int GetChannelLimit(const char *src, const char *dest);
    // The same for the stores at those locations (device manager).
    int GetChannelLimit(int srcLocation, int destLocation);

    // The operator text of a job status.
    static CString StatusToString(int status, int param);

    // Replaces the watchdog's restart (RestartThisApplication by default; null restores it)
    // for every manager of the process; the previous action. Tests use it.
    static RestartAction SetRestartAction(RestartAction action);

private:
    std::shared_ptr<CVideoClipCopyTaskMgr_Impl> _Impl;
};
