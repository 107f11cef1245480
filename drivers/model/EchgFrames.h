// The frames of the changeover switches' serial lines: encoders that are pure functions of the
// switch position, and decoders that are fed the received bytes and return what they make of
// them. Neither touches a port.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace echg {

using Frame3 = std::array<uint8_t, 3>;

// RS-422 switch: 0x55, 0x00 for position 1 (any other: 0x0F), 0xAA.
KSOVRA20_API Frame3 Encode422Switch(int position);
// RS-485 switch: 0xAA, c, c with c = 5 for position 1 (any other: 10).
KSOVRA20_API Frame3 Encode485Switch(int position);
// RS-485 status query: this one byte.
constexpr uint8_t k485Query = 0x55;

// The status frames of the RS-422 switch, 0x55 status 0xAA, out of the byte stream. Bytes
// before a 0x55 and a 0x55 that does not start a frame are dropped.
class KSOVRA20_API C422StatusDecoder {
public:
    // The status bytes of the frames these bytes complete, in order.
    std::vector<uint8_t> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    std::vector<uint8_t> m_pending; // the start of a frame, at most two bytes
};

// The replies of the RS-485 switch. After a command it acknowledges with one byte 0x00 (other
// bytes are dropped); after a query it answers four bytes: the address twice and the state
// twice. Four bytes whose pairs differ are no answer: the first of them is dropped and the
// search goes on.
class KSOVRA20_API C485ReplyDecoder {
public:
    struct Reply {
        bool query = false; // an answer to a query (else an acknowledgement)
        uint8_t address = 0;
        uint8_t state = 0;
    };
    // What the next replies answer: a query (true) or a command. Drops the pending bytes.
    void ExpectQuery(bool query);
    // The replies these bytes complete, in order.
    std::vector<Reply> Feed(const uint8_t *data, size_t length);
    void Reset() { m_pending.clear(); }

private:
    bool m_bQuery = false;
    std::vector<uint8_t> m_pending; // the start of an answer, at most three bytes
};

} // namespace echg
