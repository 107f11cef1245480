// The record task list behind its exported handle: the tasks in submit order under one lock,
// each with the thread that runs it. A task's thread is identified by its stop event; taking
// the task out of the list signals that event, after which the thread's every access to its
// task fails (RecTaskStopped) and the thread ends without touching the devices again.
#pragma once

#include "KestLib20/CDataLock.h"
#include "drivers/tasks/CVideoRecTask.h"
#include "platform/Collections.h"
#include "platform/Sync.h"

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <vector>

// Thrown on a task's thread when its task has left the list.
struct RecTaskStopped {};

class CVideoRecTaskList_Impl : public std::enable_shared_from_this<CVideoRecTaskList_Impl> {
public:
    // How long a removal waits for the task's thread to see its stop.
    static constexpr uint32_t kStopWaitMs = 5000;

    CVideoRecTaskList_Impl() = default;
    CVideoRecTaskList_Impl(const CVideoRecTaskList_Impl &) = delete;
    CVideoRecTaskList_Impl &operator=(const CVideoRecTaskList_Impl &) = delete;

    int Submit(const CVideoRecTask &task);
    int RemoveTask(const char *id);
    int RemoveAll();
    int AbortTask(const char *id, int keep);
    int GetTaskIDList(CStringArray &ids);
    int GetTaskCount();
    int GetTaskAt(const char *id, CVideoRecTask &task);
    int GetTaskAt(int index, CVideoRecTask &task);
    int GetTaskIDArrByTapeID(const char *tape, CStringArray &ids);
    void ClearFinishedJob();
    int DevIsFree(const char *id);
    void ModifyTaskStatus(const char *id, int32_t status);
    int32_t GetTaskStatus(const char *id);

    // What a task's thread does with its task; each throws RecTaskStopped when the task has
    // left the list. Callbacks run outside the lock.
    //
    // An abort (ABORTING, REVERSEABORT or ABORT, stored by AbortTask or by hand) waits for
    // the steps until they take it up: meanwhile no status of theirs is stored or told, so
    // it is never overwritten, and it leaves the list only with the thread that ends on it.
    CVideoRecTask RunTask(const plat::Event &run);
    // Stores the status, then the callback; its result. None while an abort waits.
    std::optional<int32_t> RunSetStatus(const plat::Event &run, int32_t status, int32_t param);
    // The abort waiting for the steps, or 0.
    int32_t RunPendingAbort(const plat::Event &run);
    // The same, taken up by the steps: their statuses are stored again from now on, and a
    // later AbortTask changes nothing.
    int32_t RunTakeAbort(const plat::Event &run);
    // The callback alone; its result. Nothing while an abort waits: 0.
    int32_t RunNotify(const plat::Event &run, int32_t status, int32_t param);
    // ORs the bit into the stored error bits, then the callback with ERROR and the bit.
    void RunAddError(const plat::Event &run, int32_t bit);
    void RunSetStart(const plat::Event &run, int64_t start);
    // The thread's last act: drops its handle from the task (when still listed) and gives 0;
    // an abort still waiting is taken up and given instead, for the thread to end on first.
    int32_t RunEnd(const plat::Event &run);

private:
    struct Node {
        CVideoRecTask task;
        plat::Event stop{true, false};
        int32_t abort = 0;     // the abort the steps have taken up
        bool finished = false; // the steps have stored their last status
    };
    using NodeList = std::list<Node>;

    NodeList::iterator FindLocked(const char *id);
    // The run's node; throws RecTaskStopped when it has left the list.
    Node &RunNodeLocked(const plat::Event &run);
    bool DevIsFreeLocked(const char *id);
    static int32_t PendingAbortLocked(const Node &node);
    // Signals the stop of each taken-out node and waits for its thread with a bound; a
    // thread that has not ended is given up. Called outside the lock.
    static void Stop(NodeList &nodes);

    CDataLock m_lock;
    NodeList m_tasks;
};
