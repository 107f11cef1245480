#include "Kest20/LogMsgThrd.h"

#include "platform/Process.h"
#include "platform/String.h"

#include <cstring>

void CLogMsgBlocks::Append(const char *type, const char *text, const char *info,
                           CLogMsgBlocks &spare)
{
    const char *texts[3] = {type ? type : "", text ? text : "", info ? info : ""};
    uint32_t length[3];
    size_t need = sizeof length;
    for (int i = 0; i < 3; ++i) {
        length[i] = static_cast<uint32_t>(std::strlen(texts[i]));
        need += length[i] + 1;
    }
    if (m_blocks.empty() || m_blocks.back().capacity() - m_blocks.back().size() < need) {
        if (!spare.m_blocks.empty() && need <= kBlockBytes) {
            m_blocks.push_back(std::move(spare.m_blocks.back()));
            spare.m_blocks.pop_back();
        } else {
            m_blocks.emplace_back();
            m_blocks.back().reserve(std::max(kBlockBytes, need));
        }
    }
    // Within the block's capacity: the block is never moved, so nothing is copied twice.
    std::vector<char> &block = m_blocks.back();
    const char *bytes = reinterpret_cast<const char *>(length);
    block.insert(block.end(), bytes, bytes + sizeof length);
    for (int i = 0; i < 3; ++i) block.insert(block.end(), texts[i], texts[i] + length[i] + 1);
}

void CLogMsgBlocks::Recycle(CLogMsgBlocks &spare)
{
    for (std::vector<char> &block : m_blocks) {
        if (spare.m_blocks.size() >= kSpareBlocks || block.capacity() != kBlockBytes) continue;
        block.clear();
        spare.m_blocks.push_back(std::move(block));
    }
    m_blocks.clear();
}

struct CMsgThrd::State {
    explicit State(Sink s) : sink(std::move(s)) {}

    const Sink sink;
    std::mutex lock;
    CLogMsgBlocks pending; // under the lock
    CLogMsgBlocks spare;   // under the lock: empty blocks for later messages
    CWorkerGate gate;      // under the lock
    plat::Thread thread;   // under the lock: the newest thread
    bool sleeping = false; // under the lock: the thread waits for `wake`
    bool closed = false;   // under the lock
    plat::Event wake;      // auto-reset
    // The generation that may hand messages over (0: none), read by the thread between two
    // messages of what it has taken, so that a stop ends the handing over at once.
    std::atomic<uint32_t> liveGen{0};
};

CMsgThrd::CMsgThrd(Sink sink) : m_pState(std::make_shared<State>(std::move(sink))) {}

CMsgThrd::~CMsgThrd()
{
    DropAndStop();
}

bool CMsgThrd::Post(const char *type, const char *text, const char *info)
{
    State &s = *m_pState;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(s.lock);
        if (s.closed) return false;
        s.pending.Append(type, text, info, s.spare);
        uint32_t gen = 0;
        if (s.gate.Request(&gen)) {
            auto state = m_pState;
            s.thread = plat::Thread::Start([state, gen] {
                Serve(state, gen);
                return 0u;
            });
            // Without a thread the message stays queued for the next one.
            if (!s.thread.Valid())
                s.gate.Ended(gen);
            else
                s.liveGen.store(gen, std::memory_order_release);
        } else if (s.sleeping) {
            s.sleeping = false;
            wake = true;
        }
    }
    if (wake) s.wake.Set();
    return true;
}

void CMsgThrd::Stop()
{
    State &s = *m_pState;
    plat::Thread worker;
    {
        std::lock_guard<std::mutex> lock(s.lock);
        if (!s.gate.IsLive()) return;
        s.gate.Retire();
        s.liveGen.store(0, std::memory_order_release);
        worker = s.thread;
    }
    s.wake.Set();
    worker.StopWithin(kStopBound, 0);
    // The last handle of an ended thread joins it; a given-up one is detached already.
    std::lock_guard<std::mutex> lock(s.lock);
    if (s.thread.Id() == worker.Id()) s.thread.Close();
}

void CMsgThrd::DropAndStop()
{
    State &s = *m_pState;
    {
        std::lock_guard<std::mutex> lock(s.lock);
        s.pending.Recycle(s.spare);
    }
    Stop();
    std::lock_guard<std::mutex> lock(s.lock);
    s.pending.Recycle(s.spare);
}

void CMsgThrd::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_pState->lock);
        m_pState->closed = true;
    }
    DropAndStop();
}

void CMsgThrd::Serve(const std::shared_ptr<State> &state, uint32_t gen)
{
    State &s = *state;
    CLogMsgBlocks taken;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(s.lock);
            taken.Recycle(s.spare);
            // Whether to go on and what to take are decided in one step, so a stop is
            // either before the take (nothing more is handed over) or after it.
            if (!s.gate.Continue(gen)) return;
            if (s.pending.Empty()) {
                s.sleeping = true;
                lock.unlock();
                s.wake.Wait(kIdleWait);
                std::lock_guard<std::mutex> woken(s.lock);
                s.sleeping = false;
                continue;
            }
            taken.Swap(s.pending);
        }
        taken.ForEach([&](const LogMsg &msg) {
            if (s.liveGen.load(std::memory_order_acquire) != gen) return false;
            s.sink(msg);
            return true;
        });
    }
}

void ReportLogHandlerFailure(const char *label, const char *type, const char *text)
{
    CString line;
    line.Format("Fatal Error %s(%s) Execute Stopped Info=%s\n", label, type, text);
    plat::OutputDebugString(line);
}
