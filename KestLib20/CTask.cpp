#include "KestLib20/CTask.h"

#include "platform/Thread.h"

#include <algorithm>
#include <mutex>

CTask::~CTask()
{
    Retire();
}

void CTask::Retire()
{
    if (GetStatus() == kRunning) Abort();
    Cancel();
}

int CTask::Submit(CTaskMgr **slot)
{
    if (GetStatus() != kWaiting) return 0;
    CTaskMgr **expected = nullptr;
    m_ppMgr.compare_exchange_strong(expected, slot);
    CTaskMgr **mine = m_ppMgr.load();
    if (!mine || !*mine) return 0;
    return (*mine)->RegisterTask(this);
}

int CTask::Cancel()
{
    CTaskMgr **slot = m_ppMgr.load();
    int result = slot && *slot ? (*slot)->UnRegisterTask(this) : 0;
    WaitForCall();
    return result;
}

int CTask::DoAction()
{
    int waiting = kWaiting;
    m_nStatus.compare_exchange_strong(waiting, kRunning);
    if (GetStatus() != kRunning) return 0;
    if (m_action)
        m_action.call(this);
    else
        OnAction();
    SetStatus(kDone);
    return 1;
}

int CTask::DoStatusUpdate(int a, int b)
{
    if (m_statusHandler) return m_statusHandler.call(this, a, b);
    return OnStatusUpdate(a, b);
}

void CTask::BeginCall()
{
    m_callDone.Reset();
    m_dwCallThread.store(plat::GetCurrentThreadId());
}

void CTask::EndCall()
{
    // The task may be destroyed as soon as the mark is clear: signal through a copy.
    plat::Event done = m_callDone;
    m_dwCallThread.store(0);
    done.Set();
}

void CTask::WaitForCall()
{
    const uint32_t me = plat::GetCurrentThreadId();
    for (;;) {
        uint32_t caller = m_dwCallThread.load();
        if (caller == 0 || caller == me) return;
        m_callDone.Wait(1000);
    }
}

bool CTaskMgr::TaskList::Contains(CTask *task) const
{
    return std::find(tasks.begin(), tasks.end(), task) != tasks.end();
}

CTaskMgr::CTaskMgr() : CTaskMgr(std::make_shared<TaskList>()) {}

CTaskMgr::CTaskMgr(std::shared_ptr<TaskList> list) : m_pList(std::move(list)) {}

CTaskMgr::~CTaskMgr()
{
    std::lock_guard<CDataLock> lk(m_pList->lock);
    AbortAllLocked();
}

void CTaskMgr::AbortAllLocked()
{
    for (CTask *task : m_pList->tasks) {
        task->Abort();
        task->m_ppMgr.store(nullptr);
    }
    m_pList->tasks.clear();
}

int CTaskMgr::RegisterTask(CTask *task)
{
    if (!task || task->GetStatus() != CTask::kWaiting) return 0;
    std::lock_guard<CDataLock> lk(m_pList->lock);
    if (!m_pList->Contains(task)) m_pList->tasks.push_back(task);
    return 1;
}

int CTaskMgr::UnRegisterTask(CTask *task)
{
    if (!task) return 0;
    std::lock_guard<CDataLock> lk(m_pList->lock);
    auto &tasks = m_pList->tasks;
    tasks.erase(std::remove(tasks.begin(), tasks.end(), task), tasks.end());
    return 1;
}

int CTaskMgr::GetTaskCount()
{
    std::lock_guard<CDataLock> lk(m_pList->lock);
    return static_cast<int>(m_pList->tasks.size());
}
