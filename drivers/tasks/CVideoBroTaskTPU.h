// The task process unit of a broadcast task manager. Its cue thread cues the preset (every
// 1000 ms), its start thread starts it (every 1000 ms), its trace thread ends the program task
// when it has run out (every 500 ms) and its stop thread stops ended tasks on their sources
// and pauses the source of a program replaced on air (every 500 ms). The threads find a task's
// source through the device manager and call its broadcast-task process interface with the bound
// manager.
//
// The object is shared with its threads: a thread that a stop had to give up keeps it (and,
// during a source call, the manager) alive until it ends. The unit lock guards the unit
// states and queues and the threads' bookkeeping; it is never held while a source or the
// manager is called.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/tasks/IVideoBroTaskTPU.h"
#include "drivers/tasks/tagVideoBroTask.h"

#include "KestLib20/CDataLock.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

class CDeviceA;

class KSOVRA20_API CVideoBroTaskTPU final : public IVideoBroTaskTPU,
                                            public std::enable_shared_from_this<CVideoBroTaskTPU> {
public:
    static constexpr uint32_t kCueCycleMs = 1000;
    static constexpr uint32_t kNewCycleMs = 1000;
    static constexpr uint32_t kStopCycleMs = 500;
    static constexpr uint32_t kTraceCycleMs = 500;
    // How long Stop waits for each thread to end before giving it up.
    static constexpr uint32_t kStopBoundMs = 1000;

    CVideoBroTaskTPU();
    // Runs once the owner and every thread (one given up included) have let the unit go.
    ~CVideoBroTaskTPU();
    CVideoBroTaskTPU(const CVideoBroTaskTPU &) = delete;
    CVideoBroTaskTPU &operator=(const CVideoBroTaskTPU &) = delete;

    int32_t Start() override;
    int32_t Stop() override;
    int32_t ShutDown() override;
    int32_t IsWorking() override;
    int32_t GetTaskProcess(const char *devId, IVideoBroTaskProcess **process) override;
    int32_t SetTaskMgr(IVideoBroTaskMgr *mgr) override;
    int32_t GetUnitState(int32_t unit) override;
    int32_t SetUnitState(int32_t unit, int32_t state) override;
    int32_t GetUnitMsg(int32_t unit, int32_t *cmd, int32_t *param, uint32_t waitMs) override;
    int32_t SendUnitMsg(int32_t unit, int32_t cmd, int32_t param) override;
    int32_t SleepUntil(int64_t time) override;
    int32_t StopAsked() override;

    // CCallingUnit::Stopped and CCallingUnit::Nap (drivers/model/DeviceCalls.h) under the
    // names the sources' protocols use: the thread of any task unit that is asked to stop, or
    // whose source call is for a preset passed over meanwhile, gives up.
    static bool CallingUnitStopped();
    static bool CallingUnitNap(uint32_t ms);

    // One cycle of each thread's work with the bound manager (nothing without one). The
    // threads run them; a caller that keeps the threads shut down can run them one by one.
    void CueStep();
    void NewStep();
    void TraceStep();
    void StopStep();

    // What a thread uses while it runs; a thread given up keeps its own.
    struct Run;

private:
    struct Unit {
        int32_t nState = TPU_UNIT_IDLE;
        std::deque<std::pair<int32_t, int32_t>> queue; // {cmd, param}, oldest first
        plat::Event ev{false, false};                  // set when a message is queued
    };
    struct Slot;
    class MgrRef;
    class BusyUnit;

    MgrRef BoundMgr();
    Unit *UnitAt(int32_t unit);
    // Whether the calling thread is to end: its own run was stopped, or a stop is under way.
    bool CallerStopped() const;

    void ThreadMain(int index, const std::shared_ptr<Run> &run);
    // Under the lock: a cue or start thread that found the pending list empty ends unless a
    // Start came since its cycle began.
    bool EndIdleRunLocked(Slot &slot, const std::shared_ptr<Run> &run);
    void RunStep(int index);

    void CueStep(IVideoBroTaskMgr &mgr);
    void NewStep(IVideoBroTaskMgr &mgr);
    void TraceStep(IVideoBroTaskMgr &mgr);
    void StopStep(IVideoBroTaskMgr &mgr);
    // The task's source; without one the task gets flag bit 1 and `failedLine` (thread id,
    // clip id, device id) is logged.
    IVideoBroTaskProcess *SourceOf(IVideoBroTaskMgr &mgr, const tagVideoBroTask &task,
                                   const char *failedLine, CDeviceA *&device);
    // The broadcast-task interface of device `devId` (created and opened when needed) and the
    // device answering it; null (and no device) when none answers.
    IVideoBroTaskProcess *FindSource(const char *devId, CDeviceA *&device);
    // When the preset `pst`, not on air, is passed over: at the end of its slot; when it is
    // not cued and has failed or its start has come, no later than the moment the next task
    // must be prepared (its start less its source's PrepareTime and PlayBeforeTime), so that
    // the next task is cued ahead and plays at its time. 0 for a preset that stays; `uncued`
    // tells which rule gave the moment.
    int64_t PassOverAt(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pst, int64_t now,
                       bool &uncued);
    // Passes the preset over once its moment has come, giving up the source calls still
    // made for it and waking the threads that handle presets for the next one; else notes the
    // moment for the threads' waits. True when it was passed over.
    bool PassOverDue(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pst);
    // A copy of the preset (id 0 when none), once PassOverDue has weighed it; false when there
    // is none.
    bool CurrentPst(IVideoBroTaskMgr &mgr, tagVideoBroTask &pst);
    // How long thread `index` waits for its next cycle: its cycle, cut short to reach the
    // moment a preset is to be passed over.
    uint32_t CycleWait(int index);
    // Ends the wait of thread `index` for its next cycle.
    void Wake(int index);
    // Whether the broadcast-task interface of device `devId` can be had, and the device's lead
    // (PrepareTime and PlayBeforeTime, ms; 0 for a device that is no source).
    bool LeadOf(const char *devId, int64_t &leadMs);
    // Once the preset `pst` has gone on air in place of the program `pgm` on another device,
    // queues the pause of that device for the stop thread.
    void QueuePause(IVideoBroTaskMgr &mgr, const tagVideoBroTask &pst, const tagVideoBroTask &pgm);
    // Drops the queued pause of device `devId`: the device is being cued for another task.
    void DropPause(const char *devId);
    // Makes the queued pauses, each a call of the stop unit (bounded by its device's reply
    // waits, ended by the unit's stop).
    void RunPauses(IVideoBroTaskMgr &mgr);

    CDataLock m_lock;
    IVideoBroTaskMgr *m_pMgr = nullptr;
    std::array<Unit, 4> m_units;
    std::vector<std::unique_ptr<Slot>> m_slots; // cue, start, stop, trace
    std::vector<plat::Thread> m_ending;         // threads that have left their loop
    // Written under m_lock; read unlocked by unit threads asking whether to end.
    std::atomic<bool> m_bStopping{false};
    // Previous programs whose sources are to be paused, oldest first.
    std::deque<tagVideoBroTask> m_pauses;
    // The framework time at which the preset is next to be passed over; 0 when none is due.
    std::atomic<int64_t> m_nPassOverAt{0};
    // Serialises Stop and ShutDown.
    std::mutex m_stopMutex;
};
