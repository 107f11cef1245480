#include "drivers/tasks/CVideoClipCopyTaskMgrImpl.h"

#include "Kest20/ApplicationRestart.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CSimplexStringMap.h"
#include "drivers/model/CVideoStoreA.h"
#include "drivers/tasks/BroTaskDevices.h"
#include "platform/Process.h"

#include <atomic>
#include <mutex>
#include <string>

namespace {

constexpr const char *kLogCopyTask = "LOG_COPYTASK";
constexpr uint32_t kGivenUpExitCode = 1;

std::atomic<CVideoClipCopyTaskMgr_Impl::RestartAction> g_restartAction{nullptr};

bool SameJob(const tagVideoClipCopyTask &task, const CString &src, const CString &dest,
             const CString &clip)
{
    return task.strSrcStore.CompareNoCase(src) == 0 && task.strDestStore.CompareNoCase(dest) == 0 &&
           task.strClipID.CompareNoCase(clip) == 0;
}

// "(source->destination,clip)" after `what`.
CString JobText(const char *what, const tagVideoClipCopyTask &task)
{
    CString text;
    text.Format("%s(%s->%s,%s)", what, task.strSrcStore.GetString(), task.strDestStore.GetString(),
                task.strClipID.GetString());
    return text;
}

void LogAll(const std::vector<CString> &texts)
{
    for (const CString &text : texts) glReportLog(kLogCopyTask, text, "");
}

} // namespace

CVideoClipCopyTaskMgr_Impl::RestartAction
CVideoClipCopyTaskMgr_Impl::SetRestartAction(RestartAction action)
{
    return g_restartAction.exchange(action);
}

int CVideoClipCopyTaskMgr_Impl::Init(const char *setting)
{
    std::lock_guard<CDataLock> lk(m_lock);
    m_limits.Load(setting);
    return 0;
}

int CVideoClipCopyTaskMgr_Impl::AddCopyTask(tagVideoClipCopyTask &task)
{
    {
        std::lock_guard<CDataLock> lk(m_lock);
        for (const JobList *list : {&m_failed, &m_running, &m_waiting})
            for (const Job &job : *list)
                if (job.task.strDestStore.CompareNoCase(task.strDestStore) == 0 &&
                    job.task.strClipID.CompareNoCase(task.strClipID) == 0)
                    return 0;
        task.dwLastChange = 0;
        task.hThread = plat::Thread();
        task.nStatus = CLIPCOPY_WAITING;
        task.nFailures = 0;
        if (task.nTaskID == 0) task.nTaskID = m_nNextTaskID++;
        while (FindLocked(task.nTaskID)) task.nTaskID = m_nNextTaskID++;
        InsertWaitingLocked(Job{task, 0, nullptr});
    }
    EnsureScheduler();
    return task.nTaskID;
}

int CVideoClipCopyTaskMgr_Impl::RemoveCopyTask(const CString &src, const CString &dest,
                                               const CString &clip)
{
    std::lock_guard<CDataLock> lk(m_lock);
    for (JobList *list : {&m_waiting, &m_failed}) {
        const auto found = std::find_if(list->begin(), list->end(), [&](const Job &job) {
            return SameJob(job.task, src, dest, clip);
        });
        if (found != list->end()) list->erase(found);
    }
    return 1;
}

int CVideoClipCopyTaskMgr_Impl::IsActiveCopyTask(const CString &src, const CString &dest,
                                                 const CString &clip)
{
    std::lock_guard<CDataLock> lk(m_lock);
    return std::any_of(m_running.begin(), m_running.end(),
                       [&](const Job &job) { return SameJob(job.task, src, dest, clip); })
               ? 1
               : 0;
}

int CVideoClipCopyTaskMgr_Impl::GetTaskList(CDWordArray &ids)
{
    std::lock_guard<CDataLock> lk(m_lock);
    ids.RemoveAll();
    for (const JobList *list : {&m_running, &m_waiting, &m_failed})
        for (const Job &job : *list) ids.Add(static_cast<uint32_t>(job.task.nTaskID));
    return ids.GetSize();
}

int CVideoClipCopyTaskMgr_Impl::GetTaskAt(int id, tagVideoClipCopyTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const Job *job = FindLocked(id);
    if (!job) return 0;
    task = job->task;
    return 1;
}

int CVideoClipCopyTaskMgr_Impl::GetTaskCount()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return static_cast<int>(m_failed.size() + m_running.size() + m_waiting.size());
}

int CVideoClipCopyTaskMgr_Impl::RemoveErrorTask()
{
    std::lock_guard<CDataLock> lk(m_lock);
    m_failed.clear();
    return 1;
}

int CVideoClipCopyTaskMgr_Impl::RemoveAllTask()
{
    const uint32_t self = plat::GetCurrentThreadId();
    std::vector<plat::Thread> stopped;
    std::vector<plat::Event> telling;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        for (auto job = m_running.begin(); job != m_running.end();) {
            const bool valid = job->task.hThread.Valid();
            if (!valid) plat::OutputDebugString("RemoveAllTask::Handle is Null\n");
            // A thread inside the store's copy call is given up, once the callback it may be
            // in has returned; any other stops at its next step and is waited for below.
            const RunState &run = *job->state;
            if (valid && !run.inStoreCall && job->task.hThread.Id() != self)
                stopped.push_back(job->task.hThread);
            else if (run.inStoreCall && run.reporting > 0 && run.reporter != self)
                telling.push_back(run.idle);
            job = EndRunningLocked(job, false, run.inStoreCall);
        }
        m_failed.clear();
        m_running.clear();
        m_waiting.clear();
    }
    // These threads can no longer reach the devices or tell their receivers, so they end
    // promptly; waiting for them keeps a caller that goes on to destroy the device manager or
    // the receivers safe from a thread that was just between two steps.
    const uint32_t begin = plat::GetTickCount();
    const auto left = [&] {
        const uint32_t spent = plat::GetTickCount() - begin;
        return spent < kJobStopMs ? kJobStopMs - spent : 0;
    };
    for (plat::Thread &thread : stopped) thread.StopWithin(left(), kGivenUpExitCode);
    for (const plat::Event &idle : telling) idle.Wait(left());
    plat::OutputDebugString("Remove All VideoClipCopyTask\n");
    return 1;
}

int CVideoClipCopyTaskMgr_Impl::ShutDown()
{
    plat::Thread scheduler;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (!m_bSchedulerRunning) return 1;
        scheduler = m_scheduler;
    }
    RemoveAllTask();
    m_evWake.Set();
    // With no job left the scheduler ends at its next look.
    scheduler.StopWithin(kSchedulerStopMs, kGivenUpExitCode);
    return 1;
}

int CVideoClipCopyTaskMgr_Impl::GetChannelLimit(const char *src, const char *dest)
{
    std::lock_guard<CDataLock> lk(m_lock);
    return m_limits.GetChannelLimit(src, dest);
}

uint32_t CVideoClipCopyTaskMgr_Impl::CopyTaskProc(const RunRef &ref)
{
    CVideoClipCopyTaskMgr_Impl &mgr = *ref.mgr;
    tagVideoClipCopyTask task;
    if (!mgr.GetTaskAt(ref.taskId, task)) return 0;
    // Each report also tells whether the run still holds its job; a stopped run ends here.
    if (!mgr.StatusUpdate(ref, CLIPCOPY_DEVCHKBEGIN, 0)) return 0;
    // The run may have been stopped while its receiver was told; the device manager may
    // then be gone.
    if (!mgr.EnterDevices(ref, false)) return 0;
    CVideoDevMgr *devMgr = TaskDevMgr();
    CVideoStoreA *store = devMgr ? devMgr->GetVideoStoreDev(task.strSrcStore, 1) : nullptr;
    if (!store) {
        if (mgr.StatusUpdate(ref, CLIPCOPY_FAILED, CLIPCOPY_ERR_DEVICE))
            mgr.EndCopyTask(ref.taskId, ref.run, false);
        return 0;
    }
    if (!mgr.StatusUpdate(ref, CLIPCOPY_DEVCHKEND, 0)) return 0;
    if (!mgr.StatusUpdate(ref, CLIPCOPY_COPYBEGIN, 0)) return 0;
    if (!mgr.EnterDevices(ref, true)) return 0;

    bool ok = false;
    try {
        CVideoStoreA::tagCopyCallBack progress;
        progress.pContext = const_cast<RunRef *>(&ref);
        progress.pfnProgress = &OnCopyProgress;
        ok = store->DevFarCopy(task.strClipID, task.strCopyArg, task.strDestStore, progress) != 0;
    } catch (...) {
        ok = false;
    }

    if (ok) {
        if (!mgr.StatusUpdate(ref, CLIPCOPY_COPIED, 0)) return 0;
    } else {
        if (!mgr.StatusUpdate(ref, CLIPCOPY_FAILED, CLIPCOPY_ERR_COPY)) return 0;
        CString text;
        text.Format("CVideoClipCopyTask::__CopyTaskProc : %s from %s to %s failed",
                    task.strClipID.GetString(), task.strSrcStore.GetString(),
                    task.strDestStore.GetString());
        glReportLog("LOG_TASK", text, "");
        // The destination gets a key of its own beside the source store.
        CSimplexStringMap alarm;
        alarm.SetAt("AlarmType", "素材拷贝失败");
        alarm.SetAt("ClipID", task.strClipID);
        alarm.SetAt("SrcDev", task.strSrcStore);
        alarm.SetAt("DestDev", task.strDestStore);
        glReportLog("LOG_WARN", alarm.GetAsXmlProp('<'), "");
    }
    mgr.EndCopyTask(ref.taskId, ref.run, ok);
    return 0;
}

void CVideoClipCopyTaskMgr_Impl::OnCopyProgress(void *context, int32_t done, int32_t total)
{
    const RunRef &ref = *static_cast<const RunRef *>(context);
    // A store that reports no total has no percentage to give yet.
    const int64_t percent = total > 0 ? int64_t{done} * 100 / total : 0;
    ref.mgr->StatusUpdate(ref, CLIPCOPY_COPYING, static_cast<int32_t>(percent));
}

uint32_t CVideoClipCopyTaskMgr_Impl::CopyProc()
{
    for (uint32_t pass = 1;; ++pass) {
        {
            std::lock_guard<CDataLock> lk(m_lock);
            if (!HasJobsLocked()) {
                m_bSchedulerRunning = false;
                m_scheduler.Close();
                return 0;
            }
        }
        try {
            StartJobs();
            RequeueFailed();
            Watchdog();
        } catch (...) {
            plat::OutputDebugString("_CopyProc Error\n");
        }
        if (pass % 61 == 0) plat::OutputDebugString("_CopyProc isWorking\n");
        m_evWake.Wait(kSchedulerPassMs);
    }
}

void CVideoClipCopyTaskMgr_Impl::StartJobs()
{
    std::vector<CString> started;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        std::vector<ClipCopyChannelLimits::Route> running, waiting;
        for (const Job &job : m_running)
            running.push_back({job.task.strSrcStore, job.task.strDestStore});
        for (const Job &job : m_waiting)
            waiting.push_back({job.task.strSrcStore, job.task.strDestStore});
        const std::vector<size_t> startable = m_limits.SelectStartable(running, waiting);
        const char *what = m_limits.GetType() == ClipCopyChannelLimits::LIMIT_ALLOWCHANNEL
                               ? "启动拷贝作业A"
                               : "启动拷贝作业B";

        auto job = m_waiting.begin();
        size_t index = 0;
        for (const size_t next : startable) {
            std::advance(job, static_cast<std::ptrdiff_t>(next - index));
            index = next + 1;
            auto starting = job++;
            m_running.splice(m_running.end(), m_waiting, starting);
            starting->run = m_nNextRun++;
            starting->state = std::make_shared<RunState>();
            RunRef ref{shared_from_this(), starting->task.nTaskID, starting->run, starting->state};
            starting->task.hThread = plat::Thread::Start([ref] { return CopyTaskProc(ref); });
            started.push_back(JobText(what, starting->task));
            if (!starting->task.hThread.Valid()) EndRunningLocked(starting, false, false);
        }
    }
    LogAll(started);
}

void CVideoClipCopyTaskMgr_Impl::RequeueFailed()
{
    std::vector<CString> requeued;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (!m_waiting.empty()) return;
        for (Job &job : m_failed) {
            job.task.nQueueTime += kRequeueDelay;
            requeued.push_back(JobText("重新启动拷贝失败的作业", job.task));
            InsertWaitingLocked(std::move(job));
        }
        m_failed.clear();
    }
    LogAll(requeued);
}

void CVideoClipCopyTaskMgr_Impl::Watchdog()
{
    std::vector<CString> ended;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        const uint32_t now = plat::GetTickCount();
        for (auto job = m_running.begin(); job != m_running.end();) {
            const uint32_t last = job->task.dwLastChange;
            const int32_t age = static_cast<int32_t>(now - last);
            if (last == 0 || (age <= static_cast<int32_t>(kWatchdogMs) && age >= kTickBackMs)) {
                ++job;
                continue;
            }
            ended.push_back(JobText("检查到一个无效的作业", job->task));
            // Its thread hangs in the store; it is left behind for the restart.
            job = EndRunningLocked(job, false, true);
        }
    }
    if (ended.empty()) return;
    for (const CString &text : ended) {
        glReportLog(kLogCopyTask, text, "");
        plat::OutputDebugString(text + "\n");
    }
    const RestartAction restart = g_restartAction.load();
    restart ? restart() : RestartThisApplication();
}

bool CVideoClipCopyTaskMgr_Impl::StatusUpdate(const RunRef &ref, int32_t status, int32_t param)
{
    tagVideoClipCopyTask task;
    bool found = false, live = false;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (Job *job = FindLocked(ref.taskId)) {
            found = true;
            live = job->run == ref.run;
            if (live) {
                job->task.nStatus = status;
                job->task.nParam = param;
                job->task.dwLastChange = plat::GetTickCount();
                task = job->task;
                // A stop waits for this callback before its caller may let the receiver go.
                ++ref.state->reporting;
                ref.state->reporter = plat::GetCurrentThreadId();
                ref.state->idle.Reset();
            }
        }
    }
    if (!found) glReportDbg("#CLIP_CORE", "StatusUpdate:nTaskID=%d not found!", ref.taskId);
    if (!live) return false;
    try {
        task.CallBack(status, param);
    } catch (...) {
        // A receiver's failure is not the job's.
    }
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (--ref.state->reporting == 0) ref.state->idle.Set();
    }
    glReportDbg("#CLIP_CORE", "StatusUpdate:nTaskID=%d,nParam=%d", ref.taskId, param);
    return true;
}

bool CVideoClipCopyTaskMgr_Impl::EnterDevices(const RunRef &ref, bool storeCall)
{
    std::lock_guard<CDataLock> lk(m_lock);
    Job *job = FindLocked(ref.taskId);
    if (!job || job->run != ref.run) return false;
    ref.state->inStoreCall = storeCall;
    return true;
}

void CVideoClipCopyTaskMgr_Impl::EndCopyTask(int32_t taskId, uint64_t run, bool ok)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const auto job = std::find_if(m_running.begin(), m_running.end(), [&](const Job &running) {
        return running.task.nTaskID == taskId && running.run == run;
    });
    if (job != m_running.end()) EndRunningLocked(job, ok, false);
}

CVideoClipCopyTaskMgr_Impl::JobList::iterator
CVideoClipCopyTaskMgr_Impl::EndRunningLocked(JobList::iterator job, bool ok, bool stopThread)
{
    Job ended = std::move(*job);
    const auto next = m_running.erase(job);
    if (stopThread) ended.task.hThread.StopWithin(0, kGivenUpExitCode);
    ended.task.hThread.Close();
    ended.run = 0;
    ended.state.reset();
    if (!ok && ++ended.task.nFailures < kRetryLimit) {
        ended.task.nStatus = CLIPCOPY_WAITING;
        ended.task.nParam = 0;
        m_failed.push_back(std::move(ended));
    }
    plat::OutputDebugString(ok ? "VideoClipCopyTask::EndCopyTask OK\n"
                               : "VideoClipCopyTask::EndCopyTask failed\n");
    return next;
}

void CVideoClipCopyTaskMgr_Impl::InsertWaitingLocked(Job job)
{
    const auto later = std::find_if(m_waiting.begin(), m_waiting.end(), [&](const Job &waiting) {
        return waiting.task.nQueueTime > job.task.nQueueTime;
    });
    m_waiting.insert(later, std::move(job));
}

CVideoClipCopyTaskMgr_Impl::Job *CVideoClipCopyTaskMgr_Impl::FindLocked(int32_t id)
{
    for (JobList *list : {&m_failed, &m_running, &m_waiting})
        for (Job &job : *list)
            if (job.task.nTaskID == id) return &job;
    return nullptr;
}

bool CVideoClipCopyTaskMgr_Impl::HasJobsLocked() const
{
    return !m_failed.empty() || !m_running.empty() || !m_waiting.empty();
}

void CVideoClipCopyTaskMgr_Impl::EnsureScheduler()
{
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (!m_bSchedulerRunning) {
            // Started under the lock, so that its first look at the lists sees the handle kept.
            m_scheduler =
                plat::Thread::Start([self = shared_from_this()] { return self->CopyProc(); });
            m_bSchedulerRunning = m_scheduler.Valid();
        }
    }
    m_evWake.Set();
}
