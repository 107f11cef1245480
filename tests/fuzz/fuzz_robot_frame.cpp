// The tape robot's block decoder, reply classification and message matching from arbitrary
// blocks while any command waits, and its command frames from arbitrary parameters.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/sources/robot/TapeRobotFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int32_t pending = in.Byte() % 48;
    const std::vector<uint8_t> params = in.Take(in.Byte() % 8);
    uint8_t frame[taperobot::kMaxFrame + 2];
    const int length =
        taperobot::BuildCommand(pending, params.data(), static_cast<int>(params.size()), frame);
    FUZZ_CHECK(length >= 0 && length <= taperobot::kMaxFrame);
    taperobot::CBlockDecoder decoder;
    decoder.Expect(pending);
    while (!in.Empty()) {
        const std::vector<uint8_t> block = in.Block();
        if (block.empty()) break;
        const taperobot::Classified result =
            taperobot::ClassifyReply(pending, block.data(), block.size());
        FUZZ_CHECK(result.data.size() <= block.size());
        const int32_t message = taperobot::MatchMessage(block.data(), block.size());
        FUZZ_CHECK(message == 0 ||
                   (message >= taperobot::kFirstMessage && message <= taperobot::kLastMessage));
        const std::vector<taperobot::BlockEvent> events = decoder.Feed(block.data(), block.size());
        for (size_t i = 0; i < events.size(); ++i) {
            const taperobot::BlockEvent &event = events[i];
            if (event.kind == taperobot::BlockEvent::Kind::Reply) {
                FUZZ_CHECK(i + 1 == events.size());
                FUZZ_CHECK(event.reply.data.size() <= block.size());
            } else {
                FUZZ_CHECK(event.message >= taperobot::kFirstMessage &&
                           event.message <= taperobot::kLastMessage);
            }
        }
    }
    return 0;
}
