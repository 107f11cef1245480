#include "drivers/tasks/CVideoKeyTaskTPU.h"

#include "drivers/model/DeviceCalls.h"
#include "drivers/switchers/keyers/IVideoKeyTaskProcess.h"
#include "drivers/tasks/BroTaskDevices.h"
#include "drivers/tasks/CVideoKeyTaskArray.h"
#include "drivers/tasks/CVideoKeyTaskTMU.h"

#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// How long Stop waits for the worker before giving it up.
constexpr uint32_t kStopBoundMs = 1000;
// How long the worker waits for a message while nothing is due.
constexpr uint32_t kIdleWaitMs = 1000;

// The process unit. Its worker shares the object, and holds the bound management unit for the
// length of each pass, so that a worker given up by a stop touches nothing that has gone.
class CVideoKeyTaskTPU_Impl final : public IVideoKeyTaskTPU,
                                    public std::enable_shared_from_this<CVideoKeyTaskTPU_Impl> {
public:
    static IVideoKeyTaskTPU *Create()
    {
        auto unit = std::make_shared<CVideoKeyTaskTPU_Impl>();
        unit->m_self = unit;
        return unit.get();
    }

    uint32_t AddRef() override { return ++m_nRef; }
    uint32_t Release() override
    {
        const uint32_t left = --m_nRef;
        if (left == 0) {
            Stop();
            SetTMU(nullptr);
            auto last = std::move(m_self); // the worker, if given up, keeps its own share
        }
        return left;
    }

    int32_t Start() override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (m_bShutDown) return 1;
        if (m_bRunning) {
            m_bKick = true;
            return 1;
        }
        // A worker that has decided to end may still be on its way out; Stop waits for it too.
        if (m_thread.Valid()) m_ending.push_back(std::exchange(m_thread, {}));
        auto run = std::make_shared<Run>();
        m_run = run;
        m_bRunning = true;
        m_thread = plat::Thread::Start([self = shared_from_this(), run] {
            self->Work(*run);
            return 0u;
        });
        m_bRunning = m_thread.Valid();
        return 1;
    }

    int32_t Stop() override
    {
        std::vector<plat::Thread> threads;
        {
            std::lock_guard<std::mutex> lk(m_lock);
            if (m_run) m_run->AskStop();
            if (m_thread.Valid()) threads.push_back(std::exchange(m_thread, {}));
            threads.insert(threads.end(), m_ending.begin(), m_ending.end());
            m_ending.clear();
            m_bRunning = false;
            m_queue.emplace_back(KEYTPU_CMD_STOP, 0);
        }
        m_evMsg.Set();
        // A worker that stops its own unit (its keyer releasing the last handle) is not
        // waited for; it ends after its pass.
        for (plat::Thread &thread : threads) thread.StopWithin(kStopBoundMs, 0);
        return 1;
    }

    int32_t IsRunning() override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_bRunning ? 1 : 0;
    }

    int32_t ShutDown() override
    {
        {
            std::lock_guard<std::mutex> lk(m_lock);
            m_bShutDown = true;
        }
        return Stop();
    }

    int32_t SetTMU(IVideoKeyTaskTMU *tmu) override
    {
        auto lease = LeaseKeyTaskTMU(tmu);
        std::lock_guard<std::mutex> lk(m_lock);
        m_pTMU = std::move(lease);
        return 1;
    }

    int32_t PostMsg(int32_t cmd, int32_t param) override
    {
        {
            std::lock_guard<std::mutex> lk(m_lock);
            m_queue.emplace_back(cmd, param);
        }
        m_evMsg.Set();
        return 1;
    }

    int32_t GetMsg(int32_t *cmd, int32_t *param, uint32_t waitMs) override
    {
        const uint32_t since = plat::GetTickCount();
        for (;;) {
            {
                std::lock_guard<std::mutex> lk(m_lock);
                if (!m_queue.empty()) {
                    if (cmd) *cmd = m_queue.front().first;
                    if (param) *param = m_queue.front().second;
                    m_queue.pop_front();
                    return 1;
                }
            }
            const uint32_t waited = plat::TickElapsed(since);
            if (waited >= waitMs) return 0;
            m_evMsg.Wait(waitMs - waited);
        }
    }

    int32_t GetState() override { return m_nState; }
    int32_t SetState(int32_t state) override
    {
        m_nState = state;
        return 1;
    }

private:
    // The worker's stop: a keyer's waits end with it.
    struct Run : CCallingUnit {};

    std::shared_ptr<IVideoKeyTaskTMU> BoundTMU()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_pTMU;
    }

    // Empties the queue at the start of a pass; a stop asked meanwhile still ends the run.
    void BeginPass()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_queue.clear();
        m_bKick = false;
    }

    // Whether the worker ends for lack of tasks: not when a Start came during its pass.
    bool EndIdle(const Run &run)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        if (m_bKick && !run.StopAsked()) return false;
        if (m_run.get() == &run) m_bRunning = false;
        return true;
    }

    void Work(Run &run)
    {
        CCallingUnit::Scope bound(&run);
        while (!run.StopAsked()) {
            BeginPass();
            auto tmu = BoundTMU();
            if (!tmu || tmu->GetTaskCount() == 0) {
                if (EndIdle(run)) return;
                continue;
            }
            CVideoKeyTaskArray group;
            if (run.StopAsked()) break;
            if (tmu->GetPgmTask(group.Get())) {
                Serve(*tmu, *group.Get(), run);
                continue;
            }
            int32_t cmd = KEYTPU_CMD_CHECK;
            if (GetMsg(&cmd, nullptr, kIdleWaitMs) && cmd == KEYTPU_CMD_STOP) break;
            if (run.StopAsked()) break;
            tmu->OnIdle();
        }
        std::lock_guard<std::mutex> lk(m_lock);
        if (m_run.get() == &run) m_bRunning = false;
    }

    // Hands the group to the keyer of its first task; the keyer's result is not read. Once
    // the worker is asked to stop it calls neither the keyer nor the management unit.
    void Serve(IVideoKeyTaskTMU &tmu, IVideoKeyTaskArray &group, const Run &run)
    {
        const int32_t count = group.GetCount();
        CDeviceA *device = nullptr;
        IVideoKeyTaskProcess *keyer = KeyerOf(group.GetPtrAt(0)->DevID, device);
        if (run.StopAsked()) return;
        if (!keyer) {
            for (int32_t i = 0; i < count; ++i)
                tmu.OnTaskFailed(group.GetPtrAt(i)->TaskID, KEYTASK_BEGIN, "");
            return;
        }
        for (int32_t i = 0; i < count; ++i)
            tmu.OnTaskStatus(group.GetPtrAt(i)->TaskID, KEYTASK_BEGIN, 0);
        if (run.StopAsked()) return;
        SetState(KEYTPU_CALLING);
        {
            CDeviceCall inDevice(device);
            keyer->DevTaskDirectTake(&group);
        }
        SetState(KEYTPU_IDLE);
        if (run.StopAsked()) return;
        for (int32_t i = 0; i < count; ++i)
            tmu.OnTaskStatus(group.GetPtrAt(i)->TaskID, KEYTASK_PGMEND, 0);
    }

    // The key task interface of the keyer `devId` and the device answering it (none when
    // there is no answer).
    static IVideoKeyTaskProcess *KeyerOf(const char *devId, CDeviceA *&device)
    {
        CVideoDevMgr *devMgr = TaskDevMgr();
        CDeviceA *found = devMgr ? devMgr->GetVideoDev(devId, 1, nullptr) : nullptr;
        void *keyer = nullptr;
        if (found) found->QueryInterface(&IID_IVideoKeyTaskProcess, &keyer);
        device = keyer ? found : nullptr;
        return static_cast<IVideoKeyTaskProcess *>(keyer);
    }

    std::atomic<uint32_t> m_nRef{1};
    std::shared_ptr<CVideoKeyTaskTPU_Impl> m_self; // until the last reference goes

    // Guards everything below but the state and the event.
    std::mutex m_lock;
    std::shared_ptr<IVideoKeyTaskTMU> m_pTMU;
    std::deque<std::pair<int32_t, int32_t>> m_queue; // {cmd, param}, oldest first
    plat::Thread m_thread;
    std::vector<plat::Thread> m_ending; // workers that have left their loop
    std::shared_ptr<Run> m_run;         // the current worker's
    bool m_bRunning = false;
    bool m_bKick = false; // a Start came while the worker ran its pass
    bool m_bShutDown = false;

    plat::Event m_evMsg{false, false};
    std::atomic<int32_t> m_nState{KEYTPU_IDLE};
};

} // namespace

IVideoKeyTaskTPU *CreateVideoKeyTaskTPU()
{
    return CVideoKeyTaskTPU_Impl::Create();
}

CVideoKeyTaskTPU::CVideoKeyTaskTPU() : CVideoTaskPtr(CreateVideoKeyTaskTPU()) {}
