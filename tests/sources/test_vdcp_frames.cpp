// The VDCP frame pieces and the reply check, from byte arrays: frames of both command sets,
// clip ids, time codes, jogs and speeds, and replies whole, split, after garbage, too long,
// corrupted or spread over too many blocks.
#include "drivers/sources/vdcp/VdcpCommands.h"
#include "drivers/sources/vdcp/VdcpFrame.h"
#include "drivers/sources/vdcp/VdcpReply.h"
#include "tests/kit/DecoderChunks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

using namespace vdcp;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Encode(Variant variant, int32_t id, const Data &data = Data())
{
    Frame frame;
    const Command *row = FindCommand(variant, id);
    if (!row || !EncodeFrame(*row, data.Bytes(), data.Length(), frame)) return {};
    return Bytes(frame.bytes.begin(), frame.bytes.begin() + frame.nLength);
}

// The reply events as "complete" or "invalid", the kind byte and the bytes received.
std::string Show(const ReplyEvent &event)
{
    std::string text = event.kind == ReplyEvent::Kind::Complete ? "complete" : "invalid";
    text += " " + std::to_string(event.reply.nKind) + ":";
    for (int i = 0; i < event.reply.nLength; ++i)
        text += " " + std::to_string(event.reply.bytes[static_cast<size_t>(i)]);
    return text;
}

std::vector<std::string> Shown(const std::vector<ReplyEvent> &events)
{
    std::vector<std::string> shown;
    for (const ReplyEvent &event : events) shown.push_back(Show(event));
    return shown;
}

// A sense reply with a sound checksum.
Bytes Sense(uint8_t cmd1, uint8_t cmd2, const Bytes &data)
{
    Bytes frame{kStx, static_cast<uint8_t>(data.size() + 2), cmd1, cmd2};
    std::copy(data.begin(), data.end(), std::back_inserter(frame));
    frame.push_back(Checksum(frame.data() + 2, frame.size() - 2));
    return frame;
}

} // namespace

TEST(VdcpCommandSets, NewIsBasicWithBitSevenAndALongerCountWhereAClipIdGoes)
{
    const auto basic = CommandTable(Variant::Basic);
    const auto fresh = CommandTable(Variant::New);
    ASSERT_EQ(basic.size(), 68u);
    ASSERT_EQ(fresh.size(), 68u);
    EXPECT_EQ(FindCommand(Variant::Basic, 69), nullptr);
    EXPECT_EQ(FindCommand(Variant::Basic, 75), nullptr);
    for (size_t i = 0; i < basic.size(); ++i) {
        EXPECT_EQ(fresh[i].nId, basic[i].nId);
        EXPECT_EQ(fresh[i].cmd1, basic[i].cmd1 + 0x80);
        EXPECT_EQ(fresh[i].cmd2, basic[i].cmd2);
        const std::vector<int32_t> clipRows{24, 25, 26, 27, 32, 34, 60, 62};
        const bool clipRow =
            std::find(clipRows.begin(), clipRows.end(), basic[i].nId) != clipRows.end();
        EXPECT_EQ(fresh[i].nCount, basic[i].nCount + (clipRow ? 1 : 0)) << basic[i].nId;
    }
    Variant variant = Variant::New;
    SelectVariant("", variant);
    EXPECT_EQ(variant, Variant::Basic);
    SelectVariant("NEW", variant);
    EXPECT_EQ(variant, Variant::New);
    SelectVariant("OTHER", variant);
    EXPECT_EQ(variant, Variant::New) << "an unknown name leaves the set";
}

TEST(VdcpFrames, TransportAndClipFramesAreByteExact)
{
    EXPECT_EQ(Encode(Variant::Basic, kPlay), (Bytes{0x02, 0x02, 0x10, 0x01, 0xEF}));
    EXPECT_EQ(Encode(Variant::Basic, kStop), (Bytes{0x02, 0x02, 0x10, 0x00, 0xF0}));

    const Bytes basicCue =
        Encode(Variant::Basic, kPlayCue, Data().ClipId(Variant::Basic, "ABCDEFGHIJ"));
    ASSERT_EQ(basicCue.size(), 13u);
    EXPECT_EQ(basicCue[1], 10);
    EXPECT_EQ(Bytes(basicCue.begin() + 4, basicCue.begin() + 12),
              (Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}));
    const Bytes shortCue = Encode(Variant::Basic, kPlayCue, Data().ClipId(Variant::Basic, "AB"));
    EXPECT_EQ(Bytes(shortCue.begin() + 4, shortCue.begin() + 12),
              (Bytes{'A', 'B', 0, 0, 0, 0, 0, 0}));

    // NEW: a length byte and the whole name; the count byte tells the bytes that follow.
    const Bytes newCue = Encode(Variant::New, kPlayCue, Data().ClipId(Variant::New, "ABCDEFGHIJ"));
    ASSERT_EQ(newCue.size(), 16u);
    EXPECT_EQ(newCue[2], 0xA0);
    EXPECT_EQ(newCue[1], 13);
    EXPECT_EQ(newCue[4], 10);
    EXPECT_EQ(newCue[14], 'J');
    for (const Bytes &frame : {basicCue, shortCue, newCue}) {
        uint8_t sum = 0;
        for (size_t i = 2; i < frame.size(); ++i) sum = static_cast<uint8_t>(sum + frame[i]);
        EXPECT_EQ(sum, 0) << "CMD-1 .. checksum sum to 0";
    }

    // A row whose count is 0 keeps it whatever data follows.
    EXPECT_EQ(Encode(Variant::Basic, 28, Data().Byte(1).Byte(2))[1], 0);
    Data tooLong;
    for (int i = 0; i < kMaxData + 1; ++i) tooLong.Byte(0);
    EXPECT_FALSE(tooLong.Ok());
    EXPECT_TRUE(Encode(Variant::Basic, 999).empty()) << "no such command";
}

TEST(VdcpFrames, TimeCodesJogsAndSpeeds)
{
    uint8_t tc[4];
    PutTimecode(10 * 90000 + 59 * 1500 + 58 * 25 + 24, tc);
    EXPECT_EQ((Bytes{tc, tc + 4}), (Bytes{0x24, 0x58, 0x59, 0x10}));
    EXPECT_EQ(GetTimecode(tc), 10 * 90000 + 59 * 1500 + 58 * 25 + 24);
    EXPECT_EQ(DayFrames(2160000), 0) << "SOM of a whole day is 00:00:00:00";
    EXPECT_EQ(DayFrames(2160001), 1);
    EXPECT_EQ(DayFrames(-1), 2159999);

    const Jog j127 = EncodeJog(127);
    EXPECT_EQ(j127.nId, kJogShort);
    EXPECT_EQ(j127.nLength, 1);
    EXPECT_EQ(EncodeJog(-127).bytes[0], 0x81);
    const Jog j128 = EncodeJog(128);
    EXPECT_EQ(j128.nId, kJogLong);
    EXPECT_EQ((Bytes{j128.bytes.begin(), j128.bytes.end()}), (Bytes{0, 0, 0, 0x80}));
    const Jog back = EncodeJog(-128);
    EXPECT_EQ(back.nId, kJogLong);
    EXPECT_EQ((Bytes{back.bytes.begin(), back.bytes.end()}), (Bytes{0xFF, 0xFF, 0xFF, 0x80}));

    const auto half = SpeedBytes(1.5);
    EXPECT_EQ((Bytes{half.begin(), half.end()}), (Bytes{0x01, 0x80, 0x00}));
    const auto reverse = SpeedBytes(-1.0);
    EXPECT_EQ((Bytes{reverse.begin(), reverse.end()}), (Bytes{0xFF, 0x00, 0x00}));
    const auto clamped = SpeedBytes(500.0);
    EXPECT_EQ(clamped[0], 127);
    EXPECT_EQ(ClampSpeed(-500.0), -128.0);
}

TEST(VdcpReplies, AcknowledgementsAndSenseRepliesAreFoundInAnyPieces)
{
    const Bytes status = Sense(0xB0, 0x85, {0x0F, 0x81, 0x01, 0x00});
    Bytes corrupt = Sense(0xB0, 0x86, {0x01, 0x00, 0x00});
    corrupt.back() ^= 1;
    const auto shown = [](const char *kind, int first, const Bytes &bytes) {
        std::string text = std::string(kind) + " " + std::to_string(first) + ":";
        for (const uint8_t b : bytes) text += " " + std::to_string(b);
        return text;
    };
    struct Case {
        const char *what;
        Bytes input;
        std::string want;
    };
    const std::vector<Case> cases{
        {"garbage, then an ACK", {0xFF, 0x33, kAck}, shown("complete", kAck, {kAck})},
        {"a NAK", {0x00, kNak}, shown("complete", kNak, {kNak})},
        {"a sense reply", status, shown("complete", kStx, status)},
        {"a checksum that fails reads as NAK", corrupt, shown("invalid", kNak, corrupt)},
        {"a count above the largest, known at once",
         {kStx, 198},
         shown("invalid", kNak, {kStx, 198})},
    };
    for (const Case &c : cases)
        kit::ExpectInEveryChunking(
            c.what, c.input, {c.want}, [] { return CReplyDecoder(); }, Show);
}

TEST(VdcpReplies, AReplyEndsItsBlockAndTooManyBlocksMakeItInvalid)
{
    CReplyDecoder decoder;
    const Bytes two{kAck, kNak};
    EXPECT_EQ(Shown(decoder.Feed(two.data(), two.size())),
              std::vector<std::string>{"complete 4: 4"})
        << "the rest of the block is dropped";
    EXPECT_EQ(Shown(decoder.Feed(two.data() + 1, 1)), std::vector<std::string>{"complete 5: 5"})
        << "the next block starts afresh";
    const Bytes atLimit{kStx, 197};
    EXPECT_TRUE(decoder.Feed(atLimit.data(), atLimit.size()).empty());
    decoder.Reset();

    // Ten blocks may carry one reply; an eleventh block without its end is too many.
    const auto kinds = [](const Bytes &reply, size_t piece) {
        CReplyDecoder fresh;
        std::vector<ReplyEvent::Kind> got;
        for (const ReplyEvent &event : kit::FeedInChunks(fresh, reply, piece))
            got.push_back(event.kind);
        return got;
    };
    using Kinds = std::vector<ReplyEvent::Kind>;
    const Bytes list = Sense(0xB0, 0x91, Bytes(20, 'A'));
    EXPECT_EQ(kinds(list, 3), Kinds{ReplyEvent::Kind::Complete}) << "9 blocks";
    EXPECT_EQ(kinds(Sense(0xB0, 0x91, Bytes(40, 'A')), 4), Kinds{ReplyEvent::Kind::Invalid})
        << "12 blocks";
    EXPECT_EQ(kinds(Sense(0xB0, 0x85, {0x0F, 0x81, 0x01, 0, 0, 0, 0}), 1),
              Kinds{ReplyEvent::Kind::Invalid})
        << "byte by byte";
}

TEST(VdcpReplies, IdListsSkipEmptyIdsAndCutNamesAtEightBytes)
{
    Bytes data{0x01, 0x02};
    for (const char *id : {"CLIP0001", "\0\0\0\0\0\0\0\0", "AB\0\0\0\0\0\0"})
        data.insert(data.end(), id, id + 8);
    CReplyDecoder decoder;
    const Bytes frame = Sense(0xB0, 0x91, data);
    const std::vector<ReplyEvent> events = decoder.Feed(frame.data(), frame.size());
    ASSERT_EQ(events.size(), 1u);
    ASSERT_EQ(events[0].kind, ReplyEvent::Kind::Complete);
    int32_t more = 0;
    CStringArray names;
    ASSERT_TRUE(ParseIdList(events[0].reply, more, names));
    EXPECT_EQ(more, 0x0102);
    ASSERT_EQ(names.GetSize(), 2);
    EXPECT_STREQ(names[0], "CLIP0001");
    EXPECT_STREQ(names[1], "AB");
    Reply ack;
    ack.nKind = kAck;
    ack.nLength = 1;
    EXPECT_FALSE(ParseIdList(ack, more, names));
}
