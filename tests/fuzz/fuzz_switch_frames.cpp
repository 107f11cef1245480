// The binary switch reply checks and the ONYX matrix's stream decoder from arbitrary bytes.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/switchers/binary/SwitchFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int unit = in.Byte() % 16;
    const int bus = in.Byte() % 4;
    const int source = in.Byte() % 20;
    swframe::COnyxDecoder onyx(unit, in.Byte() % 8);
    while (!in.Empty()) {
        const std::vector<uint8_t> block = in.Block(24);
        if (block.empty()) break;
        swframe::Bds1602Reply(block.data(), block.size(), block.size() % 2, unit, bus, source);
        const swframe::Aps1602Verdict aps = swframe::Aps1602Reply(block.data(), block.size());
        FUZZ_CHECK(aps.ok || (aps.program == -1 && aps.preset == -1));
        FUZZ_CHECK(swframe::BjsxReplyCode(block[0]) >= 0 && swframe::BjsxReplyCode(block[0]) <= 4);
        onyx.Feed(block.data(), block.size());
    }
    return 0;
}
