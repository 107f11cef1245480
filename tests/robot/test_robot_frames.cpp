// The robot's wire format from byte arrays: command frames with their checksum, the robot's
// own messages, how a received block is classified for the command that waits, and the
// events a block decodes to.
#include "drivers/sources/robot/TapeRobotFrame.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

using namespace taperobot;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Command(int32_t id, Bytes params = {})
{
    uint8_t out[kMaxFrame];
    const int n = BuildCommand(id, params.data(), static_cast<int>(params.size()), out);
    return Bytes(out, out + n);
}

Classified Classify(int32_t pending, const Bytes &block)
{
    return ClassifyReply(pending, block.data(), block.size());
}

} // namespace

TEST(RobotFrames, CommandsCarryLengthCharactersParametersAndChecksum)
{
    EXPECT_EQ(Command(2), (Bytes{0x01, 0x40, 0x41}));
    // Shelf cell B07, gripper U, take: the checksum wraps to its low 8 bits.
    const Bytes shelf = Command(6, {'B', '0', '7', 'U', 'P'});
    EXPECT_EQ(shelf, (Bytes{0x07, 0x53, 0x20, 'B', '0', '7', 'U', 'P', 0xC8}));
    EXPECT_EQ(Command(5, {'2', 'D', 'M'}),
              (Bytes{0x07, 0x53, 0x20, 0x4C, 0x30, '2', 'D', 'M', 0xB9}));
    // A wrong parameter count, an unknown id or a robot message builds nothing.
    EXPECT_TRUE(Command(6, {'B'}).empty());
    EXPECT_TRUE(Command(47).empty());
    EXPECT_TRUE(Command(39).empty());
}

TEST(RobotFrames, RobotMessagesAreRecognisedByTheirFirstBytes)
{
    const uint8_t lpreq[] = {0x01, 0x03, 0x04, 0x99};
    const uint8_t closed[] = {0x02, 0x08, 0x00, 0x0A};
    const uint8_t timeout[] = {0x02, 0x08, 0x01, 0x0B};
    const uint8_t door[] = {0x02, 0x00, 0x00, 0x02, 0x00};
    const uint8_t never[] = {0x01, 0x0C, 0x0D};
    const uint8_t ack[] = {0x01, 'C', 'D'};
    const uint8_t shortDoor[] = {0x02, 0x00, 0x00};
    EXPECT_EQ(MatchMessage(lpreq, 4), 39);
    EXPECT_EQ(MatchMessage(closed, 4), 43);
    EXPECT_EQ(MatchMessage(timeout, 4), 44);
    EXPECT_EQ(MatchMessage(door, 5), 34);
    EXPECT_EQ(MatchMessage(never, 3), 0);
    EXPECT_EQ(MatchMessage(ack, 3), 0);
    EXPECT_EQ(MatchMessage(shortDoor, 3), 0) << "a message beginning 02 needs four bytes";
}

TEST(RobotFrames, BlocksReportTheirLeadingMessagesThenTheReplyAwaited)
{
    const Bytes lpreq{0x01, 0x03, 0x04};
    const Bytes closed{0x02, 0x08, 0x00, 0x0A};
    const auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes &part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    const auto show = [](const std::vector<BlockEvent> &events) {
        std::string text;
        for (const BlockEvent &event : events)
            text += event.kind == BlockEvent::Kind::Message
                        ? "message " + std::to_string(event.message) + "; "
                        : "reply " + std::to_string(event.reply.result) + "/" +
                              std::to_string(event.reply.data.size()) + "; ";
        return text;
    };
    struct Case {
        const char *what;
        int32_t pending;
        Bytes block;
        std::string want;
    };
    const std::vector<Case> cases{
        {"two messages and an acknowledgement", 2, join({lpreq, closed, {0x01, 'C', 'D'}}),
         "message 39; message 43; reply 4/0; "},
        {"messages alone are no reply", 2, join({lpreq, closed}), "message 39; message 43; "},
        {"a message after the reply is part of it", 28, join({{'G', 1, 2, 3, 4}, lpreq}),
         "reply 3/7; "},
        {"nothing awaited: the rest is dropped", 0, join({closed, {'B'}}), "message 43; "},
        {"a busy robot", 2, {'B'}, "reply 100/0; "},
    };
    for (const Case &c : cases) {
        CBlockDecoder decoder;
        decoder.Expect(c.pending);
        EXPECT_EQ(show(decoder.Feed(c.block.data(), c.block.size())), c.want) << c.what;
    }
    CBlockDecoder decoder;
    decoder.Expect(2);
    decoder.Reset();
    EXPECT_EQ(show(decoder.Feed(lpreq.data(), 1)), "") << "reset: no command awaited";
}

TEST(RobotFrames, SingleBytesAndShortAnswers)
{
    EXPECT_EQ(Classify(2, {'B'}).result, kBusy);
    EXPECT_EQ(Classify(2, {'T'}).result, kT);
    // "G" announces data only for a command that has some.
    const Classified go = Classify(28, {'G'});
    EXPECT_EQ(go.result, kGo);
    EXPECT_TRUE(go.waitOn);
    EXPECT_EQ(Classify(2, {'G'}).result, kBad);
    EXPECT_FALSE(Classify(2, {'G'}).waitOn);
    EXPECT_EQ(Classify(2, {'X'}).result, kBad);

    for (const Bytes &ack : {Bytes{'G', 1, 'C', 'D'}, Bytes{1, 'C', 'D'}}) {
        EXPECT_EQ(Classify(6, ack).result, kDone);
        EXPECT_FALSE(Classify(6, ack).waitOn);
        // A status query is acknowledged before its data: the wait goes on.
        EXPECT_EQ(Classify(26, ack).result, kDone);
        EXPECT_TRUE(Classify(26, ack).waitOn);
    }
    EXPECT_EQ(Classify(6, {'G', 1, 'M', 'N'}).result, kRefused);
    EXPECT_EQ(Classify(25, {1, 'M', 'N'}).result, kRefused);
    EXPECT_EQ(Classify(6, {1, 2, 3}).result, kBad);
}

TEST(RobotFrames, DataRepliesAreCopiedUpToTheReplyLength)
{
    // A label reply: "G", then N, 8 characters and the checksum.
    const Bytes label = {'G', 8, 'T', 'A', 'P', 'E', '0', '0', '0', '1', 0x00, 0xEE, 0xFF};
    const Classified data = Classify(28, label);
    EXPECT_EQ(data.result, kData);
    EXPECT_EQ(data.data, Bytes(label.begin() + 1, label.begin() + 11)) << "10 bytes at most";
    // A block shorter than the reply length is copied as far as it goes.
    EXPECT_EQ(Classify(32, {4, 1}).data, (Bytes{4, 1}));
    EXPECT_EQ(Classify(32, {4, 1, 2}).result, kBad) << "three bytes are no data for 32";
    EXPECT_EQ(Classify(32, {4, 1, 0, 0, 0, 5}).data, (Bytes{4, 1, 0, 0, 0, 5}));
    // Queries 29 to 31 answer in three or four bytes, the first of four dropped.
    EXPECT_EQ(Classify(30, {'G', 1, 0x41, 0x42}).data, (Bytes{1, 0x41, 0x42}));
    EXPECT_EQ(Classify(29, {1, 0x41, 0x42}).result, kData);
    // Two bytes are data too; 255 bytes and more are not.
    EXPECT_EQ(Classify(14, {7, 8}).result, kData);
    EXPECT_EQ(Classify(14, Bytes(255, 1)).result, kBad);
}
