// The TCP server's accept thread and sessions, with clients on 127.0.0.1.
#include "LoopbackPeer.h"

#include "Kest20/CLogReader.h"
#include "Kest20/KestLog.h"
#include "devext/device/CTcpServer.h"
#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

using namespace loopback;

namespace {

constexpr int kWaitMs = 2000;

// Counts what the sessions do, shared by every session of a test.
struct Probe {
    std::atomic<int> made{0};
    std::atomic<int> destroyed{0};
    std::atomic<int> serving{0};
    std::atomic<int> mostServing{0};
    plat::Event reading{false, false}; // set each time a shell starts to read
    plat::Event release{true, false};  // lets a shell go that ignores its connection's end
    bool throwFirst = false;
};

// Answers each line with "echo:<line>" until the client ends the connection.
class EchoSession : public CTcpSession {
public:
    EchoSession(SOCKET s, Probe &probe) : CTcpSession(s), m_probe(probe) { ++m_probe.made; }
    ~EchoSession() override
    {
        Stop();
        ++m_probe.destroyed;
    }

    int DoShell() override
    {
        const int now = ++m_probe.serving;
        for (int most = m_probe.mostServing; now > most;)
            m_probe.mostServing.compare_exchange_weak(most, now);
        if (m_probe.throwFirst && m_probe.made == 1) {
            --m_probe.serving;
            throw std::runtime_error("shell failed");
        }
        CString line;
        m_probe.reading.Set();
        while (Socket().ReadLine(line) >= 0) SendFormat("echo:%s\r\n", line.GetString());
        --m_probe.serving;
        return 0;
    }

private:
    Probe &m_probe;
};

CTcpSession *MakeEcho(void *context, SOCKET s)
{
    return new EchoSession(s, *static_cast<Probe *>(context));
}

struct Server {
    explicit Server(int users, Probe *probe = nullptr) : server(0)
    {
        server.SetUserCount(users);
        if (probe) server.SetSessionFactory(&MakeEcho, probe);
        started = server.Start();
        port = server.GetBoundPort();
    }
    CTcpServer server;
    int started = 0;
    uint16_t port = 0;
};

std::string Ask(const Fd &client, const std::string &text, int timeoutMs = kWaitMs)
{
    const std::string reply = "echo:" + text + "\r\n";
    if (!SendAll(client.Get(), text + "\r\n")) return "";
    return Receive(client.Get(), reply.size(), timeoutMs);
}

template <class Pred> bool Eventually(Pred pred)
{
    for (const int64_t end = NowMs() + kWaitMs; NowMs() < end; usleep(2000))
        if (pred()) return true;
    return pred();
}

// The texts logged under "LOG_ERROR" while it lives.
class ErrorLog : public CLogReader {
public:
    ErrorLog() : CLogReader("LOG_ERROR", 1) { Subscribe(); }
    ~ErrorLog() override { Unsubscribe(); }
    int OnRecvLog(const char *, const char *text, const char *) override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_texts.emplace_back(text ? text : "");
        return 1;
    }
    // How many texts begin with `start`.
    int Count(const std::string &start)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        int n = 0;
        for (const std::string &text : m_texts) n += text.rfind(start, 0) == 0 ? 1 : 0;
        return n;
    }

private:
    std::mutex m_lock;
    std::vector<std::string> m_texts;
};

// While one lives, every accept of the process fails with its error, as it does when the
// process or the system has no descriptor left (the accept4 below stands in for the C
// library's).
class FailedAccepts {
public:
    explicit FailedAccepts(int error)
    {
        s_count = 0;
        s_error = error;
    }
    ~FailedAccepts() { End(); }
    void End() { s_error = 0; }
    static int Error() { return s_error; }
    static int Count() { return s_count; }
    static void Counted() { ++s_count; }

private:
    static inline std::atomic<int> s_error{0};
    static inline std::atomic<int> s_count{0};
};

} // namespace

extern "C" __attribute__((visibility("default"))) int accept4(int fd, sockaddr *addr,
                                                              socklen_t *length, int flags)
{
    if (const int error = FailedAccepts::Error()) {
        FailedAccepts::Counted();
        errno = error;
        return -1;
    }
    using Accept = int (*)(int, sockaddr *, socklen_t *, int);
    static const auto next = reinterpret_cast<Accept>(::dlsym(RTLD_NEXT, "accept4"));
    return next(fd, addr, length, flags);
}

TEST(TcpServer, UserCountOneServesClientsInTurnAndTwoAtOnce)
{
    for (int users : {1, 2}) {
        SCOPED_TRACE(users);
        Probe probe;
        Server s(users, &probe);
        ASSERT_EQ(s.started, 1);
        Fd first = Connect(s.port);
        ASSERT_EQ(probe.reading.Wait(kWaitMs), plat::WAIT_OBJECT_0);
        Fd second = Connect(s.port);
        ASSERT_TRUE(SendAll(second.Get(), "2\r\n"));
        if (users == 1) {
            // The second client waits while the first one's shell runs.
            EXPECT_EQ(Receive(second.Get(), 1, 150), "");
            EXPECT_EQ(Ask(first, "1"), "echo:1\r\n");
            first.Reset();
        }
        EXPECT_EQ(Receive(second.Get(), 8, kWaitMs), "echo:2\r\n");
        if (users == 2) {
            EXPECT_EQ(Ask(first, "1"), "echo:1\r\n");
        }
        EXPECT_EQ(probe.mostServing, users);
    }
}

TEST(TcpServer, StopEndsSessionsBlockedInARead)
{
    for (int users : {1, 3}) {
        SCOPED_TRACE(users);
        Probe probe;
        auto s = std::make_unique<Server>(users, &probe);
        ASSERT_EQ(s->started, 1);
        Fd a = Connect(s->port);
        ASSERT_EQ(probe.reading.Wait(kWaitMs), plat::WAIT_OBJECT_0);
        Fd b = Connect(s->port); // waiting in the backlog or served, by the user count
        if (users > 1) {
            ASSERT_EQ(probe.reading.Wait(kWaitMs), plat::WAIT_OBJECT_0);
        }

        const int64_t start = NowMs();
        s->server.Stop();
        EXPECT_LT(NowMs() - start, 500);
        EXPECT_FALSE(s->server.IsRunning());
        EXPECT_TRUE(WaitClosed(a.Get(), kWaitMs));
        EXPECT_TRUE(WaitClosed(b.Get(), kWaitMs));
        EXPECT_EQ(probe.destroyed, probe.made);
        EXPECT_EQ(probe.serving, 0);
        // Nobody listens any more.
        EXPECT_LT(Connect(s->port).Get(), 0);
    }
}

namespace {

// A shell that ignores its connection's end until the test lets it go.
class StubbornSession : public CTcpSession {
public:
    StubbornSession(SOCKET s, Probe &probe) : CTcpSession(s), m_probe(probe) { ++m_probe.made; }
    ~StubbornSession() override { ++m_probe.destroyed; }
    int DoShell() override
    {
        m_probe.reading.Set();
        m_probe.release.Wait(plat::INFINITE);
        return 0;
    }

private:
    Probe &m_probe;
};

CTcpSession *MakeStubborn(void *context, SOCKET s)
{
    return new StubbornSession(s, *static_cast<Probe *>(context));
}

} // namespace

TEST(TcpServer, StopGivesUpAShellThatDoesNotEndAndItsSessionLivesOn)
{
    plat::ScopedTestClock clock;
    Probe probe;
    CTcpServer server(0);
    server.SetUserCount(2);
    server.SetSessionFactory(&MakeStubborn, &probe);
    ASSERT_EQ(server.Start(), 1);
    Fd client = Connect(server.GetBoundPort());
    ASSERT_EQ(probe.reading.Wait(kWaitMs), plat::WAIT_OBJECT_0);

    plat::Thread stopper = plat::Thread::Start([&] {
        server.Stop();
        return 0u;
    });
    // The stop waits for the session's thread for its bound of 1000 ms, no longer.
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1));
    plat::TestClock::Advance(999);
    EXPECT_TRUE(stopper.IsRunning());
    plat::TestClock::Advance(1);
    // The accept thread ends at the close; should it still be ending, its bound runs too.
    while (!stopper.Join(0))
        if (plat::TestClock::WaitForTimedWaiters(1, 20)) plat::TestClock::Advance(1000);
    EXPECT_TRUE(WaitClosed(client.Get(), kWaitMs));
    // The given-up thread still holds its session; it goes when the shell returns.
    EXPECT_EQ(probe.destroyed, 0);
    probe.release.Set();
    EXPECT_TRUE(Eventually([&] { return probe.destroyed == 1; }));
}

TEST(TcpServer, ClosedSessionsAreReleasedAtTheNextAccept)
{
    Probe probe;
    Server s(2, &probe);
    ASSERT_EQ(s.started, 1);
    for (const char *text : {"a", "b"}) {
        Fd client = Connect(s.port);
        EXPECT_EQ(Ask(client, text), std::string("echo:") + text + "\r\n");
    }
    EXPECT_TRUE(Eventually([&] { return probe.serving == 0; }));
    Fd third = Connect(s.port);
    EXPECT_EQ(Ask(third, "c"), "echo:c\r\n");
    EXPECT_TRUE(Eventually([&] { return probe.destroyed == 2; }));
    s.server.Stop();
    EXPECT_EQ(probe.destroyed, 3);
}

TEST(TcpServer, WithoutAFactoryOrAfterAFailedShellConnectionsAreClosed)
{
    Server bare(1);
    ASSERT_EQ(bare.started, 1);
    Fd client = Connect(bare.port);
    EXPECT_TRUE(WaitClosed(client.Get(), kWaitMs));

    Probe probe;
    probe.throwFirst = true;
    Server s(1, &probe);
    Fd failed = Connect(s.port);
    EXPECT_TRUE(WaitClosed(failed.Get(), kWaitMs));
    Fd next = Connect(s.port);
    EXPECT_EQ(Ask(next, "still"), "echo:still\r\n");
}

TEST(TcpServer, StartsOnceAndAgainAfterStop)
{
    Probe probe;
    Server s(1, &probe);
    ASSERT_EQ(s.started, 1);
    EXPECT_TRUE(s.server.IsRunning());
    EXPECT_EQ(s.server.Start(), 0);

    // A port another socket listens on cannot be taken.
    CTcpServer taken(s.port);
    EXPECT_EQ(taken.Start(), 0);
    EXPECT_FALSE(taken.IsRunning());

    s.server.Stop();
    EXPECT_EQ(s.server.GetBoundPort(), 0);
    EXPECT_EQ(s.server.Start(), 1);
    Fd client = Connect(s.server.GetBoundPort());
    EXPECT_EQ(Ask(client, "again"), "echo:again\r\n");
}

TEST(TcpSession, StartsOnlyWhileConnectedAndSendsFormattedTextsWhole)
{
    TcpPair pair = MakeTcpPair();
    Probe probe;
    auto session = std::make_shared<EchoSession>(pair.accepted, probe);
    EXPECT_TRUE(session->IsConnected());
    EXPECT_EQ(session->SendFormat("%d-%s", 42, "x"), 4);
    EXPECT_EQ(Receive(pair.peer.Get(), 4, kWaitMs), "42-x");
    const std::string longText(300, 'y');
    EXPECT_EQ(session->SendFormat("<%s>", longText.c_str()), 302);
    EXPECT_EQ(Receive(pair.peer.Get(), 302, kWaitMs), "<" + longText + ">");
    EXPECT_TRUE(session->IsConnected());

    EXPECT_EQ(session->Start(true), 1);
    EXPECT_EQ(probe.reading.Wait(kWaitMs), plat::WAIT_OBJECT_0);
    EXPECT_EQ(session->Start(true), 1); // its thread runs already
    EXPECT_EQ(Ask(pair.peer, "t"), "echo:t\r\n");
    pair.peer.Reset();
    EXPECT_TRUE(Eventually([&] { return !session->IsConnected(); }));
    EXPECT_EQ(session->Start(true), 0);
    EXPECT_EQ(session->Start(false), 0);
    EXPECT_EQ(session->SendFormat("late"), -1);
    EXPECT_EQ(session->CloseSocket(), -1);
    // The thread holds the session until it has ended; a stop waits for that.
    session->Stop();
    session.reset();
    EXPECT_EQ(probe.destroyed, 1);
}

TEST(TcpServer, AConnectionOverTheUserCountWaitsItsTurnForABoundedTime)
{
    plat::ScopedTestClock clock;
    ErrorLog log;
    Probe probe;
    Server s(2, &probe);
    ASSERT_EQ(s.started, 1);
    Fd a = Connect(s.port);
    ASSERT_EQ(probe.reading.Wait(kWaitMs), plat::WAIT_OBJECT_0);
    Fd b = Connect(s.port);
    ASSERT_EQ(probe.reading.Wait(kWaitMs), plat::WAIT_OBJECT_0);

    // A third waits, neither served nor closed, and is served once a session ends.
    const int idle = plat::TestClock::TimedWaiters();
    Fd c = Connect(s.port);
    ASSERT_TRUE(SendAll(c.Get(), "c\r\n"));
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(idle + 1)) << "the accept thread waits";
    EXPECT_EQ(Receive(c.Get(), 1, 150), "");
    EXPECT_EQ(probe.made, 2);
    a.Reset();
    EXPECT_EQ(Receive(c.Get(), 8, kWaitMs), "echo:c\r\n");
    EXPECT_EQ(Ask(b, "b"), "echo:b\r\n");

    // A fourth, while none ends, waits out the bound and no more: then it is closed, and
    // logged.
    Fd d = Connect(s.port);
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(idle + 1));
    plat::TestClock::Advance(CTcpServer::kTurnWaitMs - 1);
    ASSERT_TRUE(plat::TestClock::WaitForSettled(idle + 1));
    EXPECT_FALSE(WaitClosed(d.Get(), 100));
    plat::TestClock::Advance(1);
    EXPECT_TRUE(WaitClosed(d.Get(), kWaitMs));
    const std::string over = "TcpServer " + std::to_string(s.port) + ": 2 sessions, the most it " +
                             "serves, for " + std::to_string(CTcpServer::kTurnWaitMs) +
                             " ms: connection from 127.0.0.1:";
    EXPECT_TRUE(Eventually([&] { return log.Count(over) == 1; }));
    EXPECT_EQ(probe.made, 3) << "no session is made for a connection turned away";

    // A stop ends a wait for the turn at once.
    Fd e = Connect(s.port);
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(idle + 1));
    s.server.Stop();
    EXPECT_TRUE(WaitClosed(e.Get(), kWaitMs));
    EXPECT_EQ(log.Count("TcpServer "), 1);
}

namespace {

// The threads of this process.
size_t ThreadCount()
{
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<size_t>(std::distance(begin(tasks), end(tasks)));
}

// While one lives, the process has only `spare` descriptors left: the lowest free ones below
// a lowered limit are taken, and the limit is put back at the end.
class DescriptorLimit {
public:
    explicit DescriptorLimit(int spare)
    {
        ::getrlimit(RLIMIT_NOFILE, &saved_);
        int highest = 0;
        for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
            highest = std::max(highest, std::atoi(entry.path().filename().c_str()));
        rlimit low = saved_;
        low.rlim_cur = static_cast<rlim_t>(highest + 16);
        ::setrlimit(RLIMIT_NOFILE, &low);
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) taken_.push_back(fd);
        for (int i = 0; i < spare && !taken_.empty(); ++i) {
            ::close(taken_.back());
            taken_.pop_back();
        }
    }
    ~DescriptorLimit()
    {
        for (int fd : taken_) ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    DescriptorLimit(const DescriptorLimit &) = delete;
    DescriptorLimit &operator=(const DescriptorLimit &) = delete;

private:
    rlimit saved_{};
    std::vector<int> taken_;
};

} // namespace

TEST(TcpServer, ASessionWithoutADescriptorOfItsOwnIsLoggedAsAFailedAcceptIs)
{
    ErrorLog log;
    Probe probe;
    Server s(2, &probe);
    ASSERT_EQ(s.started, 1);
    // Served before the descriptors run out. This also meets every class of the test once
    // first: a sanitizer's type check takes descriptors of its own the first time, so the
    // session's thread must have ended, its state destroyed, before the limit is lowered.
    const size_t threads = ThreadCount();
    Fd first = Connect(s.port);
    EXPECT_EQ(Ask(first, "first"), "echo:first\r\n");
    first.Reset();
    ASSERT_TRUE(Eventually([&] { return ThreadCount() == threads; }));
    glReportLog("LOG_ERROR", "before", "");
    ASSERT_EQ(log.Count("before"), 1);
    // The clients' sockets are made first: the process will have none to spare.
    std::vector<Fd> clients;
    for (int i = 0; i < 3; ++i) clients.emplace_back(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(s.port);
    to.sin_addr.s_addr = LoopbackIp();
    const std::string failed = "TcpServer " + std::to_string(s.port) +
                               ": accept failed (Too many open files); trying again every " +
                               std::to_string(CTcpServer::kAcceptRetryMs) + " ms";
    {
        // The accept takes the one left, and the session finds none for its own.
        DescriptorLimit limit(1);
        for (const Fd &client : clients) {
            ASSERT_EQ(::connect(client.Get(), reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
            EXPECT_TRUE(WaitClosed(client.Get(), kWaitMs));
        }
        EXPECT_TRUE(Eventually([&] { return log.Count(failed) == 1; }));
        EXPECT_EQ(log.Count("TcpServer "), 1) << "one line for the spell";
        EXPECT_EQ(probe.serving, 0);
    }
    // With descriptors back the server serves again.
    Fd next = Connect(s.port);
    EXPECT_EQ(Ask(next, "next"), "echo:next\r\n");
    EXPECT_EQ(log.Count("TcpServer "), 1);
}

TEST(TcpServer, AFailedAcceptIsLoggedAndTheServerServesAgainAfterIt)
{
    ErrorLog log;
    Probe probe;
    Server s(2, &probe);
    ASSERT_EQ(s.started, 1);
    // The process has no descriptor left for the connection: every accept fails.
    FailedAccepts failing(EMFILE);
    Fd client = Connect(s.port);
    ASSERT_GE(client.Get(), 0);
    const std::string failed = "TcpServer " + std::to_string(s.port) +
                               ": accept failed (Too many open files); trying again every " +
                               std::to_string(CTcpServer::kAcceptRetryMs) + " ms";
    EXPECT_TRUE(Eventually([&] { return log.Count(failed) == 1; }));
    // It tries again after its pause, and a spell of failures is logged once.
    const int tries = FailedAccepts::Count();
    EXPECT_TRUE(Eventually([&] { return FailedAccepts::Count() > tries; }));
    EXPECT_EQ(log.Count("TcpServer "), 1);
    EXPECT_TRUE(s.server.IsRunning());
    failing.End();

    // The connection waiting in the backlog is served once descriptors are back.
    EXPECT_EQ(Ask(client, "back"), "echo:back\r\n");
    Fd next = Connect(s.port);
    EXPECT_EQ(Ask(next, "next"), "echo:next\r\n");

    // A stop cuts a pause after a failure short.
    FailedAccepts again(ENFILE);
    Fd third = Connect(s.port);
    ASSERT_TRUE(Eventually([&] { return log.Count("TcpServer ") == 2; }));
    const int64_t start = NowMs();
    s.server.Stop();
    EXPECT_LT(NowMs() - start, static_cast<int64_t>(CTcpServer::kAcceptRetryMs / 2));
}
