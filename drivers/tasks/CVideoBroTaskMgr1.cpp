#include "drivers/tasks/CVideoBroTaskMgr1.h"

#include "drivers/tasks/BroTaskLog.h"
#include "drivers/tasks/CVideoBroTaskMgrCore.h"
#include "drivers/tasks/BroTaskDevices.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

using brotask::LogTMU;
using brotask::ThreadId;

// Variant 1: the program task is the head of the pending list while the program id is set;
// the preset follows it (or is the head when nothing is on air). Ended tasks leave the list.
class CVideoBroTaskMgr1_Impl final : public CVideoBroTaskMgrCore<IVideoBroTaskMgr1> {
public:
    int32_t Submit(tagVideoBroTask *const *tasks, int32_t pstId) override;
    int32_t SetAttachedObject(int32_t) override { return 1; }
    int32_t GetAttachedObject() override { return 0; }
    int32_t Abort() override;
    int32_t SyncTask(int32_t id, const int64_t *start, int32_t position) override;
    int32_t Hold() override { return 0; }
    int32_t Take(int32_t) override { return 0; }
    int32_t RemoveAllTask() override;
    int32_t GetPlayIDList(CDWordArray &ids) override { return GetTaskIDList(ids); }
    int32_t Pause() override { return 0; }
    int32_t RemoveAllStaged() override;
    int32_t SubmitStaged() override;
    int32_t AddStaged(const tagVideoBroTask &task) override;

protected:
    tagVideoBroTask *PgmLocked() override
    {
        return m_nPgmID && m_Pending->GetCount() > 0 ? m_Pending->GetPtrAt(0) : nullptr;
    }
    tagVideoBroTask *PstLocked() override
    {
        const int32_t index = m_nPgmID ? 1 : 0;
        return index < m_Pending->GetCount() ? m_Pending->GetPtrAt(index) : nullptr;
    }
    int32_t SetStatus(int32_t id, int32_t status) override;
    // The program task leaving the list takes the program id with it, or its successor would
    // be taken for the task on air.
    void OnRemovedLocked(int32_t id) override
    {
        if (id == m_nPgmID) m_nPgmID = 0;
    }
    // Nothing goes before the task on air.
    int32_t InsertIndexLocked(int32_t index) override { return m_nPgmID && index == 0 ? 1 : index; }
    // The task after the preset keeps its own start.
    const tagVideoBroTask *NextPstLocked(const tagVideoBroTask &pst, int64_t &start) override
    {
        const int32_t index = m_Pending->IndexOf(pst.TaskID) + 1;
        if (index <= 0 || index >= m_Pending->GetCount()) return nullptr;
        const tagVideoBroTask *next = m_Pending->GetPtrAt(index);
        start = next->Start;
        return next;
    }
    // An ended task has left the pending list; the host hears nothing of it after EndPlay.
    bool FinalLocked(const tagVideoBroTask &task) const override
    {
        return task.Status >= BROTASK_ENDPLAY;
    }
    // The preset leaves the list, so the task after it becomes the preset.
    void PassOverLocked(tagVideoBroTask &pst, BroTaskOutbox &) override
    {
        m_Pending->RemoveAt(m_Pending->IndexOf(pst.TaskID), 1);
    }

private:
    // The program task, with status 13, moves from the head of the pending list to the ended
    // list; the copy that was moved.
    tagVideoBroTask EndPgmLocked();
    void KeepPgmAtHeadLocked();

    CVideoBroTaskArray m_Staged;
};

tagVideoBroTask CVideoBroTaskMgr1_Impl::EndPgmLocked()
{
    tagVideoBroTask *pgm = PgmLocked();
    pgm->Status = BROTASK_ENDPLAY;
    const tagVideoBroTask ended = *pgm;
    m_Ended->Add(ended);
    m_Pending->RemoveAt(0, 1);
    return ended;
}

int32_t CVideoBroTaskMgr1_Impl::SetStatus(int32_t id, int32_t status)
{
    BroTaskOutbox &out = Outbox();
    if (status == BROTASK_BEGINPLAY) {
        CString clip;
        bool ok = false;
        {
            std::lock_guard<CDataLock> lk(m_lock);
            if (IVideoBroTaskArray *list = ListOfLocked(id)) clip = list->Find(id)->ID;
            tagVideoBroTask *pst = PstLocked();
            ok = pst && pst->TaskID == id;
            if (ok) {
                const bool hadPgm = PgmLocked() != nullptr;
                const tagVideoBroTask old = hadPgm ? EndPgmLocked() : tagVideoBroTask();
                pst->Status = BROTASK_BEGINPLAY; // the preset is now the head
                m_nPgmID = id;
                out.Tell(*pst, BROTASK_BEGINPLAY, 0);
                if (hadPgm) out.Tell(old, BROTASK_ENDPLAY, 0);
            }
        }
        LogTMU("(SetStatus.%04d) : Set %s Status to Begin Play %s", ThreadId(), clip.GetString(),
               ok ? "OK" : "Failed");
    } else if (status == BROTASK_ENDPLAY) {
        CString clip;
        {
            std::lock_guard<CDataLock> lk(m_lock);
            if (id && id == m_nPgmID && PgmLocked()) {
                const tagVideoBroTask ended = EndPgmLocked();
                m_nPgmID = 0;
                clip = ended.ID;
                out.Tell(ended, BROTASK_ENDPLAY, 0);
            }
        }
        if (!clip.IsEmpty())
            LogTMU("(SetStatus.%04d) : Set %s Status to End Play %s", ThreadId(), clip.GetString(),
                   "OK");
    } else {
        std::lock_guard<CDataLock> lk(m_lock);
        IVideoBroTaskArray *list = ListOfLocked(id);
        tagVideoBroTask *task = list ? list->Find(id) : nullptr;
        if (task && MayTake(*task, status)) {
            task->Status = status;
            out.Tell(*task, status, 0);
        }
    }
    Flush();
    return 1;
}

void CVideoBroTaskMgr1_Impl::KeepPgmAtHeadLocked()
{
    const int32_t index = m_Pending->IndexOf(m_nPgmID);
    if (index <= 0) return;
    const tagVideoBroTask pgm = *m_Pending->GetPtrAt(index);
    m_Pending->RemoveAt(index, 1);
    m_Pending->InsertAt(0, pgm);
}

int32_t CVideoBroTaskMgr1_Impl::Submit(tagVideoBroTask *const *tasks, int32_t)
{
    bool abort = false;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (const tagVideoBroTask *pgm = PgmLocked()) {
            const tagVideoBroTask *next = FindIn(tasks, pgm->TaskID);
            if (!next || std::strcmp(next->Dev, pgm->Dev) || std::strcmp(next->ID, pgm->ID))
                return 0;
        }
        if (const tagVideoBroTask *pst = PstLocked()) {
            if (IsImminent(*pst)) return 0;
            const tagVideoBroTask *next = FindIn(tasks, pst->TaskID);
            abort = !next || std::strcmp(next->Dev, pst->Dev) || std::strcmp(next->ID, pst->ID) ||
                    next->DUR != pst->DUR || next->StartType != pst->StartType;
        }
    }
    if (abort) Abort();
    {
        std::lock_guard<CDataLock> lk(m_lock);
        CVideoBroTaskArray fresh = NewListLocked(tasks, false);
        fresh->SortByStart(1);
        m_Pending = fresh;
        KeepPgmAtHeadLocked();
    }
    StartTPU();
    return 1;
}

int32_t CVideoBroTaskMgr1_Impl::Abort()
{
    SendUnit(TPU_UNIT_CUE, TPU_CMD_CANCEL, TPU_FROM_ABORT);
    tagVideoBroTask pst;
    if (GetPstTask(pst)) {
        SetTaskStatus(pst.TaskID, BROTASK_BEGIN);
        LogTMU("(Abort.%04d) : pst abort (id=%s dev=%s)", ThreadId(), pst.ID.szText,
               pst.Dev.szText);
    }
    return 0;
}

int32_t CVideoBroTaskMgr1_Impl::SyncTask(int32_t, const int64_t *, int32_t)
{
    tagVideoBroTask pgm;
    if (!GetPgmTask(pgm)) return 0;
    CVideoSrcA *source = TaskVideoSrc(pgm.Dev);
    timecode_t position;
    if (!source || !source->DevGetPosition(0, position)) return 0;
    const int64_t elapsed = brotask::FramesSince(pgm.Start);
    if (std::llabs(position - elapsed) > kSyncToleranceFrames) Abort();
    return 1;
}

int32_t CVideoBroTaskMgr1_Impl::RemoveAllTask()
{
    std::lock_guard<CDataLock> lk(m_lock);
    m_Pending->RemoveAll();
    m_nPgmID = 0;
    return 1;
}

int32_t CVideoBroTaskMgr1_Impl::RemoveAllStaged()
{
    std::lock_guard<CDataLock> lk(m_lock);
    m_Staged->RemoveAll();
    return 1;
}

int32_t CVideoBroTaskMgr1_Impl::SubmitStaged()
{
    CVideoBroTaskArray staged;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        for (tagVideoBroTask **task = m_Staged->GetData(); *task; ++task) staged->Add(**task);
    }
    return Submit(staged->GetData(), 0);
}

int32_t CVideoBroTaskMgr1_Impl::AddStaged(const tagVideoBroTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    m_Staged->Add(task);
    return 1;
}

} // namespace

CVideoBroTaskMgr1::CVideoBroTaskMgr1() : CVideoBroTaskMgrHandle(new CVideoBroTaskMgr1_Impl) {}
