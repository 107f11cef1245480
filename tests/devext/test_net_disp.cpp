// The network head, byte for byte, and the packet dispatcher: port choice, what goes out on
// the wire, what comes in and where it is mailed, between two dispatchers of this process
// and against a plain UDP peer. Every socket is on 127.0.0.1 (or bound to any address of
// this host).
#include "NetTestKit.h"

#include "Kest20/PostOfficeApi.h"
#include "KestLib20/CQueueMailBox.h"
#include "KestLib20/CWinntSystem.h"
#include "devext/device/CNetAddress.h"
#include "devext/device/NetHead.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace nettest;

namespace {

// 127.0.2.1: a loopback address other than the destination's; nothing is sent to it.
const uint32_t kSampleIp = htonl(0x7F000201);

tagNetHead SampleHead()
{
    tagNetHead head;
    head.source = {kSampleIp, 0x1234};
    head.sourceReserved = 0xA1A2;
    head.destination = {htonl(INADDR_LOOPBACK), 7032};
    head.destinationReserved = 0xB1B2;
    head.serviceId = 0x0203;
    head.messageId = 0x0405;
    head.replyBox = 0x0607;
    head.result = 0x0809;
    head.word24 = 0x0A0B;
    head.word26 = 0x0C0D;
    head.dword28 = 0x11223344;
    return head;
}

const std::vector<uint8_t> kSampleBytes = {
    0x7F, 0x00, 0x02, 0x01, 0x34, 0x12, 0xA2, 0xA1, // source: IP in network order, port LE
    0x7F, 0x00, 0x00, 0x01, 0x78, 0x1B, 0xB2, 0xB1, // destination 127.0.0.1:7032
    0x03, 0x02, 0x05, 0x04, 0x07, 0x06, 0x09, 0x08, // service, message, reply box, result
    0x0B, 0x0A, 0x0D, 0x0C, 0x44, 0x33, 0x22, 0x11, // words 24 and 26, double word 28
};

std::string Str(const std::vector<uint8_t> &bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// A mail box of this process's post office that keeps what it is sent.
struct Box {
    explicit Box(int32_t id) : box(glGetPostOffice(), id) { EXPECT_EQ(box.EnableMailBox(), id); }
    // A packet passes two dispatcher threads and the post office's: up to 10 s on a busy
    // machine.
    CPacket Wait()
    {
        CPacket packet;
        box.WaitMail(packet, 10000);
        return packet;
    }
    CQueueMailBox box;
};

loopback::Fd AnyAddressSocket(uint16_t port)
{
    loopback::Fd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    sa.sin_port = htons(port);
    if (::bind(fd.Get(), reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) return {};
    return fd;
}

} // namespace

TEST(NetHead, IsBuiltAndParsedByteForByte)
{
    uint8_t bytes[tagNetHead::kSize];
    SampleHead().Encode(bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + sizeof bytes), kSampleBytes);
    EXPECT_EQ(tagNetHead::Decode(kSampleBytes.data()), SampleHead());

    CPacket packet = glNewNetPacket();
    ASSERT_EQ(glHasNetHead(packet), 1);
    EXPECT_EQ(BytesOf(packet), std::string(32, '\0')) << "a new head is zero-filled";
    ASSERT_EQ(glSetNetHead(packet, SampleHead()), 1);
    ASSERT_EQ(glSetNetHeadWords(packet, 0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x66666666), 1);
    std::vector<uint8_t> expected = kSampleBytes;
    const std::vector<uint8_t> words = {0x22, 0x22, 0x11, 0x11, 0x44, 0x44, 0x33, 0x33,
                                        0x55, 0x55, 0x0D, 0x0C, 0x66, 0x66, 0x66, 0x66};
    std::copy(words.begin(), words.end(), expected.begin() + 16);
    EXPECT_EQ(BytesOf(packet), Str(expected)) << "addresses and the word at 26 stay";

    tagNetHead head;
    CPacket small(CPacketData::Create(16, nullptr, 0));
    EXPECT_EQ(glHasNetHead(small), 0);
    EXPECT_EQ(glGetNetHead(small, head), 0);
    EXPECT_EQ(glSetNetHeadWords(small, 1, 2, 3, 4, 5, 6), 0);
    CPacket none;
    EXPECT_EQ(glHasNetHead(none), 0);
    EXPECT_EQ(tagNetHead{}.DeliveryBox(), 0);
    tagNetHead reply;
    reply.serviceId = tagNetHead::kReplyService;
    reply.replyBox = 17;
    EXPECT_EQ(reply.DeliveryBox(), 17);
}

TEST(NetDisp, PacketsTravelBetweenTwoDispatchers)
{
    ActiveDisp first("NetDispA");
    ActiveDisp second("NetDispB");
    ASSERT_NE(first.Port(), 0);
    ASSERT_NE(second.Port(), 0);
    ASSERT_NE(first.Port(), second.Port());
    EXPECT_EQ(CNetDisp::GetProcessDisp(), &first.disp);
    EXPECT_EQ(first->GetNetName(), CWinntSystem::GetProgramName());

    Box box(1501);
    CPacket packet = glNewNetPacket();
    tagNetHead head;
    head.source = {kSampleIp, 1};
    head.sourceReserved = 0xA1A2;
    head.destination = second.Addr();
    head.serviceId = 1501;
    head.messageId = 9;
    glSetNetHead(packet, head);
    packet->Write("hello", 0, 5);
    ASSERT_EQ(first->SendPacket(packet), 1);

    CPacket got = box.Wait();
    ASSERT_FALSE(got.IsEmpty());
    tagNetHead arrived;
    ASSERT_EQ(glGetNetHead(got, arrived), 1);
    EXPECT_EQ(arrived.source, first.Addr()) << "the receiver fills in the sender's address";
    EXPECT_EQ(arrived.sourceReserved, 0xA1A2) << "the reserved bytes travel unchanged";
    EXPECT_EQ(arrived.destination, second.Addr());
    EXPECT_EQ(arrived.messageId, 9);
    EXPECT_EQ(DataOf(got), "hello");

    // The outgoing mail box sends what it is mailed, like SendPacket.
    CPacket mailed = glNewNetPacket();
    glSetNetHead(mailed, head);
    EXPECT_EQ(glSendMail(CNetDisp::kOutBoxId, mailed), 1);
    EXPECT_FALSE(box.Wait().IsEmpty());
}

TEST(NetDisp, WhatGoesOutIsHeadAndDataWithTheSourceSet)
{
    ActiveDisp disp("NetDispOut");
    uint16_t peerPort = 0;
    loopback::Fd peer = loopback::UdpSocket(&peerPort);

    CPacket packet = glNewNetPacket();
    tagNetHead head = SampleHead();
    head.destination = Loopback(peerPort);
    glSetNetHead(packet, head);
    packet->Write("data", 0, 4);
    ASSERT_EQ(disp->SendPacket(packet), 1);

    head.source = {0, disp.Port()};
    uint8_t expected[tagNetHead::kSize];
    head.Encode(expected);
    EXPECT_EQ(ReceiveDatagram(peer.Get(), kWaitMs),
              std::string(reinterpret_cast<char *>(expected), sizeof expected) + "data");

    CPacket headless(CPacketData::Create(8, nullptr, 0));
    EXPECT_EQ(disp->SendPacket(headless), 0);
    EXPECT_EQ(disp->SendBuffer("raw", 3, Loopback(peerPort)), 1);
    EXPECT_EQ(ReceiveDatagram(peer.Get(), kWaitMs), "raw");
}

TEST(NetDisp, ReceivedDatagramsAreMailedToTheBoxTheHeadNames)
{
    ActiveDisp disp("NetDispIn");
    loopback::Fd peer = loopback::UdpSocket(nullptr);
    Box service(1502);
    Box replies(1503);

    // Shorter than a head: dropped.
    ASSERT_TRUE(loopback::SendDatagram(peer.Get(), disp.Port(), std::string(31, '\0')));

    // A reply (service 3) goes to its reply box; a source IP already set is kept.
    tagNetHead reply;
    reply.source = {kSampleIp, 5};
    reply.serviceId = tagNetHead::kReplyService;
    reply.replyBox = 1503;
    uint8_t bytes[tagNetHead::kSize];
    reply.Encode(bytes);
    ASSERT_TRUE(loopback::SendDatagram(peer.Get(), disp.Port(),
                                       std::string(reinterpret_cast<char *>(bytes), 32)));
    CPacket got = replies.Wait();
    tagNetHead arrived;
    ASSERT_EQ(glGetNetHead(got, arrived), 1);
    EXPECT_EQ(arrived.source.ip, kSampleIp);
    EXPECT_EQ(got->GetDataSize(), 0);

    // A largest datagram arrives whole.
    tagNetHead request;
    request.serviceId = 1502;
    request.Encode(bytes);
    const std::string big =
        std::string(reinterpret_cast<char *>(bytes), 32) + std::string(65507 - 32, 'x');
    ASSERT_TRUE(loopback::SendDatagram(peer.Get(), disp.Port(), big));
    got = service.Wait();
    ASSERT_EQ(glGetNetHead(got, arrived), 1);
    EXPECT_EQ(arrived.source.ip, loopback::LoopbackIp());
    EXPECT_EQ(got->GetDataSize(), 65507 - 32);
    EXPECT_EQ(service.box.GetMailCount(), 0) << "the short datagram was not mailed";

    // Packet_Exchange is only ever fed from this process: a packet from the network
    // addressed to it is not sent on to the address in its head.
    uint16_t targetPort = 0;
    loopback::Fd target = loopback::UdpSocket(&targetPort);
    tagNetHead relay;
    relay.serviceId = CNetDisp::kOutBoxId;
    relay.destination = Loopback(targetPort);
    relay.Encode(bytes);
    ASSERT_TRUE(loopback::SendDatagram(peer.Get(), disp.Port(),
                                       std::string(reinterpret_cast<char *>(bytes), 32)));
    EXPECT_EQ(ReceiveDatagram(target.Get(), 300), "");
}

TEST(NetDisp, TakesTheConfiguredPortElseTheFirstFreeOfItsRange)
{
    // Other processes may hold ports of the range, so the test holds the first two that are
    // free itself: the dispatcher must pass over them and every port below them.
    std::vector<loopback::Fd> held;
    std::vector<int> busy; // held by other processes when looked at
    int lastHeld = 0;
    for (int port = CNetDisp::kFirstPort; port < CNetDisp::kFirstPort + 32 && held.size() < 2;
         ++port) {
        loopback::Fd fd = AnyAddressSocket(static_cast<uint16_t>(port));
        if (fd.Get() < 0) {
            busy.push_back(port);
            continue;
        }
        held.push_back(std::move(fd));
        lastHeld = port;
    }
    ASSERT_EQ(held.size(), 2u) << "the range is full";
    ActiveDisp scanning("NetDispScan", 0);
    // Below the held ports only one that another process has let go of since.
    EXPECT_TRUE(scanning.Port() > lastHeld ||
                std::find(busy.begin(), busy.end(), scanning.Port()) != busy.end())
        << scanning.Port();
    EXPECT_LT(scanning.Port(), CNetDisp::kFirstPort + 32);

    // A configured port that is taken falls back to the range as well.
    const uint16_t taken = FreeUdpPort();
    loopback::Fd holder = AnyAddressSocket(taken);
    ASSERT_GE(holder.Get(), 0);
    ActiveDisp fallback("NetDispTaken", taken);
    EXPECT_GE(fallback.Port(), CNetDisp::kFirstPort);
    EXPECT_NE(fallback.Port(), scanning.Port());
    EXPECT_LT(fallback.Port(), CNetDisp::kFirstPort + 32);

    uint16_t free = FreeUdpPort();
    ActiveDisp configured("NetDispFree", free);
    EXPECT_EQ(configured.Port(), free);
    EXPECT_EQ(configured->OK(), 1);
    configured->Stop();
    EXPECT_EQ(configured->GetPort(), 0);
    EXPECT_EQ(configured->OK(), 0);
    EXPECT_EQ(configured->Start(), 1);
    EXPECT_EQ(configured.Port(), free);
}

TEST(NetDisp, AFirstSendListensSoThatRepliesCanComeBack)
{
    CNetDisp disp;
    EXPECT_EQ(disp.GetPort(), 0);
    uint16_t peerPort = 0;
    loopback::Fd peer = loopback::UdpSocket(&peerPort);
    CPacket packet = glNewNetPacket();
    ASSERT_EQ(glSetNetHeadWords(packet, 1, 2, 0, 0, 0, 0), 1);
    tagNetHead head;
    glGetNetHead(packet, head);
    head.destination = Loopback(peerPort);
    glSetNetHead(packet, head);
    ASSERT_EQ(disp.SendPacket(packet), 1);
    ASSERT_NE(disp.GetPort(), 0);
    const std::string sent = ReceiveDatagram(peer.Get(), kWaitMs);
    ASSERT_EQ(sent.size(), 32u);
    EXPECT_EQ(tagNetHead::Decode(reinterpret_cast<const uint8_t *>(sent.data())).source.port,
              disp.GetPort());
}

TEST(NetAddress, ResolvesWithoutAURLOrAKernel)
{
    CNetAddress address;
    uint16_t service = 99;
    EXPECT_EQ(address.GetByName("://nowhere", &service), 0);
    EXPECT_EQ(address.GetAddr(), Loopback(0)) << "no dispatcher: port 0";
    {
        ActiveDisp disp("NetDispAddr");
        EXPECT_EQ(address.GetByName("", &service), 0);
        EXPECT_EQ(address.GetAddr(), disp.Addr());
    }
    EXPECT_EQ(service, 99);

    tagURL url;
    ASSERT_EQ(url.LoadFromString("kest://any/Program"), 1);
    address = Loopback(5);
    EXPECT_EQ(address.GetByDS(url), 0);
    EXPECT_EQ(address.GetAddr(), tagNetAddr{}) << "no kernel in this process";
    address = Loopback(5);
    EXPECT_EQ(address.GetByUrl(url, &service), 0) << "no dispatcher to ask with";
    EXPECT_EQ(address.GetAddr(), tagNetAddr{});
}
