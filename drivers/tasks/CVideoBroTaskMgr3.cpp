#include "drivers/tasks/CVideoBroTaskMgr3.h"

#include "drivers/tasks/BroTaskLog.h"
#include "drivers/tasks/CVideoBroTaskMgrCore.h"
#include "drivers/tasks/IVideoBroTaskProcess.h"
#include "drivers/tasks/BroTaskDevices.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace {

using brotask::DateTimeText;
using brotask::LogTMU;
using brotask::ThreadId;
using brotask::TimecodeText;

constexpr int64_t kUnitsPerFrame = tagVideoBroTask::kUnitsPerFrame;
// A playing program this close to its end is left alone by SyncTask.
constexpr int64_t kSyncEndFrames = 150;

// Variant 3: program and preset are named by id anywhere in the pending list, played tasks
// stay in it, tasks of start type 1 follow the program task, and the operator operations work.
class CVideoBroTaskMgr3_Impl final : public CVideoBroTaskMgrCore<IVideoBroTaskMgr3> {
public:
    int32_t GetPstTask(tagVideoBroTask &task) override;
    int32_t Submit(tagVideoBroTask *const *tasks, int32_t pstId) override;
    int32_t SetAttachedObject(int32_t value) override;
    int32_t GetAttachedObject() override;
    int32_t Abort() override;
    int32_t SyncTask(int32_t id, const int64_t *start, int32_t position) override;
    int32_t Hold() override;
    int32_t Take(int32_t refuseWhileOnAir) override;
    int32_t RemoveAllTask() override;
    int32_t GetPlayIDList(CDWordArray &ids) override;
    int32_t Pause() override;
    int32_t GotoTask(int32_t id) override;
    int32_t Goto(int32_t index) override;
    int32_t Reset() override;

protected:
    tagVideoBroTask *PgmLocked() override { return m_Pending->Find(m_nPgmID); }
    tagVideoBroTask *PstLocked() override { return m_Pending->Find(m_nPstID); }
    int32_t SetStatus(int32_t id, int32_t status) override;
    // The task after the preset follows it in time.
    const tagVideoBroTask *NextPstLocked(const tagVideoBroTask &pst, int64_t &start) override
    {
        const int32_t index = m_Pending->IndexOf(pst.TaskID) + 1;
        if (index <= 0 || index >= m_Pending->GetCount()) return nullptr;
        start = pst.GetEndTime();
        return m_Pending->GetPtrAt(index);
    }
    // A played task ends with the stop's last status.
    bool FinalLocked(const tagVideoBroTask &task) const override
    {
        return task.Status >= BROTASK_EJECTEND;
    }
    // The preset stays in the list and ends as a played task ends here, with the stop's
    // statuses (its source has nothing to stop); the task after it becomes the preset.
    void PassOverLocked(tagVideoBroTask &pst, BroTaskOutbox &out) override
    {
        for (const int32_t status : {BROTASK_EJECTBEGIN, BROTASK_EJECTEND}) {
            pst.Status = status;
            out.Tell(pst, status, 0);
        }
        GotoNextLocked(pst.TaskID);
    }

private:
    // The record after task `id` becomes the preset, following it in time; without one there
    // is no preset. The new preset's id.
    int32_t GotoNextLocked(int32_t id);
    // Makes `task` the preset: status 1, value 0.
    void PresetLocked(tagVideoBroTask &task);
    // Chooses a preset when there is none and logs the choice.
    void AutoSelPst();
    // Makes the pending ids unique: a later record with an id already seen is renumbered.
    // The new ids.
    std::vector<int32_t> ReGenLocked();
    int32_t SyncPlaying(const tagVideoBroTask &pgm, const int64_t *start, int32_t position,
                        int64_t begin);
    int32_t SyncStopped(const tagVideoBroTask &task, const int64_t *start, int32_t position);

    int32_t m_nPstID = 0;
    int32_t m_nAttached = 0;
};

int32_t CVideoBroTaskMgr3_Impl::GetPstTask(tagVideoBroTask &task)
{
    std::lock_guard<CDataLock> lk(m_lock);
    tagVideoBroTask *pst = PstLocked();
    task = CopyOf(pst);
    // The copy keeps the start it had; the stored one follows the program task.
    const tagVideoBroTask *pgm = PgmLocked();
    if (pst && pgm && pst->StartType == BROTASK_START_FOLLOW) pst->Start = pgm->GetEndTime();
    return task.TaskID;
}

void CVideoBroTaskMgr3_Impl::PresetLocked(tagVideoBroTask &task)
{
    task.Status = BROTASK_BEGIN;
    task.Value = 0;
    m_nPstID = task.TaskID;
}

int32_t CVideoBroTaskMgr3_Impl::GotoNextLocked(int32_t id)
{
    const int32_t index = m_Pending->IndexOf(id);
    if (index < 0 || index + 1 >= m_Pending->GetCount()) {
        m_nPstID = 0;
        return 0;
    }
    tagVideoBroTask &next = *m_Pending->GetPtrAt(index + 1);
    next.Start = m_Pending->GetPtrAt(index)->GetEndTime();
    PresetLocked(next);
    return m_nPstID;
}

int32_t CVideoBroTaskMgr3_Impl::SetStatus(int32_t id, int32_t status)
{
    BroTaskOutbox &out = Outbox();
    if (status == BROTASK_BEGINPLAY) {
        bool ok = false;
        int64_t start = 0;
        {
            std::lock_guard<CDataLock> lk(m_lock);
            tagVideoBroTask *pst = PstLocked();
            ok = pst && id == m_nPstID;
            if (ok) {
                if (tagVideoBroTask *pgm = PgmLocked()) {
                    pgm->Status = BROTASK_ENDPLAY;
                    m_Ended->Add(*pgm);
                    out.Tell(*pgm, BROTASK_ENDPLAY, 0);
                }
                pst->Status = BROTASK_BEGINPLAY;
                pst->Start = start = brotask::Now();
                out.Tell(*pst, BROTASK_BEGINPLAY, 0);
                GotoNextLocked(id);
                m_nPgmID = id;
            }
        }
        if (ok)
            LogTMU("PgmStartTime.%04d:,Start=%s", ThreadId(),
                   brotask::TimeOfDayText(start).GetString());
        else
            LogTMU("SetTaskStatus.%04d: Pst not found", ThreadId());
    } else if (status == BROTASK_PLAYING && id == 0) {
        LogTMU("SetSyncTaskStatus.%04d: SyncPgmID not found", ThreadId());
    } else {
        std::lock_guard<CDataLock> lk(m_lock);
        tagVideoBroTask *task = m_Pending->Find(id);
        // A late report for a task that has ended changes nothing and is not told.
        if (!task || MayTake(*task, status)) {
            if (status == BROTASK_PLAYING) {
                m_nPgmID = id;
            } else if (status == BROTASK_ENDPLAY && id && id == m_nPgmID) {
                if (const tagVideoBroTask *pgm = PgmLocked()) {
                    tagVideoBroTask ended = *pgm;
                    ended.Status = BROTASK_ENDPLAY;
                    m_Ended->Add(ended);
                }
                m_nPgmID = 0;
            }
            if (task) {
                task->Status = status;
                if (task->Value == 1 && status < BROTASK_ENDCUE) task->Value = 0;
                out.Tell(*task, status, 0);
            }
        }
    }
    Flush();
    return 1;
}

void CVideoBroTaskMgr3_Impl::AutoSelPst()
{
    tagVideoBroTask chosen;
    chosen.TaskID = 0;
    int32_t pgmId = 0;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (!PstLocked()) m_nPstID = 0;
        if (!m_nPstID) {
            const int32_t count = m_Pending->GetCount();
            if (const tagVideoBroTask *pgm = PgmLocked()) {
                const int32_t index = m_Pending->IndexOf(pgm->TaskID);
                if (index + 1 < count) {
                    tagVideoBroTask &next = *m_Pending->GetPtrAt(index + 1);
                    PresetLocked(next);
                    next.Start = pgm->GetEndTime();
                    chosen = next;
                }
            }
            // The task on air is never made the preset: that would set it back to Begin.
            tagVideoBroTask *first = count > 0 ? m_Pending->GetPtrAt(0) : nullptr;
            if (!m_nPstID && first && first->TaskID != m_nPgmID) {
                PresetLocked(*first);
                first->StartType = BROTASK_START_TRIGGER;
                chosen = *first;
            }
        }
        if (m_nPstID && m_nPstID == m_nPgmID) {
            m_nPstID = 0;
            chosen.TaskID = 0;
        }
        pgmId = m_nPgmID;
    }
    if (chosen.TaskID)
        LogTMU("(AutoSelPst.%04d): Pgm=%d Pst=%d time(%s)", ThreadId(), pgmId, chosen.TaskID,
               DateTimeText(chosen.Start).GetString());
}

std::vector<int32_t> CVideoBroTaskMgr3_Impl::ReGenLocked()
{
    std::unordered_set<int32_t> seen;
    std::vector<int32_t> renumbered;
    for (tagVideoBroTask **task = m_Pending->GetData(); *task; ++task) {
        int32_t &id = (*task)->TaskID;
        if (seen.count(id)) {
            do ++id;
            while (seen.count(id));
            renumbered.push_back(id);
        }
        seen.insert(id);
    }
    return renumbered;
}

int32_t CVideoBroTaskMgr3_Impl::Submit(tagVideoBroTask *const *tasks, int32_t pstId)
{
    bool abort = false, stopPgm = false;
    int32_t nextFrom = 0; // GotoNext from the preset the new list drops
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (const tagVideoBroTask *pgm = PgmLocked()) {
            const tagVideoBroTask *next = FindIn(tasks, pgm->TaskID);
            if (!next)
                stopPgm = true;
            else if (std::strcmp(next->Dev, pgm->Dev) || std::strcmp(next->ID, pgm->ID))
                return 0;
        }
        if (const tagVideoBroTask *pst = PstLocked()) {
            if (IsImminent(*pst)) return 0;
            const tagVideoBroTask *next = FindIn(tasks, pst->TaskID);
            if (!next) {
                abort = true;
                nextFrom = pst->TaskID;
            } else {
                abort = std::strcmp(next->Dev, pst->Dev) || std::strcmp(next->ID, pst->ID) ||
                        next->SOM != pst->SOM || next->DUR != pst->DUR ||
                        next->StartType != pst->StartType;
            }
        }
    }
    LogTMU("(Submit.%04d) : Begin Submit TaskList", ThreadId());
    if (abort) Abort();
    if (nextFrom) {
        int32_t newPst = 0;
        {
            std::lock_guard<CDataLock> lk(m_lock);
            newPst = GotoNextLocked(nextFrom);
        }
        SetTaskStatus(nextFrom, BROTASK_BEGIN);
        LogTMU("(GotoNext.%04d): OldPst=%d, NewPst=%d ", ThreadId(), nextFrom, newPst);
    }
    if (stopPgm) StopPgm(0);

    bool gotoWanted = false;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        m_Pending = NewListLocked(tasks, true);
        gotoWanted = pstId && pstId != m_nPstID;
    }
    if (gotoWanted) GotoTask(pstId);
    AutoSelPst();

    std::vector<int32_t> renumbered;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        renumbered = ReGenLocked();
    }
    for (const int32_t id : renumbered) {
        CString entry;
        entry.Format("ReGen(ID=%u)", static_cast<uint32_t>(id));
        LogTMU("(Submit.%04d): Error Task (%s)", ThreadId(), entry.GetString());
    }
    LogTMU("(Submit.%04d): End Submit TaskList(%s)", ThreadId(),
           renumbered.empty() ? "OK" : "Failed");
    StartTPU();
    return 1;
}

int32_t CVideoBroTaskMgr3_Impl::SetAttachedObject(int32_t value)
{
    std::lock_guard<CDataLock> lk(m_lock);
    m_nAttached = value;
    return 1;
}

int32_t CVideoBroTaskMgr3_Impl::GetAttachedObject()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return m_nAttached;
}

int32_t CVideoBroTaskMgr3_Impl::Abort()
{
    SendUnit(TPU_UNIT_CUE, TPU_CMD_CANCEL, TPU_FROM_ABORT3);
    tagVideoBroTask pst;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        pst = CopyOf(PstLocked());
    }
    if (pst.TaskID) SetTaskStatus(pst.TaskID, BROTASK_BEGIN);
    SendUnit(TPU_UNIT_NEW, TPU_CMD_CANCEL, TPU_FROM_ABORT3);
    {
        std::lock_guard<CDataLock> lk(m_lock);
        m_nPstID = 0;
    }
    if (pst.TaskID)
        LogTMU("(Abort.%04d) : pst abort (id=%s dev=%s)", ThreadId(), pst.ID.szText,
               pst.Dev.szText);
    return 1;
}

int32_t CVideoBroTaskMgr3_Impl::Hold()
{
    bool had = false;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (tagVideoBroTask *pst = PstLocked()) {
            pst->StartType = BROTASK_START_TRIGGER;
            had = true;
        }
    }
    Abort();
    LogTMU("(Hold.%04d):Hold OK", ThreadId());
    return had ? 1 : 0;
}

int32_t CVideoBroTaskMgr3_Impl::Take(int32_t refuseWhileOnAir)
{
    if (refuseWhileOnAir) {
        std::lock_guard<CDataLock> lk(m_lock);
        if (PgmLocked()) return 0;
    }
    LogTMU("(Take.%04d):Take Begin", ThreadId());
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (tagVideoBroTask *pst = PstLocked()) {
            pst->Start = brotask::Now();
            tagVideoBroTask *pgm = PgmLocked();
            if (pgm && pst->StartType == BROTASK_START_FOLLOW)
                pgm->Start = pst->Start - pgm->DUR * kUnitsPerFrame;
        }
    }
    // A source waiting in its start call plays at once; otherwise the preset becomes due now.
    IVideoBroTaskTPU *tpu = GetTPU();
    const bool sent = tpu->GetUnitState(TPU_UNIT_NEW) != TPU_UNIT_IDLE &&
                      tpu->SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_PLAY_NOW, TPU_FROM_TAKE);
    if (!sent) {
        std::lock_guard<CDataLock> lk(m_lock);
        if (tagVideoBroTask *pst = PstLocked()) pst->StartType = BROTASK_START_FOLLOW;
    }
    LogTMU("(Take.%04d):Take End", ThreadId());
    return 1;
}

int32_t CVideoBroTaskMgr3_Impl::Pause()
{
    StopPgm(0);
    IVideoBroTaskTPU *tpu = GetTPU();
    if (tpu->GetUnitState(TPU_UNIT_NEW) != TPU_UNIT_IDLE)
        tpu->SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_CANCEL, TPU_FROM_TAKE);
    bool had = false;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (tagVideoBroTask *pst = PstLocked()) {
            pst->StartType = BROTASK_START_TRIGGER;
            had = true;
        }
    }
    LogTMU("(Pause.%04d):Pause OK", ThreadId());
    return had ? 1 : 0;
}

int32_t CVideoBroTaskMgr3_Impl::RemoveAllTask()
{
    if (IsEmpty()) return 1;
    SendUnit(TPU_UNIT_CUE, TPU_CMD_CANCEL, TPU_FROM_REMOVEALL);
    SendUnit(TPU_UNIT_NEW, TPU_CMD_CANCEL, TPU_FROM_REMOVEALL);
    std::lock_guard<CDataLock> lk(m_lock);
    m_Pending->RemoveAll();
    m_nPgmID = m_nPstID = m_nAttached = 0;
    return 1;
}

int32_t CVideoBroTaskMgr3_Impl::GetPlayIDList(CDWordArray &ids)
{
    std::lock_guard<CDataLock> lk(m_lock);
    ids.RemoveAll();
    if (m_nPgmID) ids.Add(static_cast<uint32_t>(m_nPgmID));
    const int32_t from = m_Pending->IndexOf(m_nPstID);
    for (int32_t i = from; from >= 0 && i < m_Pending->GetCount(); ++i)
        ids.Add(static_cast<uint32_t>(m_Pending->GetPtrAt(i)->TaskID));
    return ids.GetSize();
}

int32_t CVideoBroTaskMgr3_Impl::GotoTask(int32_t id)
{
    int32_t index = -1;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        index = m_Pending->IndexOf(id);
    }
    return Goto(index);
}

int32_t CVideoBroTaskMgr3_Impl::Goto(int32_t index)
{
    SendUnit(TPU_UNIT_CUE, TPU_CMD_CANCEL, TPU_FROM_GOTO);
    SendUnit(TPU_UNIT_NEW, TPU_CMD_CANCEL, TPU_FROM_GOTO);
    int32_t oldPst = 0, newPst = 0;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (index >= 0 && index < m_Pending->GetCount()) {
            tagVideoBroTask &task = *m_Pending->GetPtrAt(index);
            if (const tagVideoBroTask *pgm = PgmLocked()) task.Start = pgm->GetEndTime();
            oldPst = m_nPstID;
            PresetLocked(task);
        }
        newPst = m_nPstID;
    }
    if (oldPst > 0) SetTaskStatus(oldPst, BROTASK_BEGIN);
    LogTMU("(Goto.%04d): OldPst=%d NewPst=%d", ThreadId(), oldPst, newPst);
    return 0;
}

int32_t CVideoBroTaskMgr3_Impl::Reset()
{
    SendUnit(TPU_UNIT_CUE, TPU_CMD_CANCEL, TPU_FROM_RESET);
    SendUnit(TPU_UNIT_NEW, TPU_CMD_CANCEL, TPU_FROM_RESET);
    tagVideoBroTask pgm;
    int32_t pstId = 0;
    CString dev;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        pgm = CopyOf(PgmLocked());
        if (PstLocked()) pstId = m_nPstID;
        m_nPgmID = m_nPstID = 0;
        for (tagVideoBroTask **task = m_Pending->GetData(); *task && dev.IsEmpty(); ++task)
            dev = (*task)->Dev;
    }
    if (pgm.TaskID) SetTaskStatus(pgm.TaskID, BROTASK_BEGIN);
    if (pstId) SetTaskStatus(pstId, BROTASK_BEGIN);
    IVideoBroTaskProcess *source = nullptr;
    GetTPU()->GetTaskProcess(dev, &source);
    if (source) {
        source->DevTaskPause(this, 0);
        LogTMU("(StopPgm.%04d) : pgm stopped (id=%s dev=%s)", ThreadId(), pgm.ID.szText,
               pgm.Dev.szText);
    }
    return 1;
}

int32_t CVideoBroTaskMgr3_Impl::SyncTask(int32_t id, const int64_t *start, int32_t position)
{
    const int64_t begin = brotask::Now();
    tagVideoBroTask pgm, task;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        pgm = CopyOf(PgmLocked());
        task = CopyOf(m_Pending->Find(id));
    }
    if (!pgm.TaskID) return id ? SyncStopped(task, start, position) : 0;
    if (pgm.TaskID != id) return 0;
    return SyncPlaying(pgm, start, position, begin);
}

// Where a resynchronised task is cued: `lead` frames past where its material should be now,
// its material having been `position` frames past SOM at `reference`; nothing is left to
// play when that lies at or past its end.
struct CuePoint {
    int64_t offset;
    int64_t playAt;
    bool Valid(const tagVideoBroTask &task) const { return offset >= 0 && offset < task.DUR; }
};

CuePoint CueAhead(int64_t reference, int32_t position, int32_t prepareMs)
{
    CuePoint cue;
    cue.offset = position + brotask::FramesSince(reference) + prepareMs / 40;
    cue.playAt = reference + (cue.offset - position) * kUnitsPerFrame;
    return cue;
}

int32_t CVideoBroTaskMgr3_Impl::SyncPlaying(const tagVideoBroTask &pgm, const int64_t *start,
                                            int32_t position, int64_t begin)
{
    CVideoSrcA *source = TaskVideoSrc(pgm.Dev);
    timecode_t at;
    if (!source || !source->DevGetPosition(0, at)) return 0;
    const int64_t expected = pgm.SOM + position + brotask::FramesSince(begin);
    if (pgm.SOM + pgm.DUR - at < kSyncEndFrames) return 1;
    if (std::llabs(at - expected) <= kSyncToleranceFrames) return 1;
    Abort();
    const CuePoint cue = CueAhead(begin, position, source->GetPrepareTime());
    if (!cue.Valid(pgm)) return 0;
    const timecode_t som = static_cast<int32_t>(pgm.SOM + cue.offset);
    const timecode_t dur = static_cast<int32_t>(pgm.DUR - cue.offset);
    if (!source->DevCueEx(pgm.ID, som, dur, nullptr)) return 0;
    LogTMU("SyncPlayingPgmCue.%04d: ClipID =%s,SOM=%s,Dur=%s,Start=%s", ThreadId(), pgm.ID.szText,
           TimecodeText(som).GetString(), TimecodeText(dur).GetString(),
           DateTimeText(cue.playAt).GetString());
    source->DevPlay(&cue.playAt);
    if (start) {
        std::lock_guard<CDataLock> lk(m_lock);
        if (tagVideoBroTask *stored = m_Pending->Find(pgm.TaskID)) stored->Start = *start;
    }
    return 1;
}

int32_t CVideoBroTaskMgr3_Impl::SyncStopped(const tagVideoBroTask &task, const int64_t *start,
                                            int32_t position)
{
    if (!start) return 0;
    LogTMU("SyncStoppedPgm:StartTime.%04d:,Start=%s", ThreadId(), DateTimeText(*start).GetString());
    CVideoSrcA *source = task.TaskID ? TaskVideoSrc(task.Dev) : nullptr;
    if (!source) return 0;
    Abort();
    {
        // A stopped program put back on air goes through its statuses afresh.
        std::lock_guard<CDataLock> lk(m_lock);
        tagVideoBroTask *stored = m_Pending->Find(task.TaskID);
        if (stored && stored->Status >= BROTASK_ENDPLAY) stored->Status = BROTASK_BEGIN;
    }
    SetTaskStatus(task.TaskID, BROTASK_CUING);
    const CuePoint cue = CueAhead(*start, position, source->GetPrepareTime());
    if (!cue.Valid(task)) return 0;
    const timecode_t som = static_cast<int32_t>(task.SOM + cue.offset);
    const timecode_t dur = static_cast<int32_t>(task.DUR - cue.offset);
    if (!source->DevCueEx(task.ID, som, dur, nullptr)) return 0;
    SetTaskStatus(task.TaskID, BROTASK_ENDCUE);
    LogTMU("SyncStoppedPgmCue.%04d: ClipID =%s,SOM=%s,Dur=%s,Start=%s", ThreadId(), task.ID.szText,
           TimecodeText(som).GetString(), TimecodeText(dur).GetString(),
           DateTimeText(cue.playAt).GetString());
    source->DevPlay(&cue.playAt);
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (tagVideoBroTask *stored = m_Pending->Find(task.TaskID)) stored->Start = *start;
    }
    SetTaskStatus(task.TaskID, BROTASK_PLAYING); // the task becomes the program task
    return 1;
}

} // namespace

CVideoBroTaskMgr3::CVideoBroTaskMgr3() : CVideoBroTaskMgrHandle(new CVideoBroTaskMgr3_Impl) {}
