// The M2100's packets: 02, the count of the block bytes (big-endian), blocks (type, payload
// length (big-endian), payload), and a check that makes the bytes after 02 sum to 0. Set
// (1) and query (2) blocks carry commands; the switcher's reply blocks (3) carry items. The
// decoder gathers packets, acknowledges (04) and refusals (05) from the byte stream. None
// touches a port.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace m2100 {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kSet = 1;
constexpr uint8_t kQuery = 2;
constexpr uint8_t kReply = 3;
constexpr size_t kMaxBlock = 64;
constexpr size_t kMaxPacket = 256;

// A block of `type` around `commands`; empty when it would pass 64 bytes.
KSOVRA20_API Bytes Block(uint8_t type, const Bytes &commands);
// A packet around `blocks`; empty when there are none or it would pass 256 bytes.
KSOVRA20_API Bytes Packet(const Bytes &blocks);

// What reply items report; a tag the driver does not know ends its block.
struct Items {
    std::optional<uint8_t> transType;  // 03
    std::optional<uint8_t> transRate;  // 04
    std::optional<uint16_t> rateValue; // 04, little-endian
    std::optional<uint8_t> oddBus;     // 06 with flag bit 0
    std::optional<uint8_t> evenBus;    // 06 with flag bit 1
    std::optional<uint8_t> value0B;    // 0B
    std::optional<uint8_t> keyMask;    // 0C
    std::optional<uint8_t> status;     // 0D (0: the switcher is locked)
    void Merge(const Items &newer);
};
// The items of one reply payload.
KSOVRA20_API Items ParseItems(const uint8_t *payload, size_t length);

struct Event {
    enum Kind { Acknowledge, Refusal, Reply, BadPacket } kind;
    Items items; // Reply: the items of its reply blocks
};

class KSOVRA20_API CDecoder {
public:
    // The events the bytes complete, in order; other bytes are dropped.
    std::vector<Event> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    Bytes m_pending;
};

} // namespace m2100
