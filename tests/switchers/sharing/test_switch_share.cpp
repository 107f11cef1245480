// Switcher sharing: a network switcher borrowing a switcher of the device manager through the
// sharing server, end to end on 127.0.0.1; the requests it sends, byte for byte, and the
// channels they go to (against a serving process of the tests' own); the server's replies to
// requests of the tests' own, short requests dropped; and the open's failures.
#include "SwShareTestKit.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/switchers/sharing/CVideoSwitchShareServ.h"
#include "drivers/switchers/sharing/CVideoSwitch_Net.h"
#include "tests/sim/ShareSwitchPeer.h"

using namespace swsharetest;
using namespace devtest;
using namespace kestsim;

namespace {

constexpr const char *kServerName = "SwitchShareHost";
constexpr int kShortReplyMs = 300;

std::string Settings(const std::string &netKeys, const std::string &dev = "SW8")
{
    return Section("DevMgr", {{"VideoSwitch", "{\"SW8\"}"}}) +
           Section("SW8", {{"class", "CShareTestSwitch"}, {"Channel", "8"}, {"Source", "32"}}) +
           "[NET]\r\nclass=CVideoSwitch_Net\r\nServer=\"kest://any/" + kServerName + "\"" +
           "\r\nDev=" + dev + "\r\n" + netKeys;
}

class SwitchShareTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResolveTo(kServerName, serverDisp.Port());
        server.InitInstance(nullptr, nullptr);
        ASSERT_EQ(server.ActiveInstance(), 1);
    }
    void TearDown() override { server.DeactiveInstance(0); }

    void Configure(const std::string &netKeys = "", const std::string &dev = "SW8")
    {
        settings = std::make_unique<MountedSettings>(Settings(netKeys, dev));
        ASSERT_EQ(manager->Initlization("/etc/tvx/DevMgr"), 1);
        ASSERT_EQ(net.InitInstance("/etc/tvx/NET", "NET"), 1);
        net.Client().SetReplyTimeout(2000);
    }
    CVideoSwitchA *Borrowed() { return manager->GetVideoSwitchDev("SW8", 1, nullptr); }

    DeleteDevices cleanup{{"SW8"}};
    ActiveDisp clientDisp{"SwShareClientDisp"}; // first: the process's dispatcher
    ActiveDisp serverDisp{"SwShareServerDisp"};
    CVideoSwitchShareServ server;
    std::unique_ptr<CVideoDevMgr> manager = std::make_unique<CVideoDevMgr>();
    std::unique_ptr<MountedSettings> settings;
    CVideoSwitch_Net net;
};

} // namespace

TEST_F(SwitchShareTest, ANetworkSwitcherDrivesTheBorrowedSwitcher)
{
    Configure();
    EXPECT_EQ(net.GetChannels(), 1);
    EXPECT_EQ(net.GetSources(), 16);
    EXPECT_EQ(net.GetTypeID(), CString("LVSWITCH_MCS_NET"));
    ASSERT_EQ(net.ActiveInstance(), 1);
    EXPECT_EQ(net.GetChannels(), 8) << "the borrowed switcher's size";
    EXPECT_EQ(net.GetSources(), 32);
    EXPECT_NE(net.DevIsOpen(), 0);
    EXPECT_EQ(net.GetDevStatus().nCode, DEVSTATUS_NORMAL);
    CVideoSwitchA *borrowed = Borrowed();
    ASSERT_NE(borrowed, nullptr);

    // Takes go to remote channel 1 (PGM), presets to channel 2 (PST).
    EXPECT_EQ(net.DevDirectTake(5, 7), 1);
    EXPECT_EQ(BaseEntries(*borrowed, 1).pgm, 7);
    EXPECT_EQ(net.DevPreset(5, 9), 1);
    EXPECT_EQ(BaseEntries(*borrowed, 2).pst, 9);
    borrowed->DevPreset(1, 4);
    EXPECT_EQ(net.DevTake(5), 1);
    EXPECT_EQ(BaseEntries(*borrowed, 1), (Entries{7, 4}));
    EXPECT_EQ(BaseEntries(net, 1), (Entries{0, 0})) << "remote calls leave the local record";

    int entry = -1;
    EXPECT_EQ(net.DevQueryPgmEntry(1, entry), 1);
    EXPECT_EQ(entry, 4);
    EXPECT_EQ(net.DevQueryPstEntry(2, entry), 1);
    EXPECT_EQ(entry, 9);
    EXPECT_EQ(net.DevQueryPgmEntry(9, entry), 0) << "outside the borrowed matrix";
    EXPECT_EQ(net.DevSetTransType(3), 1);
    EXPECT_EQ(net.DevSetTransRate(25), 1);
    int type = 0, rate = 0;
    EXPECT_EQ(net.DevQueryTransMode(type, rate), 1);
    EXPECT_EQ(std::make_pair(type, rate), std::make_pair(3, 25));
    EXPECT_EQ(net.DevTest(""), 1);

    // Deactivation closes; the next operation activates, and so opens, the device again.
    EXPECT_EQ(net.DeactiveInstance(0), 1);
    EXPECT_EQ(net.DevIsOpen(), 0);
    EXPECT_EQ(net.DevDirectTake(1, 2), 1);
    EXPECT_NE(net.DevIsOpen(), 0);
}

TEST_F(SwitchShareTest, TheServerRepliesByteForByteAndDropsShortRequests)
{
    Configure();
    ShareSwitchPeer client;
    ASSERT_TRUE(client.Send(serverDisp.Port(), 1, 11, ShareText("SW8")));
    Bytes reply = client.ReplyIn(11, kSoonMs);
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(NetField(reply, kHeadResult), 1u);
    EXPECT_EQ(NetData(reply), ShareValues({ShareInt(8), ShareInt(32)})) << "channels, sources";

    ASSERT_TRUE(client.Send(serverDisp.Port(), 7, 12,
                            ShareValues({ShareText("SW8"), ShareInt(3), ShareInt(12)})));
    reply = client.ReplyIn(12, kSoonMs);
    EXPECT_EQ(NetField(reply, kHeadResult), 1u);
    EXPECT_TRUE(NetData(reply).empty());
    EXPECT_EQ(BaseEntries(*Borrowed(), 3).pgm, 12);

    ASSERT_TRUE(
        client.Send(serverDisp.Port(), 10, 13, ShareValues({ShareText("SW8"), ShareInt(3)})));
    reply = client.ReplyIn(13, kSoonMs);
    EXPECT_EQ(NetField(reply, kHeadResult), 1u);
    EXPECT_EQ(NetData(reply), ShareInt(12));

    // A switcher the manager does not know: result 0 (an open then carries no size).
    ASSERT_TRUE(client.Send(serverDisp.Port(), 1, 14, ShareText("NOPE")));
    reply = client.ReplyIn(14, kSoonMs);
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(NetField(reply, kHeadResult), 0u);
    EXPECT_EQ(NetData(reply), ShareValues({ShareInt(0), ShareInt(0)}));

    // A direct take with one integer only is not answered, and changes nothing.
    ASSERT_TRUE(
        client.Send(serverDisp.Port(), 7, 15, ShareValues({ShareText("SW8"), ShareInt(3)})));
    EXPECT_TRUE(client.ReplyIn(15, kShortReplyMs).empty());
    EXPECT_EQ(BaseEntries(*Borrowed(), 3).pgm, 12);
    ASSERT_TRUE(client.Send(serverDisp.Port(), 4, 16, ShareValues({ShareText("SW8")})));
    EXPECT_TRUE(client.ReplyIn(16, kShortReplyMs).empty()) << "a test without its text";
}

TEST_F(SwitchShareTest, RequestsAreByteExactAndGoToTheConfiguredChannels)
{
    ShareSwitchPeer fake;
    ResolveTo(kServerName, fake.Port());
    fake.Answer([](uint16_t message, const Bytes &) -> ShareSwitchPeer::Reply {
        if (message == 1) return {{1, ShareValues({ShareInt(2), ShareInt(16)})}};
        return {{1, {}}};
    });
    // PGM 3 above the remote channel count of 2; PST equal to PGM.
    Configure("PGM=3\r\nPST=3\r\n");
    ASSERT_EQ(net.ActiveInstance(), 1);
    Bytes open = fake.NextRequest(kSoonMs);
    EXPECT_EQ(NetField(open, kHeadMessage), 1u);
    EXPECT_EQ(NetField(open, kHeadSourcePort), clientDisp.Port());
    EXPECT_EQ(NetField(open, kHeadDestinationPort), fake.Port());
    EXPECT_NE(NetField(open, kHeadReplyBox), 0u);
    EXPECT_EQ(NetData(open), ShareText("SW8"));
    EXPECT_EQ(net.GetChannels(), 2);

    auto sent = [&](uint16_t message) {
        const Bytes request = fake.NextRequest(kSoonMs);
        EXPECT_EQ(NetField(request, kHeadMessage), message);
        return NetData(request);
    };
    net.DevDirectTake(1, 5);
    EXPECT_EQ(sent(7), ShareValues({ShareText("SW8"), ShareInt(3), ShareInt(5)}));
    net.DevTake(1);
    EXPECT_EQ(sent(9), ShareValues({ShareText("SW8"), ShareInt(1)})) << "PGM beyond the count";
    net.DevPreset(2, 6);
    EXPECT_EQ(sent(8), ShareValues({ShareText("SW8"), ShareInt(3), ShareInt(6)})) << "PST = PGM";
    net.DevTest("ignored");
    EXPECT_EQ(sent(10), ShareValues({ShareText("SW8"), ShareInt(1)}));
    net.DevSetTransRate(-2);
    EXPECT_EQ(sent(6), ShareValues({ShareText("SW8"), ShareInt(-2)}));
    int type = 0, rate = 0;
    net.DevQueryTransMode(type, rate);
    EXPECT_EQ(sent(12), ShareText("SW8"));
}

TEST_F(SwitchShareTest, PresetsGoToTheProgramChannelUnlessThePresetChannelIsOwn)
{
    ShareSwitchPeer fake;
    ResolveTo(kServerName, fake.Port());
    fake.Answer([](uint16_t message, const Bytes &) -> ShareSwitchPeer::Reply {
        if (message == 1) return {{1, ShareValues({ShareInt(4), ShareInt(16)})}};
        return {{1, {}}};
    });
    const std::pair<std::string, int> cases[] = {
        {"PGM=1\r\nPST=0\r\n", 1}, {"PGM=2\r\nPST=5\r\n", 2}, {"PGM=2\r\nPST=4\r\n", 4}};
    for (const auto &[keys, channel] : cases) {
        CVideoSwitch_Net sw;
        settings = std::make_unique<MountedSettings>(Settings(keys));
        ASSERT_EQ(sw.InitInstance("/etc/tvx/NET", "NET"), 1);
        ASSERT_EQ(sw.ActiveInstance(), 1);
        fake.NextRequest(kSoonMs);
        sw.DevPreset(3, 7);
        const Bytes preset = fake.NextRequest(kSoonMs);
        EXPECT_EQ(ShareInts(NetData(preset), 7), (std::vector<int32_t>{channel, 7})) << keys;
    }

    // PGM 0: takes go to the caller's channel.
    CVideoSwitch_Net sw;
    settings = std::make_unique<MountedSettings>(Settings("PGM=0\r\n"));
    ASSERT_EQ(sw.InitInstance("/etc/tvx/NET", "NET"), 1);
    ASSERT_EQ(sw.ActiveInstance(), 1);
    fake.NextRequest(kSoonMs);
    sw.DevDirectTake(3, 1);
    EXPECT_EQ(ShareInts(NetData(fake.NextRequest(kSoonMs)), 7), (std::vector<int32_t>{3, 1}));
    sw.DevTake(2);
    EXPECT_EQ(ShareInts(NetData(fake.NextRequest(kSoonMs)), 7), (std::vector<int32_t>{2}));
}

TEST_F(SwitchShareTest, AFailedOpenForgetsTheServerAndTheNextOneResolvesAgain)
{
    Configure();
    net.Client().SetReplyTimeout(kShortReplyMs);
    ShareSwitchPeer silent; // answers nothing
    ResolveTo(kServerName, silent.Port());
    EXPECT_EQ(net.DevOpen(), 0);
    EXPECT_EQ(net.GetDevStatus().nCode, DEVSTATUS_RUN_FAILED);
    EXPECT_EQ(net.DevIsOpen(), 0);
    int entry = 5;
    EXPECT_EQ(net.DevQueryPgmEntry(1, entry), 0);
    EXPECT_EQ(entry, 0) << "the local value, no reply over it";

    ResolveTo(kServerName, serverDisp.Port());
    EXPECT_EQ(net.DevOpen(), 1);
    EXPECT_EQ(net.GetChannels(), 8);
    EXPECT_EQ(net.DevClose(), 1);
    ResolveTo(kServerName, silent.Port());
    EXPECT_EQ(net.DevOpen(), 0) << "resolved again after the close";
    ASSERT_FALSE(silent.NextRequest(kSoonMs).empty());
}

TEST_F(SwitchShareTest, AnUnknownRemoteSwitcherOrServerFailsTheOpen)
{
    Configure("", "NOPE");
    EXPECT_EQ(net.DevOpen(), 0);
    EXPECT_EQ(net.GetDevStatus().nCode, DEVSTATUS_RUN_FAILED);
    EXPECT_EQ(net.GetChannels(), 1);

    CVideoSwitch_Net unresolved;
    settings = std::make_unique<MountedSettings>(Settings("") + "[BAD]\r\nServer=not a url\r\n");
    ASSERT_EQ(unresolved.InitInstance("/etc/tvx/BAD", "BAD"), 1);
    EXPECT_EQ(unresolved.DevOpen(), 0);
    EXPECT_EQ(unresolved.GetDevStatus().nCode, DEVSTATUS_NET_FAILED);
    EXPECT_EQ(unresolved.DevIsOpen(), 0);
    EXPECT_EQ(unresolved.DevDirectTake(1, 1), 0) << "nothing is sent without an open";
}
