#include "devext/services/CBeepMusic.h"

#include "KestLib20/CDataLock.h"
#include "devext/services/Speaker.h"
#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <atomic>

namespace {

constexpr uint32_t kWakeWaitMs = 5000;
constexpr uint32_t kIdleEndMs = 10000;
constexpr uint32_t kStopWaitMs = 3000;

std::mutex g_currentLock; // held while the current player is used or replaced
CBeepMusic *g_pCurrent = nullptr;

} // namespace

struct CBeepMusic::State {
    CDataLock lock;
    plat::Event wake;                          // a tune has arrived, or the player stops
    plat::Event stopped{true, false};          // set once by Stop; rests wait on it
    tagBeepMusic pending{0, nullptr, nullptr}; // nRepeat 0: nothing pending
    bool workerActive = false;                 // under lock: a worker runs or is about to
    std::atomic<int> enabled{1};
    std::atomic<int> running{1};
};

CBeepMusic::CBeepMusic() : m_pState(std::make_shared<State>())
{
    std::lock_guard guard(g_currentLock);
    g_pCurrent = this;
}

CBeepMusic::~CBeepMusic()
{
    {
        std::lock_guard guard(g_currentLock);
        if (g_pCurrent == this) g_pCurrent = nullptr;
    }
    Stop();
}

int CBeepMusic::AddMusic(const tagBeepMusic &tune)
{
    if (!tune.pDuration) {
        switch (reinterpret_cast<uintptr_t>(tune.pFrequency)) {
        case BEEP_CMD_DISABLE:
            m_pState->enabled = 0;
            return 0;
        case BEEP_CMD_ENABLE:
            m_pState->enabled = 1;
            return 0;
        case BEEP_CMD_IS_ENABLED:
            return m_pState->enabled;
        default:
            return 0;
        }
    }
    {
        std::lock_guard guard(m_pState->lock);
        m_pState->pending = tune;
    }
    m_pState->wake.Set();
    Start();
    return 0;
}

void CBeepMusic::StopMusic()
{
    std::lock_guard guard(m_pState->lock);
    m_pState->pending.nRepeat = 0;
}

void CBeepMusic::Start()
{
    std::lock_guard start(m_startLock);
    {
        std::lock_guard guard(m_pState->lock);
        if (m_pState->workerActive) return;
        m_pState->workerActive = true;
    }
    std::shared_ptr<State> state = m_pState;
    m_worker = plat::Thread::Start([state] { return __DoAlertSoundProc(state); });
    if (!m_worker.Valid()) {
        std::lock_guard guard(m_pState->lock);
        m_pState->workerActive = false;
    }
}

void CBeepMusic::Stop()
{
    m_pState->running = 0;
    m_pState->stopped.Set();
    m_pState->wake.Set();
    std::lock_guard start(m_startLock);
    m_worker.StopWithin(kStopWaitMs, 0);
    m_worker.Close();
}

void CBeepMusic::Play(const tagBeepMusic &tune)
{
    PlayPass(*m_pState, tune);
}

void CBeepMusic::PlayPass(State &state, const tagBeepMusic &tune)
{
    if (!tune.pDuration) return;
    for (int i = 0; static_cast<int32_t>(tune.pDuration[i]) > 0; ++i) {
        if (!state.running) return;
        const uint32_t hz = tune.pFrequency ? tune.pFrequency[i] : 0;
        if (hz != 0 && state.enabled)
            Beep(hz, tune.pDuration[i]);
        else
            state.stopped.Wait(tune.pDuration[i]);
    }
}

uint32_t CBeepMusic::__DoAlertSoundProc(const std::shared_ptr<State> &state)
{
    uint32_t idleStart = plat::GetTickCount();
    while (state->running) {
        tagBeepMusic pass{0, nullptr, nullptr};
        {
            std::lock_guard guard(state->lock);
            if (state->pending.nRepeat >= 1) {
                pass = state->pending;
                --state->pending.nRepeat;
            }
        }
        if (pass.nRepeat >= 1) {
            PlayPass(*state, pass);
            idleStart = plat::GetTickCount();
            continue;
        }
        state->wake.Wait(kWakeWaitMs);
        if (plat::TickElapsed(idleStart) > kIdleEndMs) {
            // Decided under the lock, so a tune that has just arrived is never left behind.
            std::lock_guard guard(state->lock);
            if (state->pending.nRepeat < 1) {
                state->workerActive = false;
                return 0;
            }
        }
    }
    std::lock_guard guard(state->lock);
    state->workerActive = false;
    return 0;
}

int PlayBeepMusic(const tagBeepMusic &tune)
{
    std::lock_guard guard(g_currentLock);
    return g_pCurrent ? g_pCurrent->AddMusic(tune) : 0;
}
