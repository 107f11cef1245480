#include "drivers/model/SntpClient.h"

#include "devext/device/CSocketFd.h"
#include "devext/device/ComputerClock.h"
#include "platform/Process.h"
#include "platform/TimeSource.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int64_t kJulianDay1900 = 2415021;
constexpr double kFractionUnit = 4294967296.0; // 2^32
constexpr uint32_t kPollSliceMs = 20;

int64_t JulianDay(int year, int month, int day)
{
    const int64_t a = (14 - month) / 12;
    const int64_t y = year + 4800 - a;
    const int64_t m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void FromJulianDay(int64_t jdn, plat::SYSTEMTIME &st)
{
    const int64_t a = jdn + 32044;
    const int64_t b = (4 * a + 3) / 146097;
    const int64_t c = a - 146097 * b / 4;
    const int64_t d = (4 * c + 3) / 1461;
    const int64_t e = c - 1461 * d / 4;
    const int64_t m = (5 * e + 2) / 153;
    st.wDay = static_cast<uint16_t>(e - (153 * m + 2) / 5 + 1);
    st.wMonth = static_cast<uint16_t>(m + 3 - 12 * (m / 10));
    st.wYear = static_cast<uint16_t>(100 * b + d - 4800 + m / 10);
}

uint32_t GetU32(const uint8_t *at)
{
    return static_cast<uint32_t>(at[0]) << 24 | static_cast<uint32_t>(at[1]) << 16 |
           static_cast<uint32_t>(at[2]) << 8 | at[3];
}

void PutU32(uint8_t *at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

bool Resolve(const char *server, in_addr &address)
{
    if (!server || !*server) return false;
    if (inet_pton(AF_INET, server, &address) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *found = nullptr;
    if (getaddrinfo(server, nullptr, &hints, &found) != 0 || !found) return false;
    address = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

// Waits for the socket to become readable, on the process's time source.
bool WaitReadable(int fd, uint32_t timeoutMs)
{
    const uint32_t start = plat::GetTickCount();
    for (;;) {
        const uint32_t elapsed = plat::TickElapsed(start);
        if (elapsed >= timeoutMs) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready =
            poll(&p, 1, static_cast<int>(std::min(timeoutMs - elapsed, kPollSliceMs)));
        if (ready > 0) return true;
    }
}

} // namespace

NtpTimestamp NtpTimestamp::FromSystemTime(const plat::SYSTEMTIME &utc)
{
    const int64_t days = JulianDay(utc.wYear, utc.wMonth, utc.wDay) - kJulianDay1900;
    NtpTimestamp stamp;
    stamp.seconds =
        static_cast<uint32_t>(((days * 24 + utc.wHour) * 60 + utc.wMinute) * 60 + utc.wSecond);
    const uint64_t ms = std::min<uint16_t>(utc.wMilliseconds, 999);
    stamp.fraction = static_cast<uint32_t>(((ms << 32) + 500) / 1000);
    return stamp;
}

plat::SYSTEMTIME NtpTimestamp::ToSystemTime() const
{
    plat::SYSTEMTIME st{};
    const int64_t days = seconds / 86400;
    FromJulianDay(days + kJulianDay1900, st);
    st.wDayOfWeek = static_cast<uint16_t>((days + kJulianDay1900 + 1) % 7);
    st.wHour = static_cast<uint16_t>(seconds / 3600 % 24);
    st.wMinute = static_cast<uint16_t>(seconds / 60 % 60);
    st.wSecond = static_cast<uint16_t>(seconds % 60);
    // Rounding to the nearest would make 1000 of the last half millisecond.
    const uint64_t ms = (static_cast<uint64_t>(fraction) * 1000 + (1ull << 31)) >> 32;
    st.wMilliseconds = static_cast<uint16_t>(std::min<uint64_t>(ms, 999));
    return st;
}

NtpTimestamp NtpTimestamp::Now()
{
    plat::SYSTEMTIME utc{};
    plat::GetSystemTime(&utc);
    return FromSystemTime(utc);
}

double NtpTimestamp::operator-(const NtpTimestamp &other) const
{
    const double whole = static_cast<double>(static_cast<int64_t>(seconds) - other.seconds);
    return whole + (static_cast<double>(fraction) - other.fraction) / kFractionUnit;
}

NtpTimestamp NtpTimestamp::operator+(double secondsToAdd) const
{
    const double whole = std::floor(secondsToAdd);
    int64_t units = fraction + std::llround((secondsToAdd - whole) * kFractionUnit);
    int64_t total = seconds + static_cast<int64_t>(whole);
    total += units >> 32;
    units &= 0xFFFFFFFF;
    NtpTimestamp sum;
    sum.seconds = static_cast<uint32_t>(total);
    sum.fraction = static_cast<uint32_t>(units);
    return sum;
}

void NtpTimestamp::Write(uint8_t *at) const
{
    PutU32(at, seconds);
    PutU32(at + 4, fraction);
}

NtpTimestamp NtpTimestamp::Read(const uint8_t *at)
{
    NtpTimestamp stamp;
    stamp.seconds = GetU32(at);
    stamp.fraction = GetU32(at + 4);
    return stamp;
}

namespace sntp {

std::array<uint8_t, kRequestSize> EncodeRequest(const NtpTimestamp &transmit)
{
    std::array<uint8_t, kRequestSize> request{};
    request[0] = 0x1B; // leap indicator 0, version 3, mode 3 (client)
    transmit.Write(request.data() + 40);
    return request;
}

bool DecodeReply(const uint8_t *reply, size_t length, const NtpTimestamp &arrival,
                 SntpResult &result)
{
    if (!reply || length < kRequestSize) return false;
    result.leapIndicator = reply[0] >> 6;
    result.stratum = reply[1];
    result.originate = NtpTimestamp::Read(reply + 24);
    result.receive = NtpTimestamp::Read(reply + 32);
    result.transmit = NtpTimestamp::Read(reply + 40);
    result.arrival = arrival;
    const double there = result.receive - result.originate;
    result.delay = there + (result.arrival - result.transmit);
    result.offset = (there + (result.transmit - result.arrival)) / 2;
    return true;
}

} // namespace sntp

int CSntpClient::Query(const char *server, uint16_t port, SntpResult &result) const
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    if (!Resolve(server, to.sin_addr)) return 0;
    const std::shared_ptr<CSocketFd> socket = CSocketFd::Open(SOCK_DGRAM);
    if (!socket) return 0;
    const int fd = socket->Fd();
    if (connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) return 0;

    const auto request = sntp::EncodeRequest(NtpTimestamp::Now());
    if (send(fd, request.data(), request.size(), 0) != static_cast<ssize_t>(request.size()))
        return 0;
    if (!WaitReadable(fd, m_dwTimeout)) {
        plat::SetLastError(kTimeoutError);
        return 0;
    }
    const NtpTimestamp arrival = NtpTimestamp::Now();
    uint8_t reply[sntp::kReplySize] = {};
    // A failed receive (an unreachable port reported back) is no reply: its zeros would be
    // taken for a time.
    const ssize_t received = recv(fd, reply, sizeof reply, 0);
    if (received < 0) return 0;
    return sntp::DecodeReply(reply, static_cast<size_t>(received), arrival, result) ? 1 : 0;
}

int CSntpClient::SetComputerClock(const NtpTimestamp &time)
{
    return glSetComputerSystemTime(time.ToSystemTime());
}
