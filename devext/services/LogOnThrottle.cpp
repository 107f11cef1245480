#include "devext/services/LogOnThrottle.h"

#include "platform/TimeSource.h"

#include <algorithm>

namespace {

constexpr uint64_t kNanosPerMs = 1000000;

} // namespace

LogOnThrottle::LogOnThrottle(const Pacing &pacing) : m_pacing(pacing) {}

LogOnThrottle::LogOnThrottle() : LogOnThrottle(Pacing{}) {}

std::shared_ptr<LogOnThrottle> LogOnThrottle::Process()
{
    static const std::shared_ptr<LogOnThrottle> throttle = std::make_shared<LogOnThrottle>();
    return throttle;
}

void LogOnThrottle::Forget(uint64_t now)
{
    const uint64_t quiet = uint64_t{m_pacing.forgetAfterMs} * kNanosPerMs;
    for (auto it = m_peers.begin(); it != m_peers.end();)
        it = now - it->second.lastFailure >= quiet ? m_peers.erase(it) : std::next(it);
}

uint64_t LogOnThrottle::NextTry(uint32_t peer)
{
    const uint64_t now = plat::MonotonicNanos();
    std::lock_guard<std::mutex> lk(m_lock);
    Forget(now);
    const auto it = m_peers.find(peer);
    if (it == m_peers.end() || it->second.nextTry <= now) return 0;
    return it->second.nextTry;
}

uint64_t LogOnThrottle::Failed(uint32_t peer)
{
    const uint64_t now = plat::MonotonicNanos();
    std::lock_guard<std::mutex> lk(m_lock);
    Forget(now);
    Record &record = m_peers[peer];
    const uint32_t doublings = std::min<uint32_t>(record.failures, 31);
    ++record.failures;
    const uint64_t delayMs =
        std::min<uint64_t>(uint64_t{m_pacing.firstDelayMs} << doublings, m_pacing.longestDelayMs);
    record.lastFailure = now;
    record.nextTry = now + delayMs * kNanosPerMs;
    return delayMs ? record.nextTry : 0;
}

void LogOnThrottle::Succeeded(uint32_t peer)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_peers.erase(peer);
}
