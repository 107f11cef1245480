// The 9-pin frames from byte arrays: command frames, reply decoding (in any chunking, bad
// checksum, too long, not a reply), the BCD positions both ways, the shuttle byte, status
// bits and model names; and the UVW cue frame.
#include "drivers/sources/vtr/CSerialUVW.h"
#include "drivers/sources/vtr/VtrFrame.h"
#include "tests/kit/DecoderChunks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Build(int32_t id, const Bytes &data = {})
{
    uint8_t frame[vtr::kMaxFrame];
    const int n = vtr::BuildFrame(id, data.data(), static_cast<int>(data.size()), frame);
    return Bytes(frame, frame + n);
}

Bytes CuePoint(int32_t frames)
{
    uint8_t out[4];
    vtr::EncodeCuePoint(frames, out);
    return Bytes(out, out + 4);
}

// The replies one block of `bytes` completes, on a fresh decoder.
std::vector<vtr::ReplyEvent> Parse(const Bytes &bytes)
{
    vtr::CReplyDecoder decoder;
    return decoder.Feed(bytes.data(), bytes.size());
}

std::string Show(const vtr::ReplyEvent &event)
{
    const tagVTRReply &r = event.reply;
    std::string text = event.kind == vtr::ReplyEvent::Kind::Done ? "done" : "garbled";
    text += " " + std::to_string(r.category) + " " + std::to_string(r.command) + " " +
            std::to_string(r.count) + ":";
    for (const uint8_t b : r.data) text += " " + std::to_string(b);
    return text;
}

// The one reply of `bytes` in one block; a garbled reply with no bytes when there is none.
vtr::ReplyEvent One(const Bytes &bytes)
{
    const std::vector<vtr::ReplyEvent> events = Parse(bytes);
    EXPECT_EQ(events.size(), 1u) << testing::PrintToString(bytes);
    return events.empty() ? vtr::ReplyEvent{} : events.front();
}

} // namespace

TEST(VtrFrames, CommandFramesCarryTheRowsBytesTheDataAndTheChecksum)
{
    EXPECT_EQ(Build(vtr::kPlay), (Bytes{0x20, 0x01, 0x21}));
    EXPECT_EQ(Build(vtr::kStatusSense, {0x09}), (Bytes{0x61, 0x20, 0x09, 0x8A}));
    EXPECT_EQ(Build(vtr::kCueUpWithData, {0x24, 0x59, 0x59, 0x23}),
              (Bytes{0x24, 0x31, 0x24, 0x59, 0x59, 0x23, 0x4E}))
        << "checksum keeps the low 8 bits";
    EXPECT_EQ(Build(128, {1, 2}), (Bytes{0x62, 0x28, 1, 2, 0x8D})) << "variable count row";
    EXPECT_TRUE(Build(1).empty());
    EXPECT_TRUE(Build(150).empty());
    EXPECT_TRUE(Build(0).empty());
    for (int32_t id = 2; id <= 149; ++id) ASSERT_NE(vtr::FindCommand(id), nullptr) << id;
    EXPECT_EQ(vtr::FindCommand(141)->cmd1, 0x6F);
    EXPECT_EQ(vtr::FindCommand(141)->cmd2, 0x54);
}

TEST(VtrFrames, CuePointsAreBroughtIntoOneDay)
{
    EXPECT_EQ(CuePoint(-1), (Bytes{0x24, 0x59, 0x59, 0x23}));
    EXPECT_EQ(CuePoint(-2160000), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(CuePoint(2160000), (Bytes{0, 0, 0, 0x24}));
    EXPECT_EQ(CuePoint(2160001), (Bytes{0x01, 0, 0, 0}));
    EXPECT_EQ(CuePoint(875), (Bytes{0, 0x35, 0, 0}));
    EXPECT_EQ(CuePoint(90000 * 12 + 1500 * 34 + 25 * 56 + 7), (Bytes{0x07, 0x56, 0x34, 0x12}));
}

TEST(VtrFrames, TimeReadingsAreCheckedAndPastNoonReadsNegative)
{
    int32_t frames = 0;
    const uint8_t noonPlusOne[4] = {0x00, 0x00, 0x00, 0x13};
    ASSERT_TRUE(vtr::DecodeTimecode(noonPlusOne, frames));
    EXPECT_EQ(frames, -990000);
    const uint8_t flagged[4] = {0xC0 | 0x24, 0x80 | 0x59, 0x80 | 0x59, 0xC0 | 0x11};
    ASSERT_TRUE(vtr::DecodeTimecode(flagged, frames)) << "the bits above the digits are flags";
    EXPECT_EQ(frames, ((11 * 60 + 59) * 60 + 59) * 25 + 24);
    for (const auto &bad :
         {std::vector<uint8_t>{0x25, 0, 0, 0}, {0, 0x60, 0, 0}, {0, 0, 0x60, 0}, {0, 0, 0, 0x24}})
        EXPECT_FALSE(vtr::DecodeTimecode(bad.data(), frames));
}

TEST(VtrFrames, RepliesAreAwaitedWholeAndOnlySoundOnesTaken)
{
    const Bytes data{0x74, 0x04, 0x01, 0x02, 0x03, 0x04, 0x82};
    Bytes badSum = data;
    badSum.back() ^= 1;
    const std::string zeros = " 0 0 0 0 0 0 0 0 0 0 0 0";
    struct Case {
        const char *what;
        Bytes input;
        std::string want;
    };
    const std::vector<Case> cases{
        {"a data reply", data, "done 112 132 4: 1 2 3 4" + zeros},
        {"a checksum that fails: the data is not taken", badSum,
         "garbled 112 132 4: 0 0 0 0" + zeros},
        {"not a reply group", {0x55, 0x01, 0x02}, "garbled 80 0 5: 0 0 0 0" + zeros},
    };
    for (const Case &c : cases)
        kit::ExpectInEveryChunking(
            c.what, c.input, {c.want}, [] { return vtr::CReplyDecoder(); }, Show);

    const vtr::ReplyEvent sound = One(data);
    EXPECT_TRUE(vtr::Answers(sound.reply, vtr::kTimeData));
    EXPECT_FALSE(vtr::Answers(sound.reply, vtr::kStatusData));

    // More bytes than the frame's in the block that ends it: no reply, and the next exchange
    // starts afresh.
    vtr::CReplyDecoder decoder;
    Bytes longer = data;
    longer.push_back(0);
    const std::vector<vtr::ReplyEvent> garbled = decoder.Feed(longer.data(), longer.size());
    ASSERT_EQ(garbled.size(), 1u);
    EXPECT_EQ(garbled[0].kind, vtr::ReplyEvent::Kind::Garbled);
    EXPECT_EQ(garbled[0].reply.command, 0);
    EXPECT_EQ(Show(kit::FeedInChunks(decoder, data, data.size()).at(0)), Show(sound));

    // Sound replies answer only the operation that awaits their kind.
    struct Answer {
        Bytes bytes;
        bool ack, deviceType, status;
    };
    for (const Answer &c :
         {Answer{{0x10, 0x01, 0x11}, true, false, false},
          Answer{{0x11, 0x12, 0x80, 0xA3}, false, false, false}, // NAK
          Answer{{0x12, 0x11, 0x20, 0x25, 0x68}, false, true, false},
          Answer{{0x71, 0x20, 0x00, 0x91}, false, false, false}, // too short
          Answer{{0x79, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x99}, false, false, true}}) {
        const vtr::ReplyEvent event = One(c.bytes);
        ASSERT_EQ(event.kind, vtr::ReplyEvent::Kind::Done) << testing::PrintToString(c.bytes);
        EXPECT_EQ(vtr::Answers(event.reply, vtr::kAck), c.ack) << testing::PrintToString(c.bytes);
        EXPECT_EQ(vtr::Answers(event.reply, vtr::kDeviceType), c.deviceType);
        EXPECT_EQ(vtr::Answers(event.reply, vtr::kStatusData), c.status);
    }
}

TEST(VtrFrames, ShuttleBytesStatusBitsAndModels)
{
    EXPECT_EQ(vtr::ShuttleSpeedByte(30.0), 111);
    EXPECT_EQ(vtr::ShuttleSpeedByte(-1.0), 64);
    EXPECT_EQ(vtr::ShuttleSpeedByte(0.01), 0);
    EXPECT_EQ(vtr::ShuttleSpeedByte(0), 0);

    uint8_t data[9] = {0x21, 0x01, 0x01, 0, 0x01, 0, 0, 0, 0x10};
    tagVTRStatus status;
    status.Load(data);
    EXPECT_TRUE(status.Test(0, 0) && status.Test(0, 5) && status.Test(1, 0) && status.Test(2, 0) &&
                status.Test(4, 0) && status.Test(8, 4));
    EXPECT_FALSE(status.Test(1, 5));
    EXPECT_FALSE(status.HasTape());
    EXPECT_EQ(status.Test(3, 0), 0) << "not kept";

    EXPECT_STREQ(vtr::DeviceTypeName(0x202D), "BVW-95PM/75S");
    EXPECT_STREQ(vtr::DeviceTypeName(0xB011), "DVW-510");
    EXPECT_STREQ(vtr::DeviceTypeName(0x2011), "UNKOWN TYPE");
}

TEST(UvwFrames, TheCueFrameCarriesTheSignAndAsciiDigits)
{
    uint8_t frame[CSerialUVW::kCueFrameSize];
    CSerialUVW::BuildCue(-125, frame);
    EXPECT_EQ(Bytes(frame, frame + 13),
              (Bytes{0xA0, 0xDF, 0x93, 0xA2, '0', '0', '0', '0', '0', '5', '0', '0', 0x40}));
    CSerialUVW::BuildCue(90000 * 25 + 1500 * 3 + 25 * 4 + 24, frame);
    EXPECT_EQ(Bytes(frame + 3, frame + 12), (Bytes{0xA1, '2', '5', '0', '3', '0', '4', '2', '4'}))
        << "hours not reduced to a day";
}
