// Patrol tasks and the patrol task manager: the manager's one patrol thread runs its
// registered patrol tasks one after the other, each at its own interval. The thread starts on
// the first registration and ends when the last task has gone or the manager stops.
#pragma once

#include "KestLib20/CTask.h"
#include "KestLib20/WorkerGate.h"
#include "KestLib20/thread_c.h"

#include <atomic>
#include <cstdint>
#include <memory>

class CPatrolTask : public CTask {
public:
    static constexpr uint32_t kUnlimitedRuns = 65535;
    static constexpr uint32_t kDefaultInterval = 5000;

    // The first run comes (interval - 4000) ms after construction: 1000 ms by default.
    explicit CPatrolTask(uint32_t intervalMs = kDefaultInterval, uint32_t runs = kUnlimitedRuns);
    ~CPatrolTask() override;

    uint32_t GetInterval() const { return m_dwInterval.load(); }
    void SetInterval(uint32_t ms) { m_dwInterval.store(ms); }
    // 65535 runs without limit; a smaller count goes down by one per run, and the task is
    // cancelled when it reaches 0.
    uint32_t GetRemainingRuns() const { return m_dwRuns.load(); }
    void SetRemainingRuns(uint32_t runs) { m_dwRuns.store(runs); }
    uint32_t GetLastRunTick() const { return m_dwLastTick.load(); }

private:
    friend class CPatrolTaskMgr;

    std::atomic<uint32_t> m_dwLastTick;
    std::atomic<uint32_t> m_dwInterval;
    std::atomic<uint32_t> m_dwRuns;
};

// Only patrol tasks may be registered with a patrol task manager.
class CPatrolTaskMgr : public CTaskMgr {
public:
    static constexpr uint32_t kDefaultIdlePeriod = 500;
    static constexpr uint32_t kMinIdlePeriod = 101;
    static constexpr uint32_t kStopBound = 1000;

    // `slot`, when given, is set to the manager and cleared by its destructor.
    explicit CPatrolTaskMgr(CTaskMgr **slot = nullptr);
    ~CPatrolTaskMgr() override;

    // Registers, then starts the patrol thread; the result is the registration's.
    int RegisterTask(CTask *task) override;
    // Unregisters; the patrol thread ends when no task is left.
    int UnRegisterTask(CTask *task) override;
    // The manager's slot; one that lives as long as the process is made when there is none.
    virtual CTaskMgr **GetActivePtr();

    // 0 while the idle period is below 101 ms; 1 when the thread runs or has been started.
    int Start();
    // Aborts and drops every task, ends the thread (given up after 1000 ms) and zeroes the
    // idle period: the manager starts again only once the idle period is set anew.
    int Stop();
    // The first waiting task whose interval has passed, marked running; null when none is due.
    CPatrolTask *GetRecentTask();

    uint32_t GetIdlePeriod();
    void SetIdlePeriod(uint32_t ms);
    // The patrol thread as a waitable handle (empty when none was started).
    plat::Thread GetThread();

private:
    struct Patrol;
    static void PatrolLoop(const std::shared_ptr<Patrol> &patrol, uint32_t gen);
    static CPatrolTask *RecentTaskLocked(Patrol &patrol);
    // Removes the task; with none left the patrol thread ends.
    static void RemoveLocked(Patrol &patrol, CTask *task);

    std::shared_ptr<Patrol> m_pPatrol;
    thread_c m_thread;
    CTaskMgr **m_ppSlot;
};
