// COM ports over pseudo-terminals found through the port resolver: bytes both ways, bursts,
// hang-ups, closes while the receive thread waits or delivers, one port object per number,
// bounded writes, reads, the half-duplex gap, the settings lookup and the kinds tried.
#include "devext/device/CSerialDevA.h"
#include "devext/device/CSerial_M422.h"
#include "devext/device/CSerial_RS232.h"
#include "platform/SerialLine.h"
#include "platform/TimeSource.h"
#include "KestLib20/RtcArray.h"
#include "tests/serial/SerialTestKit.h"

#include <gtest/gtest.h>

#include <future>
#include <termios.h>

using namespace serialtest;
using kestsim::PtyPair;
using kestsim::ScriptedPeer;

namespace {

using ComPort = PtyLineTest<plat::SerialPortKind::COM, 41>;

int Write(CSerialIO &io, const Bytes &bytes)
{
    return io.DevWrite(reinterpret_cast<const char *>(bytes.data()),
                       static_cast<int>(bytes.size()));
}

} // namespace

TEST_F(ComPort, EveryByteValuePassesUnchangedBothWays)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    const auto port = CSerialDevA::GetByPort(kPort);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->IsKindOf(CSerial_RS232::GetClassID()));
    EXPECT_EQ(std::string(port->GetDevName()), "DEV_COM41");

    const Bytes out = Sequence(256, 0);
    EXPECT_EQ(Write(protocol, out), 1);
    ASSERT_TRUE(peer.WaitForBytes(out.size(), kSoonMs));
    EXPECT_EQ(peer.Received(), out);

    const Bytes in = Sequence(256, 0x80);
    ASSERT_TRUE(peer.Send(in));
    ASSERT_TRUE(protocol.WaitForBytes(in.size()));
    EXPECT_EQ(protocol.Received(), in);
    for (int p : protocol.Ports()) EXPECT_EQ(p, kPort);

    EXPECT_EQ(protocol.DevClose(), 1);
    EXPECT_EQ(CSerialDevA::GetByPort(kPort), nullptr);
}

TEST(ComPortObject, NamesFollowTheOpenAndTheClose)
{
    PtyPair pty;
    pty.Bind(plat::SerialPortKind::COM, 12);
    CSerial_RS232 port;
    EXPECT_EQ(std::string(port.GetDevName()), "DEV_COM_UNOPEN");
    EXPECT_EQ(std::string(port.GetTypeID()), "COM");
    COM_SETTING setting;
    setting.nPort = 12;
    setting.nParity = 5;
    port.SetSetting(setting);
    EXPECT_EQ(port.DevOpen(), 0) << "no such parity";
    setting.nParity = COM_PARITY_NONE;
    port.SetSetting(setting);
    ASSERT_EQ(port.DevOpen(), 1);
    EXPECT_EQ(std::string(port.GetDevName()), "DEV_COM12");
    EXPECT_EQ(port.DevIsOpen(), 1);
    EXPECT_EQ(port.DevOpen(), 1);

    EXPECT_EQ(port.DevClose(), 1);
    EXPECT_EQ(std::string(port.GetDevName()), "DEV_COM_UNKNOWN");
    EXPECT_EQ(port.DevIsOpen(), 0);
    EXPECT_EQ(port.DevBreakWH(), 0) << "COM ports have no break frame";
}

TEST_F(ComPort, BurstsOver1024BytesArriveWholeInBlocksOfAtMost1024)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    const Bytes burst = Sequence(5000, 3);
    ASSERT_TRUE(peer.Send(burst));
    ASSERT_TRUE(protocol.WaitForBytes(burst.size()));
    EXPECT_EQ(protocol.Received(), burst) << "nothing lost between reads";
    const auto blocks = protocol.Blocks();
    EXPECT_GE(blocks.size(), 5u);
    for (int n : blocks) EXPECT_LE(n, 1024);
}

TEST_F(ComPort, AHangUpEndsTheReaderWithoutSpinning)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    ASSERT_TRUE(peer.Send(kestsim::ToBytes("last")));
    ASSERT_TRUE(protocol.WaitForBytes(4));
    peer.HangUp();
    EXPECT_LT(CpuMsOver(300), 60.0) << "a reader polling a hung-up line burns the whole time";
    auto start = Clock::now();
    EXPECT_EQ(protocol.DevWrite("x", 1), 0);
    EXPECT_EQ(protocol.DevClose(), 1);
    EXPECT_LT(MsSince(start), 1000);
}

TEST_F(ComPort, ACloseWhileTheReaderWaitsIsPromptAndFreesTheLine)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    auto start = Clock::now();
    EXPECT_EQ(protocol.DevClose(), 1);
    EXPECT_LT(MsSince(start), 500);
    // The line is free again at once: the reader has ended and its descriptor is closed.
    plat::SerialLine line;
    EXPECT_TRUE(line.Open(pty.SlavePath()));
}

TEST_F(ComPort, ACloseDuringADeliveryGivesTheReaderUpAndNothingIsDeliveredAfter)
{
    HeldDelivery held(protocol);
    ASSERT_EQ(protocol.DevOpen(), 1);
    ASSERT_TRUE(peer.Send(kestsim::ToBytes("a")));
    ASSERT_TRUE(held.WaitEntered());
    auto start = Clock::now();
    EXPECT_EQ(protocol.DevClose(), 1);
    const long closeMs = MsSince(start);
    EXPECT_GE(closeMs, 900) << "the close waits for the reader, with a bound";
    EXPECT_LT(closeMs, 3000);
    held.Release();
    ASSERT_TRUE(peer.Send(kestsim::ToBytes("b")));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(protocol.Received(), kestsim::ToBytes("a"));
}

TEST_F(ComPort, ASecondOpenOfTheNumberGivesNullWithoutTouchingTheLine)
{
    ASSERT_EQ(protocol.DevOpen(), 1);
    COM_SETTING other = protocol.GetSetting();
    other.nBaud = 38400;
    EXPECT_EQ(CSerialDevA::OpenSerialPort(other, CSerial_RS232::GetClassID()), nullptr);
    EXPECT_EQ(CSerialDevA::OpenSerialPort(other, nullptr), nullptr) << "no other kind either";
    termios t{};
    ASSERT_EQ(tcgetattr(pty.SlaveFd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_TRUE(peer.Received().empty());
    EXPECT_EQ(Write(protocol, Frame("still mine")), 1);
    ASSERT_TRUE(peer.WaitForContains(Frame("still mine"), kSoonMs));
}

TEST(ComPortWrite, AWriteTheLineCannotTakeGives0WithinItsBound)
{
    PtyPair pty; // nobody reads the far end
    pty.Bind(plat::SerialPortKind::COM, 42);
    CFrameProtocol protocol(42, CSerial_RS232::GetClassID());
    ASSERT_EQ(protocol.DevOpen(), 1);
    FillOutput(pty);
    auto start = Clock::now();
    EXPECT_EQ(protocol.DevWrite("hello", 5), 0);
    EXPECT_LT(MsSince(start), 3000) << "its bound is about one second";
}

TEST_F(ComPort, AReadTakesWhatWaitsUpToItsBuffer)
{
    HeldDelivery held(protocol); // the receive thread stays away from the line meanwhile
    ASSERT_EQ(protocol.DevOpen(), 1);
    ASSERT_TRUE(peer.Send(kestsim::ToBytes("a")));
    ASSERT_TRUE(held.WaitEntered());
    ASSERT_TRUE(peer.Send(kestsim::ToBytes("bcdef")));
    ASSERT_TRUE(WaitForInput(pty, 5));
    char buffer[8] = {};
    int length = 3;
    EXPECT_EQ(protocol.DevRead(buffer, length), 3);
    EXPECT_EQ(length, 3);
    EXPECT_EQ(std::string(buffer, 3), "bcd");
    length = sizeof buffer;
    EXPECT_EQ(protocol.DevRead(buffer, length), 2);
    EXPECT_EQ(std::string(buffer, 2), "ef");
    held.Release();
    protocol.DevClose(); // deliveries end before the held delivery's state goes
}

TEST_F(ComPort, AHalfDuplexLineSpacesWritesByTheGap)
{
    plat::ScopedTestClock clock;
    COM_SETTING setting = protocol.GetSetting();
    setting.nHalfTime = 100;
    protocol.SetLine(setting);
    ASSERT_EQ(protocol.DevOpen(), 1);
    EXPECT_EQ(Write(protocol, Frame("1")), 1) << "no write before it: no wait";
    auto second = std::async(std::launch::async, [&] { return Write(protocol, Frame("2")); });
    // Checked, not asserted: the clock must still move below, or the write waits for ever.
    EXPECT_TRUE(plat::TestClock::WaitForTimedWaiters(1));
    EXPECT_EQ(second.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_FALSE(peer.WaitForContains(Frame("2"), 50));
    plat::TestClock::Advance(100);
    EXPECT_EQ(second.get(), 1);
    ASSERT_TRUE(peer.WaitForContains(Frame("2"), kSoonMs));

    plat::TestClock::Advance(150);
    EXPECT_EQ(Write(protocol, Frame("3")), 1) << "the gap has passed: no wait";
}

TEST(ComPortSetting, APortWithoutAVariableIsLookedUpInTheSerialPortsSetting)
{
    PtyPair pty;
    ScriptedPeer peer(pty);
    ScopedEnv unset("KEST_COM47", nullptr);
    MountedSettings settings("/etc/tvx", "[SerialPorts]\r\nCOM47=" + pty.SlavePath() + "\r\n");
    CFrameProtocol protocol(47, CSerial_RS232::GetClassID());
    ASSERT_EQ(protocol.DevOpen(), 1);
    EXPECT_EQ(Write(protocol, Frame("found")), 1);
    EXPECT_TRUE(peer.WaitForContains(Frame("found"), kSoonMs));
}

TEST(PortKinds, TheRequestedKindIsTriedFirstThenEveryKindInTreeOrder)
{
    PtyPair com;
    com.Bind(plat::SerialPortKind::COM, 48);
    ScopedEnv noBoardPort("KEST_SIO48", nullptr);
    COM_SETTING setting;
    setting.nPort = 48;
    // The kind OpenSerialPort gives for `asked`.
    auto kindFor = [&](iRtc *asked) -> iRtc * {
        CSerialDevA *port = CSerialDevA::OpenSerialPort(setting, asked);
        if (!port) return nullptr;
        EXPECT_EQ(CSerialDevA::GetByPort(48).get(), port);
        iRtc *kind = port->GetObjectRtc();
        port->Suicide(); // closes it
        EXPECT_EQ(CSerialDevA::GetByPort(48), nullptr);
        return kind;
    };

    {
        PtyPair board;
        board.Bind(plat::SerialPortKind::SIO, 48);
        EXPECT_EQ(kindFor(CSerial_M422::GetClassID()), CSerial_M422::GetClassID());
        EXPECT_EQ(kindFor(CSerial_RS232::GetClassID()), CSerial_RS232::GetClassID());
        // Without a kind of its own: the first of the two in the class tree.
        CRtcArray kinds;
        CSerialDevA::GetClassID()->GetTotalSonRtc(&kinds);
        iRtc *first = nullptr;
        for (int32_t i = 0; i < kinds.GetSize() && !first; ++i)
            if (kinds.GetAt(i) == CSerial_M422::GetClassID() ||
                kinds.GetAt(i) == CSerial_RS232::GetClassID())
                first = kinds.GetAt(i);
        EXPECT_EQ(kindFor(nullptr), first);
        EXPECT_EQ(kindFor(CDeviceA::GetClassID()), first) << "not a port kind: every kind";
    }
    // The board port is not there: the asked kind fails and the search goes on.
    EXPECT_EQ(kindFor(CSerial_M422::GetClassID()), CSerial_RS232::GetClassID());
}
