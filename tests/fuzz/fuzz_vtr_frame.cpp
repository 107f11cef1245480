// The 9-pin reply decoder, time codes and status bits from arbitrary bytes: a reply never
// claims more data than its frame, and every time code read back encodes to itself.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/sources/vtr/VtrFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    vtr::CReplyDecoder decoder;
    const std::vector<vtr::ReplyEvent> events = decoder.Feed(data, size);
    FUZZ_CHECK(events.size() <= 1);
    for (const vtr::ReplyEvent &event : events) {
        FUZZ_CHECK(event.reply.count >= 0 && event.reply.count <= 15);
        if (event.kind == vtr::ReplyEvent::Kind::Done)
            FUZZ_CHECK(static_cast<size_t>(event.reply.count) + 3 == size);
    }
    if (size >= 4) {
        int32_t frames = 0;
        if (vtr::DecodeTimecode(data, frames)) {
            FUZZ_CHECK(frames > -vtr::kFramesPerDay && frames <= vtr::kFramesPerDay);
            uint8_t again[4];
            vtr::EncodeCuePoint(frames, again);
            int32_t back = 0;
            FUZZ_CHECK(vtr::DecodeTimecode(again, back));
            FUZZ_CHECK((back - frames) % vtr::kFramesPerDay == 0);
        }
    }
    if (size >= 9) {
        tagVTRStatus status;
        status.Load(data);
        (void)status.HasTape();
    }
    if (size >= 1) {
        uint8_t frame[vtr::kMaxFrame];
        const int n = static_cast<int>(std::min<size_t>(size - 1, 20));
        const int length = vtr::BuildFrame(data[0], data + 1, n, frame);
        FUZZ_CHECK(length >= 0 && length <= vtr::kMaxFrame);
        if (length > 0) {
            vtr::CReplyDecoder fresh;
            (void)fresh.Feed(frame, static_cast<size_t>(length));
        }
    }
    return 0;
}
