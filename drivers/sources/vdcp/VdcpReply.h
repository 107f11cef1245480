// The replies of a VDCP device: an ACK byte, a NAK byte or a sense reply framed like a
// command. The decoder is fed the blocks the line delivers and tells when a reply is complete
// or invalid; it never touches a port.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/sources/vdcp/VdcpFrame.h"
#include "platform/Collections.h"

#include <array>
#include <cstddef>
#include <cstdint>

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

enum class Feed { Incomplete, Complete, Invalid };

class KSOVRA20_API CReplyDecoder {
public:
    // One block from the line. Bytes before the first ACK, NAK or STX are dropped. Complete:
    // GetReply holds an ACK, a NAK or a sense reply whose checksum holds. Invalid: a count byte
    // above kMaxReplyCount (known before the rest arrives), a checksum that fails, or a reply
    // still open after more than kMaxReplyBlocks blocks; GetReply then holds a NAK with the
    // bytes seen. After either, the rest of the block is dropped and the next block starts
    // afresh.
    Feed Push(const uint8_t *data, size_t length);
    void Reset();
    const Reply &GetReply() const { return m_reply; }

private:
    Feed Finish(Feed result);

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
