// The process's task pool. An issue thread asks the registered factories for tasks (each every
// fourth cycle of 250 ms) and moves waiting tasks that became ready; apartment threads, started
// on demand up to the configured number, run the ready tasks. Up to half the apartments serve
// every task; beyond that only urgent ones, and droppable tasks are dropped.
#pragma once

#include "KestLib20/IRlzTaskPool.h"

#include <cstdint>
#include <memory>

class CRlzTaskPoolWin32 : public IRlzTaskPool {
public:
    CRlzTaskPoolWin32();
    // Shuts down; threads given up keep the pool's state until they end.
    ~CRlzTaskPoolWin32() override;
    CRlzTaskPoolWin32(const CRlzTaskPoolWin32 &) = delete;
    CRlzTaskPoolWin32 &operator=(const CRlzTaskPoolWin32 &) = delete;

    int32_t Suicide() override;
    IRlzTaskPool **GetActivePtr() override;
    int32_t GetOption(const char *name, void *out, int32_t size) override;
    int32_t SetOption(const char *name, RlzTaskPoolLog value) override;
    int32_t Register(IRlzTaskFactory *factory) override;
    int32_t Unregister(IRlzTaskFactory *factory) override;
    int32_t InitApartment(int32_t fixed, int32_t extra) override;
    int32_t IsActive() override;
    int32_t Start() override;
    int32_t ShutDown() override;
    int32_t NotifyEvent() override;
    int32_t AddTask(IRlzTask *task) override;
    int32_t AbortTask(IRlzTask *) override { return 1; }
    int32_t DeleteTask(IRlzTask *) override { return 1; }
    IRlzTask *FindTask(IRlzTaskFactory *, const char *) override { return nullptr; }
    int32_t FindTaskLog(IRlzTaskFactory *factory, const char *name, int32_t *average) override;
    int32_t IsRunning(IRlzTaskFactory *factory, const char *name, int32_t within) override;
    int32_t SendTaskMsg(IRlzTask *task, int32_t code, void *data) override;
    int32_t GetTaskMsg(IRlzTask *task, int32_t &code, void **data, int32_t timeout) override;
    int32_t SetTaskState(IRlzTask *task, int32_t index, int32_t value) override;
    int32_t GetTaskState(IRlzTask *task, int32_t index) override;

    // Adds a task of `factory` (null: none) with its type. A droppable task is dropped when
    // more than half the apartments are busy; after shut-down every task is dropped (0).
    int32_t AddTask(IRlzTaskFactory *factory, IRlzTask *task, int32_t type);

    // Hash of a task name for the run log.
    static uint32_t Hash(const char *name);

    // The state the pool shares with its threads.
    struct Core;

private:
    std::shared_ptr<Core> m_pCore;
    IRlzTaskPool **m_ppSlot = nullptr;
};
