#include "drivers/model/CVideoPlayTaskList.h"

#include "drivers/model/DeviceCalls.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CDataLock.h"
#include "KestLib20/CFileTime.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <vector>

namespace {

constexpr const char *kLogType = "LOG_PLAYTASK";
constexpr int64_t kUnitsPerMs = 10000;
constexpr int64_t kUnitsPerFrame = CVideoPlayTask::kUnitsPerFrame;
constexpr int64_t kEndedGrace = 1000 * kUnitsPerMs; // an active task ended this long ago goes
constexpr int32_t kRecueLead = 125;                 // frames until a re-cued task starts
constexpr int32_t kRecueMinLeft = 250;              // frames that must be left to re-cue
constexpr int32_t kMaxProgram = 2160000;            // frames: 24 hours
constexpr int64_t kNoDeadline = 268435455;          // ms
constexpr int64_t kMinWait = 300;                   // ms
constexpr int64_t kPresetMargin = 500;              // ms

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

CString StartText(const CVideoPlayTask &task)
{
    char text[CFileTime::kDateTimeTextSize];
    return CFileTime(task.m_nStart).GetAsString(text);
}

CString FormatV(const char *format, va_list args)
{
    CString text;
    text.FormatV(format, args);
    return text;
}

void LogLine(const char *format, ...) __attribute__((format(printf, 1, 2)));
void LogLine(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    const CString text = FormatV(format, args);
    va_end(args);
    glReportDbg(kLogType, "%s", text.GetString());
}

// What an operation reports once the lock is left: log lines and status callbacks, in the
// order they were made.
class Outbox {
public:
    void Log(const char *format, ...) __attribute__((format(printf, 2, 3)))
    {
        va_list args;
        va_start(args, format);
        m_items.push_back({FormatV(format, args), {}, 0, 0, true});
        va_end(args);
    }
    // A task without an id has nobody to tell.
    void Tell(const CVideoPlayTask &task, int32_t status, int32_t extra)
    {
        if (task.m_nTaskID) m_items.push_back({{}, task, status, extra, false});
    }
    void Flush()
    {
        for (const Item &item : m_items) {
            if (item.log)
                LogLine("%s", item.text.GetString());
            else
                item.task.CallBack(item.status, item.extra);
        }
        m_items.clear();
    }

private:
    struct Item {
        CString text;
        CVideoPlayTask task;
        int32_t status;
        int32_t extra;
        bool log;
    };
    std::vector<Item> m_items;
};

// A task of the same program: what a device plays is the same.
bool SameProgram(const CVideoPlayTask &a, const CVideoPlayTask &b)
{
    return a.m_strClipID == b.m_strClipID && a.m_nDUR == b.m_nDUR && a.m_nStart == b.m_nStart &&
           a.m_nSOM == b.m_nSOM;
}

bool SamePreset(const CVideoPlayTask &a, const CVideoPlayTask &b)
{
    return a.m_nTaskID == b.m_nTaskID && a.m_strClipID == b.m_strClipID && a.m_nDUR == b.m_nDUR &&
           a.m_nSOM == b.m_nSOM;
}

// The rest of a running task, to be cued again and started in 5 s where its material will
// then be; false when no more than 10 s of it are left.
bool MakeRecue(const CVideoPlayTask &task, int64_t now, CVideoPlayTask &recue)
{
    const int64_t left = (task.GetEnd() - now) / kUnitsPerFrame;
    if (left <= kRecueMinLeft) return false;
    recue = task;
    recue.m_nStart = now + kRecueLead * kUnitsPerFrame;
    recue.m_nDUR = static_cast<int32_t>(left - kRecueLead);
    recue.m_nSOM = static_cast<int32_t>(task.m_nSOM + task.m_nDUR + kRecueLead - left);
    recue.m_nStatus = PLAYTASK_WAITING; // cued and started again from the beginning
    recue.m_nFlags = 0;
    return true;
}

int IndexOf(const CVideoPlayTaskArray &tasks, int32_t taskId)
{
    for (int i = 0; i < tasks.GetSize(); ++i)
        if (tasks[i].m_nTaskID == taskId) return i;
    return -1;
}

} // namespace

struct CVideoPlayTaskList::State : std::enable_shared_from_this<State> {
    CDataLock lock;
    plat::Event wake{false, false};
    std::deque<CVideoPlayTaskArray> submitted;
    CVideoPlayTaskArray pending; // by start; the head is the preset
    CVideoPlayTaskArray stopped; // oldest first
    CVideoPlayTask active;       // id 0: none
    IVideoPlayTaskOwner *owner = nullptr;

    // The thread of the current generation; a thread given up keeps its own generation and
    // ends at its next look at the state.
    plat::Thread thread;
    uint32_t generation = 0;
    bool threadLive = false;
    bool stopRequested = false;
    // The calling unit the thread of the current generation is bound to: a stop from another
    // thread ends the exchanges and pauses of the step it is in, so a close of the source does
    // not wait on a device that has stopped answering.
    std::shared_ptr<CCallingUnit> run;

    // The placement rule: after the last task that starts strictly earlier; with none, the
    // task becomes the preset and the old preset goes back to waiting.
    void Place(const CVideoPlayTask &task)
    {
        for (int i = pending.GetSize() - 1; i >= 0; --i)
            if (pending[i].m_nStart < task.m_nStart) {
                pending.InsertAt(i + 1, task);
                return;
            }
        if (!pending.IsEmpty()) pending[0].m_nStatus = PLAYTASK_WAITING;
        pending.InsertAt(0, task);
    }

    // Puts `recue` in front of the preset, which goes back to waiting.
    void PutInFront(const CVideoPlayTask &recue, Outbox &out)
    {
        if (!pending.IsEmpty()) {
            pending[0].m_nStatus = PLAYTASK_WAITING;
            out.Tell(pending[0], PLAYTASK_WAITING, 0);
        }
        pending.InsertAt(0, recue);
    }

    // The active task as it goes off air: status 13, on the stopped list (when it is a task),
    // logged. The lock is held.
    CVideoPlayTask StopActiveLocked(Outbox &out)
    {
        CVideoPlayTask old = active;
        old.m_nStatus = PLAYTASK_STOPPED;
        if (old.m_nTaskID) {
            stopped.Add(old);
            out.Log("停止播出 ID = %s startTime = %s", old.m_strClipID.GetString(),
                    StartText(old).GetString());
        }
        return old;
    }

    // The lock is held.
    void SetActiveLocked(const CVideoPlayTask &task, Outbox &out)
    {
        const CVideoPlayTask old = StopActiveLocked(out);
        active = task;
        active.m_nStatus = PLAYTASK_ON_AIR;
        out.Log("开始播出 ID = %s startTime = %s", active.m_strClipID.GetString(),
                StartText(active).GetString());
        out.Tell(old, PLAYTASK_STOPPED, 3);
        out.Tell(active, PLAYTASK_ON_AIR, 0);
        if (active.m_nFlags) out.Tell(active, PLAYTASK_ERR_NOTIFY, 1);
    }

    int SetActiveTask(const CVideoPlayTask &task)
    {
        Outbox out;
        {
            std::lock_guard<CDataLock> lk(lock);
            SetActiveLocked(task, out);
        }
        out.Flush();
        return 1;
    }

    int CancelPst()
    {
        Outbox out;
        {
            std::lock_guard<CDataLock> lk(lock);
            CVideoPlayTask preset;
            if (!pending.IsEmpty()) {
                pending[0].m_nStatus = PLAYTASK_WAITING;
                preset = pending[0];
                out.Tell(preset, PLAYTASK_WAITING, 0);
            }
            out.Log("trace@CancelPst;pst=%s(%d)", preset.ClipOrNil(), preset.m_nTaskID);
        }
        out.Flush();
        return 0;
    }

    int StopPgm()
    {
        SetActiveTask(CVideoPlayTask());
        LogLine("trace@StopPgm");
        return 0;
    }

    enum MergeAction { actRecuePgm = 1, actCancelPst = 2, actStopPgm = 3 };

    // The part of a merge made under the lock: drops what has ended from the front of
    // `tasks`, takes off a task already running as the new program (or re-cues it when it is
    // not what is on air), and decides what to do with the program and the preset.
    std::vector<MergeAction> PlanMerge(CVideoPlayTaskArray &tasks, CVideoPlayTask &program,
                                       bool &hasProgram, Outbox &out)
    {
        const int64_t now = Now();
        while (!tasks.IsEmpty() && tasks[0].GetEnd() <= now) tasks.RemoveAt(0);
        if (!tasks.IsEmpty() && tasks[0].m_nStart <= now) {
            program = tasks[0];
            hasProgram = true;
            tasks.RemoveAt(0);
        }
        const CVideoPlayTask oldProgram = active;
        if (hasProgram && !SameProgram(program, active) && program.m_nDUR <= kMaxProgram) {
            // Another task's re-cue replaces what is on air: that ends as a replaced program
            // does. The same task re-cued goes on, as after SyncPlay.
            if (active.m_nTaskID != program.m_nTaskID)
                out.Tell(StopActiveLocked(out), PLAYTASK_STOPPED, 3);
            active.m_nTaskID = 0;
            hasProgram = false;
            CVideoPlayTask recue;
            if (MakeRecue(program, now, recue)) tasks.InsertAt(0, recue);
        }
        const bool presetBusy = !pending.IsEmpty() && pending[0].m_nStatus != PLAYTASK_WAITING;
        const CVideoPlayTask oldPreset = presetBusy ? pending[0] : CVideoPlayTask();
        const CVideoPlayTask newPreset = tasks.IsEmpty() ? CVideoPlayTask() : tasks[0];
        const CVideoPlayTask newProgram = hasProgram ? program : CVideoPlayTask();
        out.Log("trace@MergeTaskList;OldPst=%s(%d);NewPst=%s(%d);OldPgm=%s(%d);NewPgm=%s(%d)",
                oldPreset.ClipOrNil(), oldPreset.m_nTaskID, newPreset.ClipOrNil(),
                newPreset.m_nTaskID, oldProgram.ClipOrNil(), oldProgram.m_nTaskID,
                newProgram.ClipOrNil(), newProgram.m_nTaskID);

        std::vector<MergeAction> actions;
        if (active.m_nTaskID && !hasProgram) {
            actions.push_back(actStopPgm);
            out.Log("trace@Add actStopPgm");
        }
        if (presetBusy && tasks.IsEmpty()) {
            actions.push_back(actCancelPst);
            out.Log("trace@Add actCancelPst");
        }
        if (active.m_nTaskID && hasProgram && !SameProgram(program, active)) {
            actions.push_back(actRecuePgm);
            out.Log("trace@Add actRecuePgm");
        }
        if (presetBusy && !tasks.IsEmpty()) {
            if (!SamePreset(tasks[0], oldPreset)) {
                actions.push_back(actCancelPst);
                out.Log("trace@Add actCancelPst 2");
            } else {
                tasks[0].m_nStatus = oldPreset.m_nStatus; // the preset's cueing goes on
            }
        }
        return actions;
    }

    // Merges a submitted list with what is on air; it becomes the pending list.
    void MergeTaskList(CVideoPlayTaskArray &tasks)
    {
        LogLine("trace@CVideoPlayTaskList:Begin MergeTaskList");
        for (CVideoPlayTask &task : tasks) {
            task.m_nStatus = PLAYTASK_WAITING;
            task.m_nFlags = 0;
        }
        Outbox out;
        CVideoPlayTask program;
        bool hasProgram = false;
        std::vector<MergeAction> actions;
        {
            std::lock_guard<CDataLock> lk(lock);
            actions = PlanMerge(tasks, program, hasProgram, out);
        }
        out.Flush();
        for (MergeAction action : actions) {
            if (action == actCancelPst) {
                CancelPst();
            } else if (action == actStopPgm) {
                StopPgm();
                LogLine("trace@Add StopPgm()");
            } // a program to re-cue is only reported
        }
        {
            std::lock_guard<CDataLock> lk(lock);
            if (hasProgram) {
                active.m_nTaskID = program.m_nTaskID;
                active.m_nStart = program.m_nStart;
                active.m_strClipID = program.m_strClipID;
                active.m_strText = program.m_strText;
                active.m_nOption = program.m_nOption;
                active.m_nStopOnly = program.m_nStopOnly;
            }
            pending = tasks;
        }
        LogLine("trace@CVideoPlayTaskList:End MergeTaskList");
    }

    bool TakeSubmitted(CVideoPlayTaskArray &tasks)
    {
        std::lock_guard<CDataLock> lk(lock);
        if (submitted.empty()) return false;
        tasks = std::move(submitted.front());
        submitted.pop_front();
        return true;
    }

    void ClearEndedActive()
    {
        Outbox out;
        {
            std::lock_guard<CDataLock> lk(lock);
            if (!active.m_nTaskID || active.GetEnd() >= Now() - kEndedGrace) return;
            SetActiveLocked(CVideoPlayTask(), out);
            out.Log("Set ActiveTask.m_nTaskID = 0");
        }
        out.Flush();
    }

    // Until the active task ends, or until the preset must be prepared, or at once while
    // lists are queued; never longer than the limit.
    uint32_t NextWait(int32_t prepareTime, int32_t playBeforeTime)
    {
        std::lock_guard<CDataLock> lk(lock);
        const int64_t now = Now();
        const int64_t toEnd =
            active.m_nTaskID ? (active.GetEnd() - now) / kUnitsPerMs : kNoDeadline;
        int64_t toPreset = kNoDeadline;
        if (!pending.IsEmpty())
            toPreset = (pending[0].m_nStart - now) / kUnitsPerMs - prepareTime - playBeforeTime +
                       kPresetMargin;
        toPreset = std::max(toPreset, kMinWait);
        const int64_t untilDue = !submitted.empty() ? 0 : std::max(toEnd, kMinWait);
        return static_cast<uint32_t>(
            std::clamp<int64_t>(std::min(untilDue, toPreset), 0, kNoDeadline));
    }

    // The owner while thread `gen` is to go on; null once it is to end.
    IVideoPlayTaskOwner *OwnerFor(uint32_t gen)
    {
        std::lock_guard<CDataLock> lk(lock);
        return gen == generation && !stopRequested ? owner : nullptr;
    }

    // False when thread `gen` is to end; the thread of the current generation is then no
    // longer live.
    bool Continue(uint32_t gen)
    {
        std::lock_guard<CDataLock> lk(lock);
        if (gen != generation) return false;
        if (stopRequested || !owner) {
            threadLive = false;
            stopRequested = false;
            return false;
        }
        return true;
    }

    static void Run(const std::shared_ptr<State> &self, uint32_t gen)
    {
        while (self->Continue(gen)) {
            try {
                self->Cycle(gen);
            } catch (const std::exception &e) {
                LogLine("fatal@CVideoPlayTaskList::Thread; %s", e.what());
                self->wake.Wait(kMinWait);
            } catch (...) {
                LogLine("fatal@CVideoPlayTaskList::Thread; unknown exception");
                self->wake.Wait(kMinWait);
            }
        }
    }

    void Cycle(uint32_t gen)
    {
        CVideoPlayTaskArray tasks;
        if (TakeSubmitted(tasks)) MergeTaskList(tasks);
        ClearEndedActive();
        using Step = int (IVideoPlayTaskOwner::*)();
        for (Step step :
             {&IVideoPlayTaskOwner::OnTaskStartNewTask, &IVideoPlayTaskOwner::OnTaskCheckNextTask,
              &IVideoPlayTaskOwner::OnTaskTracePgmTask}) {
            IVideoPlayTaskOwner *o = OwnerFor(gen);
            if (!o) return;
            (o->*step)();
        }
        IVideoPlayTaskOwner *o = OwnerFor(gen);
        if (!o) return;
        const uint32_t wait = NextWait(o->GetPrepareTime(), o->GetPlayBeforeTime());
        const uint32_t poll =
            static_cast<uint32_t>(std::max<int64_t>(o->GetTaskPollInterval(), kMinWait));
        if (poll < wait) {
            o->OnTaskCheckTaskList();
            if ((o = OwnerFor(gen))) o->OnTaskStopCurrentTask();
            wake.Wait(poll);
        } else {
            wake.Wait(wait);
        }
    }

    // Waits for thread `gen` to end; one that has not ended within the bound is given up.
    void Reap(plat::Thread ending, uint32_t gen)
    {
        const bool ended = ending.StopWithin(kStopBoundMs, 0);
        std::lock_guard<CDataLock> lk(lock);
        if (gen != generation) return; // reaped or replaced meanwhile
        if (!ended) {
            ++generation;
            threadLive = false;
            stopRequested = false;
        }
        thread.Close();
    }

    int Start()
    {
        for (;;) {
            plat::Thread ending;
            uint32_t gen = 0;
            {
                std::lock_guard<CDataLock> lk(lock);
                if (!owner) return 0;
                if (threadLive && !stopRequested) return 1;
                if (!threadLive) {
                    thread.Close(); // a thread that has left its loop
                    gen = ++generation;
                    stopRequested = false;
                    wake.Reset(); // a new thread looks at everything in its first cycle
                    run = std::make_shared<CCallingUnit>();
                    thread = plat::Thread::Start([self = shared_from_this(), gen, unit = run] {
                        CCallingUnit::Scope bound(unit.get());
                        Run(self, gen);
                        return 0u;
                    });
                    threadLive = thread.Valid();
                    return threadLive ? 1 : 0;
                }
                // A stop is under way: the ending thread cannot start itself again, anyone
                // else waits for it to end first, so two threads never run the steps at once.
                if (thread.Id() == plat::GetCurrentThreadId()) return 0;
                ending = thread;
                gen = generation;
            }
            Reap(ending, gen);
        }
    }

    int Stop()
    {
        plat::Thread ending;
        uint32_t gen = 0;
        {
            std::lock_guard<CDataLock> lk(lock);
            if (!threadLive) return 1;
            stopRequested = true;
            wake.Set();
            if (thread.Id() == plat::GetCurrentThreadId()) return 1; // ends after this step
            if (run) run->AskStop();
            ending = thread;
            gen = generation;
        }
        Reap(ending, gen);
        return 1;
    }
};

CVideoPlayTaskList::CVideoPlayTaskList(IVideoPlayTaskOwner *owner)
    : m_pState(std::make_shared<State>())
{
    m_pState->owner = owner;
}

CVideoPlayTaskList::~CVideoPlayTaskList()
{
    Stop();
}

void CVideoPlayTaskList::SetOwner(IVideoPlayTaskOwner *owner)
{
    std::lock_guard<CDataLock> lk(m_pState->lock);
    m_pState->owner = owner;
}

int CVideoPlayTaskList::Add(const CVideoPlayTask &task)
{
    if (!task.m_nTaskID) return 0;
    State &s = *m_pState;
    {
        std::lock_guard<CDataLock> lk(s.lock);
        if (task.m_nTaskID == s.active.m_nTaskID) {
            s.active.m_nDUR = task.m_nDUR;
        } else {
            CVideoPlayTask placed = task;
            placed.m_nStatus = PLAYTASK_WAITING;
            placed.m_nFlags = 0;
            const int index = IndexOf(s.pending, task.m_nTaskID);
            if (index >= 0) s.pending.RemoveAt(index);
            s.Place(placed);
        }
    }
    s.wake.Set();
    s.Start();
    return 1;
}

int CVideoPlayTaskList::RemoveAt(int32_t taskId)
{
    State &s = *m_pState;
    Outbox out;
    {
        std::lock_guard<CDataLock> lk(s.lock);
        const int index = IndexOf(s.pending, taskId);
        if (index < 0) return 0;
        if (index == 0) out.Tell(s.pending[0], PLAYTASK_WAITING, 0);
        s.pending.RemoveAt(index);
    }
    out.Flush();
    return 1;
}

int CVideoPlayTaskList::RemoveAll()
{
    State &s = *m_pState;
    Outbox out;
    {
        std::lock_guard<CDataLock> lk(s.lock);
        if (!s.pending.IsEmpty()) out.Tell(s.pending[0], PLAYTASK_WAITING, 0);
        s.pending.RemoveAll();
    }
    out.Flush();
    return 1;
}

int CVideoPlayTaskList::SubmitTaskList(const CVideoPlayTaskArray &tasks)
{
    State &s = *m_pState;
    int queued = 0;
    {
        std::lock_guard<CDataLock> lk(s.lock);
        queued = static_cast<int>(s.submitted.size());
    }
    // Logged before the thread can see the list, so the line comes before its merge.
    LogLine("Submit a Play taskList(Queue = %d)", queued);
    {
        std::lock_guard<CDataLock> lk(s.lock);
        s.submitted.push_back(tasks);
    }
    s.wake.Set();
    s.Start();
    return 1;
}

int CVideoPlayTaskList::CancelPst()
{
    return m_pState->CancelPst();
}

int CVideoPlayTaskList::RecuePgm(const CVideoPlayTask &, const CVideoPlayTaskArray &)
{
    return 1;
}

int CVideoPlayTaskList::SyncPlay()
{
    State &s = *m_pState;
    Outbox out;
    {
        std::lock_guard<CDataLock> lk(s.lock);
        if (s.active.m_nTaskID) {
            const CVideoPlayTask program = s.active;
            s.active.m_nTaskID = 0;
            CVideoPlayTask recue;
            if (MakeRecue(program, Now(), recue)) s.PutInFront(recue, out);
        }
    }
    out.Flush();
    s.wake.Set();
    s.Start();
    return 1;
}

int CVideoPlayTaskList::StopPgm()
{
    return m_pState->StopPgm();
}

int CVideoPlayTaskList::ModifyPgmTaskDur()
{
    State &s = *m_pState;
    std::lock_guard<CDataLock> lk(s.lock);
    const int64_t elapsed = Now() - s.active.m_nStart;
    s.active.m_nDUR = elapsed > 0 ? static_cast<int32_t>(elapsed / 10000 * 25 / 1000) : 0;
    return 1;
}

int CVideoPlayTaskList::ModifyTask(const CVideoPlayTask &task, int notify)
{
    State &s = *m_pState;
    Outbox out;
    {
        std::lock_guard<CDataLock> lk(s.lock);
        CVideoPlayTask *target = nullptr;
        if (!task.m_nTaskID || task.m_nTaskID == s.active.m_nTaskID) {
            if (s.active.m_nTaskID) target = &s.active;
        } else {
            const int index = IndexOf(s.pending, task.m_nTaskID);
            if (index >= 0) target = &s.pending[index];
        }
        if (!target) return 0;
        const int32_t oldStatus = target->m_nStatus;
        const int32_t oldFlags = target->m_nFlags;
        CVideoPlayTask updated = task;
        std::memcpy(updated.m_szName, target->m_szName, sizeof updated.m_szName);
        updated.m_nTaskID = target->m_nTaskID; // an id of 0 names the active task, not a new id
        *target = updated;
        if (notify) {
            if (updated.m_nStatus != oldStatus) out.Tell(updated, updated.m_nStatus, 0);
            if (updated.m_nFlags != oldFlags)
                out.Tell(updated, PLAYTASK_ERR_NOTIFY, updated.m_nFlags);
        }
    }
    out.Flush();
    return 1;
}

int CVideoPlayTaskList::ModifyTaskClip(const char *oldClip, const char *newClip)
{
    State &s = *m_pState;
    std::lock_guard<CDataLock> lk(s.lock);
    int count = 0;
    for (CVideoPlayTask &task : s.pending)
        if (task.m_strClipID == CString(oldClip)) {
            task.m_strClipID = newClip;
            ++count;
        }
    return count;
}

int CVideoPlayTaskList::GetTaskList(CVideoPlayTaskArray &tasks, int all)
{
    State &s = *m_pState;
    std::lock_guard<CDataLock> lk(s.lock);
    tasks.RemoveAll();
    if (all) tasks.Append(s.stopped);
    if (s.active.m_nTaskID) tasks.Add(s.active);
    tasks.Append(s.pending);
    return tasks.GetSize();
}

int32_t CVideoPlayTaskList::Active()
{
    std::lock_guard<CDataLock> lk(m_pState->lock);
    return m_pState->active.m_nTaskID;
}

int32_t CVideoPlayTaskList::GetPgmTask(CVideoPlayTask &task)
{
    std::lock_guard<CDataLock> lk(m_pState->lock);
    task = m_pState->active;
    return task.m_nTaskID;
}

int CVideoPlayTaskList::SetActiveTask(const CVideoPlayTask &task)
{
    return m_pState->SetActiveTask(task);
}

namespace {
int32_t TakeFirst(CVideoPlayTaskArray &tasks, CVideoPlayTask &task, int remove)
{
    if (tasks.IsEmpty()) return 0;
    task = tasks[0];
    if (remove) tasks.RemoveAt(0);
    return task.m_nTaskID;
}
} // namespace

int32_t CVideoPlayTaskList::GetStoppedTask(CVideoPlayTask &task, int remove)
{
    std::lock_guard<CDataLock> lk(m_pState->lock);
    return TakeFirst(m_pState->stopped, task, remove);
}

int32_t CVideoPlayTaskList::GetPresetTask(CVideoPlayTask &task, int remove)
{
    std::lock_guard<CDataLock> lk(m_pState->lock);
    return TakeFirst(m_pState->pending, task, remove);
}

int CVideoPlayTaskList::WorkingFine()
{
    std::lock_guard<CDataLock> lk(m_pState->lock);
    return m_pState->threadLive && !m_pState->stopRequested ? 1 : 0;
}

int CVideoPlayTaskList::Start()
{
    return m_pState->Start();
}

int CVideoPlayTaskList::Stop()
{
    return m_pState->Stop();
}
