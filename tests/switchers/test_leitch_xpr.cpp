// The Leitch XPR drivers over pseudo-terminals with a simulated router: the take lines on
// every level, entry and range rules, the program lock that the share messages switch, the
// preset that takes the preview output, a take the line does not take (not recorded), the
// Ex variant's main/backup mode and second-output take, the NPortEX variant, and the
// single-level router's input map.
#include "tests/switchers/LeitchTestKit.h"

#include "drivers/switchers/leitch/CVideoSwitch_LeitchXpr.h"
#include "drivers/switchers/leitch/LeitchFrames.h"

#include <chrono>
#include <functional>
#include <future>

using namespace devtest;
using namespace leitchtest;
using swtest::BaseEntries;
using swtest::DebugOn;
using swtest::Entries;
using swtest::Init;

namespace {

constexpr auto kSio = plat::SerialPortKind::SIO;

std::string Take(int source, int destination)
{
    return leitch::XprTake(source, destination);
}

void Share(const char *value)
{
    glReportLog("#OVRA_DEV_SHARE", (std::string("<Virtual = \"") + value + "\">").c_str(), nullptr);
}

} // namespace

TEST(XprLine, TakesOnFourLevelsWithinRange)
{
    SimLine line(kSio, 33, Model::Xpr);
    MountedSettings settings(Section("XP", {{"COM", "33"}}) + Section("XP2", {{"COM", "33"}}));
    LogCapture log("LOG_DEV");
    CVideoSwitch_LeitchXpr sw;
    ASSERT_TRUE(Init(sw, "XP"));
    EXPECT_EQ(sw.GetTypeID(), CString(CDeviceA::kUnknownType));
    EXPECT_EQ(sw.GetDescription(), CString("视频切换(Leitch切换开关)"));

    EXPECT_EQ(sw.DevDirectTake(1, 20), 1);
    EXPECT_TRUE(line.Got(Take(16, 1))) << "held to the 16 sources";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 16);
    EXPECT_EQ(sw.DevDirectTake(1, 0), 1);
    EXPECT_TRUE(line.Got(Take(1, 1)));
    EXPECT_EQ(sw.DevDirectTake(2, 5), 1) << "a channel beyond the matrix sends nothing";
    EXPECT_TRUE(Eventually([&] { return log.Has("DEV=Xpr; Emulate = FALSE"); }));
    EXPECT_TRUE(log.Has("Dev=XPR;CMD=(" + Take(16, 1) + ")"));
    EXPECT_TRUE(Eventually([&] { return sw.Protocol().GetReplyFlag(); }))
        << "the answers are noted";

    CSerialIO_LeitchXpr &xpr = sw.Protocol();
    EXPECT_EQ(xpr.SendTake(17, 1), 0) << "above the highest source";
    EXPECT_EQ(xpr.SendTake(3, 5), 0) << "above the four destinations";
    EXPECT_EQ(xpr.SendTake(3, 4), 1);
    EXPECT_TRUE(line.Got(Take(3, 4))) << "only the take in range went out";
    EXPECT_EQ(xpr.QuerySource(4), 3);
    EXPECT_EQ(xpr.QuerySource(1), 1);
    EXPECT_TRUE(line.Got("R\rR\r"));

    CVideoSwitch_LeitchXpr second;
    ASSERT_TRUE(Init(second, "XP2"));
    EXPECT_EQ(second.DevOpen(), 1) << "the line is shared with the first device";
    EXPECT_EQ(second.Protocol().DevIsOpen(), 0);
    EXPECT_EQ(second.DevDirectTake(1, 9), 1);
    EXPECT_TRUE(line.Got(Take(9, 1)));
    EXPECT_EQ(xpr.QuerySource(1), 9) << "sent through the first device's object";
    line.Peer().ClearReceived();
}

TEST(XprLine, ProgramLockFollowsTheShareMessages)
{
    SimLine line(kSio, 34, Model::Xpr);
    MountedSettings settings(Section("XL", {{"COM", "34"}, {"LockPGM", "7"}}));
    CVideoSwitch_LeitchXpr sw;
    ASSERT_TRUE(Init(sw, "XL"));
    EXPECT_EQ(sw.GetLockSource(), 7) << "from initialisation until the first message";

    struct Step {
        const char *message;
        int lock;
        int routed;
    };
    const Step steps[] = {{"FALSE", 0, 3}, {"TRUE", 7, 7}, {"TRUE", 7, 7}, {"FALSE", 0, 3}};
    for (const Step &step : steps) {
        Share(step.message);
        ASSERT_TRUE(Eventually([&] { return sw.GetLockSource() == step.lock; })) << step.message;
        EXPECT_EQ(sw.DevDirectTake(1, 3), 1);
        EXPECT_TRUE(line.Got(Take(step.routed, 1))) << step.message;
        EXPECT_EQ(BaseEntries(sw, 1).pgm, step.routed);
    }
    Share("TRUE");
    ASSERT_TRUE(Eventually([&] { return sw.GetLockSource() == 7; }));
    ASSERT_EQ(sw.CVideoSwitchA::DevPreset(1, 2), 1);
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line.Got(Take(7, 1))) << "the lock in place of the preset";
    ExpectStrayShareMessagesIgnored([&] { return sw.GetLockSource() == 7; },
                                    [&] { Share("TRUE"); });
    Share("FALSE");
    EXPECT_TRUE(Eventually([&] { return sw.GetLockSource() == 0; }));
}

TEST(XprLine, PresetTakesThePreviewOutput)
{
    SimLine line(kSio, 35, Model::Xpr);
    MountedSettings settings(
        Section("XV", {{"COM", "35"}, {"Channel", "4"}, {"PGMChannel", "1"}, {"PSTChannel", "2"}}));
    CVideoSwitch_LeitchXpr sw;
    ASSERT_TRUE(Init(sw, "XV"));
    EXPECT_EQ(sw.DevPreset(1, 3), 1);
    EXPECT_TRUE(line.Got(Take(3, 2))) << "the preview output switched";
    EXPECT_EQ(BaseEntries(sw, 1).pst, 3);
    EXPECT_EQ(BaseEntries(sw, 2).pgm, 3);
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line.Got(Take(3, 1)));
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 3);
}

TEST(XprLine, TakeTheLineDoesNotTakeIsNotRecorded)
{
    SimLine line(kSio, 36, Model::Xpr);
    MountedSettings settings(Section("XF", {{"COM", "36"}}));
    CVideoSwitch_LeitchXpr sw;
    ASSERT_TRUE(Init(sw, "XF"));
    ASSERT_EQ(sw.DevDirectTake(1, 4), 1);
    ASSERT_TRUE(line.Got(Take(4, 1)));
    ASSERT_EQ(sw.CVideoSwitchA::DevPreset(1, 6), 1);

    kestsim::Faults hangUp;
    hangUp.hangUp = true;
    line.Peer().SetFaults(hangUp);
    EXPECT_EQ(sw.DevDirectTake(1, 9), 0);
    EXPECT_EQ(sw.DevTake(1), 0);
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{6, 4})) << "the base keeps what the router has";
    EXPECT_EQ(sw.Protocol().QuerySource(1), 4);
}

// The pause after a take line is the reply wait of the request loop: a close ends it.
TEST(XprLine, ACloseEndsThePauseAfterATakeLine)
{
    ManualTime time;
    SimLine line(plat::SerialPortKind::COM, 43, Model::Xpr);
    MountedSettings settings(Section("XC", {{"COM", "43"}}));
    CVideoSwitch_LeitchXpr sw;
    ASSERT_TRUE(Init(sw, "XC"));
    ASSERT_EQ(sw.DevOpen(), 1);
    auto take = std::async(std::launch::async, [&] { return sw.DevDirectTake(1, 3); });
    const auto returned = [&] {
        return take.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    };
    ASSERT_TRUE(line.Got(Take(3, 1)));
    sw.DevClose();
    const bool ended = Eventually(returned);
    if (!ended) AdvanceUntil(returned);
    EXPECT_TRUE(ended) << "the close ended the pause, the clock standing still";
    EXPECT_EQ(take.get(), 1) << "the line went out";
}

TEST(XprExLine, VirtualModeAndTheSecondOutput)
{
    SimLine line(kSio, 37, Model::Xpr);
    MountedSettings settings(Section("XE", {{"COM", "37"},
                                            {"Channel", "4"},
                                            {"Whith2Switch", "TRUE"},
                                            {"ChnOut2", "3"},
                                            {"SrcIn2", "4"}}));
    DebugOn debug;
    LogCapture notice("LOG_AIR_SWITCH");
    CVideoSwitch_LeitchXprEx sw;
    ASSERT_TRUE(Init(sw, "XE"));
    EXPECT_EQ(sw.GetDescription(), CString("视频切换(扩展协议Leitch切换开关)"));
    ASSERT_EQ(sw.DevDirectTake(1, 2), 1);
    ASSERT_TRUE(line.Got(Take(2, 1)));

    Share("TRUE");
    ASSERT_TRUE(Eventually([&] { return sw.GetVirtual(); }));
    EXPECT_TRUE(Eventually([&] { return notice.Has("recieve Log for Share dev (leitch)"); }));
    EXPECT_EQ(sw.Protocol().DevIsOpen(), 0) << "the port closed";
    EXPECT_EQ(sw.DevIsOpen(), 1);
    EXPECT_EQ(sw.DevDirectTake(1, 8), 1);
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 2) << "takes leave the entries alone";
    EXPECT_EQ(sw.DevPreset(1, 5), 1);
    EXPECT_EQ(BaseEntries(sw, 1).pst, 5) << "the preset is still recorded";
    EXPECT_TRUE(line.Peer().Received().empty()) << "nothing went out";

    Share("FALSE");
    ASSERT_TRUE(Eventually([&] { return !sw.GetVirtual(); }));
    EXPECT_TRUE(Eventually([&] { return notice.Has("(setVirtal)open leitch sucessful"); }));
    EXPECT_EQ(sw.DevTake2(1), 1);
    EXPECT_TRUE(line.Got(Take(5, 3) + Take(4, 1))) << "the preset to output 2, input 2 back";
}

// While virtual nothing opens the port and nothing reaches the router, whatever is asked:
// the second-output take answers 1 as the other blocked operations do, and a preset (also one
// that takes the preview output) is only recorded.
TEST(XprExLine, WhileVirtualNothingOpensThePortOrIsSent)
{
    SimLine line(kSio, 41, Model::Xpr);
    const auto section = [](const char *name) {
        return Section(name, {{"COM", "41"},
                              {"Channel", "4"},
                              {"Whith2Switch", "TRUE"},
                              {"ChnOut2", "3"},
                              {"SrcIn2", "4"},
                              {"PSTChannel", "2"}});
    };
    MountedSettings settings(section("XE") + section("XN"));
    CVideoSwitch_LeitchXprEx ex;
    CVideoSwitch_LeitchXprNPortEX nport;
    ASSERT_TRUE(Init(ex, "XE"));
    ASSERT_TRUE(Init(nport, "XN"));
    struct Case {
        const char *what;
        CVideoSwitch_LeitchXpr &sw;
        std::function<bool()> isVirtual;
    };
    const Case cases[] = {
        {"Ex", ex, [&] { return ex.GetVirtual(); }},
        {"NPortEX", nport, [&] { return nport.GetVirtual(); }},
    };
    Share("TRUE");
    for (const Case &c : cases) {
        ASSERT_TRUE(Eventually(c.isVirtual)) << c.what;
        EXPECT_EQ(c.sw.DevTake2(1), 1) << c.what;
        EXPECT_EQ(c.sw.DevPreset(1, 5), 1) << c.what;
        EXPECT_EQ(BaseEntries(c.sw, 1).pst, 5) << c.what << ": the preset is recorded";
        EXPECT_EQ(BaseEntries(c.sw, 2).pst, 5) << c.what << ": and on the preview output";
        EXPECT_EQ(c.sw.DevTake(1), 1) << c.what;
        EXPECT_EQ(c.sw.DevDirectTake(1, 6), 1) << c.what;
        EXPECT_EQ(CSerialIO::GetByActivePort(41), nullptr) << c.what << ": the port stays closed";
    }
    EXPECT_FALSE(line.Peer().WaitForBytes(1, 200)) << "nothing reached the router";
    Share("FALSE");
    for (const Case &c : cases) ASSERT_TRUE(Eventually([&] { return !c.isVirtual(); })) << c.what;
}

TEST(XprExLine, SecondOutputOffAndTheNPortVariant)
{
    SimLine line(kSio, 38, Model::Xpr);
    MountedSettings settings(Section("XE", {{"COM", "38"}}) +
                             Section("XN", {{"COM", "38"}, {"Whith2Switch", "TRUE"}}));
    DebugOn debug;
    {
        CVideoSwitch_LeitchXprEx ex;
        ASSERT_TRUE(Init(ex, "XE"));
        EXPECT_EQ(ex.DevTake2(1), 1) << "no second switch: nothing to do";
    }
    LogCapture notice("LOG_AIR_SWITCH");
    CVideoSwitch_LeitchXprNPortEX sw;
    ASSERT_TRUE(Init(sw, "XN"));
    EXPECT_EQ(sw.GetDescription(), CString("视频切换(扩展协议Leitch切换开关NPort)"));
    EXPECT_EQ(sw.DevTake2(1), 1);
    Share("TRUE");
    ASSERT_TRUE(Eventually([&] { return sw.GetVirtual(); }));
    EXPECT_EQ(sw.DevDirectTake(1, 3), 1);
    Share("FALSE");
    ASSERT_TRUE(Eventually([&] { return !sw.GetVirtual(); }));
    EXPECT_EQ(sw.DevDirectTake(1, 4), 1);
    EXPECT_TRUE(line.Got(Take(4, 1))) << "only the take after leaving virtual mode";
    EXPECT_EQ(notice.Count(), 0u) << "no debug lines";
}

TEST(XprAsLine, InputMapOnListedOutputs)
{
    SimLine line(kSio, 39, Model::Xpr);
    MountedSettings settings(Section("XA", {{"COM", "39"},
                                            {"Channel", "4"},
                                            {"ChnMatrixOutArray", "1"},
                                            {"ChnMatrixInMap", "5,6,0"}}));
    // Every text posted on the log type, whatever the case of its letters (the exact readers
    // only see types posted in capitals).
    kit::LogCapture log("LOG_Dev", LOG_MODE_PATTERN);
    CVideoSwitch_LeitchXpr_AS sw;
    ASSERT_TRUE(Init(sw, "XA"));
    struct Case {
        int channel, entry;
        const char *line;
        int recorded;
    };
    const Case cases[] = {
        {1, 2, "l0;s6;d1\r\n", 6}, // mapped
        {2, 2, "l0;s2;d2\r\n", 2}, // not a listed output
        {1, 3, "l0;s1;d1\r\n", 1}, // a mapped 0 is raised to 1
        {1, 9, "l0;s9;d1\r\n", 9}, // beyond the map
    };
    for (const Case &c : cases) {
        EXPECT_EQ(sw.DevDirectTake(c.channel, c.entry), 1);
        EXPECT_TRUE(line.Got(c.line)) << c.line;
        EXPECT_EQ(BaseEntries(sw, c.channel).pgm, c.recorded);
    }
    EXPECT_EQ(sw.DevPreset(2, 12), 1);
    EXPECT_EQ(sw.DevTake(2), 1);
    EXPECT_TRUE(line.Got("l0;s12;d2\r\n"));
    EXPECT_TRUE(Eventually([&] { return log.Has("DevTake  successfully!"); }));
}
