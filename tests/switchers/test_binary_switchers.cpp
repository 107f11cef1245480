// The binary-framed switch and router drivers over pseudo-terminals: the APS1602's check at
// open, its acknowledged, refused, garbled and unanswered commands, replies gathered from
// pieces and after stray bytes, and a line shared by two devices;
// the frames that the write-only models put on the line for takes, presets and takes of the
// preset, with their ranges; the ONYX matrix's polls and confirmations and ONYXX's buses.
#include "tests/switchers/SwitcherTestKit.h"

#include "drivers/switchers/binary/CVideoSwitch_APS1602.h"
#include "drivers/switchers/binary/CVideoSwitch_Avs300.h"
#include "drivers/switchers/binary/CVideoSwitch_BJAS.h"
#include "drivers/switchers/binary/CVideoSwitch_BJSX.h"
#include "drivers/switchers/binary/CVideoSwitch_BoHui.h"
#include "drivers/switchers/binary/CVideoSwitch_Network1616.h"
#include "drivers/switchers/binary/CVideoSwitch_ONYX.h"

#include "platform/Process.h"

using namespace devtest;
using namespace swtest;
using Model = kestsim::SwitcherSim::Model;

namespace {

kestsim::SwitcherSim::Faults Faults(bool silent, bool refuse = false)
{
    kestsim::SwitcherSim::Faults faults;
    faults.silent = silent;
    faults.nak = refuse;
    return faults;
}

// Captures the debugger output for the test's life.
class DebugOutput {
public:
    DebugOutput()
    {
        m_previous = plat::SetDebugOutputSink([this](const char *text) {
            std::lock_guard<std::mutex> lk(m_lock);
            m_lines.emplace_back(text);
        });
    }
    ~DebugOutput() { plat::SetDebugOutputSink(m_previous); }
    bool Has(const std::string &line)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
    }

private:
    plat::DebugOutputSink m_previous;
    std::mutex m_lock;
    std::vector<std::string> m_lines;
};

} // namespace

TEST(Aps1602Line, CheckedOpenAndCommands)
{
    Line line(plat::SerialPortKind::SIO, 61, Model::Aps1602);
    MountedSettings settings(Section("APS", {{"COM", "61"}}));
    CVideoSwitch_APS1602 sw;
    ASSERT_TRUE(Init(sw, "APS"));
    EXPECT_EQ(sw.GetTypeID(), CString(CDeviceA::kUnknownType));

    ASSERT_EQ(sw.DevOpen(), 1);
    EXPECT_TRUE(line.Got({0x55, 0x60, 0x20, 0x26})) << "the preset query checks the device";
    EXPECT_EQ(sw.DevDirectTake(1, 3), 1);
    EXPECT_TRUE(line.Got({0x55, 0x21, 0x10, 0x02, 0x14}));
    EXPECT_EQ(sw.DevPreset(1, 1), 1);
    EXPECT_TRUE(line.Got({0x55, 0x21, 0x11, 0x00, 0x13}));
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line.Got({0x55, 0x21, 0x10, 0x00, 0x12}));
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{3, 1}));

    int entry = 0;
    EXPECT_EQ(sw.DevQueryPgmEntry(1, entry), 1);
    EXPECT_TRUE(line.Got({0x55, 0x60, 0x21, 0x27}));
    EXPECT_EQ(entry, 1) << "the switch reports source 0";

    line.Sim().SetFaults(Faults(false, true));
    EXPECT_EQ(sw.DevDirectTake(1, 9), 0) << "refused";
    EXPECT_TRUE(line.Got({0x55, 0x21, 0x10, 0x08, 0x1A})) << "a refusal is not tried again";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 1);
    EXPECT_EQ(sw.DevTest(""), 1);
}

TEST(Aps1602Line, RepliesAreGatheredFromPiecesAndAfterStrayBytes)
{
    Line line(plat::SerialPortKind::SIO, 48, Model::Aps1602);
    MountedSettings settings(Section("APS", {{"COM", "48"}}));
    CVideoSwitch_APS1602 sw;
    ASSERT_TRUE(Init(sw, "APS"));
    ASSERT_EQ(sw.DevOpen(), 1);

    // 3F promises a reply of eighteen bytes.
    for (const auto &c : SplitAndStrayReplies(0x00, 0x3F)) {
        line.Sim().SetFaults(c.faults);
        line.Sim().SetProgram(6);
        line.Peer().ClearReceived();
        int entry = 0;
        EXPECT_EQ(sw.DevQueryPgmEntry(1, entry), 1) << c.what;
        EXPECT_EQ(entry, 7) << c.what;
        EXPECT_TRUE(line.Got({0x55, 0x60, 0x21, 0x27})) << c.what << ": one try";
    }
}

TEST(Aps1602Line, GarbledReplyIsNoReply)
{
    ManualTime time;
    Line line(plat::SerialPortKind::SIO, 49, Model::Aps1602);
    MountedSettings settings(Section("APS", {{"COM", "49"}}));
    CVideoSwitch_APS1602 sw;
    ASSERT_TRUE(Init(sw, "APS"));
    ASSERT_EQ(sw.DevOpen(), 1);
    kestsim::SwitcherSim::Faults bad;
    bad.badCheck = true;
    line.Sim().SetFaults(bad);
    EXPECT_EQ(RunAdvancing([&] { return sw.DevPreset(1, 4); }), 0) << "a reply with a bad check";
    EXPECT_TRUE(line.Sim().WaitForCommands(3, kSoonMs)) << "tried again like an unanswered one";
    EXPECT_EQ(line.Sim().Commands().size(), 3u);
    EXPECT_EQ(BaseEntries(sw, 1).pst, 0);
}

TEST(Aps1602Line, UnansweredCheckFailsTheOpen)
{
    ManualTime time;
    Line line(plat::SerialPortKind::SIO, 62, Model::Aps1602);
    line.Sim().SetFaults(Faults(true));
    MountedSettings settings(Section("APS", {{"COM", "62"}}));
    CVideoSwitch_APS1602 sw;
    ASSERT_TRUE(Init(sw, "APS"));
    EXPECT_EQ(RunAdvancing([&] { return sw.DevOpen(); }), 0);
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_RUN_FAILED);
    EXPECT_EQ(sw.GetDevStatus().GetText(), CString("Open device failed"));
    EXPECT_EQ(sw.DevIsOpen(), 0) << "the port is closed again";
}

TEST(Aps1602Line, UnansweredQueryReportsTheBaseEntry)
{
    Line line(plat::SerialPortKind::SIO, 57, Model::Aps1602);
    MountedSettings settings(Section("APS", {{"COM", "57"}}));
    CVideoSwitch_APS1602 sw;
    ASSERT_TRUE(Init(sw, "APS"));
    ASSERT_EQ(sw.DevDirectTake(1, 5), 1);
    EXPECT_TRUE(line.Got({0x55, 0x60, 0x20, 0x26, 0x55, 0x21, 0x10, 0x04, 0x16}));
    // An answered query: from now on the switch has answered, whenever the take's reply came.
    const Bytes query{0x55, 0x60, 0x21, 0x27};
    int entry = 0;
    ASSERT_EQ(sw.DevQueryPgmEntry(1, entry), 1);
    EXPECT_TRUE(line.Got(query));

    ManualTime time;
    line.Sim().SetFaults(Faults(true));
    entry = 0;
    EXPECT_EQ(RunAdvancing([&] { return sw.DevQueryPgmEntry(1, entry); }), 1);
    EXPECT_EQ(entry, 5);
    Bytes thrice;
    for (int i = 0; i < 3; ++i) thrice.insert(thrice.end(), query.begin(), query.end());
    EXPECT_TRUE(line.Got(thrice)) << "three tries once the switch has answered";
}

TEST(Aps1602Line, TwoDevicesShareOneLine)
{
    Line line(plat::SerialPortKind::SIO, 63, Model::Aps1602);
    MountedSettings settings(Section("APSA", {{"COM", "63"}}) + Section("APSB", {{"COM", "63"}}));
    CVideoSwitch_APS1602 first, second;
    ASSERT_TRUE(Init(first, "APSA"));
    ASSERT_TRUE(Init(second, "APSB"));
    ASSERT_EQ(first.DevOpen(), 1);
    ASSERT_TRUE(line.Got({0x55, 0x60, 0x20, 0x26}));

    ASSERT_EQ(second.DevOpen(), 1);
    EXPECT_EQ(line.Sim().Queries(), 1) << "a shared line is not checked again";
    EXPECT_EQ(second.DevDirectTake(1, 2), 1);
    EXPECT_TRUE(line.Got({0x55, 0x21, 0x10, 0x01, 0x13}));
    EXPECT_EQ(BaseEntries(second, 1).pgm, 2);
    EXPECT_EQ(BaseEntries(first, 1).pgm, 0);
}

TEST(WriteOnlySwitchers, Avs300TakeSendsPresetThenProgram)
{
    PlainLine line(plat::SerialPortKind::SIO, 56);
    MountedSettings settings(Section("AVS", {{"Com", "56"}}));
    CVideoSwitch_Avs300 sw;
    ASSERT_TRUE(Init(sw, "AVS"));
    EXPECT_EQ(sw.DevDirectTake(1, 5), 1);
    EXPECT_TRUE(line.Got({0x80, 0x04, 0x84}));
    EXPECT_EQ(sw.DevPreset(1, 2), 1);
    EXPECT_TRUE(line.Got({0x80, 0x01, 0x81}));
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line.Got({0x80, 0x01, 0x81, 0x80, 0x04, 0x84}));
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{5, 2}));
}

TEST(WriteOnlySwitchers, BjasOutputsFromTheSettings)
{
    auto line = ComLine(65);
    MountedSettings settings(Section("BJAS", {{"COM", "65"}, {"PST", "2"}, {"PGM", "0"}}));
    CVideoSwitch_BJAS sw;
    ASSERT_TRUE(Init(sw, "BJAS"));
    EXPECT_EQ(sw.GetProgramOutput(), 1);
    EXPECT_EQ(sw.GetPresetOutput(), 3);
    EXPECT_EQ(sw.DevTake(1), 0) << "no preset yet";

    EXPECT_EQ(sw.DevDirectTake(2, 7), 1);
    EXPECT_TRUE(line->Got({0x01, 0x04, 0x10, 0x02, 0x07, 0x07, 0x16}));
    EXPECT_EQ(sw.DevPreset(1, 4), 1);
    EXPECT_TRUE(line->Got({0x01, 0x04, 0x10, 0x03, 0x04, 0x04, 0x17}));
    EXPECT_EQ(sw.DevPreset(1, 0), 1);
    EXPECT_TRUE(line->Got({0x01, 0x04, 0x10, 0x03, 0x00, 0x00, 0x17}));
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line->Got({0x01, 0x04, 0x10, 0x01, 0x01, 0x01, 0x15})) << "preset 0 is entry 1";
}

TEST(WriteOnlySwitchers, BjsxRangesAndPresetKeeping)
{
    auto line = ComLine(66);
    MountedSettings settings(Section("BJSX", {{"COM", "66"}}) + Section("V20", {{"COM", "67"}}));
    DebugOn debug;
    LogCapture log("LOG_BJSX");
    CVideoSwitch_BJSX sw;
    ASSERT_TRUE(Init(sw, "BJSX"));
    EXPECT_EQ(sw.DevDirectTake(1, 9), 0) << "source 8 is out of range";
    EXPECT_EQ(sw.DevDirectTake(1, 8), 1);
    EXPECT_TRUE(line->Got({0xAA, 0x01, 0x07, 0x00, 0x08}));
    EXPECT_TRUE(log.Has("(    BJSX) DirectTake(failed)"));
    EXPECT_TRUE(log.Has("(    BJSX) DirectTake(OK)"));

    EXPECT_EQ(sw.DevTake(1), 0) << "no preset kept";
    EXPECT_EQ(sw.DevPreset(1, 3), 1);
    int entry = 0;
    EXPECT_EQ(sw.DevQueryPgmEntry(1, entry), 1);
    EXPECT_EQ(entry, 3);
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line->Got({0xAA, 0x01, 0x02, 0x00, 0x03}));
    line->Peer().Send({'Y'});
    EXPECT_TRUE(Eventually([&] { return sw.Protocol().GetReplyCode() == 0; }));

    auto v20Line = ComLine(67);
    CVideoSwitch_BJSX_V20 v20;
    ASSERT_TRUE(Init(v20, "V20"));
    EXPECT_EQ(v20.DevDirectTake(1, 2), 1);
    EXPECT_TRUE(v20Line->Got({0xAA, 0x00, 0x11, 0x10, 0x35, 0xBB, 0xA1, 0x10, 0x94}));
    EXPECT_EQ(v20.DevDirectTake(1, 16), 1);
    EXPECT_TRUE(v20Line->Got({0xAA, 0x00, 0x11, 0xF0, 0x55, 0xBB, 0xA1, 0xF0, 0xB4}));
    v20Line->Peer().Send({0xBB, 0xA1, 0x32, 0x00});
    EXPECT_TRUE(Eventually([&] { return v20.Protocol().GetRoutedInput(2) == 3; }));
}

TEST(WriteOnlySwitchers, BoHuiSetsEveryListedOutput)
{
    auto line = ComLine(68);
    MountedSettings settings(Section("BOHUI", {{"COM", "68"}, {"MultiPGM", "1,3"}}) +
                             Section("EMPTY", {{"COM", "69"}}));
    DebugOn debug;
    LogCapture log("LOG_BOHUI");
    CVideoSwitch_BoHui sw;
    ASSERT_TRUE(Init(sw, "BOHUI"));
    EXPECT_TRUE(log.Has("博汇切换OnInitInstance() 输出  1 3"));
    EXPECT_EQ(sw.DevDirectTake(1, 2), 1);
    EXPECT_TRUE(line->Got({0xFF, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0, 0x7F}));
    EXPECT_TRUE(log.Has("博汇切换DevDirectTake() 入 = 2 出 =  1 3"));
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 0) << "the entries are not kept";

    ASSERT_EQ(sw.DevPreset(2, 12), 1);
    EXPECT_EQ(sw.DevTake(2), 1);
    EXPECT_TRUE(line->Got({0xFF, 0, 0, 7, 0, 7, 0, 7, 0, 7, 0, 0x7F})) << "held to input 8";

    auto emptyLine = ComLine(69);
    CVideoSwitch_BoHui empty;
    ASSERT_TRUE(Init(empty, "EMPTY"));
    EXPECT_EQ(empty.DevDirectTake(1, 1), 0);
    EXPECT_TRUE(log.Has("博汇切换DevDirectTake m_arrChannel.GetSize() <= 0"));
}

TEST(WriteOnlySwitchers, Network1616RoutesAndPresets)
{
    auto line = ComLine(70);
    MountedSettings settings(
        Section("N16", {{"Com", "70"}, {"PGM", "0"}}) +
        Section("N16P", {{"Com", "70"}, {"PGM", "1"}, {"PST", "4"}, {"WithPreset", "TRUE"}}));
    DebugOutput debug;
    CVideoSwitch_Network1616 sw;
    ASSERT_TRUE(Init(sw, "N16"));
    EXPECT_EQ(sw.DevDirectTake(2, 3), 1);
    EXPECT_TRUE(line->Got({0x90, 0x01, 0x02, 0xA0, 0x01, 0x02}));
    EXPECT_EQ(BaseEntries(sw, 2).pgm, 3) << "kept on the output switched";
    EXPECT_EQ(sw.DevDirectTake(129, 3), 0) << "output 128 and above are refused";

    EXPECT_EQ(sw.DevPreset(17, 1), 0);
    EXPECT_EQ(sw.DevPreset(5, 6), 1);
    EXPECT_TRUE(debug.Has("预置 输入:6  输出:5"));
    EXPECT_EQ(sw.DevTake(5), 1);
    EXPECT_TRUE(line->Got({0x90, 0x04, 0x05, 0xA0, 0x04, 0x05})) << "PGM 0: the channel itself";
    EXPECT_TRUE(debug.Has("切换 输入:6  输出:5"));

    // A second device on the same line sends through the first one's port.
    CVideoSwitch_Network1616 shared;
    ASSERT_TRUE(Init(shared, "N16P"));
    EXPECT_EQ(shared.DevOpen(), 1);
    EXPECT_EQ(shared.Protocol().DevIsOpen(), 0);
    EXPECT_EQ(shared.DevPreset(2, 9), 1);
    EXPECT_TRUE(line->Got({0x90, 0x03, 0x08, 0xA0, 0x03, 0x08})) << "to the PST output";
    EXPECT_EQ(shared.DevTake(2), 1);
    EXPECT_TRUE(line->Got({0x90, 0x00, 0x08, 0xA0, 0x00, 0x08})) << "to the PGM output";
}

TEST(OnyxLine, PollsConfirmationsAndBuses)
{
    Line line(plat::SerialPortKind::COM, 71, Model::Onyx, 0x79);
    MountedSettings settings(Section("ONYX", {{"Com", "71"}}) +
                             Section("ONYXX", {{"Com", "71"}, {"BUS", "2,4"}}) +
                             Section("ONE", {{"Com", "71"}, {"BUS", "6"}}));
    CVideoSwitch_ONYX sw;
    ASSERT_TRUE(Init(sw, "ONYX"));
    ASSERT_EQ(sw.DevOpen(), 1);
    ASSERT_TRUE(line.Sim().Poll());
    EXPECT_TRUE(line.Peer().WaitForContains({0xF9, 0x00}, kSoonMs)) << "the poll is answered";
    line.Peer().ClearReceived();

    EXPECT_EQ(sw.DevDirectTake(5, 9), 1);
    EXPECT_TRUE(line.Got({0x21, 0x79, 0x04, 0x1F, 0x09, 0x05, 0xAA}));
    EXPECT_TRUE(Eventually([&] { return sw.Protocol().IsConfirmed(); }));
    EXPECT_EQ(sw.DevPreset(5, 70), 1);
    EXPECT_EQ(BaseEntries(sw, 5).pst, 64) << "clamped; nothing sent";
    EXPECT_EQ(sw.DevTake(5), 1);
    EXPECT_TRUE(line.Got({0x21, 0x79, 0x04, 0x1F, 0x40, 0x05, 0xE1}));

    CVideoSwitch_ONYXX multi;
    ASSERT_TRUE(Init(multi, "ONYXX"));
    EXPECT_EQ(multi.GetBuses(), (std::vector<int>{2, 4}));
    EXPECT_EQ(multi.DevDirectTake(1, 3), 2);
    EXPECT_TRUE(line.Got(
        {0x21, 0x79, 0x04, 0x1F, 0x03, 0x02, 0xA1, 0x21, 0x79, 0x04, 0x1F, 0x03, 0x04, 0xA3}));
    CVideoSwitch_ONYXX one;
    ASSERT_TRUE(Init(one, "ONE"));
    EXPECT_EQ(one.GetBuses(), (std::vector<int>{6}));
}

TEST(SwitcherWrites, AFailedWriteFailsTheCommandAndLeavesTheEntries)
{
    // One answering model and one that only writes.
    Line aps(plat::SerialPortKind::SIO, 58, Model::Aps1602);
    PlainLine avs(plat::SerialPortKind::SIO, 59);
    MountedSettings settings(Section("APS", {{"COM", "58"}}) + Section("AVS", {{"Com", "59"}}));
    CVideoSwitch_APS1602 answering;
    CVideoSwitch_Avs300 writing;
    ASSERT_TRUE(Init(answering, "APS"));
    ASSERT_TRUE(Init(writing, "AVS"));
    ASSERT_EQ(answering.DevOpen(), 1);
    ASSERT_EQ(answering.DevDirectTake(1, 3), 1);
    ASSERT_EQ(writing.DevDirectTake(1, 5), 1);
    aps.Peer().HangUp(); // every write to the lines fails from now on
    avs.Peer().HangUp();
    struct Case {
        const char *name;
        CVideoSwitchA &sw;
        int pgm;
    };
    for (const Case &c : {Case{"APS1602", answering, 3}, Case{"AVS300", writing, 5}}) {
        EXPECT_EQ(c.sw.DevDirectTake(1, 7), 0) << c.name;
        EXPECT_EQ(c.sw.DevPreset(1, 8), 0) << c.name;
        EXPECT_EQ(BaseEntries(c.sw, 1).pgm, c.pgm) << c.name;
    }
}
