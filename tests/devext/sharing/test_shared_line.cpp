// A protocol object using the line of another process end to end: the open through the port
// kinds, bytes to the device and back, requests with replies, long blocks, closing from
// either side, and the opens that cannot be served.
#include "SharedLine.h"

#include "platform/TimeSource.h"

#include <gtest/gtest.h>

using namespace sharetest;
using kestsim::Answer;
using kestsim::ToBytes;

namespace {

class SharedLineTest : public ::testing::Test, protected SharedLine {
protected:
    void SetUp() override { ASSERT_TRUE(pty.Valid()); }
};

TEST_F(SharedLineTest, AProtocolUsesTheLineOfAnotherProcess)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    // Opened by trying every kind: the network port is the one that opens this number.
    ASSERT_NE(protocol.Port(), nullptr);
    EXPECT_EQ(protocol.Port()->GetObjectRtc(), NetKind());
    EXPECT_EQ(protocol.Port()->GetDevName(), "DEV_COM120");
    tagServDev served;
    ASSERT_EQ(service->LookupServStruByPort(kServedPort, served), 1);
    EXPECT_EQ(served.nClientPort, kLocalPort);
    EXPECT_EQ(served.clientAddr.port, clientDisp.Port()) << "the requesting process's dispatcher";
    EXPECT_EQ(served.clientAddr.ip, htonl(INADDR_LOOPBACK));

    const Bytes frame = ToBytes("\x02PLAY\x03");
    ASSERT_EQ(protocol.Write(frame), 1);
    ASSERT_TRUE(device.WaitForBytes(frame.size(), kSoonMs));
    EXPECT_EQ(device.Received(), frame);

    const Bytes status = ToBytes("\x02STATUS\x03");
    ASSERT_TRUE(device.Send(status));
    ASSERT_TRUE(protocol.WaitForBytes(status.size()));
    EXPECT_EQ(protocol.Received(), status);
    for (int port : protocol.Ports()) EXPECT_EQ(port, kLocalPort);

    // The request loop of the protocol base: a remote flush, the write, the reply.
    device.When(ToBytes("\x02POS?\x03"), Answer::Of(ToBytes("\x02POS=12\x03")).Split(3, 20));
    ASSERT_EQ(protocol.Ask(ToBytes("\x02POS?\x03")), 1);
    EXPECT_EQ(protocol.Reply(), ToBytes("\x02POS=12\x03"));
}

TEST_F(SharedLineTest, BlocksLongerThanOneMessageArriveWholeBothWays)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    const Bytes out = Pattern(3000);
    device.ClearReceived();
    ASSERT_EQ(protocol.Write(out), 1);
    ASSERT_TRUE(device.WaitForBytes(out.size(), kSoonMs));
    EXPECT_EQ(device.Received(), out);

    const Bytes in = Pattern(3000, 7);
    ASSERT_TRUE(device.Send(in));
    ASSERT_TRUE(protocol.WaitForBytes(in.size()));
    EXPECT_EQ(protocol.Received(), in);
}

TEST_F(SharedLineTest, ClosingReleasesTheLineOnTheServingSide)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    ASSERT_EQ(protocol.DevClose(), 1);
    tagServDev served;
    EXPECT_EQ(service->LookupServStruByPort(kServedPort, served), 0);
    EXPECT_EQ(CSerialDevA::GetByPort(kServedPort), nullptr);

    {
        // The serving process uses its line itself: an open from the network is refused.
        TestProtocol local(kServedPort);
        ASSERT_EQ(local.DevOpen(), 1);
        EXPECT_EQ(protocol.DevOpen(), 0);
        EXPECT_EQ(CSerialDevA::GetByPort(kLocalPort), nullptr);
    }
    EXPECT_EQ(protocol.DevOpen(), 1) << "free again";
}

TEST_F(SharedLineTest, TheServingSideClosingTheLineWhileShared)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    ASSERT_EQ(service->CloseSharedSerialPort(kServedPort), 1);
    EXPECT_EQ(CSerialDevA::GetByPort(kServedPort), nullptr);

    // Writes go nowhere, and the serving side says so in its log.
    EXPECT_EQ(protocol.Write(ToBytes("lost")), 1);
    ASSERT_TRUE(WaitUntil([&] { return Logged("SerialServ Recv a invalid Write Data") == 1; }));
    EXPECT_TRUE(device.Received().empty());

    char buffer[16] = {};
    int length = sizeof buffer;
    EXPECT_EQ(protocol.DevRead(buffer, length), 1);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(Logged("Serial_Net Comm Failure(Read)"), 1u);
    // Ten counted failures leave the port open; the eleventh closes it.
    for (int failure = 2; failure <= 10; ++failure) EXPECT_EQ(protocol.DevFlush(2), 1);
    EXPECT_EQ(Logged("Serial_Net Comm Failure(Flush)"), 9u);
    EXPECT_EQ(protocol.DevIsOpen(), 1);
    EXPECT_EQ(protocol.DevFlush(2), 0);
    EXPECT_EQ(protocol.DevIsOpen(), 0);
    EXPECT_EQ(CSerialDevA::GetByPort(kLocalPort), nullptr);
}

TEST_F(SharedLineTest, OpensThatCannotBeServed)
{
    // No entry for the number: nothing is asked of any server.
    TestProtocol unshared(kLocalPort + 1);
    EXPECT_EQ(unshared.DevOpen(), 0);
    // An entry whose process the kernel does not know.
    TestProtocol unknown(kUnknownServerPort);
    EXPECT_EQ(unknown.DevOpen(), 0);
    // The serving process refuses: it has no device on that number.
    TestProtocol refused(kNoDevicePort);
    EXPECT_EQ(refused.DevOpen(), 0);
    EXPECT_EQ(CSerialDevA::GetByPort(kNoDevicePort), nullptr);
    EXPECT_EQ(protocol.DevOpen(), 1) << "the shared line itself opens";
}

// The heartbeat runs as a patrol task: on the manual clock, installed before anything else.
struct ManualClock {
    plat::ScopedTestClock clock;
};

class SharedLineClockTest : public ::testing::Test, protected ManualClock, protected SharedLine {
protected:
    void SetUp() override { ASSERT_TRUE(pty.Valid()); }
    uint32_t LastHeard()
    {
        tagServDev served;
        return service->LookupServStruByPort(kServedPort, served) ? served.dwLastHeard : 0;
    }
};

TEST_F(SharedLineClockTest, HeartbeatsKeepTheShareAliveOnTheServingSide)
{
    const uint32_t opened = plat::GetTickCount();
    ASSERT_EQ(protocol.DevOpen(), 1);
    ASSERT_EQ(LastHeard(), opened);
    ASSERT_TRUE(AdvanceUntil([&] { return LastHeard() != opened; }, 2000));

    // A minute on, an open of another line sweeps the silent ones: this one was heard.
    ASSERT_TRUE(AdvanceUntil([&] { return plat::TickElapsed(opened) >= 60000; }, 61000));
    EXPECT_LE(plat::TickElapsed(LastHeard()), 5600u);
    TestProtocol refused(kNoDevicePort);
    EXPECT_EQ(refused.DevOpen(), 0);
    EXPECT_NE(LastHeard(), 0u);
    const Bytes frame = ToBytes("\x02STILL\x03");
    ASSERT_EQ(protocol.Write(frame), 1);
    EXPECT_TRUE(device.WaitForContains(frame, kSoonMs));
    EXPECT_EQ(Logged("Serial_Net Comm Failure(Heart)"), 0u);
}

TEST(SharedLineWithoutService, ANumberOfNoLineDoesNotOpen)
{
    TestProtocol protocol(SharedLine::kLocalPort);
    EXPECT_EQ(protocol.DevOpen(), 0);
}

} // namespace
