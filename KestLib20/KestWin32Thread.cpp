#include "KestLib20/KestWin32Thread.h"

#include "platform/TimeSource.h"

#include <array>
#include <atomic>
#include <utility>
#include <vector>

namespace {
constexpr uint32_t kStopBound = 1000;
} // namespace

struct KestWin32Thread::State {
    std::atomic<bool> stopRequested{false};
    plat::Event stop; // auto-reset

    int32_t Sleep(int32_t ms);
    uint32_t Wait(const plat::Waitable *handle, int32_t ms);
    void UnregisterCaller();
};

namespace {

using State = KestWin32Thread::State;

// Maps a thread id to the state of the thread object running on it: 17 buckets by id under
// one lock. It is the copy of this module's framework library; never destroyed, because
// given-up threads may still look themselves up at exit.
class KestTlsObjectMgrWin32 {
public:
    static KestTlsObjectMgrWin32 &Mgr()
    {
        static auto *mgr = new KestTlsObjectMgrWin32;
        return *mgr;
    }

    void Register(uint32_t tid, std::shared_ptr<State> state)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        auto &bucket = Bucket(tid);
        for (auto &entry : bucket) {
            if (entry.first == tid) {
                entry.second = std::move(state);
                return;
            }
        }
        bucket.emplace_back(tid, std::move(state));
    }

    // Removes the entry of `tid` when it still belongs to `state`.
    void Unregister(uint32_t tid, const State *state)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        auto &bucket = Bucket(tid);
        for (auto it = bucket.begin(); it != bucket.end(); ++it) {
            if (it->first == tid && it->second.get() == state) {
                bucket.erase(it);
                return;
            }
        }
    }

    std::shared_ptr<State> Find(uint32_t tid)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        for (auto &entry : Bucket(tid))
            if (entry.first == tid) return entry.second;
        return nullptr;
    }

private:
    static constexpr size_t kBuckets = 17;
    std::vector<std::pair<uint32_t, std::shared_ptr<State>>> &Bucket(uint32_t tid)
    {
        return m_buckets[tid % kBuckets];
    }

    std::mutex m_lock;
    std::array<std::vector<std::pair<uint32_t, std::shared_ptr<State>>>, kBuckets> m_buckets;
};

uint32_t RunBody(const std::shared_ptr<State> &state, KEST_THREAD_PROC proc, void *param)
{
    const uint32_t tid = plat::GetCurrentThreadId();
    KestTlsObjectMgrWin32::Mgr().Register(tid, state);
    uint32_t code = 0;
    try {
        proc(param, IKestThread::kRun, 0);
    } catch (...) {
        code = 1;
    }
    KestTlsObjectMgrWin32::Mgr().Unregister(tid, state.get());
    return code;
}

std::shared_ptr<State> CallerState()
{
    return KestTlsObjectMgrWin32::Mgr().Find(plat::GetCurrentThreadId());
}

// A wait through a thread object's state, or a plain wait when there is none.
uint32_t WaitVia(const std::shared_ptr<State> &state, const plat::Waitable *handle, int32_t ms)
{
    if (state) return state->Wait(handle, ms);
    return handle ? handle->Wait(static_cast<uint32_t>(ms)) : plat::WAIT_FAILED;
}

} // namespace

void KestWin32Thread::State::UnregisterCaller()
{
    KestTlsObjectMgrWin32::Mgr().Unregister(plat::GetCurrentThreadId(), this);
}

int32_t KestWin32Thread::State::Sleep(int32_t ms)
{
    if (stopRequested.load()) {
        UnregisterCaller();
        return 0;
    }
    if (stop.Wait(static_cast<uint32_t>(ms)) == plat::WAIT_OBJECT_0) UnregisterCaller();
    return 1;
}

uint32_t KestWin32Thread::State::Wait(const plat::Waitable *handle, int32_t ms)
{
    if (stopRequested.load()) {
        UnregisterCaller();
        return plat::WAIT_OBJECT_0;
    }
    uint32_t result = handle ? plat::WaitForAny({&stop, handle}, static_cast<uint32_t>(ms))
                             : stop.Wait(static_cast<uint32_t>(ms));
    if (result == plat::WAIT_OBJECT_0) UnregisterCaller();
    if (result == plat::WAIT_OBJECT_0 + 1) return plat::WAIT_OBJECT_0;
    return result;
}

KestWin32Thread::~KestWin32Thread()
{
    Stop();
}

std::shared_ptr<KestWin32Thread::State> KestWin32Thread::CurrentState()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    return m_pState;
}

int32_t KestWin32Thread::Suicide()
{
    Stop();
    delete this;
    return 1;
}

int32_t KestWin32Thread::Cmd(int32_t command, int32_t argument)
{
    KEST_THREAD_PROC proc;
    void *param;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        proc = m_pProc;
        param = m_pParam;
    }
    return proc ? proc(param, command, argument) : 0;
}

int32_t KestWin32Thread::SetProc(KEST_THREAD_PROC proc, void *param)
{
    if (IsActive()) return 0;
    std::lock_guard<std::mutex> lk(m_mutex);
    m_pProc = proc;
    m_pParam = param;
    return 1;
}

int32_t KestWin32Thread::Start()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_thread.IsRunning()) return 1;
    if (!m_pProc) return 0;
    if (m_thread.Valid()) {
        KestTlsObjectMgrWin32::Mgr().Unregister(m_thread.Id(), m_pState.get());
        m_thread.Close();
    }
    // A fresh state: a thread given up earlier keeps its own, told to stop.
    m_pState = std::make_shared<State>();
    auto state = m_pState;
    KEST_THREAD_PROC proc = m_pProc;
    void *param = m_pParam;
    m_thread = plat::Thread::Start([state, proc, param] { return RunBody(state, proc, param); });
    return m_thread.Valid() ? 1 : 0;
}

int32_t KestWin32Thread::Stop()
{
    std::shared_ptr<State> state;
    plat::Thread thread;
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        if (!m_thread.Valid()) return 1;
        state = m_pState;
        thread = m_thread;
    }
    if (thread.IsRunning()) {
        state->stopRequested.store(true);
        Cmd(kStopRequested, 0);
        state->stop.Set();
        if (!thread.StopWithin(kStopBound, 0)) Cmd(kGivingUp, 0);
    }
    KestTlsObjectMgrWin32::Mgr().Unregister(thread.Id(), state.get());
    std::lock_guard<std::mutex> lk(m_mutex);
    if (m_thread.Id() == thread.Id()) m_thread.Close();
    return 1;
}

int32_t KestWin32Thread::ShutDown()
{
    Stop();
    SetProc(nullptr, nullptr);
    return 1;
}

int32_t KestWin32Thread::IsActive()
{
    std::lock_guard<std::mutex> lk(m_mutex);
    if (!m_thread.Valid()) return 0;
    if (m_thread.IsRunning()) return 1;
    KestTlsObjectMgrWin32::Mgr().Unregister(m_thread.Id(), m_pState.get());
    m_thread.Close();
    return 0;
}

int32_t KestWin32Thread::Nop()
{
    auto state = CurrentState();
    return state && state->stopRequested.load() ? 0 : 1;
}

int32_t KestWin32Thread::QuitThread(int32_t)
{
    if (auto state = CurrentState()) state->UnregisterCaller();
    return 1;
}

int32_t KestWin32Thread::Sleep(int32_t ms)
{
    auto state = CurrentState();
    return state ? state->Sleep(ms) : 0;
}

uint32_t KestWin32Thread::Wait(const plat::Waitable *handle, int32_t ms)
{
    return WaitVia(CurrentState(), handle, ms);
}

int32_t tagThreadAPI<1>::Sleep(int32_t ms)
{
    if (auto state = CallerState()) return state->Sleep(ms);
    plat::Sleep(static_cast<uint32_t>(ms));
    return 1;
}

uint32_t tagThreadAPI<1>::Wait(const plat::Waitable *handle, int32_t ms)
{
    return WaitVia(CallerState(), handle, ms);
}

int32_t tagThreadAPI<1>::Nop()
{
    auto state = CallerState();
    return state && state->stopRequested.load() ? 0 : 1;
}

int32_t tagThreadAPI<1>::EndOfThread()
{
    auto state = CallerState();
    return !state || state->stopRequested.load() ? 1 : 0;
}

IKestThread *tagThreadAPI<1>::Create()
{
    return new KestWin32Thread;
}
