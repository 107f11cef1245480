// The text-framed drivers over pseudo-terminals with simulated switches: what each model puts
// on the line for takes, presets and takes of the preset, with ranges and outputs from the
// settings; the DLKD's own preset and the failures that send nothing; DLKDEx's main/backup
// mode; the Quartz matrix's answered takes, program and bypass outputs, silence, the port
// it keeps open, and QuartzX's buses.
#include "tests/sim/TextSwitchSim.h"
#include "tests/switchers/SwitcherTestKit.h"

#include "drivers/switchers/text/CVideoSwitch_BW120.h"
#include "drivers/switchers/text/CVideoSwitch_DLKD7200.h"
#include "drivers/switchers/text/CVideoSwitch_Quartz.h"

#include <functional>
#include <memory>

using namespace devtest;
using Model = kestsim::TextSwitchSim::Model;
using Route = kestsim::TextSwitchSim::Route;

namespace {

// A COM port whose far end is a simulated switch.
struct Line : kit::SimLine<kestsim::TextSwitchSim> {
    Line(int port, Model model) : SimLine(plat::SerialPortKind::COM, port, model) {}
    // Waits until `count` commands in all have come, then the commands.
    std::vector<Route> Routes(size_t count)
    {
        EXPECT_TRUE(Sim().WaitForRoutes(count, swtest::kSoonMs));
        return Sim().Routes();
    }
};

using swtest::BaseEntries;
using swtest::DebugOn;
using swtest::Entries;
using swtest::Init;

Route Bw(int channel, int entry)
{
    return {"", channel, entry, true};
}

Route Dlkd(char kind, int output, int input)
{
    return {std::string(1, kind), output, input, true};
}

Route Quartz(int output, int input)
{
    return {"VABCDEFG", output, input, true};
}

} // namespace

TEST(Bw120Line, TakesHoldTheWireToRange)
{
    Line line(71, Model::Bw120);
    MountedSettings settings(Section("BW", {{"COM", "71"}}));
    CVideoSwitch_BW120 sw;
    ASSERT_TRUE(Init(sw, "BW"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_SWITCH_BW120"));
    EXPECT_EQ(sw.GetChannels(), 2);

    EXPECT_EQ(sw.DevDirectTake(1, 5), 1) << "the first take opens the device";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 5);
    EXPECT_EQ(sw.DevDirectTake(12, 150), 0) << "a channel beyond the wire and the matrix";
    EXPECT_EQ(sw.DevDirectTake(2, 150), 1);
    EXPECT_EQ(line.Routes(2), (std::vector<Route>{Bw(1, 5), Bw(2, 99)})) << "the entry held";
    EXPECT_EQ(BaseEntries(sw, 2).pgm, 150) << "kept as given";

    ASSERT_EQ(sw.CVideoSwitchA::DevPreset(2, 7), 1);
    EXPECT_EQ(sw.DevTake(2), 1);
    EXPECT_EQ(line.Routes(3).back(), Bw(2, 7)) << "the channel's preset entry goes out";
    EXPECT_EQ(BaseEntries(sw, 2).pgm, 7);
}

TEST(Bw120Line, PortThatWillNotOpenSendsNothing)
{
    MountedSettings settings(Section("BW", {{"COM", "96"}}));
    CVideoSwitch_BW120 sw;
    ASSERT_TRUE(Init(sw, "BW"));
    EXPECT_EQ(sw.DevOpen(), 0);
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_COM_OPEN_FAILED);
    EXPECT_EQ(sw.DevDirectTake(1, 3), 0);
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 0) << "the base is not told of a failed take";
}

TEST(DlkdLine, DirectTakePresetAndTakeOnTheirOutputs)
{
    Line line(72, Model::Dlkd);
    MountedSettings settings(
        Section("DL", {{"COM", "72"}, {"PGMChannel", "0"}, {"PSTChannel", "1"}}));
    LogCapture log("LOG_DLKD");
    CVideoSwitch_DLKD7200 sw;
    ASSERT_TRUE(Init(sw, "DL"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_DLKD7200"));
    EXPECT_EQ(sw.GetPresetOutput(), 1);

    EXPECT_EQ(sw.DevTake(1), 0) << "no preset held yet";
    EXPECT_EQ(sw.DevPreset(1, -1), 0);

    EXPECT_EQ(sw.DevDirectTake(1, 3), 1);
    EXPECT_EQ(line.Routes(1), (std::vector<Route>{Dlkd('V', 0, 2)}));
    EXPECT_EQ(sw.DevDirectTake(5, 40), 1) << "channel and entry held to the matrix";
    EXPECT_EQ(line.Routes(2).back(), Dlkd('V', 0, 15));

    EXPECT_EQ(sw.DevPreset(1, 0), 1);
    EXPECT_EQ(sw.GetPresetEntry(), 1);
    EXPECT_EQ(line.Routes(3).back(), Dlkd('V', 1, 0)) << "routed to the preset output";
    EXPECT_EQ(sw.DevPreset(1, 6), 1);
    EXPECT_EQ(line.Routes(4).back(), Dlkd('V', 1, 5));
    EXPECT_EQ(BaseEntries(sw, 1).pst, 0) << "the base's preset is left alone";
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_EQ(line.Routes(5).back(), Dlkd('V', 0, 5));

    EXPECT_TRUE(Eventually([&] { return log.Has("DLKD7200矩阵进行直接切换，入:2  出:0"); }));
    EXPECT_TRUE(log.Has("DLKD7200矩阵进行预置，入:0  ")) << "the preset held before, less one";
    EXPECT_TRUE(log.Has("DLKD7200矩阵进行预置切换，入:5  出:1"));
    EXPECT_TRUE(Eventually([&] { return log.Has("DLKD7200矩阵进行切换，入:5  出:0"); }));
    for (const Route &r : line.Sim().Routes()) EXPECT_TRUE(r.checkOk);
}

TEST(DlkdLine, PresetOnTheProgramOutputIsOnlyKept)
{
    Line line(73, Model::Dlkd);
    MountedSettings settings(Section("DL1", {{"COM", "73"}, {"PSTChannel", "0"}}));
    CVideoSwitch_DLKD7200 sw;
    ASSERT_TRUE(Init(sw, "DL1"));
    EXPECT_EQ(sw.DevPreset(1, 4), 1);
    EXPECT_EQ(sw.GetPresetEntry(), 4);
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_EQ(line.Routes(1), (std::vector<Route>{Dlkd('V', 0, 3)})) << "only the take went out";
}

TEST(DlkdLine, Dlkd7100CommandAndLogs)
{
    Line line(74, Model::Dlkd);
    MountedSettings settings(
        Section("D71", {{"COM", "74"}, {"PGMChannel", "1"}, {"PSTChannel", "0"}}));
    LogCapture log("LOG_DLKD");
    CVideoSwitch_DLKD7100 sw;
    ASSERT_TRUE(Init(sw, "D71"));
    EXPECT_EQ(sw.GetChannels(), 2);
    EXPECT_TRUE(Eventually([&] { return log.Has("DLKD7100矩阵OnInitInstance:PGM = 1 PST = 0"); }));

    EXPECT_EQ(sw.DevDirectTake(2, 16), 1);
    EXPECT_EQ(sw.DevPreset(1, 2), 1);
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_EQ(line.Routes(3),
              (std::vector<Route>{Dlkd('D', 1, 15), Dlkd('D', 0, 1), Dlkd('D', 1, 1)}));
    EXPECT_TRUE(Eventually([&] { return log.Has("DLKD7100矩阵进行切换，入:1  出:1"); }));
    EXPECT_TRUE(log.Has("DLKD7200矩阵进行预置，入:-2  ")) << "the 7100 keeps the 7200's text";
}

TEST(DlkdEx, VirtualTakesSendNothingAndKeepNothing)
{
    Line line(75, Model::Dlkd);
    MountedSettings settings(Section("DLX", {{"COM", "75"}, {"Virtual", "TRUE"}}));
    DebugOn debug;
    LogCapture notice("LOG_AIR_SWITCH");
    CVideoSwitch_DLKDEx sw;
    ASSERT_TRUE(Init(sw, "DLX"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_DLKD7200"));
    EXPECT_TRUE(sw.GetVirtual());
    EXPECT_EQ(sw.DevOpen(), 1);
    EXPECT_EQ(sw.DevDirectTake(1, 7), 1);
    EXPECT_EQ(sw.DevPreset(1, 3), 1);
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{0, 0})) << "the entries do not follow";
    EXPECT_EQ(sw.GetPresetEntry(), -1);

    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"FALSE\">", nullptr);
    ASSERT_TRUE(Eventually([&] { return !sw.GetVirtual(); }));
    EXPECT_TRUE(Eventually([&] { return notice.Has("recieve Log for Share dev (leitch)"); }));
    EXPECT_EQ(sw.DevDirectTake(1, 2), 1);
    EXPECT_EQ(line.Routes(1), (std::vector<Route>{Dlkd('V', 0, 1)}))
        << "only the take after leaving virtual mode went out";
}

TEST(QuartzLine, ProgramAndBypassOutputs)
{
    Line line(76, Model::Quartz);
    MountedSettings settings(Section("QZ", {{"Com", "76"}, {"PGM", "3"}, {"ByPass", "7"}}));
    CVideoSwitch_Quartz sw;
    ASSERT_TRUE(Init(sw, "QZ"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_Quartz"));
    EXPECT_EQ(sw.GetSources(), 64);

    EXPECT_EQ(sw.DevDirectTake(1, 5), 1);
    EXPECT_EQ(line.Routes(2), (std::vector<Route>{Quartz(3, 5), Quartz(7, 5)}));
    EXPECT_EQ(BaseEntries(sw, 3).pgm, 5) << "recorded on the program output";

    EXPECT_EQ(sw.DevPreset(1, 90), 1);
    EXPECT_EQ(BaseEntries(sw, 1).pst, 64) << "a preset is only kept";
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_EQ(line.Routes(4).back(), Quartz(7, 64));
    EXPECT_EQ(line.Sim().Routes()[2], Quartz(3, 64))
        << "the channel's preset to the program output";

    EXPECT_EQ(sw.DevClose(), 1);
    EXPECT_EQ(sw.DevIsOpen(), 1) << "close leaves the port open";
    EXPECT_EQ(sw.DevOpen(), 1);
}

TEST(QuartzLine, UnansweredTakeFailsAfterThreeTries)
{
    Line line(77, Model::Quartz);
    MountedSettings settings(Section("QZ", {{"Com", "77"}, {"Level", "V"}}));
    CVideoSwitch_Quartz sw;
    ASSERT_TRUE(Init(sw, "QZ"));
    ASSERT_EQ(sw.DevOpen(), 1);
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_NORMAL);
    line.Sim().SetSilent(true);
    {
        ManualTime time;
        EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(2, 9); }), 0);
    }
    EXPECT_EQ(line.Routes(3).size(), 3u) << "tried three times from the start";
    EXPECT_EQ(line.Sim().Routes()[0], (Route{"V", 2, 9, true}));
    EXPECT_EQ(BaseEntries(sw, 2).pgm, 0) << "the base is not told";

    line.Sim().SetSilent(false);
    EXPECT_EQ(sw.DevDirectTake(2, 9), 1);
    EXPECT_EQ(BaseEntries(sw, 2).pgm, 9);
}

TEST(QuartzLine, OpenThatFails)
{
    MountedSettings settings(Section("QZ", {{"Com", "95"}}));
    CVideoSwitch_Quartz sw;
    ASSERT_TRUE(Init(sw, "QZ"));
    EXPECT_EQ(sw.DevOpen(), 0);
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_COM_OPEN_FAILED);
}

TEST(QuartzXLine, EveryBusOrTheChannel)
{
    Line line(78, Model::Quartz);
    MountedSettings settings(Section("QX", {{"Com", "78"}, {"BUS", "2,5"}}) +
                             Section("QX1", {{"Com", "78"}, {"BUS", "4"}}) +
                             Section("QX0", {{"Com", "78"}}));
    {
        CVideoSwitch_QuartzX sw;
        ASSERT_TRUE(Init(sw, "QX"));
        EXPECT_EQ(sw.GetBuses(), (std::vector<int>{2, 5}));
        EXPECT_EQ(sw.DevDirectTake(1, 9), 2);
        EXPECT_EQ(line.Routes(2), (std::vector<Route>{Quartz(2, 9), Quartz(5, 9)}));
        EXPECT_EQ(sw.DevPreset(1, 4), 2);
        EXPECT_EQ(sw.DevTake(1), 2);
        EXPECT_EQ(line.Routes(4).back(), Quartz(5, 4));
        EXPECT_EQ(BaseEntries(sw, 2).pgm, 4);
    } // its port closes with it

    CVideoSwitch_QuartzX one;
    ASSERT_TRUE(Init(one, "QX1"));
    EXPECT_EQ(one.GetBuses(), (std::vector<int>{4}));
    CVideoSwitch_QuartzX none;
    ASSERT_TRUE(Init(none, "QX0"));
    EXPECT_TRUE(none.GetBuses().empty());
    EXPECT_EQ(none.DevDirectTake(6, 1), 1);
    EXPECT_EQ(line.Routes(5).back(), Quartz(6, 1));
}

// A take on a channel the device cannot take (beyond the channel count, or beyond the BW120's
// wire channels 1..9) is refused before anything goes out; one it takes the base keeps.
TEST(TextSwitchChannels, AChannelTheDeviceRefusesIsRefusedBeforeAnythingIsSent)
{
    Line bw(91, Model::Bw120);
    Line wide(94, Model::Bw120);
    Line dlkd(92, Model::Dlkd);
    Line quartz(93, Model::Quartz);
    MountedSettings settings(
        Section("BW", {{"COM", "91"}}) + Section("BW16", {{"COM", "94"}, {"Channel", "16"}}) +
        Section("DL", {{"COM", "92"}}) + Section("QZ", {{"Com", "93"}, {"Channel", "4"}}));
    CVideoSwitch_BW120 bw120, bw16;
    CVideoSwitch_DLKD7200 dl;
    CVideoSwitch_Quartz qz;
    ASSERT_TRUE(Init(bw120, "BW"));
    ASSERT_TRUE(Init(bw16, "BW16"));
    ASSERT_TRUE(Init(dl, "DL"));
    ASSERT_TRUE(Init(qz, "QZ"));
    ASSERT_EQ(dl.DevPreset(1, 3), 1);
    struct Case {
        const char *what;
        Line &line;
        std::function<int()> take;
    };
    const Case cases[] = {
        {"BW120 direct take on channel 3 of 2", bw, [&] { return bw120.DevDirectTake(3, 5); }},
        {"BW120 take on channel 3 of 2", bw, [&] { return bw120.DevTake(3); }},
        {"BW120 direct take on channel 0", bw, [&] { return bw120.DevDirectTake(0, 5); }},
        {"BW120 direct take on channel 12, beyond the wire", wide,
         [&] { return bw16.DevDirectTake(12, 5); }},
        {"DLKD7200 take on channel 2 of 1", dlkd, [&] { return dl.DevTake(2); }},
        {"Quartz direct take on channel 5 of 4", quartz, [&] { return qz.DevDirectTake(5, 2); }},
        {"Quartz take on channel 5 of 4", quartz, [&] { return qz.DevTake(5); }},
    };
    for (const Case &c : cases) {
        const size_t before = c.line.Sim().Routes().size();
        EXPECT_EQ(c.take(), 0) << c.what;
        EXPECT_FALSE(c.line.Sim().WaitForRoutes(before + 1, 200)) << c.what << ": nothing sent";
    }
    const size_t before = wide.Sim().Routes().size();
    EXPECT_EQ(bw16.DevDirectTake(9, 150), 1) << "the wire's last channel";
    EXPECT_EQ(wide.Routes(before + 1).back(), Bw(9, 99));
    EXPECT_EQ(BaseEntries(bw16, 9).pgm, 150);
}

// A line that hung up fails the take at once on every text model: the write fails, no reply is
// awaited (the Quartz tries three times, a second each, when its takes go unanswered) and the
// base is not told.
TEST(TextSwitchLines, AHungUpLineFailsTheTakeAtOnce)
{
    struct Case {
        const char *what;
        Model model;
        int port;
        std::function<std::unique_ptr<CVideoSwitchA>()> make;
    };
    const Case cases[] = {
        {"BW120", Model::Bw120, 100, [] { return std::make_unique<CVideoSwitch_BW120>(); }},
        {"DLKD7200", Model::Dlkd, 101, [] { return std::make_unique<CVideoSwitch_DLKD7200>(); }},
        {"Quartz", Model::Quartz, 102, [] { return std::make_unique<CVideoSwitch_Quartz>(); }},
    };
    ManualTime time;
    for (const Case &c : cases) {
        Line line(c.port, c.model);
        const std::string port = std::to_string(c.port);
        MountedSettings settings(Section("HUP", {{"COM", port}, {"Com", port}}));
        const auto sw = c.make();
        ASSERT_TRUE(Init(*sw, "HUP")) << c.what;
        ASSERT_EQ(sw->DevOpen(), 1) << c.what;
        kestsim::Faults hangUp;
        hangUp.hangUp = true;
        line.Sim().SetFaults(hangUp);
        const auto [took, ms] = RunStepping([&] { return sw->DevDirectTake(1, 3); }, 50, 10000);
        EXPECT_EQ(took, 0) << c.what;
        EXPECT_LT(ms, CSerialSwitchIO::kReplyMs) << c.what << ": no reply awaited";
        EXPECT_EQ(BaseEntries(*sw, 1).pgm, 0) << c.what;
    }
}
