#include "drivers/tasks/CVideoSwitchTaskTMU.h"

#include "drivers/model/CVideoSwitchA.h"
#include "drivers/model/DeviceCalls.h"
#include "drivers/tasks/BroTaskDevices.h"
#include "drivers/tasks/CVideoSwitchTaskArray.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CResAccess.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char *kLogSwitch = "LOG_AIR_SWITCH";
constexpr const char *kMainName = "Main";
constexpr const char *kEnvironment = "/etc/tvx/Environment";

constexpr int64_t kUnitsPerMs = 10000;
constexpr int64_t kUnitsPerFrame = 400000;
constexpr int32_t kFramesPerSecond = 25;
// Lead time of a transition by rate 0 to 3, in frames.
constexpr int64_t kLeadFrames[] = {6, 6, 12, 25};

constexpr int32_t kFirstTaskId = 4661;
constexpr int32_t kTaskIdStep = 3;
constexpr int32_t kTaskIdSkip = 7;

// A task this close to its time is taken; after a take no preset for as long.
constexpr int64_t kTakeWindowMs = 3000;
// Between these times ahead a task is preset on every pass.
constexpr int64_t kRepresetFromMs = 8000;
constexpr int64_t kRepresetToMs = 23000;
constexpr uint32_t kIdleWaitMs = 4000;
constexpr uint32_t kPassWaitMs = 1000;
constexpr uint32_t kCommandGapMs = 100;
constexpr uint32_t kStopBoundMs = 1000;

videotask::Registry<IVideoSwitchTaskTMU> &TMURegistry()
{
    static videotask::Registry<IVideoSwitchTaskTMU> registry;
    return registry;
}

const char *OkText(bool ok)
{
    return ok ? "OK" : "failed";
}

CVideoSwitchA *SwitcherOf(const tagVideoSwitchTask &task)
{
    CVideoDevMgr *devMgr = TaskDevMgr();
    return devMgr ? devMgr->GetVideoSwitchDev(task.DevID, 1, nullptr) : nullptr;
}

// The unit. Its worker shares the object, so that a worker given up by a stop touches nothing
// that has gone. The lock guards the tasks, the current task, the ids and the settings; device
// calls, sleeps and callbacks run outside it on the worker. A worker asked to stop makes no
// further switcher call and no callback: the host may be closing what both reach.
class CVideoSwitchTaskTMU_Impl final
    : public IVideoSwitchTaskTMU,
      public std::enable_shared_from_this<CVideoSwitchTaskTMU_Impl> {
public:
    static IVideoSwitchTaskTMU *Create()
    {
        auto unit = std::make_shared<CVideoSwitchTaskTMU_Impl>();
        unit->m_self = unit;
        SetVideoSwitchTaskTMU(kMainName, unit.get());
        unit->LoadConfig(kEnvironment);
        return unit.get();
    }

    uint32_t AddRef() override { return ++m_nRef; }
    uint32_t Release() override
    {
        const uint32_t left = --m_nRef;
        if (left == 0) {
            TMURegistry().Remove(this);
            {
                // A holder's later call starts no worker nobody would stop.
                std::lock_guard<std::mutex> lk(m_lock);
                m_bReleased = true;
            }
            Stop();
            auto last = std::move(m_self); // a worker given up keeps its own share
        }
        return left;
    }

    int32_t LoadConfig(const char *path) override
    {
        CResAccess setting(path);
        std::lock_guard<std::mutex> lk(m_lock);
        m_bDirectTake = setting["DirectTake"].GetAsBool(m_bDirectTake);
        setting["DirectTake"].SetAsBool(m_bDirectTake);
        m_nPSTRestTime = setting["PSTRestTime"].GetAsInteger(m_nPSTRestTime);
        m_bEnableFirstPreset = setting["EnableFirstPreset"].GetAsBool(m_bEnableFirstPreset);
        return 1;
    }

    int32_t SubmitTaskList(const char *, IVideoSwitchTaskArray *tasks) override
    {
        int32_t count = 0;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            m_tasks.clear();
            const int32_t given = tasks ? tasks->GetCount() : 0;
            for (int32_t i = 0; i < given; ++i) {
                tagVideoSwitchTask task = *tasks->ElementAt(i);
                AddLocked(task);
            }
            count = static_cast<int32_t>(m_tasks.size());
        }
        if (count) Wake();
        return count;
    }

    int32_t GetTaskList(const char *, IVideoSwitchTaskArray *tasks) override
    {
        if (!tasks) return 0;
        std::lock_guard<std::mutex> lk(m_lock);
        tasks->SetSize(0);
        for (const tagVideoSwitchTask &task : m_tasks) tasks->Add(task);
        return tasks->GetCount();
    }

    int32_t RemoveAll() override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_tasks.clear();
        return 1;
    }

    int32_t GetTaskCount() override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return static_cast<int32_t>(m_tasks.size());
    }

    int32_t AddTask(tagVideoSwitchTask &task) override
    {
        {
            std::lock_guard<std::mutex> lk(m_lock);
            AddLocked(task);
        }
        Wake();
        return task.TaskID;
    }

    int32_t IsRunning() override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_thread.IsRunning() ? 1 : 0;
    }

    int32_t Start() override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (m_bReleased) return 0;
        if (m_thread.IsRunning() && m_run && !m_run->StopAsked()) return 1;
        auto run = std::make_shared<Run>();
        m_run = run;
        m_thread = plat::Thread::Start([self = shared_from_this(), run] {
            self->Work(*run);
            return 0u;
        });
        return 1;
    }

    int32_t Stop() override
    {
        plat::Thread thread;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            if (m_run) m_run->AskStop();
            thread = std::exchange(m_thread, {});
        }
        // A worker stopping its own unit (a callback releasing the last handle) is not waited
        // for; it ends after its pass.
        thread.StopWithin(kStopBoundMs, 0);
        return 1;
    }

private:
    // The worker's stop, which also ends a switcher's naps.
    struct Run : CCallingUnit {};

    // Under the lock: the task gets an id when it has none, status 1 and error 0, and goes
    // into time order.
    void AddLocked(tagVideoSwitchTask &task)
    {
        if (task.TaskID == 0) {
            int32_t id = m_nNextID;
            m_nNextID += kTaskIdStep;
            while (IdUsed(id)) id += kTaskIdSkip;
            task.TaskID = id;
        }
        task.Status = SWITCHTASK_BEGIN;
        task.Error = SWITCHTASK_ERR_NONE;
        m_tasks.push_back(task);
        Sort();
    }

    bool IdUsed(int32_t id) const
    {
        return id == m_current.TaskID ||
               std::any_of(m_tasks.begin(), m_tasks.end(),
                           [id](const tagVideoSwitchTask &task) { return task.TaskID == id; });
    }

    // An exchange sort by time that leaves tasks of one time in their order.
    void Sort()
    {
        for (size_t i = 0; i < m_tasks.size(); ++i)
            for (size_t j = i + 1; j < m_tasks.size(); ++j)
                if (m_tasks[j].Time < m_tasks[i].Time) std::swap(m_tasks[i], m_tasks[j]);
    }

    void Wake()
    {
        m_evWake.Set();
        Start();
    }

    void Work(Run &run)
    {
        CCallingUnit::Scope bound(&run);
        while (!run.StopAsked()) {
            const uint32_t wait = Pass(run);
            if (wait && !run.StopAsked()) plat::WaitForAny({&m_evWake, &run.StopEvent()}, wait);
        }
    }

    // The pause between two commands to `switcher`: false when the worker was asked to stop
    // or the switcher was closed meanwhile.
    static bool Gap(CVideoSwitchA *switcher)
    {
        CDeviceWait wait(switcher);
        return wait.For(kCommandGapMs);
    }

    // One look at the first task: take it when due, else preset it when its time has come.
    // How long to wait before the next pass.
    uint32_t Pass(Run &run)
    {
        std::optional<tagVideoSwitchTask> take, preset;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            if (m_tasks.empty()) return kIdleWaitMs;
            const tagVideoSwitchTask &first = m_tasks.front();
            const int64_t ahead = (first.Time - videotask::Now()) / kUnitsPerMs;
            if (ahead < kTakeWindowMs) {
                m_current = first;
                take = first;
                m_tasks.erase(m_tasks.begin());
            } else if (PresetDueLocked(first, ahead)) {
                preset = first;
            }
        }
        if (take) {
            Take(*take, run);
            std::lock_guard<std::mutex> lk(m_lock);
            m_current = tagVideoSwitchTask{};
            // A task of the same time follows at once.
            return 0;
        }
        if (preset) Preset(*preset, run);
        return kPassWaitMs;
    }

    bool PresetDueLocked(const tagVideoSwitchTask &task, int64_t ahead) const
    {
        if (m_dwLastTake && plat::TickDiff(plat::GetTickCount(), m_dwLastTake) < kTakeWindowMs)
            return false;
        if (ahead <= kTakeWindowMs) return false;
        if (ahead > kRepresetFromMs && ahead < kRepresetToMs) return true;
        if (task.Status > SWITCHTASK_CHECKDEV) return false;
        return m_bEnableFirstPreset || ahead < m_nPSTRestTime;
    }

    bool Preset(const tagVideoSwitchTask &task, const Run &run)
    {
        CVideoSwitchA *switcher = SwitcherOf(task);
        if (run.StopAsked()) return false;
        if (!switcher) {
            glReportDbg(kLogSwitch, "Get Switch Device failed");
            ReportError(task, SWITCHTASK_ERR_DEVICE);
            return false;
        }
        CDeviceCall inDevice(switcher);
        const bool ok = switcher->DevPreset(task.ChnID, task.SrcID) != 0;
        if (run.StopAsked()) return false;
        if (ok) {
            Report(task, SWITCHTASK_PRESET, task.SrcID);
            if (!Gap(switcher)) return Closed(task, run);
            switcher->DevSetTransType(task.TransType);
            if (run.StopAsked()) return false;
            Report(task, SWITCHTASK_SETMODE, task.TransType);
            if (!Gap(switcher)) return Closed(task, run);
            switcher->DevSetTransRate(task.TransRate);
            if (run.StopAsked()) return false;
            Report(task, SWITCHTASK_SETRATE, task.TransRate);
        } else {
            ReportError(task, SWITCHTASK_ERR_SWITCH);
        }
        glReportDbg(kLogSwitch, "set switch(%s) pst to %d(%s)", task.DevID.szText, task.SrcID,
                    OkText(ok));
        return ok;
    }

    void Take(const tagVideoSwitchTask &task, const Run &run)
    {
        if (task.Status < SWITCHTASK_PRESET) {
            const bool ok = Preset(task, run);
            if (run.StopAsked()) return;
            glReportDbg(kLogSwitch, "切换PGM是发现没有预置，执行紧急预置(%s->-%s)",
                        std::to_string(task.SrcID).c_str(), OkText(ok));
            if (!ok) return;
            CVideoSwitchA *presetOn = SwitcherOf(task);
            if (!Gap(presetOn)) {
                Closed(task, run);
                return;
            }
        }
        CVideoSwitchA *switcher = SwitcherOf(task);
        if (!switcher) {
            glReportDbg(kLogSwitch, "Get switch dev(%s) failed", task.DevID.szText);
            return;
        }
        Report(task, SWITCHTASK_BEGINSWITCH, task.SrcID);
        CDeviceCall inDevice(switcher);
        const int32_t delayMs = switcher->GetDelayTime();
        {
            // A close of the switcher ends the wait as the stop does: nothing is sent to it.
            CDeviceWait wait(switcher);
            if (!wait.Until(TakeStart(task, delayMs))) {
                Closed(task, run);
                return;
            }
        }
        glReportDbg(kLogSwitch, "Start switching(Src=%d,Channel=%d)", task.SrcID, task.ChnID);
        bool ok;
        if (DirectTake()) {
            ok = switcher->DevDirectTake(task.ChnID, task.SrcID) != 0;
        } else if (task.Take2) {
            switcher->SetSwitchType(1);
            ok = switcher->DevTake2(task.ChnID) != 0;
        } else {
            ok = switcher->DevTake(task.ChnID) != 0;
        }
        {
            std::lock_guard<std::mutex> lk(m_lock);
            m_dwLastTake = plat::GetTickCount();
        }
        if (run.StopAsked()) return;
        if (ok)
            Report(task, SWITCHTASK_ENDSWITCH, task.SrcID);
        else
            ReportError(task, SWITCHTASK_ERR_SWITCH);
        glReportDbg(kLogSwitch, "end switch( Src=%d, Dev DelayTime=%d), (%s)", task.SrcID, delayMs,
                    OkText(ok));
    }

    // A wait between commands ended: by the stop (nothing more is told), or by the close of
    // the switcher, which fails the task. False.
    bool Closed(const tagVideoSwitchTask &task, const Run &run)
    {
        if (run.StopAsked()) return false;
        glReportDbg(kLogSwitch, "switch(%s) closed while a task waits in it", task.DevID.szText);
        ReportError(task, SWITCHTASK_ERR_SWITCH);
        return false;
    }

    // The task's time less the transition's lead and the switcher's delay, in whole frames.
    static int64_t TakeStart(const tagVideoSwitchTask &task, int32_t delayMs)
    {
        int64_t frames = 0;
        if (task.TransType != kSwitchTransCut && task.TransRate >= 0 && task.TransRate <= 3)
            frames = kLeadFrames[task.TransRate];
        frames += delayMs * kFramesPerSecond / 1000;
        return task.Time - frames * kUnitsPerFrame;
    }

    bool DirectTake()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_bDirectTake;
    }

    void Report(const tagVideoSwitchTask &task, int32_t status, int32_t param)
    {
        Tell(task, status, param, false);
    }
    void ReportError(const tagVideoSwitchTask &task, int32_t error)
    {
        Tell(task, SWITCHTASK_BEGIN, error, true);
    }

    // The task still in the list takes the status (an error: status 1 and the error); then
    // the callback hears it, an error as status 32 with the error.
    void Tell(const tagVideoSwitchTask &task, int32_t status, int32_t param, bool error)
    {
        if (CCallingUnit::UnitStopped()) return;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            for (tagVideoSwitchTask &listed : m_tasks) {
                if (listed.TaskID != task.TaskID) continue;
                listed.Status = status;
                if (error) listed.Error = param;
                break;
            }
        }
        if (task.pUserData && task.pfnCallBack)
            task.pfnCallBack(task.pUserData, task.TaskID, error ? SWITCHTASK_ERROR : status, param);
    }

    std::atomic<uint32_t> m_nRef{1};
    std::shared_ptr<CVideoSwitchTaskTMU_Impl> m_self; // until the last reference goes

    std::mutex m_lock;
    std::vector<tagVideoSwitchTask> m_tasks; // in time order
    tagVideoSwitchTask m_current;            // the task being taken; id 0 when none
    bool m_bDirectTake = false;
    bool m_bEnableFirstPreset = false;
    int32_t m_nPSTRestTime = 30000; // ms
    uint32_t m_dwLastTake = 0;      // tick of the last take, 0 before the first
    int32_t m_nNextID = kFirstTaskId;
    plat::Thread m_thread;
    std::shared_ptr<Run> m_run; // the current worker's
    bool m_bReleased = false;   // the last reference has gone: out of service

    plat::Event m_evWake{false, false};
};

} // namespace

IVideoSwitchTaskTMU *CreateVideoSwitchTaskTMU()
{
    return CVideoSwitchTaskTMU_Impl::Create();
}

IVideoSwitchTaskTMU *GetVideoSwitchTaskTMU(const char *name)
{
    return TMURegistry().Get(name);
}

std::shared_ptr<IVideoSwitchTaskTMU> HoldVideoSwitchTaskTMU(const char *name)
{
    return TMURegistry().Hold(name,
                              videotask::HoldUnit<CVideoSwitchTaskTMU_Impl, IVideoSwitchTaskTMU>);
}

int32_t SetVideoSwitchTaskTMU(const char *name, IVideoSwitchTaskTMU *tmu)
{
    return TMURegistry().Set(name, tmu);
}

CVideoSwitchTaskTMUPtr::CVideoSwitchTaskTMUPtr() : CVideoTaskPtr(CreateVideoSwitchTaskTMU()) {}
