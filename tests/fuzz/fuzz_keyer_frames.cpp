// The DSK50D reply decoder from arbitrary bytes in blocks, against the same bytes fed whole:
// status blocks carry states only for kinds 14 and 15 with code 'A', and no chunking changes
// what is decoded. The keyer frames for arbitrary keys keep their lengths.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/switchers/keyers/KeyerFrames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    const int key = static_cast<int8_t>(in.Byte()) * 3;
    const bool on = in.Byte() & 1;
    FUZZ_CHECK(keyframe::Dsk50dSetKey(key, on).size() == 6);
    FUZZ_CHECK(keyframe::ShiHuiKey(key, on).size() == 8);
    FUZZ_CHECK(keyframe::TrikKeyToggle(key).size() == 6);
    FUZZ_CHECK(keyframe::Saturn4000KeyAction(key, on, !on).size() == 17);

    keyframe::CDsk50dDecoder pieces;
    std::vector<uint8_t> all;
    std::vector<keyframe::Dsk50dReply> fromPieces;
    while (!in.Empty()) {
        const std::vector<uint8_t> block = in.Block(24);
        if (block.empty()) break;
        all.insert(all.end(), block.begin(), block.end());
        for (const auto &reply : pieces.Feed(block.data(), block.size())) {
            const bool status = (reply.kind == 0x14 || reply.kind == 0x15) && reply.code == 'A';
            FUZZ_CHECK(reply.hasStates == status);
            FUZZ_CHECK(!keyframe::Dsk50dContradicts(reply, key, on) || reply.kind == 0x15);
            fromPieces.push_back(reply);
        }
    }
    keyframe::CDsk50dDecoder whole;
    const auto fromWhole = whole.Feed(all.data(), all.size());
    FUZZ_CHECK(fromWhole.size() == fromPieces.size());
    for (size_t i = 0; i < fromWhole.size() && i < fromPieces.size(); ++i) {
        FUZZ_CHECK(fromWhole[i].kind == fromPieces[i].kind);
        FUZZ_CHECK(fromWhole[i].code == fromPieces[i].code);
        FUZZ_CHECK(fromWhole[i].states == fromPieces[i].states);
    }
    return 0;
}
