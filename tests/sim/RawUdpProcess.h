// A process of the tests' own on a plain UDP socket at 127.0.0.1 that speaks the system's
// packet protocol field by field, apart from the system's encoders: it builds requests to one
// service and replies (a 32-byte head, then the data, all little-endian) and keeps every
// datagram it receives. Given a responder, it answers the requests to its service that ask
// for a reply, as a serving process would.
#pragma once

#include "tests/sim/ScriptedPeer.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace kestsim {

// Offsets of the fields of the 32-byte network head.
enum NetHeadField : size_t {
    kHeadSourcePort = 4,
    kHeadDestinationIp = 8,
    kHeadDestinationPort = 12,
    kHeadService = 16,
    kHeadMessage = 18,
    kHeadReplyBox = 20,
    kHeadResult = 22,
    kHeadSize = 32,
};

// Replies travel to this service as this message.
constexpr uint16_t kAckService = 3;
constexpr uint16_t kAckMessage = 38;

// A UDP (SOCK_DGRAM) or TCP (SOCK_STREAM) port of 127.0.0.1 that was free a moment ago.
uint16_t FreePort(int type);
uint16_t FreeUdpPort();

// A head from 127.0.0.1:`from` to 127.0.0.1:`to` with these fields, the rest 0.
Bytes NetHead(uint16_t from, uint16_t to, uint16_t service, uint16_t message, uint16_t box,
              uint16_t result);
// The little-endian value of `size` bytes at `offset` (0 past the end).
uint32_t NetField(const Bytes &datagram, size_t offset, size_t size = 2);
// The bytes after the head.
Bytes NetData(const Bytes &datagram);
// `value` as `size` little-endian bytes at `at` of `out`.
void PutLe(Bytes &out, size_t at, uint32_t value, size_t size);

class RawUdpProcess {
public:
    static constexpr uint32_t kWaitMs = 5000;
    // The answer to a request: {result, data}; none: no reply.
    using Reply = std::optional<std::pair<uint16_t, Bytes>>;
    using Responder = std::function<Reply(uint16_t message, const Bytes &data)>;

    // Sends its requests to, and answers requests to, service `service`.
    explicit RawUdpProcess(uint16_t service);
    ~RawUdpProcess();
    RawUdpProcess(const RawUdpProcess &) = delete;
    RawUdpProcess &operator=(const RawUdpProcess &) = delete;

    uint16_t Port() const { return port_; }
    void Answer(Responder responder);
    // A request of `message` to the service at `port`, asking for a reply in `box` (0: one
    // way).
    bool Send(uint16_t port, uint16_t message, uint16_t box, const Bytes &data);
    // Sends a request and waits for its reply: empty when none came within `ms`.
    Bytes Ask(uint16_t port, uint16_t message, const Bytes &data, uint32_t ms = kWaitMs);
    // The next datagram received that `keep` picks (others are dropped); empty when none came
    // within `ms` of real time.
    Bytes Next(const std::function<bool(const Bytes &)> &keep, uint32_t ms = kWaitMs);
    // The next datagram of message `message`.
    Bytes NextOf(uint16_t message, uint32_t ms = kWaitMs);
    // The next reply in `box`.
    Bytes ReplyIn(uint16_t box, uint32_t ms = kWaitMs);
    // The next request to the service.
    Bytes NextRequest(uint32_t ms = kWaitMs);

private:
    void ReceiveLoop();
    void Respond(const Bytes &datagram);
    bool SendTo(uint16_t port, const Bytes &datagram);

    const uint16_t service_;
    int fd_ = -1;
    uint16_t port_ = 0;
    uint16_t nextBox_ = 200;
    std::mutex m_;
    std::deque<Bytes> queue_;
    Responder responder_;
    bool stop_ = false;
    std::thread receiver_;
};

} // namespace kestsim
