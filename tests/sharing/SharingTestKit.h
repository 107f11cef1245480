// What the sharing tests share: the distributed-system kernel through which a serving
// process's name resolves, packet dispatchers, this program's sharing service with its
// "Shared" list, a protocol of the tests' own, a process on a plain UDP socket that builds
// and reads datagrams field by field (apart from the system's encoders), and the manual
// clock. Everything stays on 127.0.0.1.
#pragma once

#include "devext/device/CNetDisp.h"
#include "devext/device/CSerialDevA.h"
#include "devext/device/CSerialIO.h"
#include "devext/device/CSerialShareServ.h"
#include "tests/Kest20/LogProbe.h"
#include "tests/sim/ScriptedPeer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace sharetest {

using kestsim::Bytes;

constexpr uint32_t kSoonMs = 5000;
constexpr uint8_t kEtx = 0x03;
constexpr uint16_t kService = 35;

Bytes Concat(std::initializer_list<Bytes> parts);
Bytes Le32(uint32_t value);
// n bytes cycling through every byte value.
Bytes Pattern(size_t n, uint8_t seed = 0);
// A 32-bit value, then a buffer: what Write and DoInt carry.
inline Bytes PortAndBuffer(uint32_t port, const Bytes &bytes)
{
    return Concat({Le32(port), Le32(static_cast<uint32_t>(bytes.size())), bytes});
}

uint16_t FreeUdpPort();
// The process named `netName` is found, through the distributed-system kernel, at
// 127.0.0.1:`port`; its URL is "kest://any/" followed by the name.
void ResolveTo(const char *netName, uint16_t port);
// The run-time class record of the network port kind.
iRtc *NetKind();
// A "Shared" list of entries {local port, server URL}, as a setting holds it.
std::string SharedList(std::initializer_list<std::pair<int, std::string>> entries);

// A dispatcher listening on a free port of its own, active.
class ActiveDisp {
public:
    explicit ActiveDisp(const char *name);
    ~ActiveDisp();
    ActiveDisp(const ActiveDisp &) = delete;
    ActiveDisp &operator=(const ActiveDisp &) = delete;
    uint16_t Port() const { return static_cast<uint16_t>(disp.GetPort()); }

    CNetDisp disp;
};

// This program's sharing service, initialised with `shared` as its "Shared" setting, active.
class ActiveService {
public:
    explicit ActiveService(const std::string &shared = "");
    ~ActiveService();
    ActiveService(const ActiveService &) = delete;
    ActiveService &operator=(const ActiveService &) = delete;
    CSerialShareServ *operator->() { return &service; }

    CSerialShareServ service;
};

// A protocol of the tests' own: it keeps every block OnRecvData got, and a reply is complete
// when its last byte is ETX.
class TestProtocol : public CSerialIO {
public:
    explicit TestProtocol(int port);
    ~TestProtocol() override;

    int OnRecvData(int port, pointer_t &data) override;
    int Ask(const Bytes &frame, uint32_t replyMs = 2000);
    int Write(const Bytes &bytes)
    {
        return DevWrite(reinterpret_cast<const char *>(bytes.data()),
                        static_cast<int>(bytes.size()));
    }
    Bytes Reply();
    Bytes Received() const;
    std::vector<int> Ports() const;
    bool WaitForBytes(size_t count, uint32_t ms = kSoonMs) const;
    // The port object the protocol holds, found by its port number.
    CSerialDevA *Port() const { return CSerialDevA::GetByPort(GetSetting().nPort); }

private:
    mutable std::mutex m_;
    Bytes received_;
    std::vector<int> ports_;
};

// Offsets of the fields of the 32-byte network head.
enum HeadField : size_t {
    kSourcePort = 4,
    kDestinationIp = 8,
    kDestinationPort = 12,
    kServiceId = 16,
    kMessageId = 18,
    kReplyBox = 20,
    kResult = 22,
};
// The little-endian value of `size` bytes at `offset` of a datagram (0 past its end).
uint32_t Field(const Bytes &datagram, size_t offset, size_t size = 2);
// The 4 bytes of an IP address at `offset`, as they travel (network order).
Bytes IpAt(const Bytes &datagram, size_t offset);
// A datagram of the tests' own to service 35: the head with these fields, the rest 0.
Bytes Request(uint16_t sourcePort, uint16_t message, uint16_t replyBox, const Bytes &data);
// The bytes after the head.
Bytes DataOf(const Bytes &datagram);
// How many messages of `text` the probe got.
size_t Count(const LogProbe &log, const std::string &text);

// A process of the tests' own on a plain UDP socket at 127.0.0.1: it keeps every datagram it
// receives and, when given a responder, answers those the responder answers.
class RawProcess {
public:
    // The answer to a request: {result, data}; none: no reply.
    using Reply = std::optional<std::pair<uint16_t, Bytes>>;
    using Responder = std::function<Reply(const Bytes &request)>;

    RawProcess();
    ~RawProcess();
    RawProcess(const RawProcess &) = delete;
    RawProcess &operator=(const RawProcess &) = delete;

    uint16_t Port() const { return port_; }
    void Answer(Responder responder);
    // The next datagram received of message `message` (the others are dropped); empty when
    // none came within `ms` of real time.
    Bytes Next(uint16_t message, uint32_t ms = kSoonMs);
    // A request of message `message` from this process to service 35 at `port`, asking for a
    // reply in box `replyBox` (0: one-way).
    bool Send(uint16_t port, uint16_t message, uint16_t replyBox, const Bytes &data);
    // Sends a request and waits for its reply: empty when none came within `ms`.
    Bytes Ask(uint16_t port, uint16_t message, const Bytes &data, uint32_t ms = kSoonMs);

private:
    void ReceiveLoop();
    void Respond(const Bytes &datagram);
    bool SendTo(uint16_t port, const Bytes &datagram);
    Bytes Take(const std::function<bool(const Bytes &)> &keep, uint32_t ms);

    int fd_ = -1;
    uint16_t port_ = 0;
    uint16_t nextBox_ = 200;
    std::mutex m_;
    std::deque<Bytes> queue_;
    Responder responder_;
    bool stop_ = false;
    std::thread receiver_;
};

// Waits in real time until `done` holds, at most `ms`.
bool WaitUntil(const std::function<bool()> &done, uint32_t ms = kSoonMs);
// With the manual clock installed: advances it `stepMs` at a time, giving the threads it
// wakes real time to act, until `done` holds; false when `limitMs` passed first.
bool AdvanceUntil(const std::function<bool()> &done, uint32_t limitMs, uint32_t stepMs = 100);

} // namespace sharetest
