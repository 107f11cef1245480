#include "drivers/tasks/CVideoBroTaskTPU.h"

#include "drivers/tasks/BroTaskDevices.h"
#include "drivers/tasks/BroTaskLog.h"
#include "drivers/tasks/IBroTaskMgrUnit.h"
#include "drivers/tasks/IVideoBroTaskMgr.h"
#include "drivers/tasks/IVideoBroTaskProcess.h"

#include "Kest20/CClock.h"
#include "platform/Gbk.h"

#include <algorithm>
#include <atomic>
#include <exception>

struct CVideoBroTaskTPU::Run {
    explicit Run(const CVideoBroTaskTPU *tpu) : owner(tpu) {}
    const CVideoBroTaskTPU *owner;
    std::atomic<bool> stop{false};
    plat::Event evStop{true, false};
    plat::Event evWake{false, false}; // ends the wait for the next cycle
};

struct CVideoBroTaskTPU::Slot {
    plat::Thread thread;
    std::shared_ptr<Run> run;
    bool bRunning = false; // decided under the lock, also by the thread when it leaves
    bool bKick = false;    // a Start came while the thread ran its cycle
    bool bHasProc = true;  // ShutDown drops it
};

// The bound manager with a reference held for the length of a step.
class CVideoBroTaskTPU::MgrRef {
public:
    explicit MgrRef(IVideoBroTaskMgr *mgr) : m_pMgr(mgr) {}
    MgrRef(MgrRef &&other) noexcept : m_pMgr(std::exchange(other.m_pMgr, nullptr)) {}
    MgrRef(const MgrRef &) = delete;
    MgrRef &operator=(const MgrRef &) = delete;
    ~MgrRef()
    {
        if (m_pMgr) m_pMgr->Release();
    }
    explicit operator bool() const { return m_pMgr != nullptr; }
    IVideoBroTaskMgr &operator*() const { return *m_pMgr; }
    IVideoBroTaskMgr *operator->() const { return m_pMgr; }

private:
    IVideoBroTaskMgr *m_pMgr;
};

// A unit marked busy for the length of a source call.
class CVideoBroTaskTPU::BusyUnit {
public:
    BusyUnit(CVideoBroTaskTPU &tpu, int32_t unit) : m_tpu(tpu), m_nUnit(unit)
    {
        m_tpu.SetUnitState(m_nUnit, TPU_UNIT_BUSY);
    }
    ~BusyUnit() { m_tpu.SetUnitState(m_nUnit, TPU_UNIT_IDLE); }
    BusyUnit(const BusyUnit &) = delete;
    BusyUnit &operator=(const BusyUnit &) = delete;

private:
    CVideoBroTaskTPU &m_tpu;
    int32_t m_nUnit;
};

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kStartWindowSeconds = 1800;
constexpr uint32_t kCueSpacingMs = 3000;
constexpr uint32_t kStaleCueSeconds = 1800;

constexpr int kCue = 0, kNew = 1, kStop = 2, kTrace = 3;
constexpr uint32_t kCycleMs[] = {CVideoBroTaskTPU::kCueCycleMs, CVideoBroTaskTPU::kNewCycleMs,
                                 CVideoBroTaskTPU::kStopCycleMs, CVideoBroTaskTPU::kTraceCycleMs};
constexpr const char *kStartupLine[] = {
    "(CueThrd.%04d): Cue Thread startup", "(NewThrd.%04d): Start Thread startup",
    "Trace;StopThrd;Stop Thread Startup", "(TraceThrd.%04d): Trace Thread startup"};
constexpr const char *kShutdownLine[] = {
    "(CueThrd.%04d): Cue Thread shutdown", "(NewThrd.%04d): New Thread shutdown",
    "(StopThrd.%04d): Stop Thread shutdown", "(TraceThrd.%04d): Trace Thread ShutDown"};

// The run of the thread that calls, when it is a unit thread.
thread_local const CVideoBroTaskTPU::Run *t_pRun = nullptr;

using brotask::LogTPU;

int Tid()
{
    return brotask::ThreadId();
}

bool SameDevice(const char *a, const char *b)
{
    return plat::GbkCompareNoCase(a, b) == 0;
}

} // namespace

CVideoBroTaskTPU::CVideoBroTaskTPU()
{
    for (int i = 0; i < 4; ++i) m_slots.push_back(std::make_unique<Slot>());
}

CVideoBroTaskTPU::~CVideoBroTaskTPU() = default;

int32_t CVideoBroTaskTPU::Start()
{
    std::lock_guard<CDataLock> lk(m_lock);
    if (m_bStopping) return 0;
    std::erase_if(m_ending, [](const plat::Thread &thread) { return !thread.IsRunning(); });
    for (int i = 0; i < 4; ++i) {
        Slot &slot = *m_slots[i];
        if (!slot.bHasProc) continue;
        if (slot.bRunning) {
            slot.bKick = true;
            continue;
        }
        // A thread that has decided to end may still be on its way out; Stop waits for it too.
        if (slot.thread.IsRunning()) m_ending.push_back(slot.thread);
        auto run = std::make_shared<Run>(this);
        slot.run = run;
        slot.thread = plat::Thread::Start([self = shared_from_this(), i, run] {
            self->ThreadMain(i, run);
            return 0u;
        });
        slot.bRunning = slot.thread.Valid();
    }
    return 0;
}

int32_t CVideoBroTaskTPU::Stop()
{
    std::lock_guard<std::mutex> serial(m_stopMutex);
    std::vector<plat::Thread> threads;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        m_bStopping = true;
        for (auto &slot : m_slots) {
            if (slot->run) {
                slot->run->stop = true;
                slot->run->evStop.Set();
            }
            if (slot->thread.Valid()) threads.push_back(slot->thread);
        }
        threads.insert(threads.end(), m_ending.begin(), m_ending.end());
        m_ending.clear();
        for (Unit &unit : m_units) unit.ev.Set();
    }
    // A thread that stops its own unit (a callback releasing the manager) is not waited for;
    // it ends after its step.
    for (plat::Thread &thread : threads) thread.StopWithin(kStopBoundMs, 0);

    std::lock_guard<CDataLock> lk(m_lock);
    for (auto &slot : m_slots) {
        slot->bRunning = false;
        slot->bKick = false;
        slot->thread.Close();
    }
    m_bStopping = false;
    return 0;
}

int32_t CVideoBroTaskTPU::ShutDown()
{
    Stop();
    std::lock_guard<CDataLock> lk(m_lock);
    for (auto &slot : m_slots) slot->bHasProc = false;
    return 0;
}

int32_t CVideoBroTaskTPU::IsWorking()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return std::all_of(m_slots.begin(), m_slots.end(),
                       [](const auto &slot) { return slot->bRunning; })
               ? 1
               : 0;
}

int32_t CVideoBroTaskTPU::GetTaskProcess(const char *devId, IVideoBroTaskProcess **process)
{
    if (!devId || !*devId || !process) return 0;
    *process = nullptr;
    CVideoDevMgr *devMgr = TaskDevMgr();
    CDeviceA *device = devMgr ? devMgr->GetVideoDev(devId, 1, nullptr) : nullptr;
    if (device) {
        void *answer = nullptr;
        device->QueryInterface(&IID_IVideoBroTaskProcess, &answer);
        *process = static_cast<IVideoBroTaskProcess *>(answer);
    }
    return 1;
}

int32_t CVideoBroTaskTPU::SetTaskMgr(IVideoBroTaskMgr *mgr)
{
    std::lock_guard<CDataLock> lk(m_lock);
    m_pMgr = mgr;
    return 1;
}

CVideoBroTaskTPU::Unit *CVideoBroTaskTPU::UnitAt(int32_t unit)
{
    return unit >= TPU_UNIT_CUE && unit <= TPU_UNIT_TRACE ? &m_units[unit - 1] : nullptr;
}

int32_t CVideoBroTaskTPU::GetUnitState(int32_t unit)
{
    std::lock_guard<CDataLock> lk(m_lock);
    const Unit *u = UnitAt(unit);
    return u ? u->nState : 0;
}

int32_t CVideoBroTaskTPU::SetUnitState(int32_t unit, int32_t state)
{
    std::lock_guard<CDataLock> lk(m_lock);
    Unit *u = UnitAt(unit);
    if (!u) return 0;
    u->nState = state;
    if (state == TPU_UNIT_IDLE || state == TPU_UNIT_BUSY) u->queue.clear();
    return 1;
}

bool CVideoBroTaskTPU::CallerStopped() const
{
    return m_bStopping || (t_pRun && t_pRun->owner == this && t_pRun->stop);
}

int32_t CVideoBroTaskTPU::GetUnitMsg(int32_t unit, int32_t *cmd, int32_t *param, uint32_t waitMs)
{
    Unit *u = UnitAt(unit);
    if (!u) return 0;
    const Run *run = t_pRun && t_pRun->owner == this ? t_pRun : nullptr;
    const uint32_t begin = plat::GetTickCount();
    for (;;) {
        // Looking and waiting never lose a message: the event stays set from a send until a
        // wait consumes it, and every wake looks again.
        std::pair<int32_t, int32_t> message;
        bool taken = false;
        {
            std::lock_guard<CDataLock> lk(m_lock);
            if (!u->queue.empty()) {
                message = u->queue.front();
                u->queue.pop_front();
                taken = true;
            } else if (CallerStopped()) {
                message = {TPU_CMD_CANCEL, TPU_FROM_STOP};
                taken = true;
            }
        }
        if (taken) {
            if (cmd) *cmd = message.first;
            if (param) *param = message.second;
            LogTPU("(Msg.%04d): get a unit msg(unit=%d,cmd=%d param=%d)", Tid(), unit,
                   message.first, message.second);
            return 1;
        }
        const uint32_t elapsed = plat::TickElapsed(begin);
        if (elapsed >= waitMs) return 0;
        const plat::Waitable *objects[] = {&u->ev, run ? &run->evStop : nullptr};
        plat::WaitForMultiple(objects, run ? 2 : 1, false, waitMs - elapsed);
    }
}

int32_t CVideoBroTaskTPU::SendUnitMsg(int32_t unit, int32_t cmd, int32_t param)
{
    int32_t queued = 0;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        Unit *u = UnitAt(unit);
        if (u && u->nState != TPU_UNIT_IDLE) {
            u->queue.emplace_back(cmd, param);
            u->ev.Set();
            queued = 1;
        }
    }
    LogTPU("(Msg.%04d): send a unit msg(%s),(unit=%d,cmd=%d,param=%d)", Tid(),
           queued ? "OK" : "failed", unit, cmd, param);
    return queued;
}

int32_t CVideoBroTaskTPU::SleepUntil(int64_t time)
{
    const Run *run = t_pRun && t_pRun->owner == this ? t_pRun : nullptr;
    return run ? glSleepUntilSpecialTime(time, run->evStop) : glSleepUntilSpecialTime(time);
}

int32_t CVideoBroTaskTPU::StopAsked()
{
    return CallerStopped() ? 1 : 0;
}

bool CVideoBroTaskTPU::CallingUnitStopped()
{
    return t_pRun && t_pRun->stop;
}

void CVideoBroTaskTPU::Wake(int index)
{
    std::lock_guard<CDataLock> lk(m_lock);
    if (const auto &run = m_slots[index]->run) run->evWake.Set();
}

CVideoBroTaskTPU::MgrRef CVideoBroTaskTPU::BoundMgr()
{
    std::lock_guard<CDataLock> lk(m_lock);
    if (m_pMgr) m_pMgr->AddRef();
    return MgrRef(m_pMgr);
}

bool CVideoBroTaskTPU::EndIdleRunLocked(Slot &slot, const std::shared_ptr<Run> &run)
{
    if (slot.bKick && !run->stop) return false;
    if (slot.run == run) slot.bRunning = false;
    return true;
}

void CVideoBroTaskTPU::ThreadMain(int index, const std::shared_ptr<Run> &run)
{
    t_pRun = run.get();
    Slot &slot = *m_slots[index];
    LogTPU(kStartupLine[index], Tid());
    for (;;) {
        {
            std::lock_guard<CDataLock> lk(m_lock);
            if (run->stop) break;
            slot.bKick = false;
        }
        // The cue and start threads run while tasks are pending; whether one ends and
        // whether a Start restarts it are decided under one lock.
        if (index == kCue || index == kNew) {
            bool empty = true;
            if (MgrRef mgr = BoundMgr()) empty = mgr->IsEmpty() != 0;
            if (empty) {
                std::lock_guard<CDataLock> lk(m_lock);
                if (EndIdleRunLocked(slot, run)) break;
                continue;
            }
        }
        RunStep(index);
        if (plat::WaitForAny({&run->evStop, &run->evWake}, kCycleMs[index]) == plat::WAIT_OBJECT_0)
            break;
    }
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (slot.run == run) slot.bRunning = false;
    }
    LogTPU(kShutdownLine[index], Tid());
    t_pRun = nullptr;
}

void CVideoBroTaskTPU::RunStep(int index)
{
    try {
        switch (index) {
        case kCue:
            CueStep();
            break;
        case kNew:
            NewStep();
            break;
        case kStop:
            StopStep();
            break;
        default:
            TraceStep();
            break;
        }
    } catch (const std::exception &e) {
        LogTPU("fatal@CVideoBroTaskTPU(%d); %s", index + 1, e.what());
    } catch (...) {
        LogTPU("fatal@CVideoBroTaskTPU(%d); unknown exception", index + 1);
    }
}

void CVideoBroTaskTPU::CueStep()
{
    if (MgrRef mgr = BoundMgr()) CueStep(*mgr);
}

void CVideoBroTaskTPU::NewStep()
{
    if (MgrRef mgr = BoundMgr()) NewStep(*mgr);
}

void CVideoBroTaskTPU::TraceStep()
{
    if (MgrRef mgr = BoundMgr()) TraceStep(*mgr);
}

void CVideoBroTaskTPU::StopStep()
{
    if (MgrRef mgr = BoundMgr()) StopStep(*mgr);
}

IVideoBroTaskProcess *CVideoBroTaskTPU::SourceOf(IVideoBroTaskMgr &mgr, const tagVideoBroTask &task,
                                                 const char *failedLine)
{
    IVideoBroTaskProcess *source = nullptr;
    GetTaskProcess(task.Dev, &source);
    if (!source) {
        mgr.SetTaskFlag(task.TaskID, BROTASK_FLAG_DEVICE);
        LogTPU(failedLine, Tid(), task.ID.szText, task.Dev.szText);
    }
    return source;
}

bool CVideoBroTaskTPU::EndLostPst(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pst)
{
    if (pst.IsTrigger() || pst.Status >= BROTASK_BEGINPLAY) return false;
    const int64_t now = brotask::Now();
    if (now <= pst.GetEndTime()) return false;
    auto *unit = dynamic_cast<IBroTaskMgrUnit *>(&mgr);
    if (!unit || !unit->EndLostPst(pst.TaskID, now)) return false;
    LogTPU("(TPU.%04d): pst task never aired, ended,(id=%s dev=%s flags=%u)", Tid(), pst.ID.szText,
           pst.Dev.szText, pst.Flags);
    // A source still waiting to start the task gives up (the preset moved on, as by a Goto);
    // the next preset is due at once.
    if (GetUnitState(TPU_UNIT_NEW) != TPU_UNIT_IDLE)
        SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_CANCEL, TPU_FROM_GOTO);
    Wake(kCue);
    Wake(kNew);
    return true;
}

void CVideoBroTaskTPU::CueStep(IVideoBroTaskMgr &mgr)
{
    tagVideoBroTask pst;
    if (!mgr.GetPstTask(pst)) return;
    if (EndLostPst(mgr, pst) && !mgr.GetPstTask(pst)) return;
    if (pst.Status >= BROTASK_BEGINPLAY) {
        LogTPU("(CueThrd.%04d): Find invalid preset task(id=%s dev=%s)", Tid(), pst.ID.szText,
               pst.Dev.szText);
        return;
    }
    // The source writes param 2 with the tick of each cue attempt.
    const uint32_t sinceCue = plat::TickElapsed(pst.Param2);
    if (sinceCue / 1000 > kStaleCueSeconds && pst.Status == BROTASK_ENDCUE) {
        LogTPU("(CueThrd.%04d): pst task be reset,(id=%s dev=%s,interval=%u(s))", Tid(),
               pst.ID.szText, pst.Dev.szText, sinceCue / 1000);
        mgr.SetTaskStatus(pst.TaskID, BROTASK_BEGIN);
    }
    if (sinceCue < kCueSpacingMs) return;
    IVideoBroTaskProcess *source =
        SourceOf(mgr, pst, "(CueThrd.%04d): video src dev open failed,(id=%s dev=%s)");
    if (!source) return;
    {
        BusyUnit busy(*this, TPU_UNIT_CUE);
        source->DevTaskCue(&mgr, 0);
    }
    // An overdue preset that is cued now starts without waiting for the next cycle.
    tagVideoBroTask cued;
    if (mgr.GetPstTask(cued) == pst.TaskID && cued.Status == BROTASK_ENDCUE && !cued.IsTrigger() &&
        cued.GetTimeToStart() <= 0)
        Wake(kNew);
}

void CVideoBroTaskTPU::NewStep(IVideoBroTaskMgr &mgr)
{
    tagVideoBroTask pst;
    if (!mgr.GetPstTask(pst)) return;
    if (EndLostPst(mgr, pst) && !mgr.GetPstTask(pst)) return;
    const int64_t seconds = pst.GetTimeToStart() / kUnitsPerSecond;
    if (!pst.IsTrigger() && seconds > kStartWindowSeconds) return;
    IVideoBroTaskProcess *source =
        SourceOf(mgr, pst, "(NewThrd.%04d): video src open failed,(id=%s dev=%s)");
    if (!source) return;
    tagVideoBroTask pgm;
    mgr.GetPgmTask(pgm);
    {
        BusyUnit busy(*this, TPU_UNIT_NEW);
        source->DevTaskPlay(&mgr, 0);
    }
    PausePrevious(mgr, pst, pgm);
}

void CVideoBroTaskTPU::PausePrevious(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pst,
                                     const tagVideoBroTask &pgm)
{
    if (!pgm.TaskID || SameDevice(pgm.Dev, pst.Dev)) return;
    // Only a preset that has just gone on air replaces the previous program on air: the
    // source returns without playing while the start is far, held or not cued.
    int32_t status = 0;
    mgr.Lock();
    tagVideoBroTask *stored = nullptr;
    if (mgr.FindTask(pst.TaskID, &stored)) status = stored->Status;
    mgr.Unlock();
    if (pst.Status >= BROTASK_BEGINPLAY || status < BROTASK_BEGINPLAY) return;

    if (CVideoSrcA *previous = TaskVideoSrc(pgm.Dev)) previous->DevPause();
    LogTPU("(NewThrd.%04d): still the last aired pgm,(id=%s dev=%s)", Tid(), pgm.ID.szText,
           pgm.Dev.szText);
}

void CVideoBroTaskTPU::TraceStep(IVideoBroTaskMgr &mgr)
{
    tagVideoBroTask pgm, pst;
    mgr.GetPgmTask(pgm);
    mgr.GetPstTask(pst);
    if (!pgm.TaskID && !pst.TaskID) return;
    // The program's source follows it; with none on air (or none answering) the preset's.
    IVideoBroTaskProcess *pgmSource = nullptr, *pstSource = nullptr;
    if (pgm.TaskID) GetTaskProcess(pgm.Dev, &pgmSource);
    if (pst.TaskID) GetTaskProcess(pst.Dev, &pstSource);
    IVideoBroTaskProcess *source = pgmSource ? pgmSource : pstSource;
    if (!source) return;

    const int64_t limit = brotask::Now() - kUnitsPerSecond;
    if (mgr.GetPgmTask(pgm) && limit > pgm.GetEndTime() && pgm.Status < BROTASK_ENDPLAY) {
        mgr.SetTaskStatus(pgm.TaskID, BROTASK_ENDPLAY);
        LogTPU("(TraceThrd.%04d): task stopped by tracethrd,(id=%s dev=%s time=%s)", Tid(),
               pgm.ID.szText, pgm.Dev.szText, brotask::DateTimeText(limit).GetString());
    }
    BusyUnit busy(*this, TPU_UNIT_TRACE);
    source->DevTaskTrace(&mgr, 0);
}

void CVideoBroTaskTPU::StopStep(IVideoBroTaskMgr &mgr)
{
    tagVideoBroTask task;
    if (!mgr.PopEndedTask(&task)) return;
    IVideoBroTaskProcess *source =
        SourceOf(mgr, task, "(StopThrd.%04d): video src open failed,(id=%s dev=%s)");
    if (!source) {
        mgr.AddEndedTask(task); // tried again next cycle
        return;
    }
    mgr.SetTaskStatus(task.TaskID, BROTASK_EJECTBEGIN);
    {
        BusyUnit busy(*this, TPU_UNIT_STOP);
        source->DevTaskStop(&mgr, 0);
    }
    mgr.SetTaskStatus(task.TaskID, BROTASK_EJECTEND);
}
