#include "drivers/tasks/CVideoBroTaskTPU.h"

#include "drivers/model/DeviceCalls.h"
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

// The stop and the call given up (the task was passed over) are the calling unit's.
struct CVideoBroTaskTPU::Run : CCallingUnit {
    explicit Run(const CVideoBroTaskTPU *tpu) : owner(tpu) {}
    const CVideoBroTaskTPU *owner;
    plat::Event evWake{false, false}; // ends the wait for the next cycle
    // The task of the source call the thread is in (0: none).
    std::atomic<int32_t> nCallTask{0};
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

// A unit marked busy for the length of a source call, which a unit thread notes as made for
// task `id` (when given).
class CVideoBroTaskTPU::BusyUnit {
public:
    BusyUnit(CVideoBroTaskTPU &tpu, int32_t unit, int32_t id = 0);
    ~BusyUnit();
    BusyUnit(const BusyUnit &) = delete;
    BusyUnit &operator=(const BusyUnit &) = delete;

private:
    CVideoBroTaskTPU &m_tpu;
    int32_t m_nUnit;
    Run *m_pRun = nullptr;
};

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;
constexpr int64_t kUnitsPerMs = 10000;
constexpr int64_t kLongestCycle = CVideoBroTaskTPU::kCueCycleMs * kUnitsPerMs;
constexpr int64_t kStartWindowSeconds = 1800;
constexpr uint32_t kCueSpacingMs = 3000;
constexpr uint32_t kStaleCueSeconds = 1800;
// The most presets passed over in one go (a run of tasks that cannot play).
constexpr int kMostPassedAtOnce = 64;

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
thread_local CVideoBroTaskTPU::Run *t_pRun = nullptr;

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

CVideoBroTaskTPU::BusyUnit::BusyUnit(CVideoBroTaskTPU &tpu, int32_t unit, int32_t id)
    : m_tpu(tpu), m_nUnit(unit)
{
    if (id && t_pRun && t_pRun->owner == &tpu) {
        // Under the unit lock, as a pass-over gives calls up: a give-up never outlives its call.
        std::lock_guard<CDataLock> lk(m_tpu.m_lock);
        m_pRun = t_pRun;
        m_pRun->GiveUpCall(false);
        m_pRun->nCallTask = id;
    }
    m_tpu.SetUnitState(m_nUnit, TPU_UNIT_BUSY);
}

CVideoBroTaskTPU::BusyUnit::~BusyUnit()
{
    m_tpu.SetUnitState(m_nUnit, TPU_UNIT_IDLE);
    if (m_pRun) {
        std::lock_guard<CDataLock> lk(m_tpu.m_lock);
        m_pRun->nCallTask = 0;
        m_pRun->GiveUpCall(false);
    }
}

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
            if (slot->run) slot->run->AskStop();
            if (slot->thread.Valid()) threads.push_back(slot->thread);
        }
        threads.insert(threads.end(), m_ending.begin(), m_ending.end());
        m_ending.clear();
        for (Unit &unit : m_units) unit.ev.Set();
        m_pauses.clear(); // a pause is for the moment its program was replaced, not later
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
    CDeviceA *device = nullptr;
    *process = FindSource(devId, device);
    return 1;
}

IVideoBroTaskProcess *CVideoBroTaskTPU::FindSource(const char *devId, CDeviceA *&device)
{
    device = nullptr;
    CVideoDevMgr *devMgr = devId && *devId ? TaskDevMgr() : nullptr;
    CDeviceA *found = devMgr ? devMgr->GetVideoDev(devId, 1, nullptr) : nullptr;
    if (!found) return nullptr;
    void *answer = nullptr;
    found->QueryInterface(&IID_IVideoBroTaskProcess, &answer);
    if (answer) device = found;
    return static_cast<IVideoBroTaskProcess *>(answer);
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
    // A source call whose device was closed under it gives up as a stopped unit's does.
    return m_bStopping || (t_pRun && t_pRun->owner == this && t_pRun->StopAsked()) ||
           CCallingUnit::CallEnded();
}

int32_t CVideoBroTaskTPU::GetUnitMsg(int32_t unit, int32_t *cmd, int32_t *param, uint32_t waitMs)
{
    Unit *u = UnitAt(unit);
    if (!u) return 0;
    const Run *run = t_pRun && t_pRun->owner == this ? t_pRun : nullptr;
    // The wait ends on the unit's stop, a give-up of the call and the close of the device the
    // call is in.
    const plat::Waitable *end = CCallingUnit::CurrentStop();
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
            } else if (run && run->CallGivenUp() && !run->StopAsked()) {
                // The call is for a preset passed over meanwhile, as by a Goto.
                message = {TPU_CMD_CANCEL, TPU_FROM_GOTO};
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
        const plat::Waitable *objects[] = {&u->ev, end};
        plat::WaitForMultiple(objects, end ? 2 : 1, false, waitMs - elapsed);
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
    // Ended as the message wait is (a give-up of the call too).
    const plat::Waitable *end = CCallingUnit::CurrentStop();
    return end ? glSleepUntilSpecialTime(time, *end) : glSleepUntilSpecialTime(time);
}

int32_t CVideoBroTaskTPU::StopAsked()
{
    return CallerStopped() ? 1 : 0;
}

bool CVideoBroTaskTPU::CallingUnitStopped()
{
    return CCallingUnit::Stopped();
}

bool CVideoBroTaskTPU::CallingUnitNap(uint32_t ms)
{
    return CCallingUnit::Nap(ms);
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
    if (slot.bKick && !run->StopAsked()) return false;
    if (slot.run == run) slot.bRunning = false;
    return true;
}

void CVideoBroTaskTPU::ThreadMain(int index, const std::shared_ptr<Run> &run)
{
    t_pRun = run.get();
    CCallingUnit::Scope bound(run.get());
    Slot &slot = *m_slots[index];
    LogTPU(kStartupLine[index], Tid());
    for (;;) {
        {
            std::lock_guard<CDataLock> lk(m_lock);
            if (run->StopAsked()) break;
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
        if (plat::WaitForAny({&run->StopEvent(), &run->evWake}, CycleWait(index)) ==
            plat::WAIT_OBJECT_0)
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
                                                 const char *failedLine, CDeviceA *&device)
{
    IVideoBroTaskProcess *source = FindSource(task.Dev, device);
    if (!source) {
        mgr.SetTaskFlag(task.TaskID, BROTASK_FLAG_DEVICE);
        LogTPU(failedLine, Tid(), task.ID.szText, task.Dev.szText);
    }
    return source;
}

bool CVideoBroTaskTPU::LeadOf(const char *devId, int64_t &leadMs)
{
    CDeviceA *device = nullptr;
    leadMs = 0;
    if (!FindSource(devId, device)) return false;
    if (auto *source = dynamic_cast<CVideoSrcA *>(device))
        leadMs = std::max(source->GetPrepareTime(), 0) + std::max(source->GetPlayBeforeTime(), 0);
    return true;
}

int64_t CVideoBroTaskTPU::PassOverAt(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pst, int64_t now,
                                     bool &uncued)
{
    uncued = false;
    if (pst.IsTrigger() || pst.Status >= BROTASK_BEGINPLAY) return 0;
    const int64_t slotEnd = pst.GetEndTime() + 1; // once the slot lies wholly before now
    if (pst.Status >= BROTASK_ENDCUE) return slotEnd;
    // A task whose source cannot be had will never be cued: it has failed already. One that
    // has not failed may still be cued until its start: nothing to weigh before the cycle
    // that reaches it.
    int64_t leadMs = 0;
    const bool failed = pst.Flags || !LeadOf(pst.Dev, leadMs);
    if (!failed && pst.Start - now > kLongestCycle) return slotEnd;
    auto *unit = dynamic_cast<IBroTaskMgrUnit *>(&mgr);
    if (!unit) return slotEnd;
    // Weighed against the next task that can play: those before it, whose sources cannot be
    // had, go over with this one, so that it is prepared in time however short they are.
    tagVideoBroTask next;
    for (int32_t nth = 1;; ++nth) {
        if (nth > kMostPassedAtOnce || !unit->GetNextPst(pst.TaskID, nth, next) || next.IsTrigger())
            return slotEnd;
        if (LeadOf(next.Dev, leadMs)) break;
    }
    int64_t at = next.Start - leadMs * kUnitsPerMs;
    if (!failed) at = std::max(at, pst.Start);
    if (at >= slotEnd) return slotEnd;
    uncued = true;
    return at;
}

bool CVideoBroTaskTPU::PassOverDue(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pst)
{
    bool uncued = false;
    const int64_t now = brotask::Now();
    const int64_t at = PassOverAt(mgr, pst, now, uncued);
    if (!at || now < at) {
        m_nPassOverAt = at;
        return false;
    }
    // Why it never aired, for a task that has no flag yet: its source cannot be had, it was
    // never cued, or it never started.
    uint32_t flag = BROTASK_FLAG_DEVICE;
    if (!pst.Flags && pst.Status < BROTASK_ENDCUE) {
        CDeviceA *device = nullptr;
        if (FindSource(pst.Dev, device)) flag = BROTASK_FLAG_CUE;
    }
    // Refused (the preset moved on or was cued meanwhile), the moment is weighed afresh in
    // the next cycles.
    m_nPassOverAt = 0;
    auto *unit = dynamic_cast<IBroTaskMgrUnit *>(&mgr);
    if (!unit || !unit->PassOverPst(pst.TaskID, now, uncued, flag)) return false;
    LogTPU("(TPU.%04d): pst task never aired, ended,(id=%s dev=%s flags=%u)", Tid(), pst.ID.szText,
           pst.Dev.szText, pst.Flags ? pst.Flags : flag);
    {
        // A source call still made for the task gives up at its next exchange.
        std::lock_guard<CDataLock> lk(m_lock);
        for (const auto &slot : m_slots)
            if (slot->run && slot->run->nCallTask == pst.TaskID) slot->run->GiveUpCall(true);
    }
    // A source still waiting to start the task gives up (the preset moved on, as by a Goto);
    // the next preset is due at once.
    if (GetUnitState(TPU_UNIT_NEW) != TPU_UNIT_IDLE)
        SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_CANCEL, TPU_FROM_GOTO);
    Wake(kCue);
    Wake(kNew);
    return true;
}

bool CVideoBroTaskTPU::CurrentPst(IVideoBroTaskMgr &mgr, tagVideoBroTask &pst)
{
    // Each preset that follows one passed over is weighed at once: a run of tasks that cannot
    // play goes over together.
    for (int passed = 0; passed < kMostPassedAtOnce; ++passed) {
        if (!mgr.GetPstTask(pst)) {
            m_nPassOverAt = 0;
            return false;
        }
        if (!PassOverDue(mgr, pst)) return true;
    }
    return mgr.GetPstTask(pst) != 0;
}

uint32_t CVideoBroTaskTPU::CycleWait(int index)
{
    const uint32_t cycle = kCycleMs[index];
    const int64_t at = m_nPassOverAt;
    if (index == kStop || !at) return cycle;
    const int64_t ahead = at - brotask::Now();
    if (ahead <= 0) {
        // Come already (after the step looked): one thread runs its next cycle at once.
        int64_t expected = at;
        return m_nPassOverAt.compare_exchange_strong(expected, 0) ? 0 : cycle;
    }
    const int64_t ms = (ahead + kUnitsPerMs - 1) / kUnitsPerMs;
    return static_cast<uint32_t>(std::min<int64_t>(ms, cycle));
}

void CVideoBroTaskTPU::CueStep(IVideoBroTaskMgr &mgr)
{
    tagVideoBroTask pst;
    if (!CurrentPst(mgr, pst)) return;
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
    CDeviceA *device = nullptr;
    IVideoBroTaskProcess *source =
        SourceOf(mgr, pst, "(CueThrd.%04d): video src dev open failed,(id=%s dev=%s)", device);
    if (!source) return;
    // The source is cued for its next task: the pause of what it played before is too late.
    DropPause(pst.Dev);
    {
        CDeviceCall inDevice(device);
        BusyUnit busy(*this, TPU_UNIT_CUE, pst.TaskID);
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
    if (!CurrentPst(mgr, pst)) return;
    const int64_t seconds = pst.GetTimeToStart() / kUnitsPerSecond;
    if (!pst.IsTrigger() && seconds > kStartWindowSeconds) return;
    CDeviceA *device = nullptr;
    IVideoBroTaskProcess *source =
        SourceOf(mgr, pst, "(NewThrd.%04d): video src open failed,(id=%s dev=%s)", device);
    if (!source) return;
    tagVideoBroTask pgm;
    mgr.GetPgmTask(pgm);
    {
        CDeviceCall inDevice(device);
        BusyUnit busy(*this, TPU_UNIT_NEW, pst.TaskID);
        source->DevTaskPlay(&mgr, 0);
    }
    // Queued before the next task can be cued, so that a cue of the previous program's source
    // finds its pause and drops it.
    QueuePause(mgr, pst, pgm);
    // The task that follows one gone on air (late, it may be) is cued without waiting for the
    // cue thread's next cycle.
    tagVideoBroTask next;
    if (mgr.GetPstTask(next) && next.TaskID != pst.TaskID) Wake(kCue);
}

void CVideoBroTaskTPU::QueuePause(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pst,
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
    {
        std::lock_guard<CDataLock> lk(m_lock);
        std::erase_if(m_pauses, [&](const tagVideoBroTask &queued) {
            return SameDevice(queued.Dev, pgm.Dev);
        });
        m_pauses.push_back(pgm);
    }
    Wake(kStop);
}

void CVideoBroTaskTPU::DropPause(const char *devId)
{
    std::lock_guard<CDataLock> lk(m_lock);
    // One under way is left to end: cut short, its answer could come in the cue's exchange.
    std::erase_if(m_pauses,
                  [&](const tagVideoBroTask &queued) { return SameDevice(queued.Dev, devId); });
}

void CVideoBroTaskTPU::RunPauses(IVideoBroTaskMgr &mgr)
{
    for (;;) {
        tagVideoBroTask pgm;
        {
            std::lock_guard<CDataLock> lk(m_lock);
            if (m_pauses.empty()) return;
            pgm = m_pauses.front();
            m_pauses.pop_front();
        }
        // A source whose next task is being cued already is not paused.
        tagVideoBroTask pst;
        if (mgr.GetPstTask(pst) && SameDevice(pst.Dev, pgm.Dev) && pst.Status > BROTASK_BEGIN)
            continue;
        if (CVideoSrcA *previous = TaskVideoSrc(pgm.Dev)) {
            CDeviceCall inDevice(previous);
            BusyUnit busy(*this, TPU_UNIT_STOP);
            previous->DevPause();
        }
        LogTPU("(NewThrd.%04d): still the last aired pgm,(id=%s dev=%s)", Tid(), pgm.ID.szText,
               pgm.Dev.szText);
    }
}

void CVideoBroTaskTPU::TraceStep(IVideoBroTaskMgr &mgr)
{
    tagVideoBroTask pgm, pst;
    mgr.GetPgmTask(pgm);
    CurrentPst(mgr, pst);
    if (!pgm.TaskID && !pst.TaskID) return;
    // The program's source follows it; with none on air (or none answering) the preset's.
    CDeviceA *pgmDevice = nullptr, *pstDevice = nullptr;
    IVideoBroTaskProcess *pgmSource = pgm.TaskID ? FindSource(pgm.Dev, pgmDevice) : nullptr;
    IVideoBroTaskProcess *pstSource = pst.TaskID ? FindSource(pst.Dev, pstDevice) : nullptr;
    IVideoBroTaskProcess *source = pgmSource ? pgmSource : pstSource;
    if (!source) return;

    const int64_t limit = brotask::Now() - kUnitsPerSecond;
    if (mgr.GetPgmTask(pgm) && limit > pgm.GetEndTime() && pgm.Status < BROTASK_ENDPLAY) {
        mgr.SetTaskStatus(pgm.TaskID, BROTASK_ENDPLAY);
        LogTPU("(TraceThrd.%04d): task stopped by tracethrd,(id=%s dev=%s time=%s)", Tid(),
               pgm.ID.szText, pgm.Dev.szText, brotask::DateTimeText(limit).GetString());
    }
    CDeviceCall inDevice(pgmSource ? pgmDevice : pstDevice);
    BusyUnit busy(*this, TPU_UNIT_TRACE);
    source->DevTaskTrace(&mgr, 0);
}

void CVideoBroTaskTPU::StopStep(IVideoBroTaskMgr &mgr)
{
    // The sources of programs replaced on air are paused here, off the start thread: a source
    // that does not answer holds up nothing but the stops.
    RunPauses(mgr);
    tagVideoBroTask task;
    if (!mgr.PopEndedTask(&task)) return;
    CDeviceA *device = nullptr;
    IVideoBroTaskProcess *source =
        SourceOf(mgr, task, "(StopThrd.%04d): video src open failed,(id=%s dev=%s)", device);
    if (!source) {
        mgr.AddEndedTask(task); // tried again next cycle
        return;
    }
    mgr.SetTaskStatus(task.TaskID, BROTASK_EJECTBEGIN);
    {
        CDeviceCall inDevice(device);
        BusyUnit busy(*this, TPU_UNIT_STOP);
        source->DevTaskStop(&mgr, 0);
    }
    mgr.SetTaskStatus(task.TaskID, BROTASK_EJECTEND);
}
