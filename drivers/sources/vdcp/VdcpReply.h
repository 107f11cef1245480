// The replies of a VDCP device: an ACK byte, a NAK byte or a sense reply framed like a
// command. The decoder is fed the blocks the line delivers and reports the replies they
// complete or make invalid; it never touches a port.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/sources/vdcp/VdcpFrame.h"
#include "platform/Collections.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vdcp {

constexpr int kMaxReplyCount = 197; // a larger count byte is no reply
constexpr int kMaxReplyBlocks = 10; // a reply still open after more blocks is dropped
constexpr int kMaxReplyBytes = kMaxReplyCount + 3;

// What an exchange hands back: the kind (the reply's first byte, kAck, kNak or kStx; 0 while
// there is none), the number of bytes and the bytes as received.
struct KSOVRA20_API Reply {
    int32_t nKind = 0;
    int32_t nLength = 0;
    std::array<uint8_t, kMaxReplyBytes> bytes{};

    // Data bytes of a sense reply; 0 for anything else.
    int DataLength() const;
    bool HasData(int count) const { return DataLength() >= count; }
    // The data of a sense reply (valid for DataLength() bytes).
    const uint8_t *Data() const { return bytes.data() + 4; }
};

// A reply the blocks completed: Complete, an ACK, a NAK or a sense reply whose checksum holds;
// Invalid, a count byte above kMaxReplyCount (known before the rest arrives), a checksum that
// fails, or a reply still open after more than kMaxReplyBlocks blocks, `reply` then a NAK
// with the bytes seen.
struct ReplyEvent {
    enum class Kind { Complete, Invalid };
    Kind kind = Kind::Complete;
    Reply reply;
};

class KSOVRA20_API CReplyDecoder {
public:
    // One block from the line: the reply it completes, if any. Bytes before the first ACK, NAK
    // or STX are dropped. After a reply the rest of the block is dropped and the next block
    // starts afresh.
    std::vector<ReplyEvent> Feed(const uint8_t *data, size_t length);
    void Reset();

private:
    std::vector<ReplyEvent> Finish(ReplyEvent::Kind kind);

    Reply m_reply;
    int m_nNeed = 0;   // count + 3 once the count byte is in
    int m_nBlocks = 0; // blocks since the start
    bool m_bDone = false;
};

// The clip ids of an id-list reply: data bytes 0-1 are the "more" value (high byte first),
// then come ids of 8 bytes each; an id whose first byte is 0 is skipped. False, nothing added,
// for a reply without the two "more" bytes.
KSOVRA20_API bool ParseIdList(const Reply &reply, int32_t &more, CStringArray &names);

} // namespace vdcp
