// The AA2 stream decoder and reply parser from arbitrary bytes: no frame outgrows the bound,
// a reply counts as checked only when its check characters are the text's, and a reply
// reports only inputs that fit the tables.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/switchers/aa2/Aa2Frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const auto dialect = in.Byte() % 2 ? swframe::Aa2Dialect::Aa2 : swframe::Aa2Dialect::Vrs1620;
    swframe::CAa2Decoder decoder;
    while (!in.Empty()) {
        const std::vector<uint8_t> block = in.Block(48);
        if (block.empty()) break;
        for (const auto &event : decoder.Feed(block.data(), block.size())) {
            FUZZ_CHECK(event.text.size() <= swframe::CAa2Decoder::kMaxPending);
            if (event.kind != swframe::Aa2Event::Kind::Reply) continue;
            const swframe::Aa2Reply reply = swframe::Aa2ParseReply(dialect, event.text);
            FUZZ_CHECK(reply.input >= -1 && reply.input < 32);
            FUZZ_CHECK(reply.second >= -1 && reply.second < 32);
            FUZZ_CHECK(reply.ok || (reply.input == -1 && !reply.locked));
        }
        if (block[0] == 0xFF) decoder.Reset();
    }
    return 0;
}
