#include "drivers/tasks/CVideoRecTaskListImpl.h"

#include "Kest20/KestLog.h"
#include "drivers/tasks/RecTaskRun.h"

#include <algorithm>
#include <mutex>

namespace {

constexpr uint32_t kGivenUpExitCode = 1;

// The tape id as the tape check and the tape search use it: its last 8 characters.
CString TapeKey(CString tape)
{
    tape.Trim();
    return tape.GetLength() > 8 ? tape.Right(8) : tape;
}

} // namespace

int CVideoRecTaskList_Impl::Submit(const CVideoRecTask &task)
{
    ClearFinishedJob();
    std::lock_guard<CDataLock> lk(m_lock);
    const bool srcFree =
        task.m_strTapeType.Find("LVSRC_LINE") >= 0 || DevIsFreeLocked(task.m_strSrcDev);
    if (!srcFree || !DevIsFreeLocked(task.m_strRecDev)) {
        glReportDbg("LOG_DUB", "录制任务:<%s> CVideoRecTaskList::_Impl::Submit 退出 --- 000",
                    task.m_strTaskID.GetString());
        glReportDbg("LOG_DUB", "录制任务:<%s> 使用的源设备为<%s> 录制设备为<%s>",
                    task.m_strTaskID.GetString(), task.m_strSrcDev.GetString(),
                    task.m_strRecDev.GetString());
        return 0;
    }
    Node &node = m_tasks.emplace_back();
    node.task = task;
    node.task.m_nStatus = RECTASK_ACTIVE;
    // The thread's first look at its task waits for this lock, so the handle is kept first.
    RecTaskRun run(shared_from_this(), node.task.m_strTaskID, node.stop);
    node.task.m_hThread = plat::Thread::Start([run]() mutable { return run.Run(); });
    return 1;
}

int CVideoRecTaskList_Impl::RemoveTask(const char *id)
{
    NodeList removed;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        const auto node = FindLocked(id);
        if (node == m_tasks.end()) return 0;
        removed.splice(removed.end(), m_tasks, node);
    }
    Stop(removed);
    return 1;
}

int CVideoRecTaskList_Impl::RemoveAll()
{
    NodeList removed;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        removed.swap(m_tasks);
    }
    Stop(removed);
    return 1;
}

int CVideoRecTaskList_Impl::AbortTask(const char *id, int keep)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const auto node = FindLocked(id);
    if (node == m_tasks.end()) return 1;
    int32_t &status = node->task.m_nStatus;
    // An abort stands once made, and a task that has ended keeps its end.
    if (node->abort || status >= RECTASK_ABORTING) return 1;
    if (status < RECTASK_BEGINREC)
        status = RECTASK_ABORT;
    else
        status = keep ? RECTASK_REVERSEABORT : RECTASK_ABORTING;
    return 1;
}

int CVideoRecTaskList_Impl::GetTaskIDList(CStringArray &ids)
{
    std::lock_guard<CDataLock> lk(m_lock);
    ids.RemoveAll();
    for (const Node &node : m_tasks) ids.Add(node.task.m_strTaskID);
    return ids.GetSize();
}

int CVideoRecTaskList_Impl::GetTaskCount()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return static_cast<int>(m_tasks.size());
}

int CVideoRecTaskList_Impl::GetTaskAt(const char *id, CVideoRecTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const auto node = FindLocked(id);
    if (node == m_tasks.end()) return 0;
    task = node->task;
    return 1;
}

int CVideoRecTaskList_Impl::GetTaskAt(int index, CVideoRecTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    if (index < 0 || index >= static_cast<int>(m_tasks.size())) return 0;
    task = std::next(m_tasks.begin(), index)->task;
    return 1;
}

int CVideoRecTaskList_Impl::GetTaskIDArrByTapeID(const char *tape, CStringArray &ids)
{
    std::lock_guard<CDataLock> lk(m_lock);
    int count = 0;
    for (const Node &node : m_tasks) {
        const CString key = TapeKey(node.task.m_strTapeID);
        if (!key.IsEmpty() && key == tape) {
            ids.Add(node.task.m_strTaskID);
            ++count;
        }
    }
    return count;
}

void CVideoRecTaskList_Impl::ClearFinishedJob()
{
    NodeList finished;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        for (auto node = m_tasks.begin(); node != m_tasks.end();) {
            const auto next = std::next(node);
            if (!node->task.m_hThread.IsRunning()) node->task.m_hThread.Close();
            // A thread ending on an abort undoes what its steps set up: it stays until it is
            // through.
            const bool ending = !node->finished && (node->abort || PendingAbortLocked(*node));
            if (!node->task.m_hThread.Valid() ||
                (node->task.m_nStatus >= RECTASK_FINISHED && !ending))
                finished.splice(finished.end(), m_tasks, node);
            node = next;
        }
    }
    Stop(finished);
}

int CVideoRecTaskList_Impl::DevIsFree(const char *id)
{
    std::lock_guard<CDataLock> lk(m_lock);
    return DevIsFreeLocked(id) ? 1 : 0;
}

void CVideoRecTaskList_Impl::ModifyTaskStatus(const char *id, int32_t status)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const auto node = FindLocked(id);
    if (node != m_tasks.end()) node->task.m_nStatus = status;
}

int32_t CVideoRecTaskList_Impl::GetTaskStatus(const char *id)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const auto node = FindLocked(id);
    return node == m_tasks.end() ? RECTASK_ABORT : node->task.m_nStatus;
}

CVideoRecTask CVideoRecTaskList_Impl::RunTask(const plat::Event &run)
{
    std::lock_guard<CDataLock> lk(m_lock);
    return RunNodeLocked(run).task;
}

int32_t CVideoRecTaskList_Impl::RunPendingAbort(const plat::Event &run)
{
    std::lock_guard<CDataLock> lk(m_lock);
    return PendingAbortLocked(RunNodeLocked(run));
}

int32_t CVideoRecTaskList_Impl::RunTakeAbort(const plat::Event &run)
{
    std::lock_guard<CDataLock> lk(m_lock);
    Node &node = RunNodeLocked(run);
    const int32_t abort = PendingAbortLocked(node);
    if (abort) node.abort = abort;
    return abort;
}

std::optional<int32_t> CVideoRecTaskList_Impl::RunSetStatus(const plat::Event &run, int32_t status,
                                                            int32_t param)
{
    CVideoRecTask task;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        Node &node = RunNodeLocked(run);
        if (PendingAbortLocked(node)) return std::nullopt;
        node.task.m_nStatus = status;
        node.finished = status == RECTASK_FINISHED || status == RECTASK_ABORT;
        task = node.task;
    }
    return task.CallBack(status, param);
}

int32_t CVideoRecTaskList_Impl::RunNotify(const plat::Event &run, int32_t status, int32_t param)
{
    CVideoRecTask task;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        Node &node = RunNodeLocked(run);
        if (PendingAbortLocked(node)) return 0;
        task = node.task;
    }
    return task.CallBack(status, param);
}

void CVideoRecTaskList_Impl::RunAddError(const plat::Event &run, int32_t bit)
{
    CVideoRecTask task;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        Node &node = RunNodeLocked(run);
        node.task.AddError(bit);
        task = node.task;
    }
    task.NotifyError(bit);
}

void CVideoRecTaskList_Impl::RunSetStart(const plat::Event &run, int64_t start)
{
    std::lock_guard<CDataLock> lk(m_lock);
    RunNodeLocked(run).task.m_nStart = start;
}

int32_t CVideoRecTaskList_Impl::RunEnd(const plat::Event &run)
{
    std::lock_guard<CDataLock> lk(m_lock);
    for (Node &node : m_tasks) {
        if (node.stop.Object() != run.Object()) continue;
        if (const int32_t abort = PendingAbortLocked(node)) return node.abort = abort;
        node.task.m_hThread.Close();
    }
    return 0;
}

CVideoRecTaskList_Impl::NodeList::iterator CVideoRecTaskList_Impl::FindLocked(const char *id)
{
    return std::find_if(m_tasks.begin(), m_tasks.end(),
                        [&](const Node &node) { return node.task.m_strTaskID == id; });
}

CVideoRecTaskList_Impl::Node &CVideoRecTaskList_Impl::RunNodeLocked(const plat::Event &run)
{
    for (Node &node : m_tasks)
        if (node.stop.Object() == run.Object()) return node;
    throw RecTaskStopped{};
}

bool CVideoRecTaskList_Impl::DevIsFreeLocked(const char *id)
{
    return std::none_of(m_tasks.begin(), m_tasks.end(), [&](const Node &node) {
        return node.task.m_strSrcDev.CompareNoCase(id) == 0 ||
               node.task.m_strRecDev.CompareNoCase(id) == 0;
    });
}

int32_t CVideoRecTaskList_Impl::PendingAbortLocked(const Node &node)
{
    const int32_t status = node.task.m_nStatus;
    const bool abort =
        status == RECTASK_ABORTING || status == RECTASK_REVERSEABORT || status == RECTASK_ABORT;
    return abort && !node.abort && !node.finished ? status : 0;
}

void CVideoRecTaskList_Impl::Stop(NodeList &nodes)
{
    for (Node &node : nodes) node.stop.Set();
    for (Node &node : nodes) {
        plat::Thread &thread = node.task.m_hThread;
        // A removal from the task's own callback does not wait for its own thread.
        thread.StopWithin(kStopWaitMs, kGivenUpExitCode);
        thread.Close();
    }
}
