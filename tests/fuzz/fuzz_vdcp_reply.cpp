// The VDCP reply decoder fed arbitrary blocks: a complete reply stays within its buffer and
// its data within its frame, and the id list of any complete reply reads safely.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/sources/vdcp/VdcpFrame.h"
#include "drivers/sources/vdcp/VdcpReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    vdcp::CReplyDecoder decoder;
    while (!in.Empty()) {
        const std::vector<uint8_t> block = in.Block(48);
        if (block.empty()) break;
        const std::vector<vdcp::ReplyEvent> events = decoder.Feed(block.data(), block.size());
        FUZZ_CHECK(events.size() <= 1);
        if (events.empty()) continue;
        const vdcp::Reply &reply = events[0].reply;
        FUZZ_CHECK(reply.nLength >= 0 && reply.nLength <= vdcp::kMaxReplyBytes);
        FUZZ_CHECK(reply.DataLength() == 0 || 5 + reply.DataLength() == reply.nLength);
        if (events[0].kind == vdcp::ReplyEvent::Kind::Complete) {
            FUZZ_CHECK(reply.nKind == vdcp::kAck || reply.nKind == vdcp::kNak ||
                       reply.nKind == vdcp::kStx);
            int32_t more = 0;
            CStringArray names;
            if (vdcp::ParseIdList(reply, more, names))
                FUZZ_CHECK(names.GetSize() <= (reply.DataLength() - 2) / 8);
        } else {
            FUZZ_CHECK(reply.nKind == vdcp::kNak);
        }
        decoder.Reset();
    }
    return 0;
}
