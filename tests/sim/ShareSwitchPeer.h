// A process of the tests' own on a plain UDP socket at 127.0.0.1 that speaks the switcher
// sharing protocol field by field, apart from the system's encoders: it builds requests and
// replies (32-byte head, then the values: a text as a 32-bit length and its bytes, an integer
// as 4 bytes, all little-endian) and keeps every datagram it receives. Given a responder, it
// answers the requests it receives, as a sharing server would.
#pragma once

#include "tests/sim/ScriptedPeer.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace kestsim {

// Offsets of the fields of the 32-byte network head.
enum ShareHeadField : size_t {
    kHeadSourcePort = 4,
    kHeadDestinationIp = 8,
    kHeadDestinationPort = 12,
    kHeadService = 16,
    kHeadMessage = 18,
    kHeadReplyBox = 20,
    kHeadResult = 22,
    kHeadSize = 32,
};

constexpr uint16_t kSwitchShareService = 32;
constexpr uint16_t kAckService = 3;
constexpr uint16_t kAckMessage = 38;

Bytes ShareText(const std::string &text);
Bytes ShareInt(int32_t value);
Bytes ShareValues(std::initializer_list<Bytes> values);
// The little-endian value of `size` bytes at `offset` (0 past the end).
uint32_t ShareField(const Bytes &datagram, size_t offset, size_t size = 2);
// The little-endian signed 32-bit values of `data` from `offset`, in order.
std::vector<int32_t> ShareInts(const Bytes &data, size_t offset = 0);
inline Bytes ShareData(const Bytes &datagram)
{
    return datagram.size() < kHeadSize ? Bytes()
                                       : Bytes(datagram.begin() + kHeadSize, datagram.end());
}

class ShareSwitchPeer {
public:
    // The answer to a request: {result, values}; none: no reply.
    using Reply = std::optional<std::pair<uint16_t, Bytes>>;
    using Responder = std::function<Reply(uint16_t message, const Bytes &data)>;

    ShareSwitchPeer();
    ~ShareSwitchPeer();
    ShareSwitchPeer(const ShareSwitchPeer &) = delete;
    ShareSwitchPeer &operator=(const ShareSwitchPeer &) = delete;

    uint16_t Port() const { return port_; }
    void Answer(Responder responder);
    // A request of `message` to the sharing service at `port`, asking for a reply in `box`.
    bool Send(uint16_t port, uint16_t message, uint16_t box, const Bytes &data);
    // The next datagram received that `keep` picks (others are dropped); empty when none came
    // within `ms` of real time.
    Bytes Next(const std::function<bool(const Bytes &)> &keep, uint32_t ms);
    // The next reply in `box`.
    Bytes ReplyIn(uint16_t box, uint32_t ms);
    // The next request to the sharing service.
    Bytes NextRequest(uint32_t ms);

private:
    void ReceiveLoop();
    void Respond(const Bytes &datagram);
    bool SendTo(uint16_t port, const Bytes &datagram);

    int fd_ = -1;
    uint16_t port_ = 0;
    std::mutex m_;
    std::deque<Bytes> queue_;
    Responder responder_;
    bool stop_ = false;
    std::thread receiver_;
};

} // namespace kestsim
