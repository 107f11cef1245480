// The clip copy manager behind its exported handle: the three job lists (failed, running,
// waiting) under one lock, the scheduler thread that starts, requeues and watches the jobs,
// and one thread per running job. Each start of a job is a run with an id of its own; a run
// that has been stopped or ended no longer reaches the job, so a copy that returns late from
// its store reports nothing. A stop gives up a thread blocked in the store's copy call, but
// first waits (bounded) for any other run's thread and for a callback in progress, so that
// its caller may then let the devices and the receivers go.
#pragma once

#include "KestLib20/CDataLock.h"
#include "drivers/tasks/ClipCopyChannelLimits.h"
#include "drivers/tasks/tagVideoClipCopyTask.h"
#include "platform/Collections.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

class CVideoClipCopyTaskMgr_Impl : public std::enable_shared_from_this<CVideoClipCopyTaskMgr_Impl> {
public:
    static constexpr uint32_t kWatchdogMs = 5 * 60 * 1000;
    static constexpr int32_t kTickBackMs = -1000; // a tick count gone back further is a jump
    static constexpr int32_t kRetryLimit = 3;
    static constexpr int64_t kRequeueDelay = 3LL * 3600 * 10000000; // 3 hours, 100 ns units
    static constexpr uint32_t kSchedulerPassMs = 1000;
    static constexpr uint32_t kSchedulerStopMs = 5000;
    // How long RemoveAllTask waits, in all, for the job threads it stopped outside the store's
    // copy call (in a callback or a device look-up).
    static constexpr uint32_t kJobStopMs = 1000;

    using RestartAction = int (*)();

    CVideoClipCopyTaskMgr_Impl() = default;
    CVideoClipCopyTaskMgr_Impl(const CVideoClipCopyTaskMgr_Impl &) = delete;
    CVideoClipCopyTaskMgr_Impl &operator=(const CVideoClipCopyTaskMgr_Impl &) = delete;

    int Init(const char *setting);
    int AddCopyTask(tagVideoClipCopyTask &task);
    int RemoveCopyTask(const CString &src, const CString &dest, const CString &clip);
    int IsActiveCopyTask(const CString &src, const CString &dest, const CString &clip);
    int GetTaskList(CDWordArray &ids);
    int GetTaskAt(int id, tagVideoClipCopyTask &task);
    int GetTaskCount();
    int RemoveErrorTask();
    int RemoveAllTask();
    int ShutDown();
    int GetChannelLimit(const char *src, const char *dest);

    // The watchdog's restart for every manager of the process; null: the application's.
    static RestartAction SetRestartAction(RestartAction action);

private:
    // What a run's thread and a stop share; the counts under the manager's lock.
    struct RunState {
        bool inStoreCall = false;     // the thread is inside the store's copy call
        int reporting = 0;            // callbacks of the run in progress
        uint32_t reporter = 0;        // the thread of the last of them
        plat::Event idle{true, true}; // set while no callback is in progress
    };

    struct Job {
        tagVideoClipCopyTask task;
        uint64_t run = 0;                // the current run while the job runs, else 0
        std::shared_ptr<RunState> state; // of the current run
    };
    using JobList = std::list<Job>;

    // What a job's thread carries: the manager, the job and the run it belongs to.
    struct RunRef {
        std::shared_ptr<CVideoClipCopyTaskMgr_Impl> mgr;
        int32_t taskId;
        uint64_t run;
        std::shared_ptr<RunState> state;
    };

    static uint32_t CopyTaskProc(const RunRef &ref);
    static void OnCopyProgress(void *context, int32_t done, int32_t total);
    uint32_t CopyProc();

    // One scheduler pass: start, requeue, watch.
    void StartJobs();
    void RequeueFailed();
    void Watchdog();

    // Stores the status of the job's run and tells its receiver (outside the lock). False, and
    // nothing done, when the run has ended.
    bool StatusUpdate(const RunRef &ref, int32_t status, int32_t param);
    // Whether the run still holds its job, checked under the lock before each use of the
    // devices, so that a stopped run never reaches them; with `storeCall` the job is marked as
    // inside the store's copy call (whose thread a stop gives up at once).
    bool EnterDevices(const RunRef &ref, bool storeCall);
    // Takes the run's job out of the running list; a failure below the retry limit goes to
    // the failed list. Nothing for a run that has ended.
    void EndCopyTask(int32_t taskId, uint64_t run, bool ok);
    // The same for a running job, under the caller's lock; a stopped job's thread is given up
    // (it honours the stop when its store returns). The job after it in the running list.
    JobList::iterator EndRunningLocked(JobList::iterator job, bool ok, bool stopThread);

    // Inserts before the first job queued later.
    void InsertWaitingLocked(Job job);
    Job *FindLocked(int32_t id);
    bool HasJobsLocked() const;
    // Starts the scheduler when it does not run; called outside the lock.
    void EnsureScheduler();

    CDataLock m_lock;
    JobList m_failed, m_running, m_waiting;
    ClipCopyChannelLimits m_limits;
    int32_t m_nNextTaskID = 1;
    uint64_t m_nNextRun = 1;
    bool m_bSchedulerRunning = false;
    plat::Thread m_scheduler;
    plat::Event m_evWake{false, false};
};
