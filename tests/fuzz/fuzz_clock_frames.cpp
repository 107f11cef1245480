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
    const auto taken = [](const clockframe::Reading &reading) {
        if (!reading.timeOfDay) FUZZ_CHECK(clockframe::IsValidCalendar(reading.time));
    };
    const auto invalid = [](const clockframe::Reading &) {};
    while (!in.Empty()) {
        const std::vector<uint8_t> block = in.Block(40);
        if (block.empty()) break;
        if (block.size() == 1 && block[0] == 0xFF) decoder->Reset();
        decoder->Feed(block.data(), block.size(), taken, invalid);
    }
    return 0;
}
