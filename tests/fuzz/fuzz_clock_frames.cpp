// Every station clock model's frame decoder fed arbitrary blocks: a calendar reading it
// takes is a valid calendar time.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/model/ClockFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const auto model = static_cast<clockframe::Model>(in.Choice(7));
    std::unique_ptr<clockframe::CClockDecoder> decoder = clockframe::MakeDecoder(model);
    FUZZ_CHECK(decoder != nullptr);
    while (!in.Empty()) {
        const std::vector<uint8_t> block = in.Block(40);
        if (block.empty()) break;
        if (block.size() == 1 && block[0] == 0xFF) decoder->Reset();
        for (const clockframe::Reading &reading : decoder->Feed(block.data(), block.size()))
            if (reading.valid && !reading.timeOfDay)
                FUZZ_CHECK(clockframe::IsValidCalendar(reading.time));
    }
    return 0;
}
