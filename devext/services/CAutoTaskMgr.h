// Keeps automatic tasks and polls them on a worker thread every 2000 ms; the worker runs
// while the list holds tasks and starts again with the next task added. The manager owns the
// tasks only as far as RemoveAt and RemoveAll with the delete flag destroy them.
#pragma once

#include "Kest20/ClassA.h"
#include "devext/Devext20Api.h"
#include "devext/services/CAutoTaskA.h"
#include "platform/Collections.h"

#include <memory>

class DEVEXT20_API CAutoTaskMgr : public CClassA {
    DECLARE_KEST_CLASS(CAutoTaskMgr)

    CAutoTaskMgr();
    // Stops the worker; the tasks are left alone.
    ~CAutoTaskMgr() override;
    CAutoTaskMgr(const CAutoTaskMgr &) = delete;
    CAutoTaskMgr &operator=(const CAutoTaskMgr &) = delete;

    // Appends the task and starts the worker when it is not running: the task's index, or
    // -1 for no task.
    int AddTask(CAutoTaskA *task);
    // The task OpenTask makes for the name.
    int AddTask(const char *name);
    // Every name in turn: 1.
    int AddTask(const CStringArray &names);
    // Adds the tasks named in the list value of the resource `path`: 1.
    int Initialization(const char *path);
    // Stops the worker without waiting for an action in progress, then pauses 500 ms: 1.
    int Finalization();

    int GetSize();
    CAutoTaskA *GetTaskAt(int index);
    // Removes the task at `index`; with `destroy` the task is deleted (Suicide) once no poll
    // of it is in progress and its own action thread has ended.
    void RemoveAt(int index, int destroy);
    void RemoveAll(int destroy);
    // Instance names and descriptions, one entry a task; either list may be null. 1.
    int GetTaskList(CStringArray *names, CStringArray *descriptions);
    // The first task whose instance name equals `name` exactly.
    CAutoTaskA *GetTaskByName(const char *name);

private:
    struct Impl;
    static uint32_t Worker(const std::shared_ptr<Impl> &impl,
                           const std::shared_ptr<plat::Event> &stop);
    void StopWorker(uint32_t waitMs);

    std::shared_ptr<Impl> _Impl; // shared with the worker, which may outlive a stop
};
