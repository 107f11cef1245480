// Paces log-ons after failures. Per peer address: after the n-th failed log-on in a row from an
// address, its next log-on waits 2^(n-1) seconds from that failure, at most a minute; an
// address that logs on, or has not failed for ten minutes, starts afresh. Per session: the
// session that failed is held for that same delay before it is closed. The process has one
// throttle that shells use by default; a shell may be given one of its own (tests, fuzzing).
#pragma once

#include "devext/Devext20Api.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

class DEVEXT20_API LogOnThrottle {
public:
    struct Pacing {
        uint32_t firstDelayMs = 1000;    // after the first failure
        uint32_t longestDelayMs = 60000; // the doubling stops here
        uint32_t forgetAfterMs = 600000; // an address quiet this long starts afresh
    };

    explicit LogOnThrottle(const Pacing &pacing);
    LogOnThrottle();

    // The throttle of the process, shared by every shell not given one of its own.
    static std::shared_ptr<LogOnThrottle> Process();

    const Pacing &GetPacing() const { return m_pacing; }
    // The platform monotonic time (nanoseconds) before which `peer` may not try again; 0
    // when it may now.
    uint64_t NextTry(uint32_t peer);
    // Counts a failure of `peer`: the time (as NextTry) until which the failed session is
    // held, 0 for not at all.
    uint64_t Failed(uint32_t peer);
    void Succeeded(uint32_t peer);

private:
    struct Record {
        uint32_t failures = 0;
        uint64_t lastFailure = 0;
        uint64_t nextTry = 0;
    };
    // Drops the addresses that have been quiet long enough (under the lock).
    void Forget(uint64_t now);

    const Pacing m_pacing;
    std::mutex m_lock;
    std::map<uint32_t, Record> m_peers;
};
