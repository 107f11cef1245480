// Tasks and task managers: a task is a small unit of work registered with a manager through
// the manager's slot; the manager keeps its tasks in registration order under its lock.
#pragma once

#include "KestLib20/CDataLock.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CTask;
class CTaskMgr;

// Action handler: a member function of some object, called with the task; when set it runs
// in place of the task's OnAction.
struct tagAction {
    std::function<int(CTask *)> call;

    tagAction() = default;
    template <class T>
    tagAction(T *object, int (T::*member)(CTask *))
        : call([object, member](CTask *task) { return (object->*member)(task); })
    {
    }
    explicit operator bool() const { return static_cast<bool>(call); }
};

// Status handler: a member function called with (task, a, b); when set it runs in place of
// the task's OnStatusUpdate.
struct tagStatusAction {
    std::function<int(CTask *, int, int)> call;

    tagStatusAction() = default;
    template <class T>
    tagStatusAction(T *object, int (T::*member)(CTask *, int, int))
        : call(
              [object, member](CTask *task, int a, int b) { return (object->*member)(task, a, b); })
    {
    }
    explicit operator bool() const { return static_cast<bool>(call); }
};

class CTask {
public:
    enum Status { kCreated = 1, kWaiting = 2, kRunning = 3, kDone = 4 };

    CTask() = default;
    // A running task is aborted, then cancelled; a call of its action in progress on another
    // thread is waited for, so the action never outlives the task.
    virtual ~CTask();
    CTask(const CTask &) = delete;
    CTask &operator=(const CTask &) = delete;

    // Registers a waiting task with the manager in `slot` (the task keeps the first slot it
    // is given). 0 for a task not waiting, without slot or without manager.
    virtual int Submit(CTaskMgr **slot);
    // Unregisters the task; returns when a call of its action in progress on another thread
    // has ended. 0 without a manager.
    virtual int Cancel();
    virtual int Abort() { return 1; }
    virtual int OnAction() { return 0; }
    virtual int OnStatusUpdate(int, int) { return 0; }

    // Runs the action of a waiting or running task; 0 for any other status.
    int DoAction();
    int DoStatusUpdate(int a, int b);

    int GetStatus() const { return m_nStatus.load(); }
    CTaskMgr **GetMgrSlot() const { return m_ppMgr.load(); }
    void SetAction(tagAction action) { m_action = std::move(action); }
    void SetStatusHandler(tagStatusAction handler) { m_statusHandler = std::move(handler); }

protected:
    explicit CTask(int status) : m_nStatus(status) {}
    void SetStatus(int status) { m_nStatus.store(status); }
    // Abort when running, then Cancel: what destructors of tasks do.
    void Retire();

private:
    friend class CTaskMgr;
    friend class CPatrolTaskMgr;

    // A manager's worker marks the task before calling its action and clears the mark when
    // it will not touch the task again; Cancel waits for the mark to clear.
    void BeginCall();
    void EndCall();
    void WaitForCall();

    std::atomic<CTaskMgr **> m_ppMgr{nullptr};
    std::atomic<int> m_nStatus{kCreated};
    tagAction m_action;
    tagStatusAction m_statusHandler;
    std::atomic<uint32_t> m_dwCallThread{0};
    plat::Event m_callDone{true, true};
};

class CTaskMgr {
public:
    CTaskMgr();
    // Aborts every registered task and clears its manager slot.
    virtual ~CTaskMgr();
    CTaskMgr(const CTaskMgr &) = delete;
    CTaskMgr &operator=(const CTaskMgr &) = delete;

    // Appends a waiting task unless it is registered already; 0 for a null or unready task.
    virtual int RegisterTask(CTask *task);
    // Removes the task, the others keeping their order; 0 for null.
    virtual int UnRegisterTask(CTask *task);
    virtual int GetTaskCount();

protected:
    // The lock and the task array, jointly owned with a worker thread that may outlive the
    // manager when it is given up.
    struct TaskList {
        virtual ~TaskList() = default;
        bool Contains(CTask *task) const;
        CDataLock lock;
        std::vector<CTask *> tasks;
    };
    explicit CTaskMgr(std::shared_ptr<TaskList> list);
    // Under the lock: aborts every task, clears its manager slot and empties the list.
    void AbortAllLocked();

    std::shared_ptr<TaskList> m_pList;
};
