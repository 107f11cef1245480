// Several processes of our own, each running a kernel, find one another on a loopback port of
// the test's own: joins, environment changes, group messages and leaving.
#include "tests/netmsg/NetMsgTestKit.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class PeersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = FreeUdpPort();
        ASSERT_NE(0, port);
    }
    // Starts a peer and makes it known: entering a group publishes its environment.
    PeerProcess &Join(const std::string &group, const std::string &node = "")
    {
        peers.push_back(std::make_unique<PeerProcess>(port, node));
        PeerProcess &peer = *peers.back();
        EXPECT_TRUE(peer.Ready());
        EXPECT_EQ("OK 1", peer.Ask("enter " + group, "OK"));
        return peer;
    }
    static bool NoLineHolds(const std::vector<std::string> &lines, const std::string &text)
    {
        for (const std::string &line : lines)
            if (line.find(text) != std::string::npos) return false;
        return true;
    }

    int32_t port = 0;
    std::vector<std::unique_ptr<PeerProcess>> peers;
};

TEST_F(PeersTest, EachSeesTheOthersJoinChangeAndLeave)
{
    PeerProcess &a = Join("Studio", "1");
    PeerProcess &b = Join("Studio", "2");
    PeerProcess &c = Join("Studio", "3");
    EXPECT_NE(a.Id().substr(0, 9), b.Id().substr(0, 9)) << "KEST_NODE makes another node";

    // Those already there see each newcomer publish.
    EXPECT_TRUE(a.WaitForAll({KernelEvent("PID_ADD", b.Id()), KernelEvent("PID_ADD", c.Id())}));
    EXPECT_TRUE(b.WaitFor(KernelEvent("PID_ADD", c.Id())));
    // A heartbeat asks everyone to answer: the newcomers learn of those before them.
    const std::string all = c.Ask("procs 0", "PROCS");
    for (PeerProcess *p : {&a, &b, &c}) EXPECT_NE(std::string::npos, all.find(p->Id())) << all;
    EXPECT_TRUE(b.WaitFor(KernelEvent("PID_ADD", a.Id())));
    EXPECT_TRUE(c.WaitForAll({KernelEvent("PID_ADD", a.Id()), KernelEvent("PID_ADD", b.Id())}));

    // A real change is an event; the same value again, or in other letter case, is none.
    EXPECT_EQ("OK", a.Ask("env P_TITLE Evening", "OK"));
    EXPECT_TRUE(b.WaitFor(KernelEvent("PID_UPDATE", a.Id())));
    EXPECT_TRUE(c.WaitFor(KernelEvent("PID_UPDATE", a.Id())));
    EXPECT_EQ("VALUE 1 Evening", b.Ask("get 1 " + a.Id() + " P_TITLE", "VALUE"));
    EXPECT_EQ("OK", a.Ask("env P_TITLE Evening", "OK"));
    EXPECT_EQ("OK", a.Ask("env P_TITLE EVENING", "OK"));
    EXPECT_EQ("OK", a.Ask("post - after-change", "OK"));
    for (PeerProcess *p : {&b, &c}) {
        std::vector<std::string> before;
        EXPECT_TRUE(p->WaitFor("MSG TEST|after-change", 5000, &before));
        EXPECT_TRUE(NoLineHolds(before, "PID_UPDATE")) << before.front();
    }

    // Leaving tells the others.
    EXPECT_EQ("BYE", a.Ask("quit", "BYE"));
    EXPECT_TRUE(b.WaitFor(KernelEvent("PID_DEL", a.Id())));
    EXPECT_TRUE(c.WaitFor(KernelEvent("PID_DEL", a.Id())));
    const std::string left = b.Ask("procs 1", "PROCS");
    EXPECT_EQ(std::string::npos, left.find(a.Id())) << left;
}

TEST_F(PeersTest, GroupMessagesReachOnlyMembersOfEveryGroup)
{
    PeerProcess &wide = Join("GA");
    EXPECT_EQ("OK 1", wide.Ask("enter GB", "OK"));
    EXPECT_EQ("OK 1", wide.Ask("enter GC", "OK"));
    PeerProcess &narrow = Join("GA");
    PeerProcess &sender = Join("Other");

    EXPECT_EQ("OK", sender.Ask("post GA;GB hello", "OK"));
    EXPECT_EQ("OK", sender.Ask("post - mark", "OK"));
    EXPECT_TRUE(wide.WaitFor("MSG TEST|hello"));
    std::vector<std::string> before;
    EXPECT_TRUE(narrow.WaitFor("MSG TEST|mark", 5000, &before));
    EXPECT_TRUE(NoLineHolds(before, "hello"));
    before.clear();
    EXPECT_TRUE(sender.WaitFor("MSG TEST|mark", 5000, &before));
    EXPECT_TRUE(NoLineHolds(before, "hello")) << "the sender is in neither group";
}

TEST_F(PeersTest, AProcessThatDiesStaysUntilAPurgeButAQuitIsSeenAtOnce)
{
    PeerProcess &stay = Join("Kest");
    PeerProcess &gone = Join("Kest");
    EXPECT_TRUE(stay.WaitFor(KernelEvent("PID_ADD", gone.Id())));
    gone.Tell("die");
    EXPECT_TRUE(gone.WaitForExit(3000));
    // Nothing was said: the table keeps it until it has been silent for 8 s.
    const std::string list = stay.Ask("procs 1", "PROCS");
    EXPECT_NE(std::string::npos, list.find(gone.Id())) << list;
}

} // namespace
