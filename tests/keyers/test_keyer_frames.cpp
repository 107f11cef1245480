// The keyer frames byte for byte, and the DSK50D reply decoder from byte arrays in every
// chunking, with stray bytes and status blocks.
#include "drivers/switchers/keyers/KeyerFrames.h"

#include <gtest/gtest.h>

using keyframe::Bytes;

namespace {

Bytes Text(const char *text)
{
    return Bytes(text, text + std::char_traits<char>::length(text));
}

TEST(KeyerFrames, EachModelsCommandsByteForByte)
{
    const Bytes nineZeros(9, 0x00);
    const auto saturn = [&](uint8_t code, uint8_t bus, uint8_t check) {
        Bytes frame{0x02, 0x0E, 0xE0, code, 0x00, bus, 0x00};
        frame.insert(frame.end(), nineZeros.begin(), nineZeros.end());
        frame.push_back(check);
        return frame;
    };
    struct Case {
        const char *what;
        Bytes got;
        Bytes expected;
    };
    const std::vector<Case> cases{
        {"DSK50D code 9 on", keyframe::Dsk50dSetKey(9, true), {0x12, 0x03, 0x01, 0x09, 0x01, 0x0A}},
        {"DSK50D code 9 off",
         keyframe::Dsk50dSetKey(9, false),
         {0x12, 0x03, 0x01, 0x09, 0x00, 0x0B}},
        {"DSK50D code 0x80 on",
         keyframe::Dsk50dSetKey(0x80, true),
         {0x12, 0x03, 0x01, 0x80, 0x01, 0x83}},
        {"ShiHui key 3 on", keyframe::ShiHuiKey(3, true), Text("C1D3N01\r")},
        {"ShiHui key 10 off", keyframe::ShiHuiKey(10, false), Text("C1SAN01\r")},
        {"ShiHui key 0x1C: its low four bits", keyframe::ShiHuiKey(0x1C, true), Text("C1DCN01\r")},
        {"TrikKey key 1", keyframe::TrikKeyToggle(1), {0x55, 0x00, 0x2E, 0x00, 0x00, 0x01}},
        {"TrikKey key 3", keyframe::TrikKeyToggle(3), {0x55, 0x00, 0x2E, 0x02, 0x00, 0x01}},
        {"SATURN key 1 off, program bus", keyframe::Saturn4000KeyAction(1, false, true),
         saturn(0x07, 0x60, 0xAB)},
        {"SATURN key 2 on, preset bus", keyframe::Saturn4000KeyAction(2, true, false),
         saturn(0x08, 0x80, 0x8A)},
        {"SATURN key 5 off, preset bus: code 08", keyframe::Saturn4000KeyAction(5, true, true),
         saturn(0x08, 0xA0, 0x6A)},
    };
    for (const Case &c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
    EXPECT_EQ(keyframe::Saturn4000KeyAction(1, false, true).size(), 17u);
}

Bytes Status(uint8_t kind, std::array<uint8_t, 4> states)
{
    Bytes block{0x02, kind, 'A', 0, 0, 0, 0, 0, 0, 0, 0};
    block.insert(block.end(), states.begin(), states.end());
    return block;
}

// The replies of `input` fed in pieces of `piece` bytes.
std::vector<keyframe::Dsk50dReply> Decode(const Bytes &input, size_t piece)
{
    keyframe::CDsk50dDecoder decoder;
    std::vector<keyframe::Dsk50dReply> all;
    for (size_t at = 0; at < input.size(); at += piece) {
        const size_t n = std::min(piece, input.size() - at);
        for (const auto &reply : decoder.Feed(input.data() + at, n)) all.push_back(reply);
    }
    return all;
}

TEST(Dsk50dDecoder, FindsTheBlocksInEveryChunking)
{
    struct Expect {
        uint8_t kind;
        uint8_t code;
        bool hasStates;
        std::array<uint8_t, 4> states;
    };
    struct Case {
        const char *what;
        Bytes input;
        std::vector<Expect> replies;
    };
    Bytes twoBlocks{0x02, 0x01, 'B', 0x00};
    const Bytes status = Status(0x15, {1, 0, 1, 0});
    twoBlocks.insert(twoBlocks.end(), status.begin(), status.end());
    const std::vector<Case> cases{
        {"an end block", {0x02, 0x01, 'C', 0x7F}, {{0x01, 'C', false, {}}}},
        {"stray bytes first", {0xFF, 0x12, 0x02, 0x01, 'B', 0x00}, {{0x01, 'B', false, {}}}},
        {"a block of another kind still counts", {0x02, 0x07, 'Z', 0x01}, {{0x07, 'Z', false, {}}}},
        {"a block then a status",
         twoBlocks,
         {{0x01, 'B', false, {}}, {0x15, 'A', true, {1, 0, 1, 0}}}},
        {"the other status kind", Status(0x14, {0, 0, 0, 1}), {{0x14, 'A', true, {0, 0, 0, 1}}}},
        {"three bytes are no block yet", {0x02, 0x01, 'B'}, {}},
        {"a status short of its states waits", Bytes(status.begin(), status.end() - 1), {}},
        {"no start byte", {0x01, 'B', 0x00, 0x04, 0x05}, {}},
    };
    for (const Case &c : cases) {
        for (size_t piece = 1; piece <= c.input.size(); ++piece) {
            const auto replies = Decode(c.input, piece);
            ASSERT_EQ(replies.size(), c.replies.size()) << c.what << ", pieces of " << piece;
            for (size_t i = 0; i < replies.size(); ++i) {
                EXPECT_EQ(replies[i].kind, c.replies[i].kind) << c.what;
                EXPECT_EQ(replies[i].code, c.replies[i].code) << c.what;
                EXPECT_EQ(replies[i].hasStates, c.replies[i].hasStates) << c.what;
                if (c.replies[i].hasStates) {
                    EXPECT_EQ(replies[i].states, c.replies[i].states) << c.what;
                }
            }
        }
    }
}

} // namespace
