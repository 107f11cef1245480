// The VM3000 reply decoder from arbitrary bytes: a read reports three-digit values or none,
// and every other reply carries none.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/switchers/tally/TallyFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    swframe::CVm3000Decoder decoder;
    while (!in.Empty()) {
        const std::vector<uint8_t> block = in.Block(24);
        if (block.empty()) break;
        for (const auto &reply : decoder.Feed(block.data(), block.size())) {
            FUZZ_CHECK(reply.output >= -1 && reply.output <= 999);
            FUZZ_CHECK(reply.input >= -1 && reply.input <= 999);
            FUZZ_CHECK(reply.letter == 'R' || (reply.output == -1 && reply.input == -1));
        }
    }
    return 0;
}
