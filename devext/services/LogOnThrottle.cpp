#include "devext/services/LogOnThrottle.h"

#include "platform/TimeSource.h"

#include <algorithm>

LogOnThrottle &LogOnThrottle::Telnet()
{
    static LogOnThrottle throttle;
    return throttle;
}

uint64_t LogOnThrottle::NextTry(uint32_t peer)
{
    std::lock_guard<std::mutex> lk(m_lock);
    const auto it = m_peers.find(peer);
    if (it == m_peers.end() || it->second.nextTry <= plat::MonotonicNanos()) return 0;
    return it->second.nextTry;
}

void LogOnThrottle::Failed(uint32_t peer)
{
    std::lock_guard<std::mutex> lk(m_lock);
    Record &record = m_peers[peer];
    const uint32_t doublings = std::min<uint32_t>(record.failures, 31);
    ++record.failures;
    const uint64_t delayMs =
        std::min<uint64_t>(uint64_t{kFirstDelayMs} << doublings, kLongestDelayMs);
    record.nextTry = plat::MonotonicNanos() + delayMs * 1000000;
}

void LogOnThrottle::Succeeded(uint32_t peer)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_peers.erase(peer);
}
