// Request/reply services between processes: a server and a client talking through the
// dispatcher of this process on 127.0.0.1, the heads of requests and replies, one-way calls,
// time-outs (on the manual clock where the bound is the point), a server stopped while a
// request is in flight, group calls over a port range and resolving an address through a
// management service.
#include "NetTestKit.h"

#include "Kest20/PostOfficeApi.h"
#include "KestLib20/CQueueMailBox.h"
#include "devext/device/CNetAddress.h"
#include "devext/device/CNetClientA.h"
#include "devext/device/CNetServerA.h"
#include "devext/device/NetHead.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace nettest;

namespace {

enum : int { kAdd = 1, kInspect = 2, kOneWay = 3, kSilent = 4, kBlocking = 5, kWherePort = 6 };

// A test service: adds one, answers with what it saw, records one-way calls, blocks on
// request, or stays silent.
class TestServer : public CNetServerA {
public:
    explicit TestServer(uint16_t serviceId) : CNetServerA("TestServ", serviceId) { AddHandlers(); }
    explicit TestServer(CAutoMailBox *box) : CNetServerA(box) { AddHandlers(); }
    ~TestServer() override { Stop(); }

    int OnAdd(int, CPacket &request)
    {
        int32_t value = 0;
        CString text;
        tagArgItem in[] = {ArgRaw(value), ArgOf(text)};
        if (!CArgListA(in).Unpack(request)) return 0; // malformed: no reply
        CString answer = text + "!";
        tagArgItem out[] = {ArgOf(answer)};
        return ACK(request, value + 1, CArgListA(out));
    }
    int OnInspect(int, CPacket &request)
    {
        Record(request);
        CPacket reply = glNewNetPacket();
        reply->Write("pong", 0, 4);
        return ACK(request, 0x12345, reply);
    }
    int OnOneWay(int, CPacket &request)
    {
        Record(request);
        called.Set();
        return 0;
    }
    int OnSecond(int, CPacket &) { return ++secondCalls; }
    // Waits until released, then answers with the value it is released with (none: no reply).
    int OnBlocking(int, CPacket &request)
    {
        entered.Set();
        release.Wait(kWaitMs);
        std::lock_guard<std::mutex> lk(lock);
        ++blockingCalls;
        if (answers.empty()) return 0;
        int32_t value = answers.front();
        answers.erase(answers.begin());
        tagArgItem out[] = {ArgRaw(value)};
        return ACK(request, 1, CArgListA(out));
    }
    int OnWherePort(int, CPacket &request)
    {
        tagNetHead head;
        glGetNetHead(request, head);
        uint16_t port = head.destination.port;
        tagArgItem out[] = {ArgRaw(port)};
        return ACK(request, 1, CArgListA(out));
    }

    tagNetHead LastHead()
    {
        std::lock_guard<std::mutex> lk(lock);
        return lastHead;
    }
    void Answer(int32_t value)
    {
        std::lock_guard<std::mutex> lk(lock);
        answers.push_back(value);
    }
    int BlockingCalls()
    {
        std::lock_guard<std::mutex> lk(lock);
        return blockingCalls;
    }

    plat::Event called;
    plat::Event entered;
    plat::Event release{true, false};
    std::atomic<int> secondCalls{0};

private:
    void AddHandlers()
    {
        SetMsgHandler<&TestServer::OnAdd>(this, kAdd);
        SetMsgHandler<&TestServer::OnInspect>(this, kInspect);
        SetMsgHandler<&TestServer::OnOneWay>(this, kOneWay);
        SetMsgHandler<&TestServer::OnSecond>(this, kOneWay);
        SetMsgHandler<&TestServer::OnBlocking>(this, kBlocking);
        SetMsgHandler<&TestServer::OnWherePort>(this, kWherePort);
    }
    void Record(CPacket &request)
    {
        std::lock_guard<std::mutex> lk(lock);
        glGetNetHead(request, lastHead);
    }

    std::mutex lock;
    tagNetHead lastHead;
    std::vector<int32_t> answers;
    int blockingCalls = 0;
};

// A dispatcher, an active test server of `serviceId`, and a client of that service
// connected to the dispatcher.
struct Service {
    Service(const char *name, uint16_t serviceId) : disp(name), server(serviceId), client(serviceId)
    {
        EXPECT_EQ(server.ActiveInstance(), 1);
        client.ConnectTo(disp.Addr());
    }

    ActiveDisp disp;
    TestServer server;
    CNetClientA client;
};

// Real time, whether or not the manual clock is installed.
void RealSleep(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Runs a call on a thread of its own, so that the test can act while it waits.
class Call {
public:
    template <class F> explicit Call(F call)
    {
        m_thread = plat::Thread::Start([this, call] {
            m_result = call();
            m_done.Set();
            return 0u;
        });
    }
    ~Call() { m_thread.Join(kWaitMs); }
    // Polled in real time: under the manual clock a timed wait would not end by itself.
    bool Done(int realMs) const
    {
        for (int waited = 0; !m_done.IsSet() && waited < realMs; waited += 5) RealSleep(5);
        return m_done.IsSet();
    }
    int Result() const { return m_result; }

private:
    plat::Event m_done{true, false};
    std::atomic<int> m_result{-1};
    plat::Thread m_thread;
};

} // namespace

TEST(NetService, RequestsAndRepliesCarryArgumentLists)
{
    Service service("NetServAdd", 1601);
    auto &[disp, server, client] = service;

    int32_t value = 41;
    CString text = "hi";
    CString answer;
    tagArgItem in[] = {ArgRaw(value), ArgOf(text)};
    tagArgItem out[] = {ArgOf(answer)};
    EXPECT_EQ(client.RemoteFunc(kAdd, CArgListA(in), CArgListA(out)), 42);
    EXPECT_EQ(answer, "hi!");
    EXPECT_EQ(client.GetLastResult(), 1);

    // A request the handler cannot read is dropped without a reply: a time-out, and the out
    // values are left alone.
    client.SetReplyTimeout(200);
    answer = "kept";
    EXPECT_EQ(client.RemoteFunc(kAdd, CArgListA::Empty(), CArgListA(out)), 0);
    EXPECT_EQ(answer, "kept");
    EXPECT_EQ(client.GetLastResult(), 0);
}

TEST(NetService, AServerCanReadAMailBoxGivenToIt)
{
    ActiveDisp disp("NetServGiven");
    CAutoMailBox given(glGetPostOffice(), 1610);
    TestServer server(&given);
    ASSERT_EQ(server.ActiveInstance(), 1);
    CNetClientA client(1610);
    client.ConnectTo(disp.Addr());

    int32_t value = 1;
    CString text = "x";
    CString answer;
    tagArgItem in[] = {ArgRaw(value), ArgOf(text)};
    tagArgItem out[] = {ArgOf(answer)};
    EXPECT_EQ(client.RemoteFunc(kAdd, CArgListA(in), CArgListA(out)), 2);
    EXPECT_EQ(answer, "x!");

    EXPECT_EQ(server.DeactiveInstance(0), 1);
    EXPECT_EQ(given.GetReaderCount(), 0) << "the server no longer reads the box";
}

TEST(NetService, RequestAndReplyHeads)
{
    Service service("NetServHeads", 1602);
    auto &[disp, server, client] = service;

    CPacket request = glNewNetPacket();
    tagNetHead head;
    head.sourceReserved = 0xBEEF;
    head.destinationReserved = 0xCAFE;
    head.word24 = 7;
    head.dword28 = 7;
    glSetNetHead(request, head);
    CPacket reply;
    ASSERT_EQ(client.RemoteFunc(kInspect, request, reply), 1);

    const tagNetHead asked = server.LastHead();
    EXPECT_EQ(asked.source, disp.Addr());
    EXPECT_EQ(asked.destination, disp.Addr());
    EXPECT_EQ(asked.serviceId, 1602);
    EXPECT_EQ(asked.messageId, kInspect);
    EXPECT_NE(asked.replyBox, 0);
    EXPECT_EQ(asked.result, 0);
    EXPECT_EQ(asked.word24, 0);
    EXPECT_EQ(asked.dword28, 0u);

    tagNetHead answered;
    ASSERT_EQ(glGetNetHead(reply, answered), 1);
    EXPECT_EQ(answered.serviceId, tagNetHead::kReplyService);
    EXPECT_EQ(answered.messageId, tagNetHead::kReplyMessage);
    EXPECT_EQ(answered.replyBox, asked.replyBox);
    EXPECT_EQ(answered.result, 0x2345) << "the low 16 bits of the result";
    EXPECT_EQ(answered.destination, disp.Addr());
    EXPECT_EQ(answered.destinationReserved, 0xBEEF) << "the request's bytes 6-7";
    EXPECT_EQ(answered.sourceReserved, 0xCAFE) << "the request's bytes 14-15";
    EXPECT_EQ(answered.word24, 0);
    EXPECT_EQ(answered.dword28, 0u);
    EXPECT_EQ(DataOf(reply), "pong");
}

TEST(NetService, OneWayCallsAndTheHandlerTable)
{
    Service service("NetServOneWay", 1603);
    auto &[disp, server, client] = service;

    CString text = "note";
    tagArgItem in[] = {ArgOf(text)};
    ASSERT_EQ(client.RemoteProc(kOneWay, CArgListA(in)), 1);
    ASSERT_EQ(server.called.Wait(kWaitMs), plat::WAIT_OBJECT_0);
    EXPECT_EQ(server.LastHead().replyBox, 0) << "no reply is awaited";
    EXPECT_EQ(server.secondCalls, 0) << "only the first handler of an id is called";

    CPacket packet = glNewNetPacket();
    glSetNetHeadWords(packet, kOneWay, 1603, 0, 0, 0, 0);
    EXPECT_EQ(server.DispHandler(packet), 1) << "whatever the handler returns";
    glSetNetHeadWords(packet, 99, 1603, 0, 0, 0, 0);
    EXPECT_EQ(server.DispHandler(packet), 0);
    CPacket headless(CPacketData::Create(4, nullptr, 0));
    EXPECT_EQ(server.DispHandler(headless), 0);
    EXPECT_EQ(client.RemoteProc(kOneWay, headless), 0);
}

TEST(NetService, AMissingReplyIsATimeOutOfFourSeconds)
{
    plat::ScopedTestClock clock;
    Service service("NetServSilent", 1604);
    auto &[disp, server, client] = service;
    EXPECT_EQ(client.GetReplyTimeout(), 4000);

    // No handler for the message: no reply.
    Call call([&] { return client.RemoteFunc(kSilent, CArgListA::Empty(), CArgListA::Empty()); });
    // The server's delivery thread and the call wait on the manual clock.
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(2));
    plat::TestClock::Advance(3999);
    EXPECT_FALSE(call.Done(100));
    plat::TestClock::Advance(1);
    ASSERT_TRUE(call.Done(kWaitMs));
    EXPECT_EQ(call.Result(), 0);
    EXPECT_EQ(client.GetLastResult(), 0);
}

TEST(NetService, WithoutADispatcherCallsFailAtOnceAndSendNothing)
{
    plat::ScopedTestClock clock; // a wait would never end: the calls must not wait
    ASSERT_EQ(CNetDisp::GetProcessDisp(), nullptr);
    uint16_t peerPort = 0;
    loopback::Fd peer = loopback::UdpSocket(&peerPort);
    CNetClientA client(1605);
    client.ConnectTo(Loopback(peerPort));

    CPacket request = glNewNetPacket();
    CPacket reply;
    EXPECT_EQ(client.RemoteFunc(kAdd, request, reply), 0);
    EXPECT_EQ(client.RemoteProc(kAdd, request), 0);
    CArray<CPacket> replies;
    EXPECT_EQ(client.Ask4Group(kAdd, peerPort, peerPort, 1, request, replies), 0);
    EXPECT_EQ(CNetServerA::ACK(request, 1, CArgListA::Empty()), 0);
    EXPECT_EQ(ReceiveDatagram(peer.Get(), 100), "");
}

TEST(NetService, ReleaseAllWakesAWaitingCall)
{
    plat::ScopedTestClock clock;
    ActiveDisp disp("NetServRelease");
    CNetClientA client(1606); // no server of that id: no reply
    client.ConnectTo(disp.Addr());
    Call call([&] { return client.RemoteFunc(kAdd, CArgListA::Empty(), CArgListA::Empty()); });
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1));
    CNetClientA::ReleaseAll();
    ASSERT_TRUE(call.Done(kWaitMs)) << "woken without the clock moving";
    EXPECT_EQ(call.Result(), 0);
}

TEST(NetService, AServerStoppedWhileARequestIsInFlight)
{
    Service service("NetServStop", 1607);
    auto &[disp, server, client] = service;
    client.SetReplyTimeout(500);

    int32_t value = 0;
    tagArgItem out[] = {ArgRaw(value)};
    Call call([&] { return client.RemoteFunc(kBlocking, CArgListA::Empty(), CArgListA(out)); });
    ASSERT_EQ(server.entered.Wait(kWaitMs), plat::WAIT_OBJECT_0);

    // The stop waits for the handler in progress, never cutting it off.
    Call stop([&] { return server.DeactiveInstance(0); });
    EXPECT_FALSE(stop.Done(100));
    server.release.Set(); // the handler ends without replying
    ASSERT_TRUE(stop.Done(kWaitMs));
    EXPECT_EQ(stop.Result(), 1);
    ASSERT_TRUE(call.Done(kWaitMs));
    EXPECT_EQ(call.Result(), 0) << "the reply never came: a time-out";

    // A stopped server handles nothing more.
    server.Answer(5);
    EXPECT_EQ(client.RemoteFunc(kBlocking, CArgListA::Empty(), CArgListA(out)), 0);
    EXPECT_EQ(server.BlockingCalls(), 1);
    EXPECT_EQ(value, 0);
}

TEST(NetService, ALateReplyDoesNotPassForTheReplyOfTheNextCall)
{
    Service service("NetServLate", 1608);
    auto &[disp, server, client] = service;
    client.SetReplyTimeout(300);
    server.Answer(111); // for the first request, sent after its call has timed out
    server.Answer(222); // for the second

    int32_t value = 0;
    tagArgItem out[] = {ArgRaw(value)};
    EXPECT_EQ(client.RemoteFunc(kBlocking, CArgListA::Empty(), CArgListA(out)), 0);
    client.SetReplyTimeout(kWaitMs);
    // The second request queues behind the first handler, which then answers late.
    Call second([&] { return client.RemoteFunc(kBlocking, CArgListA::Empty(), CArgListA(out)); });
    RealSleep(100);
    server.release.Set();
    ASSERT_TRUE(second.Done(kWaitMs));
    EXPECT_EQ(second.Result(), 1);
    EXPECT_EQ(value, 222);
}

TEST(NetService, GroupCallsAskEveryPortOfARange)
{
    // Three dispatchers of this process, each on a free port of the range 7032..7063: the
    // request reaches the one server through each of them.
    ActiveDisp first("NetServGroup1", 0);
    ActiveDisp second("NetServGroup2", 0);
    ActiveDisp third("NetServGroup3", 0);
    TestServer server(1609);
    ASSERT_EQ(server.Start(), 1);
    CNetClientA client(1609);
    client.ConnectTo(Loopback(0));

    CArray<CPacket> replies;
    const uint16_t low = CNetDisp::kFirstPort;
    const uint16_t high = CNetDisp::kFirstPort + CNetDisp::kPortCount - 1;
    ASSERT_EQ(client.Ask4Group(kWherePort, low, high, 3, CArgListA::Empty(), replies), 3);
    std::vector<uint16_t> ports;
    for (CPacket &reply : replies) {
        uint16_t port = 0;
        tagArgItem out[] = {ArgRaw(port)};
        CArgListA(out).Unpack(reply);
        ports.push_back(port);
    }
    std::sort(ports.begin(), ports.end());
    std::vector<uint16_t> expected = {first.Port(), second.Port(), third.Port()};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ports, expected);
    EXPECT_EQ(client.GetLastResult(), 3);

    CPacket one;
    EXPECT_EQ(client.Ask4Group(kWherePort, second.Port(), second.Port(), CArgListA::Empty(), one),
              1);
    EXPECT_FALSE(one.IsEmpty());

    // The first port above the last: nothing is sent, the call only waits.
    client.SetReplyTimeout(200);
    CPacket request = glNewNetPacket();
    server.Answer(1);
    EXPECT_EQ(client.Ask4Group(kBlocking, high, low, request, one), 0);
    EXPECT_EQ(server.BlockingCalls(), 0);
}

namespace {

// The two questions of the management service that resolving a URL asks.
class ManagementServer : public CNetServerA {
public:
    explicit ManagementServer(const CString &netName)
        : CNetServerA("Serv_Dispacher", 2), m_netName(netName)
    {
        SetMsgHandler<&ManagementServer::OnGetDispPort>(this, 0x03);
        SetMsgHandler<&ManagementServer::OnGetServiceId>(this, 0x13);
    }
    ~ManagementServer() override { Stop(); }

    int OnGetDispPort(int, CPacket &request)
    {
        CString name;
        tagArgItem in[] = {ArgOf(name)};
        if (!CArgListA(in).Unpack(request) || name.CompareNoCase(m_netName) != 0) return 0;
        uint16_t port = static_cast<uint16_t>(CNetDisp::GetProcessDisp()->GetPort());
        tagArgItem out[] = {ArgRaw(port)};
        return ACK(request, 1, CArgListA(out));
    }
    int OnGetServiceId(int, CPacket &request)
    {
        CString name;
        tagArgItem in[] = {ArgOf(name)};
        if (!CArgListA(in).Unpack(request)) return ACK(request, 0, CArgListA::Empty());
        uint16_t id = name.Trim().MakeUpper() == "SERIALSHARESERV" ? 35 : 0;
        tagArgItem out[] = {ArgRaw(id)};
        return ACK(request, 1, CArgListA(out));
    }

private:
    CString m_netName;
};

} // namespace

TEST(NetService, AddressesResolveThroughTheManagementService)
{
    ActiveDisp disp("NetServResolve", 0, "ResolveTest");
    ManagementServer management(disp->GetNetName());
    ASSERT_EQ(management.Start(), 1);

    CNetAddress address;
    uint16_t service = 0;
    EXPECT_EQ(address.GetByName("kest://127.0.0.1/resolvetest?SerialShareServ", &service), 1);
    EXPECT_EQ(address.GetAddr(), disp.Addr());
    EXPECT_EQ(service, 35);

    service = 9;
    EXPECT_EQ(address.GetByName("kest://127.0.0.1/NoSuchProgram?SerialShareServ", &service), 0);
    EXPECT_EQ(address.GetAddr(), tagNetAddr{});
    EXPECT_EQ(service, 9);
}
