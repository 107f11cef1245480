// The serial switcher pattern on the BDS1602 switch over a board port with a simulated switch:
// the status query at open, clamped takes and presets with their echoes, the unclamped take of
// the preset entry, the preset bus, tries that grow once the switch has answered, replies
// gathered from pieces and after stray bytes, a short reply, a write the line refuses, a port
// that will not open, and the EX variant's main/backup mode.
#include "tests/switchers/SwitcherTestKit.h"

#include "drivers/switchers/binary/CVideoSwitch_BDS1602CP.h"

using namespace devtest;
using namespace swtest;
using Model = kestsim::SwitcherSim::Model;

namespace {

std::string BdsSetting(const std::string &name, int port, const std::string &extra = "")
{
    return Section(name, {{"class", "CVideoSwitch_BDS1602CP"}, {"COM", std::to_string(port)}}) +
           extra;
}

using kestsim::Silent;

} // namespace

TEST(Bds1602Line, OpenTakesPresetsAndQueries)
{
    Line line(plat::SerialPortKind::SIO, 51, Model::Bds1602);
    MountedSettings settings(BdsSetting("BDS", 51));
    DebugOn debug;
    LogCapture log("LOG_BDS1602");
    CVideoSwitch_BDS1602CP sw;
    ASSERT_TRUE(Init(sw, "BDS"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_BDS1602CP"));
    EXPECT_EQ(sw.GetSources(), 16);
    EXPECT_EQ(sw.GetChannels(), 1);

    line.Sim().SetProgram(4);
    ASSERT_EQ(sw.DevOpen(), 1);
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_NORMAL);
    EXPECT_TRUE(line.Got({0xC0, 0x00})) << "the state is asked at open";
    EXPECT_EQ(sw.Protocol().GetLastSource(), 4);

    EXPECT_EQ(sw.DevDirectTake(1, 0), 1);
    EXPECT_TRUE(line.Got({0xA0, 0x00, 0x00})) << "entry 0 is held to entry 1";
    EXPECT_EQ(sw.DevDirectTake(1, 20), 1);
    EXPECT_TRUE(line.Got({0xA0, 0x00, 0x0F}));
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 16);
    EXPECT_EQ(sw.Protocol().GetTries(), 3);

    EXPECT_EQ(sw.DevPreset(1, 3), 1);
    EXPECT_TRUE(line.Got({0xA0, 0x01, 0x02}));
    EXPECT_EQ(sw.Protocol().GetLastSource(), 15) << "a preset's echo leaves the state";
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line.Got({0xA0, 0x00, 0x02}));
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{16, 3}));

    // The preset entry is sent unclamped: 16 - 1.
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line.Got({0xA0, 0x00, 0x0F}));

    int entry = 0;
    EXPECT_EQ(sw.DevQueryPgmEntry(1, entry), 1);
    EXPECT_EQ(entry, 16);
    EXPECT_TRUE(log.Has("(     BDS) DirectTake(OK)"));
    EXPECT_TRUE(log.Has("(     BDS) Preset(OK)"));
    EXPECT_TRUE(log.Has("(     BDS) Take(OK)"));
}

TEST(Bds1602Line, PresetBusKeyClearsBit4)
{
    Line line(plat::SerialPortKind::SIO, 52, Model::Bds1602);
    MountedSettings settings(Section("BDS16", {{"COM", "52"}, {"PstEntry", "16"}}) +
                             Section("BDS2X", {{"COM", "52"}, {"PstEntry", "2"}}));
    CVideoSwitch_BDS1602CP sw;
    ASSERT_TRUE(Init(sw, "BDS2X"));
    ASSERT_EQ(sw.DevPreset(1, 1), 1);
    EXPECT_TRUE(line.Peer().WaitForContains({0xA0, 0x02, 0x00}, kSoonMs));
    sw.DevClose();
    line.Peer().ClearReceived();

    CVideoSwitch_BDS1602CP sw16;
    ASSERT_TRUE(Init(sw16, "BDS16"));
    ASSERT_EQ(sw16.DevPreset(1, 1), 1);
    EXPECT_TRUE(line.Peer().WaitForContains({0xA0, 0x00, 0x00}, kSoonMs));
}

TEST(Bds1602Line, TriesGrowOnceAnsweredAndFailuresLeaveTheEntries)
{
    ManualTime time;
    Line line(plat::SerialPortKind::SIO, 53, Model::Bds1602);
    MountedSettings settings(BdsSetting("BDS", 53));
    DebugOn debug;
    LogCapture log("LOG_BDS1602");
    LogCapture dump("LOG_DBG_BDS1602");
    CVideoSwitch_BDS1602CP sw;
    ASSERT_TRUE(Init(sw, "BDS"));

    line.Sim().SetFaults(Silent());
    ASSERT_EQ(RunAdvancing([&] { return sw.DevOpen(); }), 1)
        << "an unanswered query does not fail the open";
    EXPECT_TRUE(dump.Has("Query DevStatus failed"));
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 5); }), 0);
    EXPECT_TRUE(line.Peer().WaitForBytes(5, kSoonMs));
    EXPECT_EQ(line.Peer().Received(), (Bytes{0xC0, 0x00, 0xA0, 0x00, 0x04})) << "one try each";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 0);
    EXPECT_TRUE(log.Has("(     BDS) DirectTake(failed)"));
    EXPECT_TRUE(dump.Has("0400A0")) << "frames dumped, last byte first";

    line.Sim().SetFaults({});
    line.Peer().ClearReceived();
    EXPECT_EQ(sw.DevPreset(1, 2), 1);
    EXPECT_TRUE(line.Got({0xA0, 0x01, 0x01}));
    EXPECT_EQ(sw.Protocol().GetTries(), 3);

    line.Sim().SetFaults(Silent());
    EXPECT_EQ(RunAdvancing([&] { return sw.DevTake(1); }), 0);
    const Bytes take{0xA0, 0x00, 0x01};
    EXPECT_TRUE(
        line.Got({take[0], take[1], take[2], take[0], take[1], take[2], take[0], take[1], take[2]}))
        << "three tries once answered";
    EXPECT_TRUE(log.Has("(     BDS) Take(Failed)"));
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{2, 0})) << "a failed take swaps nothing";
}

TEST(Bds1602Line, RepliesAreGatheredFromPiecesAndAfterStrayBytes)
{
    Line line(plat::SerialPortKind::SIO, 54, Model::Bds1602);
    MountedSettings settings(BdsSetting("BDS", 54));
    CVideoSwitch_BDS1602CP sw;
    ASSERT_TRUE(Init(sw, "BDS"));
    ASSERT_EQ(sw.DevOpen(), 1);

    int entry = 2;
    for (const auto &c : SplitAndStrayReplies(0x07, 0xFF)) {
        line.Sim().SetFaults(c.faults);
        line.Peer().ClearReceived();
        EXPECT_EQ(sw.DevDirectTake(1, entry), 1) << c.what;
        EXPECT_EQ(sw.Protocol().GetLastSource(), entry - 1) << c.what;
        EXPECT_TRUE(line.Got({0xA0, 0x00, static_cast<uint8_t>(entry - 1)}))
            << c.what << ": one try";
        ++entry;
    }
}

TEST(Bds1602Line, ShortReplyIsNoReply)
{
    ManualTime time;
    Line line(plat::SerialPortKind::SIO, 58, Model::Bds1602);
    MountedSettings settings(BdsSetting("BDS", 58));
    CVideoSwitch_BDS1602CP sw;
    ASSERT_TRUE(Init(sw, "BDS"));
    line.Sim().SetProgram(6);
    ASSERT_EQ(sw.DevOpen(), 1);
    kestsim::SwitcherSim::Faults faults;
    faults.shortReply = true;
    line.Sim().SetFaults(faults);
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 9); }), 0);
    EXPECT_EQ(sw.Protocol().GetLastSource(), 6);
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 0);
}

TEST(Bds1602Line, FailedWriteEndsTheRequestAtOnce)
{
    ManualTime time;
    Line line(plat::SerialPortKind::SIO, 59, Model::Bds1602);
    MountedSettings settings(BdsSetting("BDS", 59));
    DebugOn debug;
    LogCapture dump("LOG_DBG_BDS1602");
    CVideoSwitch_BDS1602CP sw;
    ASSERT_TRUE(Init(sw, "BDS"));
    ASSERT_EQ(sw.DevOpen(), 1);
    ASSERT_EQ(sw.Protocol().GetTries(), 3) << "answered: three tries from now on";

    kestsim::SwitcherSim::Faults faults;
    faults.hangUp = true;
    line.Sim().SetFaults(faults);
    dump.Clear();
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 4); }), 0);
    EXPECT_EQ(sw.DevIsOpen(), 0) << "a line that hung up closes its port (opened again later)";
    EXPECT_EQ(dump.Lines(), (std::vector<std::string>{"0300A0"})) << "one write, no further try";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 0);
}

TEST(Bds1602Line, PortThatWillNotOpen)
{
    MountedSettings settings(BdsSetting("BDS", 97));
    CVideoSwitch_BDS1602CP sw;
    ASSERT_TRUE(Init(sw, "BDS"));
    EXPECT_EQ(sw.DevOpen(), 0);
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_COM_OPEN_FAILED);
    EXPECT_EQ(sw.DevDirectTake(1, 2), 0);
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 0);
}

TEST(Bds1602Ex, VirtualModeFollowsTheShareBus)
{
    Line line(plat::SerialPortKind::SIO, 55, Model::Bds1602);
    MountedSettings settings(
        Section("BDSX", {{"class", "CVideoSwitch_BDS1602CPEX"}, {"COM", "55"}}));
    CVideoSwitch_BDS1602CPEX sw;
    ASSERT_TRUE(Init(sw, "BDSX"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_BDS1602CP"));
    ASSERT_EQ(sw.DevOpen(), 1);
    ASSERT_TRUE(line.Got({0xC0, 0x00}));

    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"TRUE\">", nullptr);
    ASSERT_TRUE(Eventually([&] { return sw.GetVirtual(); }));
    EXPECT_EQ(sw.Protocol().DevIsOpen(), 0) << "the port is closed";
    EXPECT_EQ(sw.DevIsOpen(), 1);
    EXPECT_EQ(sw.DevDirectTake(1, 7), 1);
    EXPECT_EQ(sw.DevPreset(1, 3), 1);
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{3, 7})) << "the entries follow";

    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"FALSE\">", nullptr);
    ASSERT_TRUE(Eventually([&] { return !sw.GetVirtual(); }));
    EXPECT_EQ(sw.Protocol().DevIsOpen(), 1) << "reopened before the flag changed";
    EXPECT_TRUE(line.Got({0xC0, 0x00})) << "nothing of the virtual takes went out";
    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"FALSE\">", nullptr);
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line.Got({0xA0, 0x00, 0x02})) << "the same message twice does nothing";
}

TEST(Bds1602Ex, StrayShareMessagesLeaveVirtualModeAlone)
{
    MountedSettings settings(Section("BDSX", {{"COM", "97"}, {"Virtual", "TRUE"}}));
    CVideoSwitch_BDS1602CPEX sw;
    ASSERT_TRUE(Init(sw, "BDSX"));
    // A reader that acts reopens the port, three tries 1000 ms apart.
    ExpectStrayShareMessagesIgnored([&] { return sw.GetVirtual(); }, [&] { sw.SetVirtual(true); },
                                    10000);
}

TEST(Bds1602Ex, VirtualAtStartAndReopenThatFails)
{
    ManualTime time;
    MountedSettings settings(Section("BDSX", {{"COM", "98"}, {"Virtual", "TRUE"}}));
    CVideoSwitch_BDS1602CPEX sw;
    ASSERT_TRUE(Init(sw, "BDSX"));
    EXPECT_TRUE(sw.GetVirtual());
    EXPECT_EQ(sw.DevOpen(), 1) << "virtual: the port is left alone";
    const uint32_t before = plat::GetTickCount();
    RunAdvancing([&] {
        sw.SetVirtual(false);
        return 0;
    });
    EXPECT_GE(plat::TickDiff(plat::GetTickCount(), before), 3000) << "three tries, 1000 ms apart";
    EXPECT_FALSE(sw.GetVirtual());
    EXPECT_EQ(sw.DevOpen(), 0);
}
