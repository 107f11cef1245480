// The production switchers' reply decoders (TTV9920, M21 and SATURN4000, M2100) from arbitrary
// bytes in blocks, against the same bytes fed whole: no chunking changes what is decoded, and
// a TTV9920 request has at most one reply of at most 16 bytes.
#include "tests/fuzz/FuzzInput.h"

#include "drivers/switchers/production/M2100Packet.h"
#include "drivers/switchers/production/M21Frames.h"
#include "drivers/switchers/production/Ttv9920Frames.h"

#include <vector>

namespace {

// Whether the decoder fed `blocks` one by one reports the same events as one fed them whole,
// alike by `same`.
template <class Decoder, class Same>
bool AlikeWholeAndInBlocks(const std::vector<std::vector<uint8_t>> &blocks, Same same)
{
    Decoder pieces, whole;
    decltype(pieces.Feed(nullptr, 0)) fromPieces;
    std::vector<uint8_t> all;
    for (const auto &block : blocks) {
        all.insert(all.end(), block.begin(), block.end());
        const auto got = pieces.Feed(block.data(), block.size());
        fromPieces.insert(fromPieces.end(), got.begin(), got.end());
    }
    const auto fromWhole = whole.Feed(all.data(), all.size());
    if (fromWhole.size() != fromPieces.size()) return false;
    for (size_t i = 0; i < fromWhole.size(); ++i)
        if (!same(fromWhole[i], fromPieces[i])) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::Input in(data, size);
    std::vector<std::vector<uint8_t>> blocks;
    while (!in.Empty()) {
        std::vector<uint8_t> block = in.Block(24);
        if (block.empty()) break;
        blocks.push_back(std::move(block));
    }

    FUZZ_CHECK((AlikeWholeAndInBlocks<ttvframe::CReplyDecoder>(
        blocks, [](const ttvframe::Reply &a, const ttvframe::Reply &b) {
            return a.state == b.state && a.bytes == b.bytes;
        })));
    ttvframe::CReplyDecoder ttv;
    size_t replies = 0;
    for (const auto &block : blocks)
        for (const auto &reply : ttv.Feed(block.data(), block.size())) {
            FUZZ_CHECK(!reply.bytes.empty() &&
                       reply.bytes.size() <= static_cast<size_t>(ttvframe::kMaxReply));
            ++replies;
        }
    FUZZ_CHECK(replies <= 1);

    FUZZ_CHECK((AlikeWholeAndInBlocks<m21frame::CAnswerDecoder>(
        blocks, [](const m21frame::Answer &a, const m21frame::Answer &b) {
            return a.kind == b.kind && a.bytes == b.bytes;
        })));
    FUZZ_CHECK((AlikeWholeAndInBlocks<m2100::CDecoder>(
        blocks, [](const m2100::Event &a, const m2100::Event &b) {
            return a.kind == b.kind && a.items.status == b.items.status &&
                   a.items.keyMask == b.items.keyMask && a.items.evenBus == b.items.evenBus &&
                   a.items.oddBus == b.items.oddBus && a.items.transRate == b.items.transRate;
        })));
    return 0;
}
