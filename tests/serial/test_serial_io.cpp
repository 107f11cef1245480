// The serial protocol base: its receive buffer, its settings, sharing one open object between
// devices, and the request-and-reply loop over a real line.
#include "devext/device/CSerialDevA.h"
#include "devext/device/CSerialIO.h"
#include "devext/device/CSerial_RS232.h"
#include "tests/model/DeviceTestKit.h"
#include "tests/serial/SerialTestKit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <termios.h>
#include <thread>

using namespace serialtest;
using kestsim::Answer;
using kestsim::PtyPair;
using kestsim::ScriptedPeer;
using ReplyCheck = CSerialIO::ReplyCheck;

namespace {

Bytes Contents(const CSerialIO::CBuffer &buffer)
{
    return Bytes(buffer.begin(), buffer.end());
}

void Fill(CSerialIO::CBuffer &buffer, const Bytes &bytes)
{
    buffer.RemoveAll();
    buffer.Append(bytes.data(), static_cast<int>(bytes.size()));
}

struct ComLine : PtyLine {
    explicit ComLine(int port) : PtyLine(plat::SerialPortKind::COM, port) {}
};

// A protocol whose first delivery takes its bytes in and then holds off its signal until
// released: the signal of bytes that came before a request's try comes after the try began.
class CLateSignal : public CFrameProtocol {
public:
    using CFrameProtocol::CFrameProtocol;
    ~CLateSignal() override { Retire(); }

    int OnRecvData(int port, pointer_t &data) override
    {
        if (m_bHeld.exchange(true)) return CFrameProtocol::OnRecvData(port, data);
        WithBuffer([&](CBuffer &buffer) { buffer.Append(data.data, data.length); });
        fed.set_value();
        release.get_future().wait();
        SignalReply();
        return 1;
    }

    std::promise<void> fed;
    std::promise<void> release;

private:
    std::atomic<bool> m_bHeld{false};
};

size_t Count(const Bytes &haystack, const Bytes &needle)
{
    size_t n = 0;
    for (auto it = haystack.begin();
         (it = std::search(it, haystack.end(), needle.begin(), needle.end())) != haystack.end();
         ++it)
        ++n;
    return n;
}

} // namespace

TEST(ReceiveBuffer, AppendFindDeleteAndDeleteUntilAtTheEdges)
{
    CSerialIO::CBuffer buffer;
    const uint8_t bytes[] = {1, 2, 3};
    buffer.Append(nullptr, 3);
    buffer.Append(bytes, 0);
    EXPECT_EQ(buffer.GetAppendCount(), 0) << "appends of nothing do not count";
    buffer.Append(bytes, 2);
    buffer.Append(bytes + 2, 1);
    EXPECT_EQ(Contents(buffer), (Bytes{1, 2, 3}));
    EXPECT_EQ(buffer.GetAppendCount(), 2);
    buffer.RemoveAll();
    EXPECT_EQ(buffer.GetAppendCount(), 0);

    EXPECT_EQ(buffer.Find(0x00), -1) << "empty";
    const uint8_t stx = 0x02;
    EXPECT_EQ(buffer.DeleteUntil(&stx, 1), 0);

    Fill(buffer, {0x00, 0x11, 0x02, 0x33});
    EXPECT_EQ(buffer.Find(0x00), 0);
    EXPECT_EQ(buffer.Find(0x33), 3);
    EXPECT_EQ(buffer.Find(0x44), -1);
    EXPECT_EQ(buffer.DeleteUntil(&stx, 1), 2);
    EXPECT_EQ(Contents(buffer), (Bytes{0x02, 0x33}));
    EXPECT_EQ(buffer.DeleteUntil(&stx, 1), 0) << "the set's byte already leads";
    EXPECT_EQ(Contents(buffer), (Bytes{0x02, 0x33}));

    Fill(buffer, {0x00, 0x11});
    EXPECT_EQ(buffer.DeleteUntil(&stx, 1), 2) << "no byte of the set: emptied";
    EXPECT_EQ(buffer.GetSize(), 0);

    const uint8_t set[] = {0x33, 0x11};
    Fill(buffer, {0x00, 0x22, 0x11, 0x33});
    EXPECT_EQ(buffer.DeleteUntil(set, 2), 2) << "the first byte of any in the set";
    EXPECT_EQ(Contents(buffer), (Bytes{0x11, 0x33}));
    EXPECT_EQ(buffer.DeleteUntil(set, 0), 2) << "an empty set empties";
    EXPECT_EQ(buffer.GetSize(), 0);

    Fill(buffer, {1, 2, 3, 4});
    buffer.Delete(0);
    buffer.Delete(-3);
    EXPECT_EQ(buffer.GetSize(), 4);
    buffer.Delete(1);
    EXPECT_EQ(Contents(buffer), (Bytes{2, 3, 4}));
    buffer.Delete(10);
    EXPECT_EQ(buffer.GetSize(), 0) << "more than it holds empties it";
}

TEST(ProtocolSettings, KeysAreReadWhileClosedAndOnlyWhenTheyFit)
{
    MountedSettings settings("/etc/serialtest",
                             "[Word]\r\nCOM=7\r\nCOM_Baud=19200\r\nParity=odd\r\n"
                             "[Letter]\r\nParity=O\r\n"
                             "[Space]\r\nParity=Space\r\n"
                             "[TooBig]\r\nCOM=70000\r\nCOM_Baud=115200\r\n"
                             "[Negative]\r\nCOM=-1\r\nCOM_Baud=-9600\r\n"
                             "[Open]\r\nCOM=9\r\nCOM_Baud=38400\r\nParity=E\r\n");
    CFrameProtocol protocol(2, nullptr);
    COM_SETTING s = protocol.GetSetting();
    EXPECT_EQ(s.nPort, 2);
    EXPECT_EQ(s.nDataBits, 8);
    EXPECT_EQ(s.nParity, COM_PARITY_NONE);
    EXPECT_EQ(s.nStopBits, COM_STOPBITS_ONE);
    EXPECT_EQ(s.nBaud, 9600);
    EXPECT_EQ(s.nHalfTime, 0);

    protocol.SetConfig("/etc/serialtest/Word");
    s = protocol.GetSetting();
    EXPECT_EQ(s.nPort, 7);
    EXPECT_EQ(s.nBaud, 19200);
    EXPECT_EQ(s.nParity, COM_PARITY_NONE) << "only an upper-case first letter counts";

    protocol.SetConfig("/etc/serialtest/Letter");
    EXPECT_EQ(protocol.GetSetting().nParity, COM_PARITY_ODD);
    EXPECT_EQ(protocol.GetSetting().nBaud, 19200) << "a missing key keeps its value";

    protocol.SetSettingInfo("/etc/serialtest/Space"); // a null path reads the own setting
    protocol.SetConfig(nullptr);
    EXPECT_EQ(protocol.GetSetting().nParity, COM_PARITY_SPACE);

    for (const char *path : {"/etc/serialtest/TooBig", "/etc/serialtest/Negative"}) {
        protocol.SetConfig(path);
        EXPECT_EQ(protocol.GetSetting().nBaud, 19200) << path << ": not cut into 16 bits";
        EXPECT_EQ(protocol.GetSetting().nPort, 7) << path;
    }

    // While a port object is held nothing changes.
    PtyPair pty;
    pty.Bind(plat::SerialPortKind::COM, 7);
    protocol.SetPortKind(CSerial_RS232::GetClassID());
    ASSERT_EQ(protocol.DevOpen(), 1);
    protocol.SetConfig("/etc/serialtest/Open");
    s = protocol.GetSetting();
    EXPECT_EQ(s.nPort, 7);
    EXPECT_EQ(s.nBaud, 19200);
    EXPECT_EQ(s.nParity, COM_PARITY_SPACE);
    protocol.DevClose();
    protocol.SetConfig("/etc/serialtest/Open");
    EXPECT_EQ(protocol.GetSetting().nBaud, 38400);
    EXPECT_EQ(protocol.GetSetting().nParity, COM_PARITY_EVEN);
}

// The port number is set and read checked: a number that does not fit changes nothing.
TEST(ProtocolSettings, APortNumberThatDoesNotFitChangesNothing)
{
    MountedSettings settings("/etc/serialport", "[Fits]\r\nCom=12\r\n[TooBig]\r\nCom=65536\r\n"
                                                "[Negative]\r\nCom=-3\r\n");
    CFrameProtocol protocol(5, nullptr);
    const struct {
        int32_t port;
        int result;
        int after;
    } numbers[] = {{65535, 1, 65535}, {65536, 0, 65535}, {-1, 0, 65535}, {0, 1, 0}, {9, 1, 9}};
    for (const auto &n : numbers) {
        EXPECT_EQ(protocol.SetPortNumber(n.port), n.result) << n.port;
        EXPECT_EQ(protocol.GetPortNumber(), n.after) << n.port;
    }
    const struct {
        const char *path;
        int result;
        int after;
    } keys[] = {{"/etc/serialport/TooBig", 0, 9},
                {"/etc/serialport/Negative", 0, 9},
                {"/etc/serialport/Missing", 0, 9},
                {"/etc/serialport/Fits", 1, 12}};
    for (const auto &k : keys) {
        EXPECT_EQ(protocol.ReadPortKey(k.path, "Com"), k.result) << k.path;
        EXPECT_EQ(protocol.GetPortNumber(), k.after) << k.path;
    }
}

TEST(ProtocolSharing, TheNewestOpenObjectOnAPortIsShared)
{
    ComLine a(31), b(32);
    CFrameProtocol closed(31, CSerial_RS232::GetClassID());
    EXPECT_EQ(CSerialIO::GetByActivePort(31), nullptr);
    ASSERT_EQ(a.protocol.DevOpen(), 1);
    EXPECT_EQ(CSerialIO::GetByActivePort(31).get(), &a.protocol)
        << "the closed newer object is passed";
    ASSERT_EQ(b.protocol.DevOpen(), 1);
    b.protocol.SetPortNumber(31); // two open objects that name port 31
    EXPECT_EQ(CSerialIO::GetByActivePort(31).get(), &b.protocol) << "newest first";
    b.protocol.DevClose();
    EXPECT_EQ(CSerialIO::GetByActivePort(31).get(), &a.protocol);
    EXPECT_EQ(closed.DevOpen(), 0) << "port 31 is open in a port object already";
    EXPECT_EQ(CSerialIO::GetByActivePort(31).get(), &a.protocol);

    // Opening an open object touches nothing, whatever its settings now say.
    COM_SETTING faster = a.protocol.GetSetting();
    faster.nBaud = 38400;
    a.protocol.SetLine(faster);
    EXPECT_EQ(a.protocol.DevOpen(), 1);
    termios t{};
    ASSERT_EQ(tcgetattr(a.pty.SlaveFd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
    EXPECT_TRUE(a.peer.Received().empty());

    a.protocol.DevClose();
    EXPECT_EQ(CSerialIO::GetByActivePort(31), nullptr);
    char c = 'x';
    int length = 1;
    EXPECT_EQ(a.protocol.DevWrite(&c, 1), 0) << "a closed object touches nothing";
    EXPECT_EQ(a.protocol.DevRead(&c, length), 0);
    EXPECT_EQ(a.protocol.DevFlush(3), 0);
    EXPECT_EQ(a.protocol.DevBreak(10), 0);
    EXPECT_EQ(a.protocol.DevBreakWH(), 0);
    EXPECT_EQ(a.protocol.DevClose(), 1);
}

TEST(ProtocolSharing, DevicesSharingOneObjectNeverInterleaveTheirFrames)
{
    ComLine line(33);
    ASSERT_EQ(line.protocol.DevOpen(), 1);
    // The second device finds the first one's object instead of opening the port.
    const std::shared_ptr<CSerialIO> shared = CSerialIO::GetByActivePort(33);
    ASSERT_EQ(shared.get(), &line.protocol);

    constexpr int kFrames = 20;
    const Bytes first = Frame(std::string(3000, 'a'));
    const Bytes second = Frame(std::string(3000, 'b'));
    auto writer = [](CSerialIO *io, const Bytes &frame) {
        int written = 0;
        for (int i = 0; i < kFrames; ++i)
            written += io->DevWrite(reinterpret_cast<const char *>(frame.data()),
                                    static_cast<int>(frame.size()));
        return written;
    };
    auto one = std::async(std::launch::async, writer, &line.protocol, first);
    auto two = std::async(std::launch::async, writer, shared.get(), second);
    EXPECT_EQ(one.get(), kFrames);
    EXPECT_EQ(two.get(), kFrames);
    ASSERT_TRUE(line.peer.WaitForBytes(2 * kFrames * first.size(), kSoonMs));
    const Bytes got = line.peer.Received();
    EXPECT_EQ(Count(got, first), static_cast<size_t>(kFrames));
    EXPECT_EQ(Count(got, second), static_cast<size_t>(kFrames));
}

// What a lookup hands out is held: the owner's destruction closes the port, which ends the
// holder's request, and then waits until the holder lets go; no lookup finds it meanwhile. A
// reference the destroying thread holds itself is not waited for.
TEST(ProtocolSharing, ALookedUpObjectIsHeldUntilItsHolderLetsGo)
{
    kit::SimLine<ScriptedPeer> line(plat::SerialPortKind::COM, 36);
    ScriptedPeer &peer = line.Peer();
    peer.When(Frame("Q"), Answer::Silence());
    auto owner = std::make_unique<CFrameProtocol>(36, CSerial_RS232::GetClassID());
    ASSERT_EQ(owner->DevOpen(), 1);
    std::shared_ptr<CSerialIO> held = CSerialIO::GetByActivePort(36);
    ASSERT_EQ(held.get(), owner.get());
    auto &sharer = static_cast<CFrameProtocol &>(*held);
    auto asked = std::async(std::launch::async, [&] { return sharer.Ask(Frame("Q"), 1, 60000); });
    ASSERT_TRUE(peer.WaitForContains(Frame("Q"), kSoonMs));
    std::atomic<bool> destroyed{false};
    auto gone = std::async(std::launch::async, [&] {
        owner.reset();
        destroyed = true;
    });
    EXPECT_EQ(asked.get(), 0) << "the close ended the request";
    EXPECT_EQ(CSerialIO::GetByActivePort(36), nullptr) << "withdrawn before it closed";
    EXPECT_FALSE(destroyed.load()) << "still held";
    held.reset();
    gone.get();
    EXPECT_TRUE(destroyed.load());

    auto again = std::make_unique<CFrameProtocol>(36, CSerial_RS232::GetClassID());
    ASSERT_EQ(again->DevOpen(), 1);
    std::shared_ptr<CSerialIO> own = CSerialIO::GetByActivePort(36);
    ASSERT_EQ(own.get(), again.get());
    again.reset(); // the destroying thread's own reference: no wait
    own.reset();
    EXPECT_EQ(CSerialIO::GetByActivePort(36), nullptr);
}

TEST(RequestLoop, SplitRepliesGarbageRefusalsAndRetries)
{
    ComLine line(34);
    ASSERT_EQ(line.protocol.DevOpen(), 1);

    // A reply in pieces, after garbage, is gathered and accepted.
    line.peer.When(Frame("Q1"), Answer::Of(Frame("R1")).Split(2, 50).AfterGarbage({0x00, 0x41}));
    EXPECT_EQ(line.protocol.Ask(Frame("Q1"), 2, 1000), 1);
    EXPECT_EQ(line.protocol.Reply(), Frame("R1"));
    EXPECT_GT(line.protocol.ReplyAppends(), 1) << "the reply came in several reads";

    // A refusal ends the request at the first try.
    line.peer.When(Frame("Q2"), Answer::Of(Frame("N")));
    auto refuse = [&] {
        return line.protocol.Reply().at(1) == 'N' ? ReplyCheck::Refuse : ReplyCheck::Accept;
    };
    EXPECT_EQ(line.protocol.Ask(Frame("Q2"), 3, 1000, refuse), 0);
    ASSERT_TRUE(line.peer.WaitSent(kSoonMs));
    EXPECT_EQ(Count(line.peer.Received(), Frame("Q2")), 1u);

    // Another reply than the awaited one makes it try again.
    std::atomic<int> asked{0};
    line.peer.When(kestsim::Contains(Frame("Q3")),
                   [&](const Bytes &) { return Answer::Of(Frame(++asked == 1 ? "X" : "R3")); });
    auto awaited = [&] {
        return line.protocol.Reply().at(1) == 'R' ? ReplyCheck::Accept : ReplyCheck::Retry;
    };
    EXPECT_EQ(line.protocol.Ask(Frame("Q3"), 3, 1000, awaited), 1);
    EXPECT_EQ(asked.load(), 2);
    EXPECT_EQ(line.protocol.Reply(), Frame("R3"));

    // Silence: every try waits its reply time, then the request fails.
    line.peer.When(Frame("Q4"), Answer::Silence());
    auto start = Clock::now();
    EXPECT_EQ(line.protocol.Ask(Frame("Q4"), 2, 200), 0);
    EXPECT_GE(MsSince(start), 400);
    EXPECT_EQ(Count(line.peer.Received(), Frame("Q4")), 2u);
}

TEST(RequestLoop, AClosingPortEndsTheReplyWait)
{
    ComLine line(35);
    ASSERT_EQ(line.protocol.DevOpen(), 1);
    line.peer.When(Frame("Q"), Answer::Silence());
    auto start = Clock::now();
    auto asked =
        std::async(std::launch::async, [&] { return line.protocol.Ask(Frame("Q"), 3, 10000); });
    ASSERT_TRUE(line.peer.WaitForContains(Frame("Q"), kSoonMs));
    EXPECT_EQ(line.protocol.DevClose(), 1);
    EXPECT_EQ(asked.get(), 0);
    EXPECT_LT(MsSince(start), 3000);
}

// A reply that asks to keep waiting: the request writes no further try and waits on, for the
// rest of its wait and of its tries, until a reply it accepts comes or the waits run out.
TEST(RequestLoop, AReplyThatAsksToKeepWaitingIsFollowedByNoFurtherTry)
{
    ComLine line(37);
    ASSERT_EQ(line.protocol.DevOpen(), 1);
    const Bytes done = Frame("R");
    auto awaitDone = [&] {
        const Bytes reply = line.protocol.Reply();
        const bool ends = reply.size() >= done.size() &&
                          std::equal(done.begin(), done.end(), reply.end() - done.size());
        return ends ? ReplyCheck::Accept : ReplyCheck::KeepWaiting;
    };
    struct Case {
        const char *what;
        Answer answer;
        int result;
    };
    Bytes both = Frame("W");
    both.insert(both.end(), done.begin(), done.end());
    const Case cases[] = {
        {"the answer after a note, in pieces", Answer::Of(both).Split(3, 50), 1},
        {"a note and then nothing", Answer::Of(Frame("W")), 0},
    };
    for (const Case &c : cases) {
        line.peer.ClearRules();
        line.peer.When(Frame("Q"), c.answer);
        line.peer.ClearReceived();
        EXPECT_EQ(line.protocol.Ask(Frame("Q"), 3, 300, awaitDone), c.result) << c.what;
        ASSERT_TRUE(line.peer.WaitSent(kSoonMs));
        EXPECT_EQ(Count(line.peer.Received(), Frame("Q")), 1u) << c.what;
    }
}

// Bytes that came before a try was armed, signalled only after it: no reply to the frame,
// which the try wrote after them; the request waits on for its own.
TEST(RequestLoop, ASignalOfBytesFromBeforeTheTryIsNoReply)
{
    PtyPair pty;
    pty.Bind(plat::SerialPortKind::COM, 38);
    ScriptedPeer peer(pty);
    peer.When(Frame("Q"), Answer::Of(Frame("R")));
    CLateSignal protocol(38, CSerial_RS232::GetClassID());
    ASSERT_EQ(protocol.DevOpen(), 1);
    ASSERT_TRUE(peer.Send(Frame("X")));
    protocol.fed.get_future().wait();
    Bytes judged;
    auto asked = std::async(std::launch::async, [&] {
        return protocol.Ask(Frame("Q"), 1, 60000, [&] {
            judged = protocol.Reply();
            return ReplyCheck::Accept;
        });
    });
    ASSERT_TRUE(peer.WaitForContains(Frame("Q"), kSoonMs));
    protocol.release.set_value();
    EXPECT_EQ(asked.get(), 1);
    EXPECT_EQ(judged, Frame("R")) << "judged on the reply to the frame";
}

// Bytes the line received before a try's frame went out answer an earlier frame, however late
// the port hands them on: here the receive thread is busy with other bytes when a late answer
// comes, and takes it up only after the frame was written. It answers nothing of the request;
// a reply behind it in the same block does, and without one the request goes unanswered.
TEST(RequestLoop, BytesReceivedBeforeTheFrameWentOutAreNoReplyToIt)
{
    plat::ScopedTestClock clock;
    struct Case {
        const char *what;
        bool answered;
        int result;
    };
    const Case cases[] = {{"a reply follows them", true, 1}, {"nothing follows them", false, 0}};
    int port = 43;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ComLine line(port++);
        line.peer.When(Frame("Q"), c.answered ? Answer::Of(Frame("R")) : Answer::Silence());
        HeldDelivery busy(line.protocol); // before the receive thread starts
        ASSERT_EQ(line.protocol.DevOpen(), 1);
        ASSERT_TRUE(line.peer.Send(Frame("X")));
        ASSERT_TRUE(busy.WaitEntered());
        const Bytes late = Frame("LATE");
        ASSERT_TRUE(line.peer.Send(late));
        ASSERT_TRUE(WaitForInput(line.pty, static_cast<int>(late.size())));

        Bytes judged;
        auto asked = std::async(std::launch::async, [&] {
            return line.protocol.Ask(Frame("Q"), 1, 1000, [&] {
                judged = line.protocol.Reply();
                return ReplyCheck::Accept;
            });
        });
        const devtest::FinishStepping ends(asked);
        ASSERT_TRUE(line.peer.WaitForContains(Frame("Q"), kSoonMs));
        busy.Release();
        ASSERT_TRUE(devtest::AdvanceUntil(
            [&] {
                return asked.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
            },
            100, 2000));
        EXPECT_EQ(asked.get(), c.result);
        if (c.answered) {
            EXPECT_EQ(judged, Frame("R"));
        }
        EXPECT_EQ(line.protocol.Received().size(), Frame("X").size() + (c.answered ? 3 : 0))
            << "the late answer reached nothing";
        line.protocol.DevClose(); // no delivery reaches the hold once it goes
    }
}

// How a request ended and the tries it began, for each way one ends.
TEST(RequestLoop, ARequestReportsHowItEndedAndItsTries)
{
    using End = CSerialIO::RequestEnd;
    ComLine line(39);
    std::atomic<int> asked{0};
    line.peer.When(Frame("ONE"), Answer::Of(Frame("R")));
    line.peer.When(Frame("NAK"), Answer::Of(Frame("N")));
    line.peer.When(Frame("MUTE"), Answer::Silence());
    line.peer.When(kestsim::Contains(Frame("AGAIN")),
                   [&](const Bytes &) { return Answer::Of(Frame(++asked == 1 ? "X" : "R")); });
    const auto judge = [&] {
        switch (line.protocol.Reply().at(1)) {
        case 'R':
            return ReplyCheck::Accept;
        case 'N':
            return ReplyCheck::Refuse;
        default:
            return ReplyCheck::Retry;
        }
    };
    struct Case {
        const char *frame;
        bool open;
        int answered;
        End end;
        int tries;
    };
    const Case cases[] = {
        {"ONE", true, 1, End::Accepted, 1},     {"NAK", true, 0, End::Refused, 1},
        {"MUTE", true, 0, End::Unanswered, 3},  {"AGAIN", true, 1, End::Accepted, 2},
        {"ONE", false, 0, End::WriteFailed, 1},
    };
    for (const Case &c : cases) {
        if (c.open)
            ASSERT_EQ(line.protocol.DevOpen(), 1);
        else
            line.protocol.DevClose();
        const Bytes frame = Frame(c.frame);
        CSerialIO::RequestResult result;
        result.tries = -1;
        EXPECT_EQ(line.protocol.Request(reinterpret_cast<const char *>(frame.data()),
                                        static_cast<int>(frame.size()), 3, 150, 10,
                                        CSerialIO::TryHooks({}, judge), &result),
                  c.answered)
            << c.frame;
        EXPECT_EQ(result.end, c.end) << c.frame;
        EXPECT_EQ(result.tries, c.tries) << c.frame;
    }
}

// A stop cuts a request short wherever it waits; one set before the request writes nothing.
// A request without a frame only listens: it writes nothing and takes what the device sends.
TEST(RequestLoop, AStopEndsARequestAndAListeningRequestWritesNothing)
{
    using End = CSerialIO::RequestEnd;
    ComLine line(40);
    ASSERT_EQ(line.protocol.DevOpen(), 1);
    line.peer.When(Frame("Q"), Answer::Silence());
    const Bytes frame = Frame("Q");
    const auto ask = [&](const plat::Event &stop, const char *bytes, int length,
                         CSerialIO::ReplyTest test = {}) {
        CSerialIO::RequestResult result;
        line.protocol.Request(bytes, length, 3, 10000, 10, CSerialIO::TryHooks({}, test, {}, &stop),
                              &result);
        return result;
    };
    const auto *bytes = reinterpret_cast<const char *>(frame.data());
    const int length = static_cast<int>(frame.size());

    plat::Event already(true, true);
    const CSerialIO::RequestResult early = ask(already, bytes, length);
    EXPECT_EQ(early.end, End::Closed);
    EXPECT_EQ(early.tries, 0);

    plat::Event stop(true, false);
    const auto start = Clock::now();
    auto waiting = std::async(std::launch::async, [&] { return ask(stop, bytes, length); });
    ASSERT_TRUE(line.peer.WaitForContains(frame, kSoonMs));
    stop.Set();
    ASSERT_EQ(waiting.wait_for(std::chrono::milliseconds(kSoonMs)), std::future_status::ready);
    EXPECT_EQ(waiting.get().end, End::Closed);
    EXPECT_LT(MsSince(start), 5000);
    EXPECT_EQ(Count(line.peer.Received(), frame), 1u) << "early: nothing written";

    // Listening: a note first (keep waiting), then the awaited frame, both sent unasked.
    line.peer.ClearReceived();
    plat::Event never(true, false);
    const Bytes done = Frame("R");
    const auto awaited = [&] {
        const Bytes reply = line.protocol.Reply();
        const bool ends = reply.size() >= done.size() &&
                          std::equal(done.begin(), done.end(), reply.end() - done.size());
        return ends ? ReplyCheck::Accept : ReplyCheck::KeepWaiting;
    };
    auto listening =
        std::async(std::launch::async, [&] { return ask(never, nullptr, 0, awaited); });
    ASSERT_TRUE(WaitUntil([&] {
        line.peer.Send(Frame("W"));
        return listening.wait_for(std::chrono::milliseconds(20)) == std::future_status::ready ||
               line.protocol.ReplyAppends() > 0;
    }));
    ASSERT_TRUE(line.peer.Send(done));
    ASSERT_EQ(listening.wait_for(std::chrono::milliseconds(kSoonMs)), std::future_status::ready);
    const CSerialIO::RequestResult heard = listening.get();
    EXPECT_EQ(heard.end, End::Accepted);
    EXPECT_EQ(heard.tries, 1);
    EXPECT_TRUE(line.peer.Received().empty()) << "a listening request writes nothing";
}
