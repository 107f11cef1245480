// The TTV9920's frames: a request number turns into a frame through the fixed request table
// (length, 01, command, data), and its replies are gathered from the byte stream (an
// acknowledge 01 80, a refusal 01 xx, a data reply n 01 ..., the single byte 84) without
// touching a port.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ttvframe {

using Bytes = std::vector<uint8_t>;

// One row of the request table: the command byte and the frame length (the bytes after the
// length byte; 0: the caller's data decide it).
struct Row {
    int number;
    uint8_t command;
    uint8_t length;
};
// The row of request `number`; null for a number outside the table.
KSOVRA20_API const Row *FindRow(int number);

// The frame of request `number` with `data`: empty for a number outside the table. A row
// length longer than the data pads the frame with 00; a shorter one cuts the data.
KSOVRA20_API Bytes Frame(int number, const Bytes &data = {});
// The transition rate's data: A0 + hundreds, tens, units.
KSOVRA20_API Bytes RateDigits(int rate);
// The link test written when the own port opens.
KSOVRA20_API Bytes LinkTest();

constexpr int kMaxReply = 16;

enum class ReplyState { Failed = 1, Acknowledged = 2, Data = 3 };

struct Reply {
    ReplyState state = ReplyState::Failed;
    Bytes bytes;
};

// Gathers one reply from the bytes of a request: it is whole once its first byte (and, for
// 01 and data replies, the bytes its first byte promises) are in. Bytes after a whole reply
// are left for the next Reset. A reply that is none of the known kinds is reported as a
// failure of its own, one byte long.
class KSOVRA20_API CReplyDecoder {
public:
    // The reply these bytes complete (none, or the one of the request).
    std::vector<Reply> Feed(const uint8_t *data, size_t length);
    void Reset();

private:
    Bytes m_pending;
    bool m_bDone = false;
};

} // namespace ttvframe
