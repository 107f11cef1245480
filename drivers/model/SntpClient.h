// A small client of the simple network time protocol: the 64-bit NTP timestamp with its
// calendar conversions, the request and reply of one query as bytes, and one query of a
// server over UDP with a time-out.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "platform/TimeConvert.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Seconds since 1900-01-01 00:00 UTC and a fraction of a second in units of 2^-32.
struct KSOVRA20_API NtpTimestamp {
    static constexpr uint32_t kUnixEpochSeconds = 2208988800u; // 1970-01-01

    uint32_t seconds = 0;
    uint32_t fraction = 0;

    // From a universal calendar time (1900 to 2036).
    static NtpTimestamp FromSystemTime(const plat::SYSTEMTIME &utc);
    plat::SYSTEMTIME ToSystemTime() const;
    // The current universal time.
    static NtpTimestamp Now();

    // This less `other`, in seconds.
    double operator-(const NtpTimestamp &other) const;
    NtpTimestamp operator+(double secondsToAdd) const;

    // Eight bytes in network byte order.
    void Write(uint8_t *at) const;
    static NtpTimestamp Read(const uint8_t *at);
};

// What one query found.
struct SntpResult {
    int leapIndicator = 0;
    int stratum = 0;
    NtpTimestamp originate; // T1
    NtpTimestamp receive;   // T2
    NtpTimestamp transmit;  // T3
    NtpTimestamp arrival;   // T4, taken locally
    double delay = 0;       // seconds
    double offset = 0;      // seconds
};

namespace sntp {

constexpr size_t kRequestSize = 48;
constexpr size_t kReplySize = 68; // room for a reply with a key id

// The client request: version 3, mode 3, stamped with `transmit`.
KSOVRA20_API std::array<uint8_t, kRequestSize> EncodeRequest(const NtpTimestamp &transmit);
// Reads leap indicator, stratum and T1 to T3 from a reply of `length` bytes that arrived at
// `arrival`, and works out delay and offset. False for a reply shorter than a request.
KSOVRA20_API bool DecodeReply(const uint8_t *reply, size_t length, const NtpTimestamp &arrival,
                              SntpResult &result);

} // namespace sntp

class KSOVRA20_API CSntpClient {
public:
    static constexpr uint16_t kPort = 123;
    static constexpr uint32_t kDefaultTimeoutMs = 5000;
    static constexpr uint32_t kTimeoutError = 10060;

    explicit CSntpClient(uint32_t timeoutMs = kDefaultTimeoutMs) : m_dwTimeout(timeoutMs) {}

    // Asks `server` (a dotted IPv4 address or a host name) on `port`: 1 with the result.
    // 0 for an unknown host, a socket failure or a bad reply, and after the time-out with the
    // last error kTimeoutError.
    int Query(const char *server, uint16_t port, SntpResult &result) const;
    // Sets the computer's clock to `time`: 1 when it was set.
    static int SetComputerClock(const NtpTimestamp &time);

    uint32_t GetTimeout() const { return m_dwTimeout; }

private:
    uint32_t m_dwTimeout;
};
