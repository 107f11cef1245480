// Board ports through the board library loaded by name: the ports and settings it refuses,
// the codes that reach the line, data both ways with writes from inside the receive, short
// writes, flushing on both kinds of port, the break frame, and receive deliveries that hold no
// lock.
#include "devext/device/CSerialDevA.h"
#include "devext/device/CSerial_M422.h"
#include "devext/device/CSerial_RS232.h"
#include "platform/TimeSource.h"
#include "tests/serial/SerialTestKit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <termios.h>
#include <unistd.h>

using namespace serialtest;
using kestsim::PtyPair;
using kestsim::ScriptedPeer;

namespace {

COM_SETTING Line(int port, uint16_t baud = 9600, uint16_t parity = COM_PARITY_NONE,
                 uint16_t stopBits = COM_STOPBITS_ONE, uint16_t dataBits = 8)
{
    COM_SETTING s;
    s.nPort = static_cast<uint16_t>(port);
    s.nBaud = baud;
    s.nParity = parity;
    s.nStopBits = stopBits;
    s.nDataBits = dataBits;
    return s;
}

int OpenBoardPort(CSerial_M422 &port, const COM_SETTING &setting)
{
    port.SetSetting(setting);
    return port.DevOpen();
}

termios LineState(const PtyPair &pty)
{
    termios t{};
    tcgetattr(pty.SlaveFd(), &t);
    return t;
}

using BoardPort = PtyLineTest<plat::SerialPortKind::SIO, 52>;

} // namespace

TEST(BoardPortOpen, PortsAndSettingsWithoutACodeAreRefused)
{
    PtyPair pty;
    pty.Bind(plat::SerialPortKind::SIO, 51);
    PtyPair last;
    last.Bind(plat::SerialPortKind::SIO, 64);
    {
        CSerial_M422 port;
        EXPECT_EQ(OpenBoardPort(port, Line(0)), 0);
        EXPECT_EQ(OpenBoardPort(port, Line(64)), 0) << "the table has 63 ports";
        EXPECT_EQ(OpenBoardPort(port, Line(51, 14400)), 0) << "no baud code";
        EXPECT_EQ(OpenBoardPort(port, Line(51, 9600, 5)), 0) << "no parity code";
        EXPECT_EQ(OpenBoardPort(port, Line(51, 9600, 0, 3)), 0) << "no stop-bit code";
        EXPECT_EQ(OpenBoardPort(port, Line(51, 9600, 0, 0, 9)), 0) << "no data-bit code";
        // 7200 has a code, but no line runs at it: the library refuses the setting and the
        // port is closed again.
        EXPECT_EQ(OpenBoardPort(port, Line(51, 7200)), 0);
        EXPECT_EQ(std::string(port.GetDevName()), "DEV_COM_UNOPEN");
        ASSERT_EQ(OpenBoardPort(port, Line(51)), 1);
        EXPECT_EQ(std::string(port.GetDevName()), "DEV_COM51");

        CSerial_M422 second;
        EXPECT_EQ(OpenBoardPort(second, Line(51)), 0) << "open in this process already";
        EXPECT_EQ(port.DevClose(), 1);
        EXPECT_EQ(std::string(port.GetDevName()), "DEV_COM_UNKNOWN");
        EXPECT_EQ(OpenBoardPort(second, Line(51)), 1) << "and free again after the close";
    }
    CSerial_M422 closed;
    EXPECT_EQ(closed.DevBreakWH(), 0);
}

TEST(BoardPortOpen, SettingCodesReachTheLine)
{
    PtyPair pty;
    pty.Bind(plat::SerialPortKind::SIO, 54);
    // A pseudo-terminal keeps the speed and the stop-bit, odd and mark/space flags.
    struct Case {
        COM_SETTING setting;
        speed_t speed;
        tcflag_t flags;
    };
    const Case cases[] = {
        {Line(54, 38400, COM_PARITY_ODD), B38400, PARODD},
        {Line(54, 9600, COM_PARITY_MARK, COM_STOPBITS_TWO), B9600, PARODD | CMSPAR | CSTOPB},
        {Line(54, 57600, COM_PARITY_EVEN), B57600, 0},
        // One and a half stop bits is set as two, and leaves the data bits alone.
        {Line(54, 19200, COM_PARITY_SPACE, COM_STOPBITS_ONE_HALF, 5), B19200, CMSPAR | CSTOPB},
        {Line(54, 1200, COM_PARITY_NONE, COM_STOPBITS_ONE_HALF, 8), B1200, CSTOPB},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.setting.nBaud);
        CSerial_M422 port;
        ASSERT_EQ(OpenBoardPort(port, c.setting), 1);
        termios t = LineState(pty);
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & (CSTOPB | PARODD | CMSPAR), c.flags);
    }
}

TEST_F(BoardPort, DataBothWaysAndAWriteFromInsideTheReceive)
{
    protocol.onBlock = [this](const Bytes &block) {
        if (std::find(block.begin(), block.end(), 'Q') != block.end()) {
            EXPECT_EQ(protocol.DevWrite("ACK", 3), 1);
        }
    };
    ASSERT_EQ(protocol.DevOpen(), 1);
    const auto port = CSerialDevA::GetByPort(kPort);
    ASSERT_NE(port, nullptr);
    EXPECT_TRUE(port->IsKindOf(CSerial_M422::GetClassID()));

    const Bytes out = Sequence(256, 0);
    EXPECT_EQ(protocol.DevWrite(reinterpret_cast<const char *>(out.data()), 256), 1);
    ASSERT_TRUE(peer.WaitForBytes(256, kSoonMs));
    EXPECT_EQ(peer.Received(), out);
    peer.ClearReceived();

    Bytes burst = Sequence(3000, 0x20);
    std::replace(burst.begin(), burst.end(), static_cast<uint8_t>('Q'), static_cast<uint8_t>('q'));
    ASSERT_TRUE(peer.Send(burst));
    ASSERT_TRUE(protocol.WaitForBytes(burst.size()));
    EXPECT_EQ(protocol.Received(), burst);
    for (int n : protocol.Blocks()) EXPECT_LE(n, 1024);
    for (int p : protocol.Ports()) EXPECT_EQ(p, kPort);

    ASSERT_TRUE(peer.Send(kestsim::ToBytes("Q")));
    EXPECT_TRUE(peer.WaitForContains(kestsim::ToBytes("ACK"), kSoonMs))
        << "written on the callback thread from inside the receive";
    EXPECT_EQ(protocol.DevBreak(5), 1);
}

TEST(BoardPortWrite, AShortWriteGives0)
{
    PtyPair pty; // nobody reads the far end
    pty.Bind(plat::SerialPortKind::SIO, 55);
    CSerial_M422 port;
    ASSERT_EQ(OpenBoardPort(port, Line(55)), 1);
    FillOutput(pty);
    auto start = Clock::now();
    EXPECT_EQ(port.DevWrite("hello", 5), 0);
    EXPECT_LT(MsSince(start), 3000);
}

// Bytes queue on the line behind a delivery that is held; the flush mode's bits name the sides
// on a COM port, while a board port discards both whatever the mode.
TEST(Flush, ModeBitsNameTheSidesOfACOMPortAndABoardPortFlushesBoth)
{
    struct Case {
        plat::SerialPortKind kind;
        int port;
        int leftAfterOutputFlush;
    };
    for (const Case c :
         {Case{plat::SerialPortKind::COM, 56, 5}, Case{plat::SerialPortKind::SIO, 56, 0}}) {
        SCOPED_TRACE(c.kind == plat::SerialPortKind::COM ? "COM" : "board");
        PtyLine line(c.kind, c.port);
        HeldDelivery held(line.protocol);
        ASSERT_EQ(line.protocol.DevOpen(), 1);
        ASSERT_TRUE(line.peer.Send(kestsim::ToBytes("a")));
        ASSERT_TRUE(held.WaitEntered());
        ASSERT_TRUE(line.peer.Send(kestsim::ToBytes("stale")));
        ASSERT_TRUE(WaitForInput(line.pty, 5));
        EXPECT_EQ(line.protocol.DevFlush(2), 1);
        EXPECT_EQ(InputWaiting(line.pty), c.leftAfterOutputFlush);
        EXPECT_EQ(line.protocol.DevFlush(1), 1);
        EXPECT_EQ(InputWaiting(line.pty), 0);
        held.Release();
        // Deliveries end before the held delivery's state goes out of scope.
        line.protocol.DevClose();
    }
}

TEST_F(BoardPort, TheBreakFrameGoesAt9600WithoutParityAndTheLineIsSetBack)
{
    plat::ScopedTestClock clock;
    protocol.SetLine(Line(kPort, 38400, COM_PARITY_ODD));
    ASSERT_EQ(protocol.DevOpen(), 1);
    auto breakFrame = std::async(std::launch::async, [&] { return protocol.DevBreakWH(); });
    // Checked, not asserted: the clock must still move below, or the break waits for ever.
    EXPECT_TRUE(plat::TestClock::WaitForTimedWaiters(1)) << "holds the slow line 50 ms";
    EXPECT_TRUE(peer.WaitForBytes(1, kSoonMs));
    EXPECT_EQ(peer.Received(), Bytes{0xF0});
    termios during = LineState(pty);
    EXPECT_EQ(cfgetospeed(&during), static_cast<speed_t>(B9600));
    EXPECT_EQ(during.c_cflag & PARODD, 0u);
    plat::TestClock::Advance(50);
    EXPECT_EQ(breakFrame.get(), 1);
    termios after = LineState(pty);
    EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B38400));
    EXPECT_EQ(after.c_cflag & PARODD, static_cast<tcflag_t>(PARODD));
}

// A protocol that takes a lock of its own in its receive and writes while holding that lock
// on another thread: the board's deliveries hold no lock that the write needs.
TEST_F(BoardPort, DeliveriesHoldNoLockThatAWriteNeeds)
{
    std::mutex own;
    protocol.onBlock = [&](const Bytes &) { std::lock_guard<std::mutex> lk(own); };
    ASSERT_EQ(protocol.DevOpen(), 1);
    std::atomic<bool> done{false};
    std::thread sender([&] {
        while (!done) {
            peer.Send(Sequence(16));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    auto writes = std::async(std::launch::async, [&] {
        int written = 0;
        for (int i = 0; i < 300; ++i) {
            std::lock_guard<std::mutex> lk(own);
            written += protocol.DevWrite("w", 1);
        }
        return written;
    });
    const bool finished = writes.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    done = true;
    sender.join();
    if (!finished) {
        ADD_FAILURE() << "the writer and the receive deadlocked";
        std::_Exit(1);
    }
    EXPECT_EQ(writes.get(), 300);
    // Deliveries end before the lock they take goes out of scope.
    protocol.DevClose();
}
