// The board library through the loader, exactly as the board ports call it: result codes,
// line settings, data both ways, flush, break, the count callback, and closes from inside the
// callback and while bytes arrive.
#include "platform/Process.h"
#include "platform/SerialLine.h"
#include "platform/pcomm/PComm.h"
#include "tests/sim/ScriptedPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>

using kestsim::Bytes;
using kestsim::PtyPair;
using kestsim::ScriptedPeer;

namespace {

constexpr uint32_t kSoon = 5000;
constexpr int kPort = 5;

using Clock = std::chrono::steady_clock;

long MsSince(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// The entry points, looked up by name once.
struct Sio {
    decltype(&sio_open) open = nullptr;
    decltype(&sio_ioctl) ioctl = nullptr;
    decltype(&sio_cnt_irq) cnt_irq = nullptr;
    decltype(&sio_close) close = nullptr;
    decltype(&sio_flush) flush = nullptr;
    decltype(&sio_write) write = nullptr;
    decltype(&sio_read) read = nullptr;
    decltype(&sio_break) brk = nullptr;
};

template <class F> void Find(void *lib, const char *name, F *f)
{
    *f = reinterpret_cast<F>(plat::GetProcAddress(lib, name));
}

const Sio &Library()
{
    static const Sio sio = [] {
        Sio s;
        void *lib = plat::LoadLibrary("PCOMM.DLL");
        if (!lib) return s;
        Find(lib, "sio_open", &s.open);
        Find(lib, "sio_ioctl", &s.ioctl);
        Find(lib, "sio_cnt_irq", &s.cnt_irq);
        Find(lib, "sio_close", &s.close);
        Find(lib, "sio_flush", &s.flush);
        Find(lib, "sio_write", &s.write);
        Find(lib, "sio_read", &s.read);
        Find(lib, "sio_break", &s.brk);
        return s;
    }();
    return sio;
}

// What the callbacks saw, per port. The callbacks are plain functions, as the library wants.
struct CallbackLog {
    std::mutex m;
    std::condition_variable cv;
    std::map<int, Bytes> bytes;
    int calls = 0;
    std::atomic<int> closeResult{1};
    std::atomic<long> closeMs{-1};
    std::thread::id thread;

    void Reset()
    {
        std::lock_guard<std::mutex> lk(m);
        bytes.clear();
        calls = 0;
        closeResult = 1;
        closeMs = -1;
    }
    template <class P> bool WaitUntil(P pred, uint32_t ms = kSoon)
    {
        std::unique_lock<std::mutex> lk(m);
        return cv.wait_for(lk, std::chrono::milliseconds(ms), pred);
    }
    int Calls()
    {
        std::lock_guard<std::mutex> lk(m);
        return calls;
    }
};
// Never destroyed: a callback thread that was given up may still touch it at exit.
CallbackLog &g_log = *new CallbackLog;

void ReadWaiting(int port)
{
    char buf[256];
    int n = Library().read(port, buf, sizeof buf);
    std::lock_guard<std::mutex> lk(g_log.m);
    ++g_log.calls;
    g_log.thread = std::this_thread::get_id();
    if (n > 0) g_log.bytes[port].insert(g_log.bytes[port].end(), buf, buf + n);
    g_log.cv.notify_all();
}

void ReadWaitingThenClose(int port)
{
    ReadWaiting(port);
    auto start = Clock::now();
    int result = Library().close(port);
    std::lock_guard<std::mutex> lk(g_log.m);
    g_log.closeMs = MsSince(start);
    g_log.closeResult = result;
    g_log.cv.notify_all();
}

Bytes Sequence(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 13 + i / 251);
    return b;
}

// Bytes that arrived on the line and wait to be read (the pair's own slave shares the queue).
int Waiting(const PtyPair &pty)
{
    int n = -1;
    ioctl(pty.SlaveFd(), FIONREAD, &n);
    return n;
}

bool WaitForWaiting(const PtyPair &pty, int n)
{
    for (int i = 0; i < 2500 && Waiting(pty) < n; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return Waiting(pty) >= n;
}

class BoardPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(sio.open, nullptr) << "libPCOMM.so was not found beside the test";
        ASSERT_TRUE(sio.ioctl && sio.cnt_irq && sio.close && sio.flush && sio.write && sio.read &&
                    sio.brk);
        ASSERT_TRUE(pty.Valid());
        pty.Bind(plat::SerialPortKind::SIO, kPort);
        g_log.Reset();
    }
    void TearDown() override { sio.close(kPort); }

    const Sio &sio = Library();
    PtyPair pty;
    ScriptedPeer peer{pty};
};

} // namespace

TEST_F(BoardPort, ResultCodes)
{
    plat::SetEnv("KEST_SIO6", nullptr);
    EXPECT_EQ(sio.open(0), SIO_BADPORT);
    EXPECT_EQ(sio.open(256), SIO_BADPORT);
    EXPECT_EQ(sio.open(6), SIO_BADPORT); // resolves to nothing: board ports have no default

    char c = 0;
    EXPECT_EQ(sio.write(kPort, &c, 1), SIO_NOTOPEN);
    EXPECT_EQ(sio.read(kPort, &c, 1), SIO_NOTOPEN);
    EXPECT_EQ(sio.ioctl(kPort, SIO_BAUD_9600, SIO_BITS_8), SIO_NOTOPEN);
    EXPECT_EQ(sio.flush(kPort, SIO_FLUSH_BOTH), SIO_NOTOPEN);
    EXPECT_EQ(sio.brk(kPort, 10), SIO_NOTOPEN);
    EXPECT_EQ(sio.cnt_irq(kPort, ReadWaiting, 1), SIO_NOTOPEN);
    EXPECT_EQ(sio.close(kPort), SIO_NOTOPEN);
    EXPECT_EQ(sio.close(300), SIO_BADPORT);

    ASSERT_EQ(sio.open(kPort), SIO_OK);
    EXPECT_EQ(sio.open(kPort), SIO_ALREADYOPEN);

    const int badModes[] = {0x40, 0x80, SIO_BITS_8 | 0x10, SIO_BITS_8 | 0x20, SIO_BITS_8 | 0x30};
    for (int mode : badModes) EXPECT_EQ(sio.ioctl(kPort, SIO_BAUD_9600, mode), SIO_BADPARM) << mode;
    EXPECT_EQ(sio.ioctl(kPort, -1, SIO_BITS_8), SIO_BADPARM);
    EXPECT_EQ(sio.ioctl(kPort, SIO_BAUD_921600 + 1, SIO_BITS_8), SIO_BADPARM);
    EXPECT_EQ(sio.flush(kPort, 3), SIO_BADPARM);
    EXPECT_EQ(sio.flush(kPort, -1), SIO_BADPARM);
    EXPECT_EQ(sio.brk(kPort, -1), SIO_BADPARM);
    EXPECT_EQ(sio.cnt_irq(kPort, ReadWaiting, 0), SIO_BADPARM);
    EXPECT_EQ(sio.write(kPort, &c, -1), SIO_BADPARM);
    EXPECT_EQ(sio.read(kPort, nullptr, 4), SIO_BADPARM);

    // A line that something else holds does not open.
    PtyPair other;
    ASSERT_TRUE(other.Valid());
    other.Bind(plat::SerialPortKind::SIO, kPort + 2);
    plat::SerialLine holder;
    ASSERT_TRUE(holder.Open(other.SlavePath()));
    EXPECT_EQ(sio.open(kPort + 2), SIO_OPENFAIL);

    EXPECT_EQ(sio.close(kPort), SIO_OK);
    EXPECT_EQ(sio.close(kPort), SIO_NOTOPEN);
    EXPECT_EQ(sio.open(kPort), SIO_OK); // and it opens again
}

TEST_F(BoardPort, SettingsAndDataBothWays)
{
    ASSERT_EQ(sio.open(kPort), SIO_OK);

    // A pseudo-terminal keeps the speed, the stop bits and the odd and mark/space flags.
    struct Case {
        int baud, mode;
        speed_t speed;
        tcflag_t flags;
    };
    const Case cases[] = {
        {SIO_BAUD_38400, SIO_BITS_8 | SIO_STOP_1 | SIO_PARITY_NONE, B38400, 0},
        {SIO_BAUD_921600, SIO_BITS_7 | SIO_STOP_2 | SIO_PARITY_MARK, B921600,
         CSTOPB | PARODD | CMSPAR},
        {SIO_BAUD_50, SIO_BITS_5 | SIO_STOP_2 | SIO_PARITY_SPACE, B50, CSTOPB | CMSPAR},
        {SIO_BAUD_115200, SIO_BITS_8 | SIO_PARITY_ODD, B115200, PARODD},
        {SIO_BAUD_9600, SIO_BITS_8 | SIO_PARITY_EVEN, B9600, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.baud);
        ASSERT_EQ(sio.ioctl(kPort, c.baud, c.mode), SIO_OK);
        termios t{};
        tcgetattr(pty.SlaveFd(), &t);
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(t.c_cflag & (CSTOPB | PARODD | CMSPAR), c.flags);
    }

    const Bytes frame = {0x02, 'h', 'e', 0x0D, 0x0A, 0x11, 0x13, 0x03};
    EXPECT_EQ(sio.write(kPort, reinterpret_cast<const char *>(frame.data()), 8), 8);
    ASSERT_TRUE(peer.WaitForBytes(frame.size(), kSoon));
    EXPECT_EQ(peer.Received(), frame);

    char buf[16];
    EXPECT_EQ(sio.read(kPort, buf, sizeof buf), 0); // nothing waits: no waiting either
    ASSERT_TRUE(peer.Send(frame));
    ASSERT_TRUE(WaitForWaiting(pty, 8));
    EXPECT_EQ(sio.read(kPort, buf, 5), 5);
    EXPECT_EQ(sio.read(kPort, buf + 5, sizeof buf - 5), 3);
    EXPECT_EQ(Bytes(buf, buf + 8), frame);

    ASSERT_TRUE(peer.Send(kestsim::ToBytes("stale")));
    ASSERT_TRUE(WaitForWaiting(pty, 5));
    EXPECT_EQ(sio.flush(kPort, SIO_FLUSH_INPUT), SIO_OK);
    EXPECT_EQ(sio.read(kPort, buf, sizeof buf), 0);
    EXPECT_EQ(sio.flush(kPort, SIO_FLUSH_OUTPUT), SIO_OK);
    EXPECT_EQ(sio.flush(kPort, SIO_FLUSH_BOTH), SIO_OK);
    EXPECT_EQ(sio.brk(kPort, 10), SIO_OK);
}

TEST_F(BoardPort, AWriteTheLineCannotTakeGivesTheCountTaken)
{
    PtyPair full; // nobody reads its master
    ASSERT_TRUE(full.Valid());
    full.Bind(plat::SerialPortKind::SIO, kPort + 3);
    ASSERT_EQ(sio.open(kPort + 3), SIO_OK);
    ASSERT_EQ(sio.ioctl(kPort + 3, SIO_BAUD_921600, SIO_BITS_8), SIO_OK);
    const Bytes big(20000, 0x55);
    auto start = Clock::now();
    int n = sio.write(kPort + 3, reinterpret_cast<const char *>(big.data()), 20000);
    EXPECT_GT(n, 0);
    EXPECT_LT(n, 20000);
    EXPECT_LT(MsSince(start), 4000); // its bound is 1.43 s
    EXPECT_EQ(sio.close(kPort + 3), SIO_OK);
}

TEST_F(BoardPort, CallbackRunsWhileEnoughBytesWait)
{
    ASSERT_EQ(sio.open(kPort), SIO_OK);
    ASSERT_EQ(sio.cnt_irq(kPort, ReadWaiting, 1), SIO_OK);
    const Bytes data = Sequence(3000, 1);
    ASSERT_TRUE(peer.Send(data));
    ASSERT_TRUE(g_log.WaitUntil([&] { return g_log.bytes[kPort].size() >= data.size(); }));
    {
        std::lock_guard<std::mutex> lk(g_log.m);
        EXPECT_EQ(g_log.bytes[kPort], data);
        EXPECT_NE(g_log.thread, std::this_thread::get_id());
    }

    // With a count of 4, three bytes wait unnoticed; the fourth brings the call.
    ASSERT_EQ(sio.cnt_irq(kPort, ReadWaiting, 4), SIO_OK);
    g_log.Reset();
    ASSERT_TRUE(peer.Send({1, 2, 3}));
    ASSERT_TRUE(WaitForWaiting(pty, 3));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(g_log.Calls(), 0);
    ASSERT_TRUE(peer.Send({4}));
    ASSERT_TRUE(g_log.WaitUntil([&] { return g_log.bytes[kPort].size() >= 4; }));
    EXPECT_EQ(g_log.Calls(), 1);

    // A null callback ends the calls; the bytes stay for sio_read.
    ASSERT_EQ(sio.cnt_irq(kPort, nullptr, 1), SIO_OK);
    ASSERT_TRUE(peer.Send({9, 9}));
    ASSERT_TRUE(WaitForWaiting(pty, 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(g_log.Calls(), 1);
    char buf[4];
    EXPECT_EQ(sio.read(kPort, buf, sizeof buf), 2);
}

TEST_F(BoardPort, CloseFromInsideTheCallback)
{
    ASSERT_EQ(sio.open(kPort), SIO_OK);
    ASSERT_EQ(sio.cnt_irq(kPort, ReadWaitingThenClose, 1), SIO_OK);
    ASSERT_TRUE(peer.Send({1, 2, 3}));
    // A close that waited for its own thread would hang here.
    ASSERT_TRUE(g_log.WaitUntil([] { return g_log.closeResult != 1; }));
    EXPECT_EQ(g_log.closeResult.load(), SIO_OK);
    EXPECT_LT(g_log.closeMs.load(), 500); // it did not wait out its bound for itself
    EXPECT_EQ(sio.close(kPort), SIO_NOTOPEN);
    ASSERT_TRUE(peer.Send({4, 5}));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(g_log.Calls(), 1);

    // The line is free again once the callback's thread has ended.
    int reopened = SIO_OPENFAIL;
    for (int i = 0; i < 500 && (reopened = sio.open(kPort)) == SIO_OPENFAIL; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(reopened, SIO_OK);
}

TEST_F(BoardPort, PortsRunSideBySideAndCloseWhileBytesArrive)
{
    PtyPair pty2;
    ASSERT_TRUE(pty2.Valid());
    ScriptedPeer peer2(pty2);
    pty2.Bind(plat::SerialPortKind::SIO, kPort + 1);
    ASSERT_EQ(sio.open(kPort), SIO_OK);
    ASSERT_EQ(sio.open(kPort + 1), SIO_OK);
    ASSERT_EQ(sio.cnt_irq(kPort, ReadWaiting, 1), SIO_OK);
    ASSERT_EQ(sio.cnt_irq(kPort + 1, ReadWaiting, 1), SIO_OK);

    // Both far ends stream while both ports write; each stream must arrive whole and apart.
    const Bytes stream1 = Sequence(4000, 3), stream2 = Sequence(4000, 7);
    auto feed = [](ScriptedPeer &p, const Bytes &s) {
        for (size_t at = 0; at < s.size(); at += 100) {
            p.Send(Bytes(s.begin() + static_cast<std::ptrdiff_t>(at),
                         s.begin() + static_cast<std::ptrdiff_t>(at + 100)));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    auto write = [&](int port) {
        const Bytes out = Sequence(500, static_cast<uint8_t>(port));
        for (size_t at = 0; at < out.size(); at += 50)
            EXPECT_EQ(sio.write(port, reinterpret_cast<const char *>(out.data() + at), 50), 50);
    };
    std::thread f1(feed, std::ref(peer), std::cref(stream1));
    std::thread f2(feed, std::ref(peer2), std::cref(stream2));
    std::thread w1(write, kPort), w2(write, kPort + 1);
    f1.join();
    f2.join();
    w1.join();
    w2.join();
    ASSERT_TRUE(g_log.WaitUntil([&] {
        return g_log.bytes[kPort].size() >= 4000 && g_log.bytes[kPort + 1].size() >= 4000;
    }));
    {
        std::lock_guard<std::mutex> lk(g_log.m);
        EXPECT_EQ(g_log.bytes[kPort], stream1);
        EXPECT_EQ(g_log.bytes[kPort + 1], stream2);
    }
    EXPECT_TRUE(peer.WaitForBytes(500, kSoon));
    EXPECT_EQ(peer.Received(), Sequence(500, kPort));
    EXPECT_TRUE(peer2.WaitForBytes(500, kSoon));
    EXPECT_EQ(peer2.Received(), Sequence(500, kPort + 1));

    // Close in the middle of a stream: bounded, and no call after it.
    std::atomic<bool> streaming{true};
    std::thread f3([&] {
        while (streaming) {
            peer.Send(Sequence(64, 0));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    ASSERT_TRUE(g_log.WaitUntil([&] { return g_log.bytes[kPort].size() >= 4000 + 640; }));
    auto start = Clock::now();
    EXPECT_EQ(sio.close(kPort), SIO_OK);
    EXPECT_LT(MsSince(start), 1000);
    int calls = g_log.Calls();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    streaming = false;
    f3.join();
    EXPECT_EQ(g_log.Calls(), calls);
    EXPECT_EQ(sio.close(kPort + 1), SIO_OK);
}
