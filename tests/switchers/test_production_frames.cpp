// The production switchers' frames and reply decoders from byte arrays: every request built
// byte-exact, and every reply decoded alike whole and in pieces.
#include "tests/kit/DecoderChunks.h"

#include "drivers/switchers/production/M2100Packet.h"
#include "drivers/switchers/production/M21Frames.h"
#include "drivers/switchers/production/Ttv9920Frames.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(const Bytes &bytes)
{
    std::string text;
    char byte[4];
    for (uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, "%02X ", b);
        text += byte;
    }
    return text;
}

} // namespace

TEST(Ttv9920Frames, RequestsFromTheTable)
{
    struct Case {
        int number;
        Bytes data;
        Bytes frame;
    };
    const std::vector<Case> cases{
        {2, {0x07}, {0x03, 0x01, 0xC1, 0x07}},
        {11, ttvframe::RateDigits(25), {0x05, 0x01, 0xCC, 0xA0, 0x02, 0x05}},
        {11, ttvframe::RateDigits(999), {0x05, 0x01, 0xCC, 0xA9, 0x09, 0x09}},
        {24, {}, {0x02, 0x01, 0x41}},
        {7, {0x4A}, {0x03, 0x01, 0xC6, 0x4A}},
        {14, {0x01, 0x02}, {0x04, 0x01, 0xD0, 0x01, 0x02}},                   // caller's length
        {17, {0x01}, {0x08, 0x01, 0xD4, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00}}, // padded
        {31, {0x01, 0x02}, {0x02, 0x01, 0x4A}},                               // cut
        {0, {0x01}, {}},
        {41, {0x01}, {}},
    };
    for (const auto &c : cases) EXPECT_EQ(ttvframe::Frame(c.number, c.data), c.frame) << c.number;
    EXPECT_EQ(ttvframe::FindRow(22)->command, 0xFF);
    EXPECT_EQ(ttvframe::FindRow(40)->command, 0x58);
}

TEST(Ttv9920Frames, RepliesWholeAndInPieces)
{
    using ttvframe::ReplyState;
    struct Case {
        const char *what;
        Bytes bytes;
        ReplyState state;
        size_t length;
    };
    const std::vector<Case> cases{
        {"acknowledge", {0x01, 0x80}, ReplyState::Acknowledged, 2},
        {"refusal", {0x01, 0x00}, ReplyState::Failed, 2},
        {"short acknowledge", {0x84, 0x33}, ReplyState::Acknowledged, 1},
        {"data", {0x05, 0x01, 0x90, 0x0C, 0x00, 0x00, 0x77}, ReplyState::Data, 6},
        {"data without its flag", {0x05, 0x01, 0x10, 0x0C, 0x00, 0x00}, ReplyState::Failed, 6},
        {"length without unit", {0x05, 0x02, 0x90}, ReplyState::Failed, 1},
        {"other", {0x30}, ReplyState::Failed, 1},
        {"too long for the record", {0x20, 0x01, 0x90}, ReplyState::Failed, 1},
    };
    const auto show = [](const ttvframe::Reply &reply) {
        return std::to_string(static_cast<int>(reply.state)) + ": " + Hex(reply.bytes);
    };
    for (const auto &c : cases) {
        const ttvframe::Reply want{c.state, Bytes(c.bytes.begin(), c.bytes.begin() + c.length)};
        kit::ExpectInEveryChunking(
            c.what, c.bytes, {show(want)}, [] { return ttvframe::CReplyDecoder(); }, show);
    }
    ttvframe::CReplyDecoder decoder;
    const Bytes partial{0x05, 0x01, 0x90};
    EXPECT_TRUE(decoder.Feed(partial.data(), partial.size()).empty())
        << "a data reply not yet whole";
    decoder.Reset();
    const Bytes ack{0x01, 0x80, 0x01, 0x80};
    EXPECT_EQ(decoder.Feed(ack.data(), ack.size()).size(), 1u) << "one reply a request";
    EXPECT_TRUE(decoder.Feed(ack.data(), ack.size()).empty()) << "until the next reset";
}

TEST(M21Frames, RequestsOfBothModels)
{
    using namespace m21frame;
    struct Case {
        const char *what;
        Bytes frame;
        Bytes expected;
    };
    const std::vector<Case> cases{
        {"source 5 on program",
         SelectSource(kProgramBus, 5),
         {0x02, 0x06, 0x7F, 0x01, 0x05, 0x05, 0x00, 0x00, 0x70}},
        {"source 11 on preset",
         SelectSource(kPresetBus, 11),
         {0x02, 0x06, 0x7F, 0x02, 0x0B, 0x0B, 0x00, 0x00, 0x63}},
        {"take", Take(), {0x02, 0x02, 0x44, 0x80, 0x3A}},
        {"type 1", TransType(1), {0x02, 0x02, 0x4C, 0x01, 0xB1}},
        {"type 2", TransType(2), {0x02, 0x02, 0x4C, 0x06, 0xAC}},
        {"type 3", TransType(3), {0x02, 0x02, 0x4C, 0x07, 0xAB}},
        {"type 4", TransType(4), {0x02, 0x02, 0x4C, 0x02, 0xB0}},
        {"type 9", TransType(9), {0x02, 0x02, 0x4C, 0x08, 0xAA}},
        {"rate 2", TransRate(2), {0x02, 0x02, 0x4D, 0x02, 0xAF}},
        {"rate 3", TransRate(3), {0x02, 0x02, 0x4D, 0x01, 0xB0}},
        {"rate 7", TransRate(7), {0x02, 0x02, 0x4D, 0x03, 0xAE}},
        {"M21 key, defaults",
         Key(kM21, 1, 1),
         {0x02, 0x0E, 0xE1, 0x07, 0x00, 0x40, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xCA}},
        {"SATURN4000 key, defaults, off",
         Key(kSaturn4000, 1, 1, true),
         {0x02, 0x0E, 0xE0, 0x08, 0x00, 0xA0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x6A}},
        {"M21 key 8 on 80",
         Key(kM21, 0x80, 8),
         {0x02, 0x0E, 0xE1, 0x08, 0x00, 0x80, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x89}},
        {"M21 mix 6 on 80",
         Mix(kM21, 0x80, 6),
         {0x02, 0x06, 0xE0, 0x06, 0x00, 0x80, 0x00, 0x00, 0x94}},
        {"SATURN4000 mix, defaults",
         Mix(kSaturn4000, 3, 9),
         {0x02, 0x06, 0xE1, 0x05, 0x00, 0x40, 0x00, 0x00, 0xD4}},
    };
    for (const auto &c : cases) EXPECT_EQ(c.frame, c.expected) << c.what;
}

TEST(M21Frames, AnswersFromTheStream)
{
    using m21frame::Answer;
    const Bytes message{0x02, 0x03, 0x10, 0x01, 0x02, 0xEA};
    Bytes stream{0x33, 0x04, 0x08};
    stream.insert(stream.end(), message.begin(), message.end());
    stream.push_back(0x04);
    // The stray byte is dropped; the message is one, however it came.
    kit::ExpectInEveryChunking(
        "acknowledge, refusal, message, acknowledge", stream,
        {"ack", "refusal", "message " + Hex(message), "ack"},
        [] { return m21frame::CAnswerDecoder(); },
        [](const Answer &answer) -> std::string {
            switch (answer.kind) {
            case Answer::Acknowledge:
                return "ack";
            case Answer::Refusal:
                return "refusal";
            case Answer::Message:
                return "message " + Hex(answer.bytes);
            }
            return "?";
        });
}

TEST(M2100Packets, BlocksAndPackets)
{
    using namespace m2100;
    EXPECT_EQ(Packet(Block(kSet, {0x0B, 0x05})),
              (Bytes{0x02, 0x00, 0x05, 0x01, 0x00, 0x02, 0x0B, 0x05, 0xE8}));
    EXPECT_EQ(Packet(Block(kQuery, {0x0D})),
              (Bytes{0x02, 0x00, 0x04, 0x02, 0x00, 0x01, 0x0D, 0xEC}));
    EXPECT_TRUE(Block(kSet, Bytes(62, 0x00)).empty()) << "a block passes 64 bytes";
    EXPECT_EQ(Block(kSet, Bytes(61, 0x00)).size(), 64u);
    Bytes blocks;
    for (int i = 0; i < 4; ++i) {
        const Bytes block = Block(kSet, Bytes(61, 0x00));
        blocks.insert(blocks.end(), block.begin(), block.end());
    }
    EXPECT_TRUE(Packet(blocks).empty()) << "a packet passes 256 bytes";
    EXPECT_TRUE(Packet({}).empty());
}

TEST(M2100Packets, RepliesFromTheStream)
{
    using namespace m2100;
    // A reply block: status 1, a bus value for an even bus, an item without value, key mask
    // 05, transition rate 2 with 0x0102, then an unknown tag that ends the block.
    const Bytes items{0x0D, 0x01, 0x06, 0x00, 0x02, 0x1F, 0x00, 0x07, 0x0C,
                      0x05, 0x04, 0x02, 0x02, 0x01, 0x77, 0x03, 0x09};
    Bytes reply = Packet(Block(kReply, items));
    Bytes bad = Packet(Block(kReply, {0x0D, 0x00}));
    bad.back() ^= 0x01;
    Bytes stream{0x04, 0x99, 0x05};
    for (const Bytes &part : {reply, bad}) stream.insert(stream.end(), part.begin(), part.end());
    const auto item = [](const char *name, const auto &value) {
        return value ? std::string(name) + "=" + std::to_string(*value) + " " : std::string();
    };
    const auto show = [&](const Event &event) -> std::string {
        const Items &i = event.items;
        switch (event.kind) {
        case Event::Acknowledge:
            return "ack";
        case Event::Refusal:
            return "refusal";
        case Event::BadPacket:
            return "bad packet";
        case Event::Reply:
            return "reply " + item("status", i.status) + item("even", i.evenBus) +
                   item("odd", i.oddBus) + item("keys", i.keyMask) + item("type", i.transType) +
                   item("rate", i.transRate) + item("value", i.rateValue);
        }
        return "?";
    };
    // The unknown tag ends the block: no transition type; the stray byte is dropped.
    kit::ExpectInEveryChunking(
        "a reply between an acknowledge, a refusal and a packet whose check fails", stream,
        {"ack", "refusal", "reply status=1 even=31 keys=5 rate=2 value=258 ", "bad packet"},
        [] { return CDecoder(); }, show);
}
