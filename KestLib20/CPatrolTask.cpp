#include "KestLib20/CPatrolTask.h"

#include "KestLib20/ActiveSlot.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <mutex>

namespace {
// A new task counts as last run this long before its creation.
constexpr uint32_t kFirstRunLead = 4000;
} // namespace

CPatrolTask::CPatrolTask(uint32_t intervalMs, uint32_t runs)
    : CTask(kWaiting), m_dwLastTick(plat::GetTickCount() - kFirstRunLead), m_dwInterval(intervalMs),
      m_dwRuns(runs)
{
}

CPatrolTask::~CPatrolTask()
{
    Retire();
}

struct CPatrolTaskMgr::Patrol : CTaskMgr::TaskList {
    uint32_t idlePeriod = kDefaultIdlePeriod;
    CWorkerGate gate;
    plat::Event wake; // auto-reset
};

CPatrolTaskMgr::CPatrolTaskMgr(CTaskMgr **slot)
    : CTaskMgr(std::make_shared<Patrol>()), m_pPatrol(std::static_pointer_cast<Patrol>(m_pList)),
      m_ppSlot(slot)
{
    if (m_ppSlot) *m_ppSlot = this;
}

CPatrolTaskMgr::~CPatrolTaskMgr()
{
    Stop();
    std::lock_guard<CDataLock> lk(m_pPatrol->lock);
    WithdrawSlot<CTaskMgr>(m_ppSlot, this);
}

CTaskMgr **CPatrolTaskMgr::GetActivePtr()
{
    std::lock_guard<CDataLock> lk(m_pPatrol->lock);
    return PublishSlot<CTaskMgr>(m_ppSlot, this);
}

int CPatrolTaskMgr::RegisterTask(CTask *task)
{
    int result = CTaskMgr::RegisterTask(task);
    if (result) Start();
    return result;
}

int CPatrolTaskMgr::UnRegisterTask(CTask *task)
{
    if (!task) return 0;
    std::lock_guard<CDataLock> lk(m_pPatrol->lock);
    RemoveLocked(*m_pPatrol, task);
    return 1;
}

void CPatrolTaskMgr::RemoveLocked(Patrol &patrol, CTask *task)
{
    auto &tasks = patrol.tasks;
    tasks.erase(std::remove(tasks.begin(), tasks.end(), task), tasks.end());
    if (tasks.empty() && patrol.gate.IsWanted()) {
        patrol.gate.Release();
        patrol.wake.Set();
    }
}

int CPatrolTaskMgr::Start()
{
    std::lock_guard<CDataLock> lk(m_pPatrol->lock);
    if (m_pPatrol->idlePeriod < kMinIdlePeriod) return 0;
    uint32_t gen = 0;
    if (!m_pPatrol->gate.Request(&gen)) return 1;
    auto patrol = m_pPatrol;
    return StartWorker(patrol->gate, m_thread, gen, [patrol, gen] { PatrolLoop(patrol, gen); }) ? 1
                                                                                                : 0;
}

int CPatrolTaskMgr::Stop()
{
    {
        std::lock_guard<CDataLock> lk(m_pPatrol->lock);
        if (!m_pPatrol->gate.IsLive()) return 1;
        AbortAllLocked();
        m_pPatrol->idlePeriod = 0;
        m_pPatrol->gate.Retire();
    }
    m_pPatrol->wake.Set();
    EndWorker(m_pPatrol->lock, m_thread, kStopBound);
    return 1;
}

CPatrolTask *CPatrolTaskMgr::GetRecentTask()
{
    std::lock_guard<CDataLock> lk(m_pPatrol->lock);
    return RecentTaskLocked(*m_pPatrol);
}

CPatrolTask *CPatrolTaskMgr::RecentTaskLocked(Patrol &patrol)
{
    const uint32_t now = plat::GetTickCount();
    for (CTask *task : patrol.tasks) {
        auto *patrolTask = static_cast<CPatrolTask *>(task);
        if (task->GetStatus() != CTask::kWaiting) continue;
        // Elapsed ticks as unsigned: right across the wrap of the tick count.
        if (now - patrolTask->m_dwLastTick.load() < patrolTask->GetInterval()) continue;
        patrolTask->m_dwLastTick.store(now);
        uint32_t runs = patrolTask->GetRemainingRuns();
        if (runs < CPatrolTask::kUnlimitedRuns && runs > 0) patrolTask->SetRemainingRuns(runs - 1);
        patrolTask->SetStatus(CTask::kRunning);
        return patrolTask;
    }
    return nullptr;
}

uint32_t CPatrolTaskMgr::GetIdlePeriod()
{
    std::lock_guard<CDataLock> lk(m_pPatrol->lock);
    return m_pPatrol->idlePeriod;
}

void CPatrolTaskMgr::SetIdlePeriod(uint32_t ms)
{
    std::lock_guard<CDataLock> lk(m_pPatrol->lock);
    m_pPatrol->idlePeriod = ms;
}

plat::Thread CPatrolTaskMgr::GetThread()
{
    std::lock_guard<CDataLock> lk(m_pPatrol->lock);
    return m_thread.Handle();
}

void CPatrolTaskMgr::PatrolLoop(const std::shared_ptr<Patrol> &patrol, uint32_t gen)
{
    for (;;) {
        CPatrolTask *task = nullptr;
        uint32_t idle = 0;
        {
            std::lock_guard<CDataLock> lk(patrol->lock);
            if (!patrol->gate.Continue(gen)) return;
            task = RecentTaskLocked(*patrol);
            if (task) task->BeginCall();
            idle = patrol->idlePeriod;
        }
        if (!task) {
            patrol->wake.Wait(idle);
            patrol->wake.Reset();
            continue;
        }
        task->DoAction();
        std::lock_guard<CDataLock> lk(patrol->lock);
        // Waiting again, also when it was cancelled during the action: it can then be
        // submitted anew. Until EndCall a Cancel or destructor waits, so the task still lives.
        task->SetStatus(CTask::kWaiting);
        if (patrol->Contains(task) && task->GetRemainingRuns() == 0) {
            task->Cancel();
            RemoveLocked(*patrol, task); // also when it was registered without a slot
        }
        task->EndCall();
    }
}
