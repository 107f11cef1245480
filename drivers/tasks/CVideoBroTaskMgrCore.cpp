#include "drivers/tasks/CVideoBroTaskMgrCore.h"

#include "drivers/tasks/BroTaskLog.h"
#include "drivers/tasks/CVideoBroTaskMgrHandle.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

constexpr int64_t kImminentUnits = 20000000; // 2 s

// The process-wide list of live managers of one variant, in order of creation.
template <class I> class MgrRegistry {
public:
    static MgrRegistry &Of()
    {
        static MgrRegistry registry;
        return registry;
    }
    I *Get(int32_t index)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return index >= 0 && index < static_cast<int32_t>(m_mgrs.size()) ? m_mgrs[index] : nullptr;
    }
    int32_t Register(I *mgr)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (std::find(m_mgrs.begin(), m_mgrs.end(), mgr) == m_mgrs.end()) m_mgrs.push_back(mgr);
        return 1;
    }
    int32_t Unregister(I *mgr)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        std::erase(m_mgrs, mgr);
        return 1;
    }

private:
    std::mutex m_lock;
    std::vector<I *> m_mgrs;
};

template <class I> CVideoBroTaskMgrCore<I> &CoreOf(I *mgr)
{
    return static_cast<CVideoBroTaskMgrCore<I> &>(*mgr);
}

} // namespace

namespace {

// The gates whose callbacks the calling thread is inside of, innermost last.
thread_local std::vector<const BroTaskCallbackGate *> t_inside;

} // namespace

bool BroTaskCallbackGate::Enter()
{
    std::lock_guard<std::mutex> lk(m_lock);
    if (m_bClosed) return false;
    ++m_nInFlight;
    t_inside.push_back(this);
    return true;
}

void BroTaskCallbackGate::Leave()
{
    t_inside.pop_back();
    std::lock_guard<std::mutex> lk(m_lock);
    --m_nInFlight;
    m_evLeft.Set();
}

void BroTaskCallbackGate::Close()
{
    // A callback that releases its own manager does not wait for itself.
    const auto mine = static_cast<int>(std::count(t_inside.begin(), t_inside.end(), this));
    const uint32_t begin = plat::GetTickCount();
    for (;;) {
        {
            std::lock_guard<std::mutex> lk(m_lock);
            m_bClosed = true;
            if (m_nInFlight <= mine) return;
        }
        const uint32_t elapsed = plat::TickElapsed(begin);
        if (elapsed >= kCloseBoundMs) {
            brotask::LogTMU("(Close.%04d): a status callback is still under way",
                            brotask::ThreadId());
            return;
        }
        m_evLeft.Wait(kCloseBoundMs - elapsed);
    }
}

void BroTaskOutbox::Tell(const tagVideoBroTask &task, int32_t status, int32_t extra)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_items.push_back({task, status, extra});
}

void BroTaskOutbox::Flush(BroTaskCallbackGate &gate)
{
    std::unique_lock<std::mutex> lk(m_lock);
    if (m_bTelling) return;
    m_bTelling = true;
    while (!m_items.empty()) {
        const Item item = std::move(m_items.front());
        m_items.pop_front();
        lk.unlock();
        if (gate.Enter()) {
            item.task.CallBack(item.status, item.extra);
            gate.Leave();
        }
        lk.lock();
    }
    m_bTelling = false;
}

template <class I>
CVideoBroTaskMgrCore<I>::CVideoBroTaskMgrCore() : m_pTPU(std::make_shared<CVideoBroTaskTPU>())
{
    m_pTPU->SetTaskMgr(this);
}

template <class I> CVideoBroTaskMgrCore<I>::~CVideoBroTaskMgrCore() = default;

template <class I> void CVideoBroTaskMgrCore<I>::ReleaseHandle()
{
    if (--m_nHandles != 0) return;
    Close();
    Release(); // the handles' reference
}

template <class I> void CVideoBroTaskMgrCore<I>::Close()
{
    MgrRegistry<I>::Of().Unregister(this);
    // From here on the host hears nothing; a unit thread given up below gives up its source
    // steps at their next check.
    m_gate.Close();
    m_pTPU->SetTaskMgr(nullptr);
    m_pTPU->Stop();
}

template <class I> uint32_t CVideoBroTaskMgrCore<I>::Release()
{
    const uint32_t left = --m_nRef;
    if (left == 0) delete this;
    return left;
}

template <class I> tagVideoBroTask CVideoBroTaskMgrCore<I>::CopyOf(const tagVideoBroTask *task)
{
    tagVideoBroTask copy;
    if (task)
        copy = *task;
    else
        copy.TaskID = 0;
    return copy;
}

template <class I>
const tagVideoBroTask *CVideoBroTaskMgrCore<I>::FindIn(tagVideoBroTask *const *tasks, int32_t id)
{
    for (; tasks && *tasks; ++tasks)
        if ((*tasks)->TaskID == id) return *tasks;
    return nullptr;
}

template <class I> bool CVideoBroTaskMgrCore<I>::IsImminent(const tagVideoBroTask &task)
{
    return !task.IsTrigger() && task.GetTimeToStart() < kImminentUnits;
}

template <class I>
CVideoBroTaskArray CVideoBroTaskMgrCore<I>::NewListLocked(tagVideoBroTask *const *tasks,
                                                          bool startAndValue)
{
    CVideoBroTaskArray fresh;
    for (; tasks && *tasks; ++tasks) {
        tagVideoBroTask task = **tasks;
        task.Status = BROTASK_BEGIN;
        if (startAndValue) task.Value = 0;
        if (const tagVideoBroTask *old = m_Pending->Find(task.TaskID)) {
            task.Status = old->Status;
            task.Param2 = old->Param2;
            task.Param1 = old->Param1;
            if (startAndValue) {
                task.Start = old->Start;
                task.Value = old->Value;
            }
        }
        fresh->Add(task);
    }
    return fresh;
}

template <class I> IVideoBroTaskArray *CVideoBroTaskMgrCore<I>::ListOfLocked(int32_t id)
{
    if (m_Pending->Find(id)) return m_Pending.operator->();
    if (m_Ended->Find(id)) return m_Ended.operator->();
    return nullptr;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::GetPstTask(tagVideoBroTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    task = CopyOf(PstLocked());
    return task.TaskID;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::GetPgmTask(tagVideoBroTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    task = CopyOf(PgmLocked());
    return task.TaskID ? 1 : 0;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::IsEmpty()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return m_Pending->GetCount() == 0 ? 1 : 0;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::Lock()
{
    m_lock.Lock();
    return 1;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::Unlock()
{
    m_lock.Unlock();
    return 1;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::FindTask(int32_t id, tagVideoBroTask **task)
{
    IVideoBroTaskArray *list = ListOfLocked(id);
    tagVideoBroTask *found = list ? list->Find(id) : nullptr;
    if (task) *task = found;
    return found ? 1 : 0;
}

template <class I>
int32_t CVideoBroTaskMgrCore<I>::SetTaskParam(int32_t id, int32_t value, int32_t type)
{
    if (type == BROTASK_PARAM_STATUS) return SetStatus(id, value);
    BroTaskOutbox &out = Outbox();
    int32_t result = 0;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        IVideoBroTaskArray *list = ListOfLocked(id);
        if (!list) return 0;
        int32_t before = 0;
        result = list->SetParam(id, value, type, &before);
        // The owner is told every flag value that differs from the word the task had, until
        // it has heard the task's last status.
        const tagVideoBroTask *task = list->Find(id);
        if (result && type == BROTASK_PARAM_FLAGS && value != before && !FinalLocked(*task))
            out.Tell(*task, BROTASK_ERRNOTIFY, value);
    }
    Flush();
    return result;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::GetTaskParam(int32_t id, int32_t type)
{
    if (type < BROTASK_PARAM_1 || type > BROTASK_PARAM_FLAGS) return 0;
    std::lock_guard<CDataLock> lk(m_lock);
    IVideoBroTaskArray *list = ListOfLocked(id);
    int32_t value = 0;
    return list && list->GetParam(id, type, value) ? value : 0;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::SetTaskValue(int32_t id, int32_t value)
{
    std::lock_guard<CDataLock> lk(m_lock);
    m_Pending->SetValue(id, value, nullptr);
    return 0;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::GetTaskValue(int32_t id)
{
    std::lock_guard<CDataLock> lk(m_lock);
    IVideoBroTaskArray *list = ListOfLocked(id);
    int32_t value = 0;
    return list && list->GetValue(id, value) ? value : 0;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::PopEndedTask(tagVideoBroTask *task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    tagVideoBroTask first;
    if (!m_Ended->GetAt(0, first)) return 0;
    m_Ended->RemoveAt(0, 1);
    if (task) *task = first;
    return first.TaskID;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::AddEndedTask(const tagVideoBroTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    m_Ended->Add(task);
    return 1;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::StopPgm(int32_t)
{
    tagVideoBroTask pgm;
    if (!GetPgmTask(pgm)) return 0;
    SetTaskParam(pgm.TaskID, BROTASK_ENDPLAY, BROTASK_PARAM_STATUS);
    brotask::LogTMU("(StopPgm.%04d) : pgm stopped (id=%s dev=%s)", brotask::ThreadId(),
                    pgm.ID.szText, pgm.Dev.szText);
    return 1;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::AddTask(const tagVideoBroTask &task)
{
    {
        std::lock_guard<CDataLock> lk(m_lock);
        m_Pending->Add(task);
    }
    StartTPU();
    return 0;
}

template <class I>
int32_t CVideoBroTaskMgrCore<I>::InsertTask(const tagVideoBroTask &task, int32_t id)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const int32_t index = m_Pending->IndexOf(id);
    if (index >= 0) m_Pending->InsertAt(InsertIndexLocked(index), task);
    return 0;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::RemoveTask(int32_t id)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const int32_t index = m_Pending->IndexOf(id);
    if (index < 0) return 0;
    m_Pending->RemoveAt(index, 1);
    OnRemovedLocked(id);
    return 1;
}

template <class I>
int32_t CVideoBroTaskMgrCore<I>::GetNextPst(int32_t pstId, int32_t nth, tagVideoBroTask &next)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const tagVideoBroTask *found = m_Pending->Find(pstId);
    next = CopyOf(found);
    // Each step starts from the one before with the start it would get.
    for (int32_t step = 0; found && step < nth; ++step) {
        int64_t start = 0;
        found = NextPstLocked(next, start);
        next = CopyOf(found);
        if (found) next.Start = start;
    }
    if (!found || nth < 1) next = CopyOf(nullptr);
    return next.TaskID;
}

template <class I>
int32_t CVideoBroTaskMgrCore<I>::PassOverPst(int32_t id, int64_t now, bool uncued, uint32_t flag)
{
    BroTaskOutbox &out = Outbox();
    {
        std::lock_guard<CDataLock> lk(m_lock);
        tagVideoBroTask *pst = PstLocked();
        if (!pst || pst->TaskID != id || pst->IsTrigger() || pst->Status >= BROTASK_BEGINPLAY)
            return 0;
        if (uncued ? pst->Status >= BROTASK_ENDCUE : now <= pst->GetEndTime()) return 0;
        if (!pst->Flags) {
            pst->Flags = flag;
            out.Tell(*pst, BROTASK_ERRNOTIFY, static_cast<int32_t>(flag));
        }
        pst->Status = BROTASK_ENDPLAY;
        out.Tell(*pst, BROTASK_ENDPLAY, 0);
        PassOverLocked(*pst, out);
    }
    Flush();
    return 1;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::Sync(int32_t)
{
    std::lock_guard<CDataLock> lk(m_lock);
    return 1;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::GetTask(int32_t id, tagVideoBroTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    if (const tagVideoBroTask *found = m_Pending->Find(id)) task = *found;
    return 0;
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::GetTaskAt(int32_t index, tagVideoBroTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    return m_Pending->GetAt(index, task);
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::GetTaskCount()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return m_Pending->GetCount();
}

template <class I> int32_t CVideoBroTaskMgrCore<I>::GetTaskIDList(CDWordArray &ids)
{
    std::lock_guard<CDataLock> lk(m_lock);
    ids.RemoveAll();
    for (tagVideoBroTask **task = m_Pending->GetData(); *task; ++task)
        ids.Add(static_cast<uint32_t>((*task)->TaskID));
    return ids.GetSize();
}

template class CVideoBroTaskMgrCore<IVideoBroTaskMgr1>;
template class CVideoBroTaskMgrCore<IVideoBroTaskMgr3>;

template <class I> CVideoBroTaskMgrHandle<I>::CVideoBroTaskMgrHandle(I *mgr) : _Impl(mgr)
{
    RegisterMgr(mgr);
}

template <class I>
CVideoBroTaskMgrHandle<I>::CVideoBroTaskMgrHandle(const CVideoBroTaskMgrHandle &other)
    : _Impl(other._Impl)
{
    CoreOf(_Impl).AddHandle();
}

template <class I>
CVideoBroTaskMgrHandle<I> &CVideoBroTaskMgrHandle<I>::operator=(const CVideoBroTaskMgrHandle &other)
{
    CoreOf(other._Impl).AddHandle();
    CoreOf(_Impl).ReleaseHandle();
    _Impl = other._Impl;
    return *this;
}

template <class I> CVideoBroTaskMgrHandle<I>::~CVideoBroTaskMgrHandle()
{
    CoreOf(_Impl).ReleaseHandle();
}

template <class I> I *CVideoBroTaskMgrHandle<I>::GetMgr(int32_t index)
{
    return MgrRegistry<I>::Of().Get(index);
}

template <class I> int32_t CVideoBroTaskMgrHandle<I>::RegisterMgr(I *mgr)
{
    return MgrRegistry<I>::Of().Register(mgr);
}

template <class I> int32_t CVideoBroTaskMgrHandle<I>::UnregisterMgr(I *mgr)
{
    return MgrRegistry<I>::Of().Unregister(mgr);
}

template class CVideoBroTaskMgrHandle<IVideoBroTaskMgr1>;
template class CVideoBroTaskMgrHandle<IVideoBroTaskMgr3>;
