// Slows a peer down after failed log-ons: after the n-th failure in a row its next log-on
// waits 2^(n-1) seconds (at most an hour) from that failure; a good log-on clears it. One
// record per peer address, for the whole process.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>

class LogOnThrottle {
public:
    static constexpr uint32_t kFirstDelayMs = 1000;
    static constexpr uint32_t kLongestDelayMs = 3600 * 1000;

    static LogOnThrottle &Telnet();

    // The platform monotonic time (nanoseconds) before which `peer` may not try again; 0
    // when it may now.
    uint64_t NextTry(uint32_t peer);
    void Failed(uint32_t peer);
    void Succeeded(uint32_t peer);

private:
    struct Record {
        uint32_t failures = 0;
        uint64_t nextTry = 0;
    };
    std::mutex m_lock;
    std::map<uint32_t, Record> m_peers;
};
