// The changeover switches' status and reply decoders fed arbitrary blocks: a query answer
// repeats its address and state, an acknowledgement is the byte 0x00's.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/model/EchgFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    echg::C422StatusDecoder status;
    echg::C485ReplyDecoder reply;
    reply.ExpectQuery(in.Byte() & 1);
    while (!in.Empty()) {
        const std::vector<uint8_t> block = in.Block(12);
        if (block.empty()) break;
        FUZZ_CHECK(status.Feed(block.data(), block.size()).size() <= block.size() / 3 + 1);
        if (block[0] == 0xEE) reply.ExpectQuery(block.size() % 2);
        for (const echg::C485ReplyDecoder::Reply &r : reply.Feed(block.data(), block.size()))
            if (!r.query) FUZZ_CHECK(r.address == 0 && r.state == 0);
    }
    return 0;
}
