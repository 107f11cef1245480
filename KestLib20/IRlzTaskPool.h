// The task pool's interfaces: task factories are polled for tasks, which run on a bounded set
// of apartment threads with priorities, a run-time log and a text trace to a log function.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>

// A unit of work owned by the pool once added; the pool releases it when it is done with it.
class IRlzTask {
public:
    enum State { kDropped = 2 };

    virtual void Release() = 0;
    // Runs on an apartment thread; non-zero asks to be run again.
    virtual int32_t Run() = 0;
    // A task that is not ready waits until it is.
    virtual int32_t IsReady() = 0;
    virtual const char *GetName() = 0;
    // The pool tells the task what became of it (kDropped: dropped without running).
    virtual void OnStateChange(int32_t state, int32_t value) = 0;

protected:
    virtual ~IRlzTask() = default;
};

class IRlzTaskFactory {
public:
    enum TaskType {
        kMayDrop = 1, // dropped when the pool is busy
        kNormal = 2,
        kUrgent = 3,      // first in line; may start an apartment even when the pool is busy
        kUrgentAfter = 4, // taken right after the urgent ones
    };

    virtual const char *GetName() = 0;
    // Gives a new task and its type; 0 when there is none to give.
    virtual int32_t CreateTask(IRlzTask **task, int32_t *type) = 0;

protected:
    virtual ~IRlzTaskFactory() = default;
};

// Receives each line of the pool's trace; may be called on any of the pool's threads, also
// by an apartment that was given up after the pool shut down.
using RlzTaskPoolLog = std::function<int32_t(const char *text)>;

// Thrown by GetTaskMsg when the pool shuts down during the wait; the apartment catches it.
class CRlzTaskPoolClosed : public std::runtime_error {
public:
    CRlzTaskPoolClosed() : std::runtime_error("task pool shut down") {}
};

class IRlzTaskPool {
public:
    // Shuts the pool down and deletes it.
    virtual int32_t Suicide() = 0;
    // The pool's published slot: holds the pool until it is deleted, then null.
    virtual IRlzTaskPool **GetActivePtr() = 0;
    virtual int32_t GetOption(const char *name, void *out, int32_t size) = 0;
    // Only "log" is known: it sets the log function. Other names are ignored.
    virtual int32_t SetOption(const char *name, RlzTaskPoolLog value) = 0;
    virtual int32_t Register(IRlzTaskFactory *factory) = 0;
    // Removes the factory and closes its tasks that do not run; a call of the factory in
    // progress on the issue thread is waited for, so the factory may be deleted afterwards.
    virtual int32_t Unregister(IRlzTaskFactory *factory) = 0;
    // `fixed` apartments that stay, then `extra` temporary ones that end when idle.
    virtual int32_t InitApartment(int32_t fixed, int32_t extra) = 0;
    virtual int32_t IsActive() = 0;
    virtual int32_t Start() = 0;
    // Ends the threads (waiting up to 2000 ms, then giving up those still running their
    // task) and releases the tasks that do not run.
    virtual int32_t ShutDown() = 0;
    virtual int32_t NotifyEvent() = 0;
    // Adds a task without factory, of the normal type.
    virtual int32_t AddTask(IRlzTask *task) = 0;
    virtual int32_t AbortTask(IRlzTask *task) = 0;
    virtual int32_t DeleteTask(IRlzTask *task) = 0;
    virtual IRlzTask *FindTask(IRlzTaskFactory *factory, const char *name) = 0;
    // The average run time in ms of the named task of the factory; 0 when none is logged.
    virtual int32_t FindTaskLog(IRlzTaskFactory *factory, const char *name, int32_t *average) = 0;
    // 1 while such a task runs, or when one ended within the last `within` ms.
    virtual int32_t IsRunning(IRlzTaskFactory *factory, const char *name, int32_t within) = 0;
    // Queues a message for a task that is running, ready or waiting.
    virtual int32_t SendTaskMsg(IRlzTask *task, int32_t code, void *data) = 0;
    // The oldest message for the task, waiting up to `timeout` ms (negative: no limit); 0 on
    // time-out. Throws CRlzTaskPoolClosed when the pool shuts down during the wait.
    virtual int32_t GetTaskMsg(IRlzTask *task, int32_t &code, void **data, int32_t timeout) = 0;
    // Four state words per task, index 0 to 3.
    virtual int32_t SetTaskState(IRlzTask *task, int32_t index, int32_t value) = 0;
    virtual int32_t GetTaskState(IRlzTask *task, int32_t index) = 0;

protected:
    virtual ~IRlzTaskPool() = default;
};

// Owns one task pool: creates it and deletes it with Suicide.
class CRlzTaskPool {
public:
    CRlzTaskPool();
    ~CRlzTaskPool();
    CRlzTaskPool(const CRlzTaskPool &) = delete;
    CRlzTaskPool &operator=(const CRlzTaskPool &) = delete;

    IRlzTaskPool *operator->() const { return m_pPool; }
    IRlzTaskPool *Get() const { return m_pPool; }

private:
    IRlzTaskPool *m_pPool;
};
