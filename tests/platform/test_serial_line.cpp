// Serial lines over real pseudo-terminals: byte-exact raw transfer both ways, chunking of the
// receive thread, hang-up, bounded stops, writes and reads, exclusive open, settings, break;
// and the port resolver.
#include "platform/Process.h"
#include "platform/SerialLine.h"
#include "platform/SerialPortResolver.h"
#include "platform/TimeSource.h"
#include "tests/sim/ScriptedPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <future>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace plat;
using kestsim::Answer;
using kestsim::Bytes;
using kestsim::PtyPair;
using kestsim::ScriptedPeer;

namespace {

// Real-time bound for things that should happen at once; generous for loaded sanitizer runs.
constexpr uint32_t kSoon = 5000;

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

Bytes Sequence(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return b;
}

// What a receive thread delivers, as chunks and as one stream.
class Delivered {
public:
    SerialLine::DataHandler Data()
    {
        return [this](const uint8_t *data, size_t n) {
            std::lock_guard<std::mutex> lk(m_);
            chunks_.push_back(n);
            bytes_.insert(bytes_.end(), data, data + n);
            cv_.notify_all();
        };
    }
    SerialLine::HangUpHandler HangUp()
    {
        return [this] {
            std::lock_guard<std::mutex> lk(m_);
            ++hangUps_;
            cv_.notify_all();
        };
    }
    bool WaitBytes(size_t n, uint32_t ms = kSoon)
    {
        std::unique_lock<std::mutex> lk(m_);
        return cv_.wait_for(lk, std::chrono::milliseconds(ms), [&] { return bytes_.size() >= n; });
    }
    bool WaitHangUp(uint32_t ms = kSoon)
    {
        std::unique_lock<std::mutex> lk(m_);
        return cv_.wait_for(lk, std::chrono::milliseconds(ms), [&] { return hangUps_ > 0; });
    }
    Bytes bytes() const
    {
        std::lock_guard<std::mutex> lk(m_);
        return bytes_;
    }
    std::vector<size_t> chunks() const
    {
        std::lock_guard<std::mutex> lk(m_);
        return chunks_;
    }
    int hangUps() const
    {
        std::lock_guard<std::mutex> lk(m_);
        return hangUps_;
    }

private:
    mutable std::mutex m_;
    std::condition_variable cv_;
    std::vector<size_t> chunks_;
    Bytes bytes_;
    int hangUps_ = 0;
};

termios SlaveAttributes(const PtyPair &pty)
{
    termios t{};
    tcgetattr(pty.SlaveFd(), &t);
    return t;
}

class SerialLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Valid());
        ASSERT_TRUE(line.Open(pty.SlavePath()));
    }

    PtyPair pty;
    ScriptedPeer peer{pty};
    Delivered got;
    SerialLine line; // last: closed before what its handlers use
};

} // namespace

TEST(SerialPortResolver, EnvironmentThenSettingThenDefault)
{
    SetEnv("KEST_COM7", nullptr);
    SetEnv("KEST_SIO7", nullptr);
    EXPECT_EQ(ResolveSerialPort(SerialPortKind::COM, 7), "/dev/ttyS6");
    EXPECT_EQ(ResolveSerialPort(SerialPortKind::SIO, 7), ""); // board ports have no default
    EXPECT_EQ(ResolveSerialPort(SerialPortKind::COM, 0), "");

    std::vector<std::string> asked;
    SetSerialPortSettingsReader([&](const std::string &key, std::string *value) {
        asked.push_back(key);
        if (key == "COM7") *value = "/dev/ttyUSB0";
        if (key == "SIO7") *value = "/dev/ttyMXUSB3";
        return key != "COM8";
    });
    EXPECT_EQ(ResolveSerialPort(SerialPortKind::COM, 7), "/dev/ttyUSB0");
    EXPECT_EQ(ResolveSerialPort(SerialPortKind::SIO, 7), "/dev/ttyMXUSB3");
    // A key that is there but empty counts as not set.
    EXPECT_EQ(ResolveSerialPort(SerialPortKind::COM, 9), "/dev/ttyS8");
    EXPECT_EQ(asked, (std::vector<std::string>{"COM7", "SIO7", "COM9"}));

    SetEnv("KEST_COM7", "/dev/pts/99");
    SetEnv("KEST_SIO7", "");
    EXPECT_EQ(ResolveSerialPort(SerialPortKind::COM, 7), "/dev/pts/99");
    EXPECT_EQ(ResolveSerialPort(SerialPortKind::SIO, 7), "/dev/ttyMXUSB3");

    SetSerialPortSettingsReader(nullptr);
    SetEnv("KEST_COM7", nullptr);
    SetEnv("KEST_SIO7", nullptr);
    EXPECT_EQ(ResolveSerialPort(SerialPortKind::SIO, 7), "");
}

TEST_F(SerialLineTest, EveryByteValuePassesUnchangedBothWays)
{
    // CR, LF, XON, XOFF, ^C and DEL included: raw mode must neither translate nor act on them.
    Bytes all(256);
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);

    ASSERT_TRUE(line.StartReceiver(got.Data()));
    EXPECT_EQ(line.Write(all.data(), all.size(), 1000), all.size());
    ASSERT_TRUE(peer.WaitForBytes(all.size(), kSoon));
    EXPECT_EQ(peer.Received(), all);

    ASSERT_TRUE(peer.Send(all));
    ASSERT_TRUE(got.WaitBytes(all.size()));
    EXPECT_EQ(got.bytes(), all);
}

TEST_F(SerialLineTest, ReplyPiecesArriveInOrderJoinedWithinTheGatherWindow)
{
    // At 300 baud four character times are 133 ms: pieces 10 ms apart join into one chunk.
    // At 9600 baud (5 ms) pieces 100 ms apart arrive one by one.
    SerialSettings slow;
    slow.baud = 300;
    ASSERT_TRUE(line.Apply(slow));
    const Bytes reply = Sequence(12);
    peer.When(kestsim::ToBytes("JOIN"), Answer::Of(reply).Split(3, 10));
    peer.When(kestsim::ToBytes("APART"), Answer::Of(reply).Split(3, 100));
    ASSERT_TRUE(line.StartReceiver(got.Data()));

    ASSERT_EQ(line.Write("JOIN", 4, 1000), 4u);
    ASSERT_TRUE(got.WaitBytes(reply.size()));
    EXPECT_EQ(got.bytes(), reply);
    EXPECT_EQ(got.chunks().size(), 1u);

    ASSERT_TRUE(line.Apply(SerialSettings{}));
    ASSERT_EQ(line.Write("APART", 5, 1000), 5u);
    ASSERT_TRUE(got.WaitBytes(2 * reply.size()));
    Bytes both = reply;
    both.insert(both.end(), reply.begin(), reply.end());
    EXPECT_EQ(got.bytes(), both);
    EXPECT_EQ(got.chunks().size(), 5u);
}

TEST_F(SerialLineTest, BurstsArriveInChunksOfAtMost1024WithNothingLost)
{
    const Bytes burst = Sequence(5000);
    ASSERT_TRUE(line.StartReceiver(got.Data()));
    ASSERT_TRUE(peer.Send(burst));
    ASSERT_TRUE(got.WaitBytes(burst.size()));
    EXPECT_EQ(got.bytes(), burst);
    auto chunks = got.chunks();
    EXPECT_GE(chunks.size(), 5u);
    for (size_t n : chunks) EXPECT_LE(n, SerialLine::kMaxChunk);
}

TEST_F(SerialLineTest, AReadyHandlerThatReadIsCalledAgainAtOnceForBytesThatCameMeanwhile)
{
    // At 50 baud the gather window is 800 ms. Each call reads what waits and has the peer send
    // the next byte before it returns, as a reply arriving during the handler would: the next
    // call must follow at once, not a gather window later.
    SerialSettings slow;
    slow.baud = 50;
    ASSERT_TRUE(line.Apply(slow));
    constexpr int kRounds = 5;
    std::mutex m;
    std::condition_variable cv;
    int calls = 0;
    ASSERT_TRUE(line.StartReadyNotifier(1, [&] {
        uint8_t buf[16];
        line.Read(buf, sizeof buf, 0);
        std::lock_guard<std::mutex> lk(m);
        if (++calls < kRounds && peer.Send(Bytes{static_cast<uint8_t>(calls)})) {
            // Hold on until the byte is readable, so it is there when the handler returns.
            for (int i = 0; i < 500 && line.BytesWaiting() < 1; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        cv.notify_all();
    }));
    auto start = Clock::now();
    ASSERT_TRUE(peer.Send(Bytes{0}));
    std::unique_lock<std::mutex> lk(m);
    bool all = cv.wait_for(lk, std::chrono::milliseconds(kSoon), [&] { return calls >= kRounds; });
    long ms = MsSince(start);
    lk.unlock();
    line.StopReceiver(); // the handler uses this test's locals
    ASSERT_TRUE(all);
    EXPECT_LT(ms, kRounds * 800 / 2) << "a gather window between calls";
}

// The count of what the line received holds the bytes the receive thread has taken before
// its handler is done with them and those still waiting: all that came, whichever thread has
// them now.
TEST_F(SerialLineTest, TheReceivedCountHoldsBytesTakenAndBytesWaiting)
{
    EXPECT_EQ(line.ReceivedCount(), 0u);
    std::promise<void> entered, release;
    std::atomic<bool> first{true};
    ASSERT_TRUE(line.StartReceiver([&](const uint8_t *data, size_t n) {
        if (first.exchange(false)) {
            entered.set_value();
            release.get_future().wait();
        }
        got.Data()(data, n);
    }));
    ASSERT_TRUE(peer.Send(kestsim::ToBytes("AB")));
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::milliseconds(kSoon)),
              std::future_status::ready);
    EXPECT_EQ(line.ReceivedCount(), 2u) << "taken, still in the handler";
    ASSERT_TRUE(peer.Send(kestsim::ToBytes("CDE")));
    const auto start = Clock::now();
    while (line.ReceivedCount() < 5 && MsSince(start) < kSoon)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(line.ReceivedCount(), 5u) << "waiting behind the busy handler";
    release.set_value();
    ASSERT_TRUE(got.WaitBytes(5));
    EXPECT_EQ(line.ReceivedCount(), 5u) << "handed on, still counted once";
    line.Close();
    EXPECT_EQ(line.ReceivedCount(), 0u);
}

TEST_F(SerialLineTest, HangUpIsReportedOnceAndLeavesNothingSpinning)
{
    ASSERT_TRUE(line.StartReceiver(got.Data(), got.HangUp()));
    ASSERT_TRUE(peer.Send(kestsim::ToBytes("last words")));
    ASSERT_TRUE(got.WaitBytes(10));
    peer.HangUp();
    ASSERT_TRUE(got.WaitHangUp());

    timespec before, after;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
    double cpuMs = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
    EXPECT_LT(cpuMs, 60.0); // a thread polling a hung-up line would burn the whole 300 ms
    EXPECT_EQ(got.hangUps(), 1);

    char c = 'x';
    EXPECT_EQ(line.Write(&c, 1, 200), 0u);
    EXPECT_EQ(line.Read(&c, 1, 200), -1);
    auto start = Clock::now();
    line.Close();
    EXPECT_LT(MsSince(start), 500);
}

TEST_F(SerialLineTest, StopsAreBoundedAndNeverWaitForThemselves)
{
    // A receive thread blocked on an idle line ends at once.
    ASSERT_TRUE(line.StartReceiver(got.Data()));
    auto start = Clock::now();
    EXPECT_TRUE(line.StopReceiver());
    EXPECT_LT(MsSince(start), 500);

    // A handler that does not return is given up after the bound; the line still closes.
    std::atomic<bool> release{false};
    std::atomic<bool> returned{false};
    ASSERT_TRUE(line.StartReceiver([&](const uint8_t *, size_t) {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        returned = true;
    }));
    ASSERT_TRUE(peer.Send({1}));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    start = Clock::now();
    EXPECT_FALSE(line.StopReceiver(200));
    EXPECT_LT(MsSince(start), 1000);
    line.Close();
    EXPECT_FALSE(line.IsOpen());
    release = true;
    for (int i = 0; i < 500 && !returned; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(returned.load());

    // Closing from inside the handler returns at once, and nothing more is delivered. The
    // given-up thread held the line until its end, so the reopen may have to wait for that.
    bool reopened = false;
    for (int i = 0; i < 500 && !(reopened = line.Open(pty.SlavePath())); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(reopened);
    std::atomic<int> calls{0};
    std::atomic<long> closeMs{-1};
    ASSERT_TRUE(line.StartReceiver([&](const uint8_t *, size_t) {
        ++calls;
        auto t = Clock::now();
        line.Close();
        closeMs = MsSince(t);
    }));
    ASSERT_TRUE(peer.Send({1}));
    for (int i = 0; i < 2500 && closeMs < 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_GE(closeMs.load(), 0);
    EXPECT_LT(closeMs.load(), 500);
    EXPECT_FALSE(line.IsOpen());
    peer.Send({2, 3});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(calls.load(), 1);
}

TEST_F(SerialLineTest, ASecondOpenOfTheSamePathFails)
{
    SerialLine second;
    EXPECT_FALSE(second.Open(pty.SlavePath()));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EBUSY));
    EXPECT_FALSE(line.Open(pty.SlavePath())); // the same object twice
    line.Close();
    EXPECT_TRUE(second.Open(pty.SlavePath()));

    SerialLine other;
    EXPECT_FALSE(other.Open("/dev/null")); // not a terminal
    EXPECT_FALSE(other.Open("/nonexistent/tty"));
}

TEST_F(SerialLineTest, ALineWithParityOpensAgainAfterAClose)
{
    // A pseudo-terminal drops the parity enable; the line must still open every time, not
    // only while its former settings differ from the new ones.
    line.Close();
    const SerialSettings odd{38400, 8, Parity::Odd, StopBits::One};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(line.Open(pty.SlavePath(), odd));
        EXPECT_TRUE(line.Apply(odd)) << "the same settings again";
        EXPECT_EQ(SlaveAttributes(pty).c_cflag & PARODD, static_cast<tcflag_t>(PARODD));
        line.Close();
    }
}

TEST_F(SerialLineTest, SettingsReachTheLineAndBadOnesAreRefused)
{
    termios t = SlaveAttributes(pty);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP | INPCK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ECHO | ISIG | ICANON | IEXTEN), 0u);
    EXPECT_EQ(t.c_cflag & (CMSPAR | PARODD | CSTOPB), 0u);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));

    // A pseudo-terminal forces 8 data bits without parity enable; it keeps the speed, the
    // stop bits and the odd and mark/space flags, which tell every parity apart.

    struct Case {
        SerialSettings s;
        speed_t speed;
        tcflag_t flags;
    };
    const Case cases[] = {
        {{19200, 7, Parity::Even, StopBits::Two}, B19200, CSTOPB},
        {{38400, 8, Parity::Odd, StopBits::One}, B38400, PARODD},
        {{921600, 8, Parity::Mark, StopBits::One}, B921600, PARODD | CMSPAR},
        {{50, 5, Parity::Space, StopBits::OneAndHalf}, B50, CMSPAR | CSTOPB},
        {{115200, 6, Parity::None, StopBits::One}, B115200, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.s.baud);
        ASSERT_TRUE(line.Apply(c.s));
        t = SlaveAttributes(pty);
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(cfgetispeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR | CSTOPB), c.flags);
    }

    const SerialSettings kept = line.Settings();
    SerialSettings bad = kept;
    bad.baud = 14400;
    EXPECT_FALSE(line.Apply(bad));
    bad = kept;
    bad.dataBits = 9;
    EXPECT_FALSE(line.Apply(bad));
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(EINVAL));
    t = SlaveAttributes(pty);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(line.Settings().dataBits, 6);

    // Modem lines a pseudo-terminal lacks are not failures.
    EXPECT_TRUE(line.SetDtr(true));
    EXPECT_TRUE(line.SetRts(false));
}

TEST_F(SerialLineTest, BreakLastsItsTimeOnTheTimeSource)
{
    ScopedTestClock clock;
    std::atomic<bool> done{false};
    std::thread breaker([&] {
        EXPECT_TRUE(line.Break(250));
        done = true;
    });
    ASSERT_TRUE(TestClock::WaitForTimedWaiters(1));
    TestClock::Advance(249);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(done.load());
    TestClock::Advance(1);
    breaker.join();
    EXPECT_TRUE(done.load());

    ASSERT_EQ(line.Write("after", 5, 1000), 5u); // the line works on
    EXPECT_TRUE(peer.WaitForContains(kestsim::ToBytes("after"), kSoon));
}

TEST_F(SerialLineTest, BoundedReadAndFlush)
{
    char buf[64];
    auto start = Clock::now();
    EXPECT_EQ(line.Read(buf, sizeof buf, 100), 0);
    EXPECT_GE(MsSince(start), 90);

    ASSERT_TRUE(peer.Send(kestsim::ToBytes("stale")));
    for (int i = 0; i < 1000 && line.BytesWaiting() < 5; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(line.BytesWaiting(), 5);
    EXPECT_TRUE(line.Flush(FlushMode::Input));
    EXPECT_EQ(line.BytesWaiting(), 0);

    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        peer.Send(kestsim::ToBytes("fresh"));
    });
    int n = line.Read(buf, sizeof buf, kSoon);
    late.join();
    EXPECT_EQ(std::string(buf, static_cast<size_t>(std::max(n, 0))), "fresh");
}

TEST(SerialLine, AFlushOfTheOutputSideLetsEveryWrittenByteGoOut)
{
    // A request written just before the next request's flush: both frames reach the far end.
    PtyPair pty; // the master is read only after the flushes
    ASSERT_TRUE(pty.Valid());
    SerialLine line;
    ASSERT_TRUE(line.Open(pty.SlavePath()));
    const Bytes first = Sequence(700);
    ASSERT_EQ(line.Write(first.data(), first.size(), 1000), first.size());
    EXPECT_TRUE(line.Flush(FlushMode::Output));
    const Bytes second(300, 0x5A);
    ASSERT_EQ(line.Write(second.data(), second.size(), 1000), second.size());
    EXPECT_TRUE(line.Flush(FlushMode::Both));

    Bytes far;
    const auto start = Clock::now();
    while (far.size() < first.size() + second.size() && MsSince(start) < kSoon) {
        pollfd p{pty.MasterFd(), POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        uint8_t buf[512];
        ssize_t n = ::read(pty.MasterFd(), buf, sizeof buf);
        if (n > 0) far.insert(far.end(), buf, buf + n);
    }
    Bytes expected = first;
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(far, expected);
}

TEST(SerialLine, AWriteTheLineCannotTakeEndsShortWithinItsBound)
{
    PtyPair pty; // nobody reads the master: the line fills up
    ASSERT_TRUE(pty.Valid());
    SerialLine line;
    ASSERT_TRUE(line.Open(pty.SlavePath()));
    const Bytes big(256 * 1024, 0x55);
    auto start = Clock::now();
    size_t n = line.Write(big.data(), big.size(), 200);
    EXPECT_LT(n, big.size());
    EXPECT_GE(MsSince(start), 190);
    EXPECT_LT(MsSince(start), 2000);
    EXPECT_EQ(GetLastError(), static_cast<uint32_t>(ETIMEDOUT));
    // The bound the board library gives: twice the time on the line plus a second.
    EXPECT_EQ(line.WriteBoundMs(960), 3000u); // 960 characters of 10 bits at 9600 baud
}

TEST(ScriptedPeer, LateSilentGarbledAndUnsolicitedAnswers)
{
    PtyPair pty;
    ASSERT_TRUE(pty.Valid());
    ScriptedPeer peer(pty);
    SerialLine line;
    ASSERT_TRUE(line.Open(pty.SlavePath()));
    peer.When(kestsim::ToBytes("Q1"), Answer::Of(kestsim::ToBytes("A1")).Late(150));
    peer.When(kestsim::ToBytes("Q2"), Answer::Silence());
    peer.When(kestsim::ToBytes("Q3"),
              Answer::Of(kestsim::ToBytes("A3")).AfterGarbage(kestsim::ToBytes("~~")));
    char buf[16];

    auto start = Clock::now();
    ASSERT_EQ(line.Write("Q1", 2, 1000), 2u);
    ASSERT_EQ(line.Read(buf, sizeof buf, kSoon), 2);
    EXPECT_GE(MsSince(start), 140);
    EXPECT_EQ(std::string(buf, 2), "A1");

    // Junk before a request goes with it; the silent rule takes Q2 and answers nothing.
    ASSERT_EQ(line.Write("xxQ2", 4, 1000), 4u);
    EXPECT_EQ(line.Read(buf, sizeof buf, 150), 0);

    ASSERT_EQ(line.Write("Q3", 2, 1000), 2u);
    ASSERT_TRUE(peer.WaitForContains(kestsim::ToBytes("Q3"), kSoon));
    ASSERT_TRUE(peer.WaitSent(kSoon));
    ASSERT_TRUE(peer.Send(kestsim::ToBytes("!")));
    std::string got;
    while (got.size() < 5) {
        int n = line.Read(buf, sizeof buf, kSoon);
        ASSERT_GT(n, 0);
        got.append(buf, static_cast<size_t>(n));
    }
    EXPECT_EQ(got, "~~A3!");
    EXPECT_EQ(peer.Received(), kestsim::ToBytes("Q1xxQ2Q3"));
}
