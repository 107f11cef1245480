// The 9-pin frames from byte arrays: command frames, reply decoding (whole, split, bad
// checksum, too long, not a reply), the BCD positions both ways, the shuttle byte, status
// bits and model names; and the UVW cue frame.
#include "drivers/sources/vtr/CSerialUVW.h"
#include "drivers/sources/vtr/VtrFrame.h"

#include <gtest/gtest.h>

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

vtr::ReplyParse Parse(const Bytes &bytes, tagVTRReply &reply)
{
    return vtr::ParseReply(bytes.data(), bytes.size(), reply);
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
    tagVTRReply reply;
    const Bytes data{0x74, 0x04, 0x01, 0x02, 0x03, 0x04, 0x82};
    for (size_t n = 0; n < data.size(); ++n)
        EXPECT_EQ(Parse(Bytes(data.begin(), data.begin() + n), reply), vtr::ReplyParse::NeedMore)
            << n;
    ASSERT_EQ(Parse(data, reply), vtr::ReplyParse::Done);
    EXPECT_EQ(reply.category, 0x70);
    EXPECT_EQ(reply.command, 0x84);
    EXPECT_EQ(reply.count, 4);
    EXPECT_EQ(Bytes(reply.data, reply.data + 4), (Bytes{1, 2, 3, 4}));

    EXPECT_TRUE(vtr::Answers(reply, vtr::kTimeData));
    EXPECT_FALSE(vtr::Answers(reply, vtr::kStatusData));

    Bytes badSum = data;
    badSum.back() ^= 1;
    ASSERT_EQ(Parse(badSum, reply), vtr::ReplyParse::Garbled);
    EXPECT_EQ(reply.data[0], 0) << "its data is not taken";

    Bytes longer = data;
    longer.push_back(0);
    ASSERT_EQ(Parse(longer, reply), vtr::ReplyParse::Garbled);
    EXPECT_EQ(reply.command, 0);
    ASSERT_EQ(Parse({0x55, 0x01, 0x02}, reply), vtr::ReplyParse::Garbled);
    EXPECT_EQ(reply.command, 0) << "not a reply group";

    // Sound replies answer only the operation that awaits their kind.
    struct Case {
        Bytes bytes;
        bool ack, deviceType, status;
    };
    for (const Case &c :
         {Case{{0x10, 0x01, 0x11}, true, false, false},
          Case{{0x11, 0x12, 0x80, 0xA3}, false, false, false}, // NAK
          Case{{0x12, 0x11, 0x20, 0x25, 0x68}, false, true, false},
          Case{{0x71, 0x20, 0x00, 0x91}, false, false, false}, // too short
          Case{{0x79, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x99}, false, false, true}}) {
        ASSERT_EQ(Parse(c.bytes, reply), vtr::ReplyParse::Done) << testing::PrintToString(c.bytes);
        EXPECT_EQ(vtr::Answers(reply, vtr::kAck), c.ack) << testing::PrintToString(c.bytes);
        EXPECT_EQ(vtr::Answers(reply, vtr::kDeviceType), c.deviceType);
        EXPECT_EQ(vtr::Answers(reply, vtr::kStatusData), c.status);
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
