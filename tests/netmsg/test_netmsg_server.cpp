// The net-message server and client of one process on a loopback port of the test's own:
// delivery by target, requests and answers through reply queues, and datagrams that lie.
#include "tests/KestLib20/BoundedStop.h"
#include "tests/netmsg/NetMsgTestKit.h"

#include "KestLib20/CNetMsgClient.h"
#include "KestLib20/CNetMsgServer.h"
#include "platform/Sync.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Message = std::unique_ptr<char, decltype(&free)>;
Message Own(char *message)
{
    return Message(message, &free);
}

constexpr int32_t kPing = 7;
constexpr int32_t kHang = 9;

// Records what reaches OnRecvMessage; answers kPing with "pong" and hangs on kHang until
// released.
class RecordingServer : public CNetMsgServer {
public:
    struct Received {
        tagNetMsgHeader header;
        uint32_t from;
        std::vector<std::string> args;
    };

    explicit RecordingServer(int32_t port) : CNetMsgServer(nullptr, port), m_client(GetActivePtr())
    {
    }

    int32_t OnRecvMessage(tagNetMsgHeader &header, uint32_t from, const char **args) override
    {
        Received r{header, from, {}};
        for (int i = 0; args[i]; ++i) r.args.emplace_back(args[i]);
        {
            std::lock_guard<std::mutex> lk(m_mutex);
            m_received.push_back(r);
        }
        m_arrived.Set();
        if (header.command == kPing) {
            tagNetMsgHeader answer;
            answer.param1 = 42;
            const char *pong[] = {"pong", nullptr};
            m_client.Ack(&header, &answer, pong);
        }
        if (header.command == kHang) {
            m_hanging.Set();
            m_release.Wait(plat::INFINITE);
        }
        return 1;
    }

    // Waits (real time) until `count` messages have arrived.
    bool WaitForCount(size_t count, uint32_t ms = 3000)
    {
        for (;;) {
            {
                std::lock_guard<std::mutex> lk(m_mutex);
                if (m_received.size() >= count) return true;
            }
            if (m_arrived.Wait(ms) != plat::WAIT_OBJECT_0) return false;
        }
    }
    std::vector<Received> Snapshot()
    {
        std::lock_guard<std::mutex> lk(m_mutex);
        return m_received;
    }

    plat::Event m_hanging;
    plat::Event m_release{true};

private:
    CNetMsgClient m_client;
    std::mutex m_mutex;
    std::vector<Received> m_received;
    plat::Event m_arrived;
};

class NetMsgServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = FreeUdpPort();
        ASSERT_NE(0, port);
        server = std::make_shared<RecordingServer>(port);
        ASSERT_EQ(1, server->Start());
        client = std::make_unique<CNetMsgClient>(server->GetActivePtr(), 1000);
    }
    void TearDown() override
    {
        client.reset();
        if (server) server->m_release.Set();
        server.reset();
    }
    tagNetMsgHeader Header(int32_t command, NETPID target = kNetPidEveryone)
    {
        tagNetMsgHeader h;
        h.command = command;
        h.target = target;
        return h;
    }
    CraftedMessage Crafted(int32_t command, NETPID target, int32_t channel = 0)
    {
        CraftedMessage m;
        m.fields[kCommand] = static_cast<uint32_t>(command);
        m.fields[kTargetNode] = target.node;
        m.fields[kTargetPid] = target.pid;
        m.fields[kChannel] = static_cast<uint32_t>(channel);
        return m;
    }

    int32_t port = 0;
    std::shared_ptr<RecordingServer> server;
    std::unique_ptr<CNetMsgClient> client;
};

TEST_F(NetMsgServerTest, ABroadcastComesBackToTheSendersOwnServer)
{
    tagNetMsgHeader h = Header(5);
    h.param1 = -3;
    h.param2 = 4;
    const char *args[] = {"one", "", "three", nullptr};
    ASSERT_TRUE(client->Post(0, 0, &h, args));
    EXPECT_EQ(GetCurrentNetProcessID(), h.sender) << "the sender is written into the header";
    ASSERT_TRUE(server->WaitForCount(1));
    const RecordingServer::Received r = server->Snapshot()[0];
    EXPECT_EQ(5, r.header.command);
    EXPECT_EQ(-3, r.header.param1);
    EXPECT_EQ(4, r.header.param2);
    EXPECT_EQ(40 + 4 + 1 + 6, r.header.length);
    EXPECT_EQ(GetCurrentNetProcessID(), r.header.sender);
    EXPECT_EQ(inet_addr("127.0.0.1"), r.from);
    EXPECT_EQ((std::vector<std::string>{"one", "", "three"}), r.args);
}

TEST_F(NetMsgServerTest, MessagesForAnotherProcessAreDropped)
{
    NETPID other = GetCurrentNetProcessID();
    other.pid += 1;
    tagNetMsgHeader toOther = Header(1, other);
    tagNetMsgHeader toMe = Header(2, GetCurrentNetProcessID());
    tagNetMsgHeader toAll = Header(3);
    ASSERT_TRUE(client->Post(0, 0, &toOther, nullptr));
    ASSERT_TRUE(client->Post(0, 0, &toMe, nullptr));
    ASSERT_TRUE(client->Post(0, 0, &toAll, nullptr));
    ASSERT_TRUE(server->WaitForCount(2));
    const auto received = server->Snapshot();
    ASSERT_EQ(2u, received.size());
    EXPECT_EQ(2, received[0].header.command);
    EXPECT_EQ(3, received[1].header.command);
}

TEST_F(NetMsgServerTest, ARequestGetsItsAnswerThroughATemporaryQueue)
{
    tagNetMsgHeader h = Header(kPing);
    const char *args[] = {"ping", nullptr};
    Message answer = Own(client->Send(0, 0, &h, args));
    ASSERT_TRUE(answer);
    EXPECT_GE(h.replyQueue, 1024);
    const tagNetMsgHeader a = DecodeNetMsgHeader(answer.get());
    EXPECT_EQ(h.replyQueue, a.channel);
    EXPECT_EQ(0, a.command);
    EXPECT_EQ(0, a.replyQueue);
    EXPECT_EQ(42, a.param1);
    EXPECT_EQ(GetCurrentNetProcessID(), a.target);

    h = Header(kPing);
    char *out = nullptr;
    const char *split[4];
    int32_t count = 4;
    Message second = Own(client->SendV(&h, args, &out, split, count));
    ASSERT_TRUE(second);
    EXPECT_EQ(second.get(), out);
    ASSERT_EQ(1, count);
    EXPECT_STREQ("pong", split[0]);
}

TEST_F(NetMsgServerTest, AskingAGroupCollectsAnswersUpToCapacityLessOne)
{
    // A second server of this process on the same port answers too.
    auto other = std::make_shared<RecordingServer>(port);
    ASSERT_EQ(1, other->Start());
    char *answers[3];
    int32_t count = 3;
    tagNetMsgHeader h = Header(kPing);
    EXPECT_EQ(2, client->Ask4Grp(0, 0, &h, nullptr, answers, &count, 600));
    EXPECT_EQ(2, count);
    EXPECT_EQ(nullptr, answers[2]);
    for (int i = 0; i < 2; ++i) free(answers[i]);

    count = 2;
    h = Header(kPing);
    EXPECT_EQ(1, client->Ask4Grp(0, 0, &h, nullptr, answers, &count, 600));
    free(answers[0]);
}

TEST_F(NetMsgServerTest, TemporaryQueuesTakeOnlyAnswersToThisProcess)
{
    const int32_t temporary = server->CreateQueue(0, 0);
    const int32_t fixed = server->CreateQueue(0, 300);
    ASSERT_TRUE(SendDatagram(port, Crafted(0, kNetPidEveryone, temporary).Bytes()));
    ASSERT_TRUE(SendDatagram(port, Crafted(0, kNetPidEveryone, fixed).Bytes()));
    ASSERT_TRUE(SendDatagram(port, Crafted(0, GetCurrentNetProcessID(), temporary).Bytes()));
    Message onFixed = Own(server->GetMsgFromQueue(fixed, 2000));
    Message onTemporary = Own(server->GetMsgFromQueue(temporary, 2000));
    ASSERT_TRUE(onFixed);
    ASSERT_TRUE(onTemporary);
    EXPECT_EQ(GetCurrentNetProcessID(), DecodeNetMsgHeader(onTemporary.get()).target)
        << "the answer to everyone was dropped";
    EXPECT_FALSE(Own(server->GetMsgFromQueue(temporary, 0)));
}

TEST_F(NetMsgServerTest, WithoutServerOrReplyQueueNothingIsSent)
{
    CNetMsgClient lone;
    tagNetMsgHeader h = Header(kPing);
    EXPECT_EQ(nullptr, lone.Send(0, port, &h, nullptr));
    char *answers[2];
    int32_t count = 2;
    EXPECT_EQ(0, lone.Ask4Grp(0, port, &h, nullptr, answers, &count, 100));

    tagNetMsgHeader request = Header(1);
    request.replyQueue = 0;
    tagNetMsgHeader answer;
    EXPECT_FALSE(client->Ack(&request, &answer, nullptr));
    tagNetMsgHeader marker = Header(3);
    ASSERT_TRUE(client->Post(0, 0, &marker, nullptr));
    ASSERT_TRUE(server->WaitForCount(1));
    EXPECT_EQ(3, server->Snapshot()[0].header.command) << "the refused answer was not sent";
}

TEST_F(NetMsgServerTest, ShortLyingAndOversizedDatagramsAreRefused)
{
    CraftedMessage m = Crafted(11, kNetPidEveryone);
    m.strings = {"abc"};
    const std::string good = m.Bytes();
    ASSERT_TRUE(SendDatagram(port, good.substr(0, 39)));       // shorter than a head
    ASSERT_TRUE(SendDatagram(port, m.Bytes(good.size() + 1))); // claims more
    ASSERT_TRUE(SendDatagram(port, m.Bytes(39)));              // claims less than a head
    ASSERT_TRUE(SendDatagram(port, m.Bytes(-1) + std::string(1100, 'z'))); // beyond the buffer
    ASSERT_TRUE(SendDatagram(port, good));
    ASSERT_TRUE(server->WaitForCount(1));
    // The oversized one was cut by the receiver only if it was not refused: give stragglers a
    // moment, then only the good message may be there.
    tagNetMsgHeader marker = Header(12);
    ASSERT_TRUE(client->Post(0, 0, &marker, nullptr));
    ASSERT_TRUE(server->WaitForCount(2));
    const auto received = server->Snapshot();
    ASSERT_EQ(2u, received.size());
    EXPECT_EQ(11, received[0].header.command);
    EXPECT_EQ((std::vector<std::string>{"abc"}), received[0].args);
    EXPECT_EQ(1, server->IsActive()) << "refusing a datagram does not end the server";

    // A datagram whose length field is shorter than what came is taken by its field.
    CraftedMessage cut = Crafted(13, kNetPidEveryone);
    cut.strings = {"kept", "ignored"};
    ASSERT_TRUE(SendDatagram(port, cut.Bytes(40 + 5)));
    ASSERT_TRUE(server->WaitForCount(3));
    EXPECT_EQ((std::vector<std::string>{"kept"}), server->Snapshot()[2].args);
}

TEST_F(NetMsgServerTest, StopGivesUpAHungHandlerAfterItsBoundAndStartServesAgain)
{
    EXPECT_EQ(1, server->IsActive());
    EXPECT_EQ(1, server->Start()) << "a running server starts again at once";
    tagNetMsgHeader hang = Header(kHang);
    ASSERT_TRUE(client->Post(0, 0, &hang, nullptr));
    ASSERT_EQ(plat::WAIT_OBJECT_0, server->m_hanging.Wait(3000));
    {
        plat::ScopedTestClock clock;
        EXPECT_TRUE(EndsAtTheBound([&] { EXPECT_EQ(1, server->Stop()); }, 500));
    }
    EXPECT_EQ(0, server->IsActive());
    EXPECT_EQ(0, server->Stop());
    // The given-up thread keeps the server alive until its handler returns.
    std::weak_ptr<RecordingServer> watch = server;
    plat::Event release = server->m_release;
    client.reset();
    server.reset();
    EXPECT_FALSE(watch.expired());
    release.Set();
    for (int i = 0; i < 300 && !watch.expired(); ++i) plat::Sleep(10);
    EXPECT_TRUE(watch.expired());

    server = std::make_shared<RecordingServer>(port);
    ASSERT_EQ(1, server->Start());
    client = std::make_unique<CNetMsgClient>(server->GetActivePtr(), 1000);
    tagNetMsgHeader h = Header(1);
    ASSERT_TRUE(client->Post(0, 0, &h, nullptr));
    EXPECT_TRUE(server->WaitForCount(1));
}

} // namespace
