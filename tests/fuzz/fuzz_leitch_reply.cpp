// The Leitch terminal matrix's reply scan fed arbitrary blocks: it never holds more than a
// whole reply, and a completed reply leaves nothing pending.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/switchers/leitch/LeitchFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    leitch::CLeitchReplyScan scan;
    while (!in.Empty()) {
        const std::vector<uint8_t> block = in.Block(24);
        if (block.empty()) break;
        if (block.size() == 1 && block[0] == 0xFF) scan.Reset();
        scan.Feed(block.data(), block.size());
        FUZZ_CHECK(scan.Pending() <= leitch::CLeitchReplyScan::kWhole);
    }
    return 0;
}
