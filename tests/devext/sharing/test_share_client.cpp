// The using side against a serving process of the tests' own: every request of the network
// port byte for byte, replies longer than a read takes, data sent to the port, and the
// heartbeat (on the manual clock) with the failures that close the port.
#include "SharingTestKit.h"

#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace sharetest;
using namespace kestsim;

namespace {

constexpr int kLocalPort = 122;
constexpr uint32_t kRemotePort = 7;
constexpr uint16_t kHeartBeat = 7;

enum class HeartBeatAnswer { Held, NotHeld, Silent };

class ShareClientTest : public ::testing::Test {
protected:
    ShareClientTest()
    {
        ResolveTo("RawServer", server.Port());
        server.Answer([this](uint16_t message, const Bytes &) -> RawProcess::Reply {
            switch (message) {
            case 4:
                return {{1, Concat({Le32(700), Pattern(700)})}};
            case kHeartBeat:
                break;
            default:
                return {{1, {}}};
            }
            if (heartBeat == HeartBeatAnswer::Silent) return std::nullopt;
            return {{uint16_t{heartBeat == HeartBeatAnswer::Held}, {}}};
        });
    }
    size_t HeartFailures() const { return Count(log, "Serial_Net Comm Failure(Heart)"); }
    bool HeartBeatCame() { return !server.NextOf(kHeartBeat, 0).empty(); }
    void ForgetHeartBeats()
    {
        while (HeartBeatCame()) {
        }
    }

    // The heartbeat runs only when the test moves the clock.
    plat::ScopedTestClock clock;
    RawProcess server;
    std::atomic<HeartBeatAnswer> heartBeat{HeartBeatAnswer::Held};
    ActiveDisp clientDisp{"ShareClientWire"};
    ActiveService service{SharedList({{kLocalPort, "kest://any/RawServer?COM=7"}})};
    LogProbe log{"LOG_ERROR", LOG_MODE_EXACT};
    TestProtocol protocol{kLocalPort};
};

TEST_F(ShareClientTest, RequestsAreByteExact)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    const Bytes open = server.NextOf(1);
    EXPECT_EQ(NetField(open, 0, 4), 0u) << "the source address is the receiver's to fill in";
    EXPECT_EQ(NetField(open, kHeadSourcePort), clientDisp.Port());
    EXPECT_EQ(IpAt(open, kHeadDestinationIp), (Bytes{127, 0, 0, 1}));
    EXPECT_EQ(NetField(open, kHeadDestinationPort), server.Port());
    EXPECT_EQ(NetField(open, kHeadService), 35u);
    EXPECT_NE(NetField(open, kHeadReplyBox), 0u);
    EXPECT_EQ(NetField(open, kHeadResult), 0u);
    EXPECT_EQ(NetField(open, 24, 8), 0u);
    // Remote port, own port, then the 14 setting bytes with the own port number in them.
    const Bytes setting = {122, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x25, 0, 0};
    EXPECT_EQ(NetData(open), Concat({Le32(kRemotePort), Le32(kLocalPort), Le32(14), setting}));

    ASSERT_EQ(protocol.Write(ToBytes("abc")), 1);
    const Bytes write = server.NextOf(3);
    EXPECT_EQ(NetField(write, kHeadReplyBox), 0u) << "one-way";
    EXPECT_EQ(NetData(write), PortAndBuffer(kRemotePort, ToBytes("abc")));
    // A block longer than the other side takes from one message goes in several.
    const Bytes block = Pattern(1500);
    ASSERT_EQ(protocol.Write(block), 1);
    EXPECT_EQ(NetData(server.NextOf(3)),
              PortAndBuffer(kRemotePort, Bytes(block.begin(), block.begin() + 1024)));
    EXPECT_EQ(NetData(server.NextOf(3)),
              PortAndBuffer(kRemotePort, Bytes(block.begin() + 1024, block.end())));

    // The server read 700 bytes: a read takes at most 512, and at most what was asked.
    char buffer[1024] = {};
    int length = sizeof buffer;
    ASSERT_EQ(protocol.DevRead(buffer, length), 1);
    EXPECT_EQ(NetData(server.NextOf(4)), Le32(kRemotePort));
    ASSERT_EQ(length, 512);
    EXPECT_EQ(Bytes(buffer, buffer + length), Pattern(512));
    length = 100;
    ASSERT_EQ(protocol.DevRead(buffer, length), 1);
    EXPECT_EQ(length, 100);

    ASSERT_EQ(protocol.DevFlush(3), 1);
    EXPECT_EQ(NetData(server.NextOf(5)), Concat({Le32(kRemotePort), Le32(3)}));

    ASSERT_EQ(protocol.DevClose(), 1);
    EXPECT_EQ(NetData(server.NextOf(2)), Le32(kRemotePort));
    EXPECT_FALSE(HeartBeatCame()) << "no heartbeat while the clock stands";
}

TEST_F(ShareClientTest, DataSentToThePortReachesTheProtocol)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    ASSERT_TRUE(server.Send(clientDisp.Port(), 6, 0, PortAndBuffer(kLocalPort, ToBytes("hello"))));
    ASSERT_TRUE(protocol.WaitForBytes(5));
    EXPECT_EQ(protocol.Received(), ToBytes("hello"));
    EXPECT_EQ(protocol.Ports(), std::vector<int>{kLocalPort});

    // At most 1024 bytes of one message are taken.
    const Bytes block = Pattern(1500);
    ASSERT_TRUE(server.Send(clientDisp.Port(), 6, 0, PortAndBuffer(kLocalPort, block)));
    // A message too short to read is dropped; one for a number that is no open network port
    // is logged. One mail box takes them in order, so the log shows both were handled.
    ASSERT_TRUE(server.Send(clientDisp.Port(), 6, 0, Le32(kLocalPort)));
    ASSERT_TRUE(server.Send(clientDisp.Port(), 6, 0, PortAndBuffer(kLocalPort + 1, ToBytes("x"))));
    ASSERT_TRUE(log.WaitFor(1, "SerialServ Recv a invalid INT Data"));
    EXPECT_EQ(log.Count(), 1u);
    EXPECT_EQ(protocol.Received(),
              Concat({ToBytes("hello"), Bytes(block.begin(), block.begin() + 1024)}));
}

TEST_F(ShareClientTest, ElevenLostHeartbeatsCloseThePortAndAGoodOneStartsTheCountAgain)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    Bytes beat;
    ASSERT_TRUE(AdvanceUntil([&] { return !(beat = server.NextOf(kHeartBeat, 0)).empty(); }, 2000));
    EXPECT_NE(NetField(beat, kHeadReplyBox), 0u);
    EXPECT_EQ(NetData(beat), Le32(kRemotePort));
    // Unanswered: each one ends with the reply time-out.
    heartBeat = HeartBeatAnswer::Silent;
    ASSERT_TRUE(AdvanceUntil([&] { return HeartFailures() == 5; }, 60000));
    heartBeat = HeartBeatAnswer::Held;
    ForgetHeartBeats();
    ASSERT_TRUE(AdvanceUntil([&] { return HeartBeatCame(); }, 10000));
    // Answered, but the server no longer holds the line.
    heartBeat = HeartBeatAnswer::NotHeld;
    ASSERT_TRUE(AdvanceUntil([&] { return HeartFailures() == 15; }, 120000));
    EXPECT_EQ(protocol.DevIsOpen(), 1) << "ten failures since the good heartbeat";
    ASSERT_TRUE(AdvanceUntil([&] { return HeartFailures() == 16; }, 10000));
    EXPECT_TRUE(WaitUntil([&] { return protocol.DevIsOpen() == 0; }));
    EXPECT_EQ(CSerialDevA::GetByPort(kLocalPort), nullptr);
    ForgetHeartBeats();
    EXPECT_FALSE(AdvanceUntil([&] { return HeartBeatCame(); }, 12000, 500))
        << "no heartbeat for a closed port";
}

} // namespace
