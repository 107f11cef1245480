// The serving side against a client of the tests' own: the replies byte for byte, the line
// opened with the client's settings, data sent back to the client, requests refused or
// dropped, and the sweep of silent clients (on the manual clock).
#include "SharingTestKit.h"
#include "tests/kit/SimLine.h"

#include "platform/TimeSource.h"

#include <gtest/gtest.h>
#include <termios.h>

using namespace sharetest;
using namespace kestsim;

namespace {

constexpr int kServedPort = 61;
constexpr int kOtherPort = 62; // no device on it
constexpr uint32_t kClientPort = 99;

// 19200 baud, 8 data bits, no parity, two stop bits, for port number `port`. (A
// pseudo-terminal opened again refuses parity and short characters.)
Bytes OpenRequest(uint32_t port, Bytes setting = {99, 0, 8, 0, 0, 0, 2, 0, 0, 0, 0x00, 0x4B, 0, 0})
{
    return Concat(
        {Le32(port), Le32(kClientPort), Le32(static_cast<uint32_t>(setting.size())), setting});
}

class ShareServerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(pty.Valid()); }

    Bytes Ask(uint16_t message, const Bytes &data, uint32_t ms = kSoonMs)
    {
        return client.Ask(serverDisp.Port(), message, data, ms);
    }
    uint16_t ResultOf(uint16_t message, const Bytes &data)
    {
        const Bytes reply = Ask(message, data);
        EXPECT_FALSE(reply.empty()) << "message " << message << ": no reply";
        return static_cast<uint16_t>(NetField(reply, kHeadResult));
    }
    bool Served(int port)
    {
        tagServDev served;
        return service->LookupServStruByPort(port, served) == 1;
    }

    kit::SimLine<kestsim::ScriptedPeer> farEnd{plat::SerialPortKind::COM, kServedPort};
    kestsim::PtyPair &pty = farEnd.Pty();
    kestsim::ScriptedPeer &device = farEnd.Peer();
    ActiveDisp serverDisp{"ShareServerWire"};
    ActiveService service;
    LogProbe log{"LOG_ERROR", LOG_MODE_EXACT};
    RawProcess client;
};

TEST_F(ShareServerTest, RepliesAreByteExactAndTheLineFollowsTheClientsSettings)
{
    const Bytes reply = Ask(1, OpenRequest(kServedPort));
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(NetField(reply, kHeadService), 3u);
    EXPECT_EQ(NetField(reply, kHeadMessage), 38u);
    EXPECT_EQ(NetField(reply, kHeadReplyBox), 201u) << "the box the request named";
    EXPECT_EQ(NetField(reply, kHeadResult), 1u);
    EXPECT_EQ(NetField(reply, kHeadSourcePort), serverDisp.Port());
    EXPECT_EQ(IpAt(reply, kHeadDestinationIp), (Bytes{127, 0, 0, 1}));
    EXPECT_EQ(NetField(reply, kHeadDestinationPort), client.Port());
    EXPECT_EQ(NetField(reply, 24, 8), 0u);
    EXPECT_TRUE(NetData(reply).empty());

    // The line runs with the client's settings, on the served port number.
    termios line{};
    ASSERT_EQ(tcgetattr(pty.SlaveFd(), &line), 0);
    EXPECT_EQ(cfgetospeed(&line), B19200);
    EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB), tcflag_t{CSTOPB});
    tagServDev served;
    ASSERT_EQ(service->LookupServStruByPort(kServedPort, served), 1);
    EXPECT_EQ(served.clientAddr.ip, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(served.clientAddr.port, client.Port()) << "the source of the request's head";
    EXPECT_EQ(served.nClientPort, 99);

    ASSERT_TRUE(client.Send(serverDisp.Port(), 3, 0, PortAndBuffer(kServedPort, ToBytes("xyz"))));
    ASSERT_TRUE(device.WaitForBytes(3, kSoonMs));
    EXPECT_EQ(device.Received(), ToBytes("xyz"));

    // What the line receives goes to the client, one-way, under its own port number.
    ASSERT_TRUE(device.Send(ToBytes("pong")));
    const Bytes data = client.NextOf(6);
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(NetField(data, kHeadService), 35u);
    EXPECT_EQ(NetField(data, kHeadReplyBox), 0u);
    EXPECT_EQ(NetField(data, kHeadDestinationPort), client.Port());
    EXPECT_EQ(NetData(data), PortAndBuffer(kClientPort, ToBytes("pong")));

    EXPECT_EQ(ResultOf(7, Le32(kServedPort)), 1);
    EXPECT_EQ(ResultOf(7, Le32(kOtherPort)), 0);
    EXPECT_EQ(ResultOf(5, Concat({Le32(kServedPort), Le32(1)})), 1);
    EXPECT_EQ(ResultOf(5, Concat({Le32(kOtherPort), Le32(1)})), 0);

    const Bytes read = Ask(4, Le32(kServedPort));
    EXPECT_EQ(NetField(read, kHeadResult), 1u);
    const Bytes readData = NetData(read);
    EXPECT_EQ(readData.size(), 4 + NetField(readData, 0, 4)) << "a buffer of what was read";
    const Bytes unread = Ask(4, Le32(kOtherPort));
    EXPECT_EQ(NetField(unread, kHeadResult), 0u);
    EXPECT_TRUE(NetData(unread).empty());

    EXPECT_EQ(ResultOf(2, Le32(kServedPort)), 1);
    EXPECT_FALSE(Served(kServedPort));
    EXPECT_EQ(CSerialDevA::GetByPort(kServedPort), nullptr);
}

TEST_F(ShareServerTest, RequestsThatCannotBeServedAreRefusedOrDropped)
{
    ASSERT_EQ(ResultOf(1, OpenRequest(kServedPort)), 1);
    EXPECT_EQ(ResultOf(1, OpenRequest(kServedPort)), 0) << "held for a client already";
    EXPECT_EQ(ResultOf(1, OpenRequest(kOtherPort)), 0) << "no device";
    EXPECT_EQ(ResultOf(1, OpenRequest(0)), 0);

    // Values missing: no reply.
    EXPECT_TRUE(Ask(1, Le32(kOtherPort), 300).empty());
    EXPECT_TRUE(Ask(1, OpenRequest(kOtherPort, Bytes(13, 0)), 300).empty()) << "13 setting bytes";
    EXPECT_TRUE(Ask(1, OpenRequest(kOtherPort, Bytes(15, 0)), 300).empty()) << "15 setting bytes";
    EXPECT_TRUE(Ask(4, Bytes{1, 0}, 300).empty());
    EXPECT_TRUE(Ask(9, Le32(kServedPort), 300).empty()) << "no such message";
    // A buffer announcing more bytes than the packet holds.
    EXPECT_TRUE(client.Send(serverDisp.Port(), 3, 0,
                            Concat({Le32(kServedPort), Le32(100), ToBytes("short")})));

    // A write for a line that is not served, even one the serving process has open.
    ASSERT_TRUE(client.Send(serverDisp.Port(), 3, 0, PortAndBuffer(kOtherPort, ToBytes("no"))));
    ASSERT_TRUE(log.WaitFor(1, "SerialServ Recv a invalid Write Data"));
    EXPECT_EQ(ResultOf(2, Le32(kServedPort)), 1);
    TestProtocol local(kServedPort);
    ASSERT_EQ(local.DevOpen(), 1);
    ASSERT_TRUE(client.Send(serverDisp.Port(), 3, 0, PortAndBuffer(kServedPort, ToBytes("no"))));
    EXPECT_EQ(ResultOf(4, Le32(kServedPort)), 0);
    EXPECT_EQ(ResultOf(5, Concat({Le32(kServedPort), Le32(3)})), 0);
    ASSERT_TRUE(log.WaitFor(2, "SerialServ Recv a invalid Write Data"));
    EXPECT_TRUE(device.Received().empty());
}

TEST_F(ShareServerTest, AWriteLongerThanOneBlockIsCut)
{
    ASSERT_EQ(ResultOf(1, OpenRequest(kServedPort)), 1);
    const Bytes block = Pattern(1500);
    ASSERT_TRUE(client.Send(serverDisp.Port(), 3, 0, PortAndBuffer(kServedPort, block)));
    ASSERT_TRUE(device.WaitForBytes(1024, kSoonMs));
    EXPECT_EQ(ResultOf(7, Le32(kServedPort)), 1); // handled after the write
    EXPECT_EQ(device.Received(), Bytes(block.begin(), block.begin() + 1024));
}

class ShareServerClockTest : public ShareServerTest {
protected:
    plat::ScopedTestClock clock;
};

TEST_F(ShareServerClockTest, ASilentClientKeepsItsLineUntilAnOpenAfterThirtySeconds)
{
    ASSERT_EQ(ResultOf(1, OpenRequest(kServedPort)), 1);
    plat::TestClock::Advance(30000);
    EXPECT_EQ(ResultOf(1, OpenRequest(kOtherPort)), 0);
    EXPECT_TRUE(Served(kServedPort)) << "silent for 30000 ms, not more";

    plat::TestClock::Advance(1);
    EXPECT_TRUE(Served(kServedPort)) << "only an open sweeps";
    EXPECT_EQ(ResultOf(1, OpenRequest(kOtherPort)), 0);
    EXPECT_FALSE(Served(kServedPort));
    EXPECT_EQ(CSerialDevA::GetByPort(kServedPort), nullptr);
}

} // namespace
