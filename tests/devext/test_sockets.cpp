// TCP and UDP sockets and the host-name functions, against a plain POSIX peer on 127.0.0.1.
#include "LoopbackPeer.h"
#include "tests/LocalhostName.h"

#include "devext/device/CTcpSocket.h"
#include "devext/device/CUdpListener.h"
#include "devext/device/CUdpSocket.h"
#include "devext/device/NetHost.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace loopback;

namespace {

constexpr int kWaitMs = 2000;

// The code under test's end of a fresh loopback connection, and the test's end.
struct Connection {
    Connection()
    {
        TcpPair pair = MakeTcpPair();
        peer = std::move(pair.peer);
        socket = std::make_unique<CTcpSocket>(pair.accepted);
    }
    Fd peer;
    std::unique_ptr<CTcpSocket> socket;
};

std::vector<std::string> ReadLines(CTcpSocket &socket, CRecvBuffer &received, int count, int size)
{
    std::vector<std::string> lines;
    std::vector<char> buffer(static_cast<size_t>(size));
    while (static_cast<int>(lines.size()) < count) {
        const int r = socket.ReadLine(buffer.data(), size, received);
        if (r < 0) break;
        lines.emplace_back(buffer.data(), static_cast<size_t>(r));
    }
    return lines;
}

// The connection `listener` accepts within kWaitMs; otherwise the listener is closed, which
// ends the wait, and the test fails instead of waiting for ever.
SOCKET AcceptWithin(CTcpSocket &listener, uint32_t &ip, uint16_t &port)
{
    auto accepted = std::make_shared<std::atomic<SOCKET>>(INVALID_SOCKET);
    plat::Thread acceptor = plat::Thread::Start([&listener, &ip, &port, accepted] {
        accepted->store(listener.Accept(ip, port));
        return 0u;
    });
    if (!acceptor.Join(kWaitMs)) {
        ADD_FAILURE() << "no connection came within " << kWaitMs << " ms";
        listener.Close();
        EXPECT_TRUE(acceptor.Join(kWaitMs)) << "closing the listener ended its wait";
    }
    return accepted->load();
}

} // namespace

TEST(TcpLines, TerminatorsSplitAcrossSegments)
{
    Connection c;
    const std::string input = std::string("one\r\ntwo\nthree") + '\0' + "four\r\n\nsix\r\n";
    // Byte by byte, so every terminator and every CR LF is split between segments.
    plat::Thread sender = plat::Thread::Start([&] {
        for (char ch : input) {
            SendAll(c.peer.Get(), std::string_view(&ch, 1));
            usleep(1000);
        }
        return 0u;
    });
    CRecvBuffer received(64);
    EXPECT_EQ(ReadLines(*c.socket, received, 6, 32),
              (std::vector<std::string>{"one", "two", "three", "four", "", "six"}));
    EXPECT_TRUE(sender.Join(kWaitMs));
}

TEST(TcpLines, CrWhoseLfComesLaterEndsOneLineOnly)
{
    Connection c;
    CRecvBuffer received(64);
    char line[32];
    ASSERT_TRUE(SendAll(c.peer.Get(), "first\r"));
    EXPECT_EQ(c.socket->ReadLine(line, sizeof line, received), 5);
    EXPECT_STREQ(line, "first");
    // The LF of the CR LF arrives only now: it belongs to the line already read.
    ASSERT_TRUE(SendAll(c.peer.Get(), "\nsecond\r\r\n"));
    EXPECT_EQ(c.socket->ReadLine(line, sizeof line, received), 6);
    EXPECT_STREQ(line, "second");
    // A CR not followed by LF ends a line of its own.
    EXPECT_EQ(c.socket->ReadLine(line, sizeof line, received), 0);
    EXPECT_STREQ(line, "");
}

namespace {

// Reads one line in pieces of `pieceSize` bytes; the line, or "!" when a piece was not full.
std::string ReadInPieces(CTcpSocket &socket, CRecvBuffer &received, int pieceSize, int full)
{
    std::vector<char> piece(static_cast<size_t>(pieceSize));
    std::string whole;
    int r;
    while ((r = socket.ReadLine(piece.data(), pieceSize, received)) == CRecvBuffer::kPieceFull) {
        if (static_cast<int>(strlen(piece.data())) != full) return "!";
        whole += piece.data();
    }
    return r < 0 ? "!" : whole + piece.data();
}

} // namespace

TEST(TcpLines, LongLinesComeInPiecesAndTheRestStaysHeld)
{
    Connection c;
    ASSERT_TRUE(SendAll(c.peer.Get(), "abcdefghijklmnopqrst\r\nnext\n"));
    // Pieces cut by the caller's buffer of 8 bytes.
    CRecvBuffer received(1024);
    EXPECT_EQ(ReadInPieces(*c.socket, received, 8, 7), "abcdefghijklmnopqrst");
    EXPECT_EQ(ReadInPieces(*c.socket, received, 8, 7), "next");
    // Pieces cut by a receive buffer that fills up before the line's end.
    ASSERT_EQ(received.Count(), 0);
    ASSERT_TRUE(SendAll(c.peer.Get(), "0123456789ABCDEF\n"));
    CRecvBuffer small(10);
    EXPECT_EQ(ReadInPieces(*c.socket, small, 64, 10), "0123456789ABCDEF");
}

TEST(TcpLines, StringLinesAreWholeAndKeepWhatFollows)
{
    Connection c;
    const std::string longLine(1000, 'x');
    ASSERT_TRUE(SendAll(c.peer.Get(), longLine + "\r\nshort\r\nbody"));
    CString line;
    EXPECT_EQ(c.socket->ReadLine(line), 1000);
    EXPECT_EQ(std::string(line.GetString()), longLine);
    EXPECT_EQ(c.socket->ReadLine(line), 5);
    EXPECT_EQ(line, "short");
    // Bytes received with the lines but not part of them come first from Recv.
    char body[16] = {};
    EXPECT_EQ(c.socket->Recv(body, sizeof body), 4);
    EXPECT_STREQ(body, "body");
}

TEST(TcpLines, ListsAreReadUntilTheEndAndWrittenWithCrLf)
{
    Connection c;
    ASSERT_TRUE(SendAll(c.peer.Get(), "a\r\nbb\r\n\r\nccc\n"));
    c.peer.Reset();
    CStringList lines;
    EXPECT_LT(c.socket->ReadLines(lines), 0);
    ASSERT_EQ(lines.GetCount(), 4);
    POSITION pos = lines.GetHeadPosition();
    for (const char *expected : {"a", "bb", "", "ccc"}) EXPECT_EQ(lines.GetNext(pos), expected);
    EXPECT_FALSE(c.socket->IsOpen());

    Connection w;
    CStringList out;
    out.AddTail("x");
    out.AddTail("yz");
    EXPECT_EQ(w.socket->WriteLines(out), 7);
    EXPECT_EQ(Receive(w.peer.Get(), 7, kWaitMs), "x\r\nyz\r\n");
}

TEST(TcpSocket, SendFormatSendsTheTextOrNothing)
{
    Connection c;
    EXPECT_EQ(c.socket->SendFormat("%s=%d\r\n", "port", 7032), 11);
    EXPECT_EQ(Receive(c.peer.Get(), 11, kWaitMs), "port=7032\r\n");
    // A text longer than the 512-byte buffer is not sent cut short, and the socket stays.
    EXPECT_EQ(c.socket->SendFormat("%s", std::string(512, 'z').c_str()), -1);
    EXPECT_TRUE(c.socket->IsOpen());
    EXPECT_EQ(c.socket->SendFormat("%s", std::string(511, 'z').c_str()), 511);
    EXPECT_EQ(Receive(c.peer.Get(), 511, kWaitMs), std::string(511, 'z'));
}

TEST(TcpSocket, PeerEndClosesTheSocketWithoutSignals)
{
    Connection c;
    c.peer.Reset();
    char buf[8];
    EXPECT_EQ(c.socket->Recv(buf, sizeof buf), -1);
    EXPECT_FALSE(c.socket->IsOpen());
    EXPECT_EQ(c.socket->Send("x", 1), -1);

    // Writing to a connection the peer has closed fails instead of raising SIGPIPE.
    Connection s;
    s.peer.Reset();
    const std::string block(65536, 'b');
    int r = 0;
    for (int i = 0; i < 100 && r >= 0; ++i) r = s.socket->Send(block.data(), (int)block.size());
    EXPECT_EQ(r, -1);
    EXPECT_FALSE(s.socket->IsOpen());
}

TEST(TcpSocket, CloseWakesAThreadBlockedInRecvOrAccept)
{
    Connection c;
    CTcpSocket listener;
    ASSERT_EQ(listener.Bind(LoopbackIp(), 0), 0);
    ASSERT_EQ(listener.Listen(1), 0);
    int recvResult = 0;
    SOCKET accepted = 0;
    plat::Thread reader = plat::Thread::Start([&] {
        char buf[8];
        recvResult = c.socket->Recv(buf, sizeof buf);
        return 0u;
    });
    plat::Thread acceptor = plat::Thread::Start([&] {
        uint32_t ip;
        uint16_t port;
        accepted = listener.Accept(ip, port);
        return 0u;
    });
    usleep(50 * 1000);
    const int64_t start = NowMs();
    EXPECT_EQ(c.socket->Close(), 0);
    EXPECT_EQ(listener.Close(), 0);
    EXPECT_TRUE(reader.Join(kWaitMs));
    EXPECT_TRUE(acceptor.Join(kWaitMs));
    EXPECT_LT(NowMs() - start, 500);
    EXPECT_EQ(recvResult, -1);
    EXPECT_EQ(accepted, INVALID_SOCKET);
    EXPECT_EQ(c.socket->Close(), -1);
    // The peer sees the end of the connection.
    EXPECT_TRUE(WaitClosed(c.peer.Get(), kWaitMs));
}

TEST(TcpSocket, ConnectsByAddressOrNameAndReportsBothEnds)
{
    CTcpSocket listener;
    ASSERT_EQ(listener.Bind(LoopbackIp(), 0), 0);
    ASSERT_EQ(listener.Listen(2), 0);
    uint32_t ip = 0;
    uint16_t port = 0;
    ASSERT_EQ(listener.GetSockName(ip, port), 0);
    EXPECT_EQ(ip, LoopbackIp());
    uint32_t peerIp = 0, acceptedIp = 0;
    uint16_t peerPort = 0, acceptedPort = 0, localPort = 0;

    CTcpSocket byAddress;
    EXPECT_EQ(byAddress.Connect(LoopbackIp(), port), 0);
    CTcpSocket first(AcceptWithin(listener, acceptedIp, acceptedPort));
    EXPECT_TRUE(first.IsOpen());

    // A name that does not resolve connects nowhere.
    CTcpSocket unresolved;
    EXPECT_EQ(unresolved.Connect("", port), -1);
    EXPECT_EQ(unresolved.GetPeerName(peerIp, peerPort), -1);

    if (!LocalhostInHostsFile()) GTEST_SKIP() << kNoLocalhost;
    CTcpSocket byName;
    EXPECT_EQ(byName.Connect("localhost", port), 0);
    EXPECT_EQ(byName.GetPeerName(peerIp, peerPort), 0);
    EXPECT_EQ(peerIp, LoopbackIp());
    EXPECT_EQ(peerPort, port);
    const SOCKET s = AcceptWithin(listener, acceptedIp, acceptedPort);
    ASSERT_NE(s, INVALID_SOCKET);
    CTcpSocket server(s);
    EXPECT_EQ(byName.GetSockName(ip, localPort), 0);
    EXPECT_EQ(acceptedPort, localPort);
    EXPECT_EQ(acceptedIp, LoopbackIp());
    EXPECT_EQ(server.Send("hi", 2), 2);
    char buf[4] = {};
    EXPECT_EQ(byName.Recv(buf, sizeof buf), 2);
    EXPECT_STREQ(buf, "hi");
}

TEST(UdpSocket, ReceivesWholeDatagramsAndRefusesCutOnes)
{
    uint16_t peerPort = 0;
    Fd peer = UdpSocket(&peerPort);
    CUdpSocket socket;
    ASSERT_EQ(socket.Bind(tagNetAddr{LoopbackIp(), 0}), 1);
    tagNetAddr bound;
    ASSERT_EQ(socket.GetSockName(bound), 0);

    ASSERT_TRUE(SendDatagram(peer.Get(), bound.port, std::string(100, 'L')));
    ASSERT_TRUE(SendDatagram(peer.Get(), bound.port, "short"));
    char buf[50];
    tagNetAddr from;
    int length = sizeof buf;
    EXPECT_EQ(socket.RecvFrom(from, buf, length), 0);
    EXPECT_EQ(length, 0);
    length = sizeof buf;
    EXPECT_EQ(socket.RecvFrom(from, buf, length), 5);
    EXPECT_EQ(std::string(buf, 5), "short");
    EXPECT_EQ(from, (tagNetAddr{LoopbackIp(), peerPort}));

    // Sending back to the sender's address.
    EXPECT_EQ(socket.SendTo(from, "back", 4), 1);
    EXPECT_EQ(Receive(peer.Get(), 4, kWaitMs), "back");

    // Closing ends a waiting receive.
    int result = -2;
    plat::Thread reader = plat::Thread::Start([&] {
        int len = sizeof buf;
        result = socket.RecvFrom(from, buf, len);
        return 0u;
    });
    usleep(20 * 1000);
    EXPECT_EQ(socket.Close(), 1);
    EXPECT_TRUE(reader.Join(kWaitMs));
    EXPECT_EQ(result, 0);
}

namespace {

struct DatagramSink {
    int OnDatagram(char *data, int length, const tagNetAddr &from)
    {
        std::lock_guard<std::mutex> lk(lock);
        datagrams.emplace_back(data, static_cast<size_t>(length));
        senders.push_back(from);
        arrived.Set();
        return 1;
    }
    // Waits until `count` datagrams have come.
    bool WaitFor(size_t count)
    {
        for (;;) {
            {
                std::lock_guard<std::mutex> lk(lock);
                if (datagrams.size() >= count) return true;
            }
            if (arrived.Wait(kWaitMs) != plat::WAIT_OBJECT_0) return false;
        }
    }
    std::mutex lock;
    std::vector<std::string> datagrams;
    std::vector<tagNetAddr> senders;
    plat::Event arrived;
};

} // namespace

TEST(UdpListener, DeliversEachDatagramWithItsSender)
{
    DatagramSink sink;
    CUdpListener listener;
    listener.SetReceiver(&sink, &DatagramSink::OnDatagram);
    ASSERT_EQ(listener.SetAddress(tagNetAddr{LoopbackIp(), 0}), 1);
    ASSERT_EQ(listener.Start(), 1);
    EXPECT_EQ(listener.Start(), 1);
    EXPECT_EQ(listener.SetAddress(tagNetAddr{LoopbackIp(), 1}), 0);
    const uint16_t port = listener.GetBoundPort();
    ASSERT_NE(port, 0);

    uint16_t peerPort = 0;
    Fd peer = UdpSocket(&peerPort);
    // Far beyond the 1024 bytes of old, and an empty datagram, which carries nothing.
    const std::string big(60000, 'B');
    ASSERT_TRUE(SendDatagram(peer.Get(), port, "first"));
    ASSERT_TRUE(SendDatagram(peer.Get(), port, ""));
    ASSERT_TRUE(SendDatagram(peer.Get(), port, big));
    ASSERT_TRUE(SendDatagram(peer.Get(), port, "last"));
    ASSERT_TRUE(sink.WaitFor(3));

    const int64_t start = NowMs();
    listener.Stop();
    EXPECT_LT(NowMs() - start, 500);
    EXPECT_FALSE(listener.IsRunning());
    std::lock_guard<std::mutex> lk(sink.lock);
    EXPECT_EQ(sink.datagrams, (std::vector<std::string>{"first", big, "last"}));
    for (const tagNetAddr &from : sink.senders)
        EXPECT_EQ(from, (tagNetAddr{LoopbackIp(), peerPort}));
}

TEST(UdpListener, PortInUseFailsTheStartAndAStoppedListenerStartsAgain)
{
    uint16_t port = 0;
    Fd holder = UdpSocket(&port);
    CUdpListener listener;
    ASSERT_EQ(listener.SetAddress(tagNetAddr{LoopbackIp(), port}), 1);
    EXPECT_EQ(listener.Start(), 0);
    EXPECT_FALSE(listener.IsRunning());
    EXPECT_EQ(listener.GetBoundPort(), 0);

    holder.Reset();
    EXPECT_EQ(listener.Start(), 1);
    EXPECT_EQ(listener.GetBoundPort(), port);
    listener.Stop();
    EXPECT_EQ(listener.GetBoundPort(), 0);
}

namespace {

// True when the local host name is in the hosts file, so resolving it asks no name server.
bool LocalNameIsInHostsFile()
{
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 && NameInHostsFile(name);
}

} // namespace

TEST(HostNames, LoopbackNamesAndAddresses)
{
    const uint32_t loopback = LoopbackIp();
    EXPECT_EQ(glGetAddressByName("127.0.0.1"), loopback);
    EXPECT_EQ(glGetAddressByName(""), 0u);
    EXPECT_EQ(glGetHostName(" 127.0.0.1", false), "127.0.0.1");
    EXPECT_EQ(glGetHostName("   ", true), "");

    char name[256] = {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    const std::string local = name;
    EXPECT_EQ(std::string(glGetLocalHostName().GetString()), local.substr(0, local.find('.')));

    if (!LocalhostInHostsFile()) GTEST_SKIP() << kNoLocalhost;
    EXPECT_EQ(glGetAddressByName("localhost"), loopback);
    EXPECT_EQ(glGetHostName("  localhost  ", false), "localhost");
    EXPECT_EQ(glGetNameByAddress(loopback), "localhost");
}

TEST(HostNames, LocalAddressesAndSubnets)
{
    if (!LocalNameIsInHostsFile()) GTEST_SKIP() << "the host name would need a name server";
    CDWordArray addresses;
    ASSERT_GT(glGetLocalAddresses(addresses), 0);
    const uint32_t first = addresses[0];
    EXPECT_EQ(glIsLocalAddress(first), 1);
    // Another host of the same /24 is in a local subnet, but not a local address.
    const uint32_t neighbour = first ^ htonl(0xFF);
    EXPECT_EQ(glIsLocalSubnet(neighbour), 1);
    if (std::find(addresses.begin(), addresses.end(), neighbour) == addresses.end()) {
        EXPECT_EQ(glIsLocalAddress(neighbour), 0);
    }
    // The subnet is the first three bytes: a host differing in the first one is elsewhere.
    EXPECT_EQ(glIsLocalSubnet(first ^ htonl(0x01000000)), 0);
}
