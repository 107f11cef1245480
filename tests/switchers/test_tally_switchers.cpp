// The Talley tally controllers and the VM3000 matrix over pseudo-terminals: the Talley command
// with the code from the conversion table, written twice 10 ms apart on the manual clock, and
// the economy variant's swapped source; the VM3000's commands for takes, presets and the
// second program output, its 'Y', 'N' and 'R' replies, silence (which fails also after an
// earlier 'Y'), its honest program query and its main/backup variant.
#include "tests/switchers/SwitcherTestKit.h"
#include "tests/sim/TallySim.h"

#include "drivers/switchers/tally/CVideoSwitch_Talley.h"
#include "drivers/switchers/tally/CVideoSwitch_VM3000.h"

#include <future>
#include <string>

using namespace devtest;
using namespace swtest;
using Model = kestsim::TallySim::Model;
using Command = kestsim::TallySim::Command;

namespace {

// A board port whose far end is a simulated Talley controller or VM3000 matrix.
struct TallyLine : kit::SimLine<kestsim::TallySim> {
    TallyLine(int port, Model model) : SimLine(plat::SerialPortKind::SIO, port, model) {}
};

Bytes TalleyBytes(uint8_t code)
{
    Bytes command{0x02, 0x00, 0x2C, 0x01, 0x01, 0x00, 0x02, code};
    command.resize(48, 0x00);
    return command;
}

Bytes Twice(const Bytes &bytes)
{
    Bytes both = bytes;
    both.insert(both.end(), bytes.begin(), bytes.end());
    return both;
}

using kestsim::Refusing;
using kestsim::Silent;

// Advances the manual clock 1 ms at a time until `done`: how far it went.
uint32_t AdvancedUntil(const std::function<bool()> &done)
{
    const uint32_t before = plat::GetTickCount();
    EXPECT_TRUE(AdvanceUntil(done, 1, 60000));
    return plat::TickDiff(plat::GetTickCount(), before);
}

} // namespace

TEST(TalleyLine, TakeWritesTheTableCodeTwiceTenMsApart)
{
    ManualTime time;
    TallyLine line(36, Model::Talley);
    MountedSettings settings(Section("TALLEY", {{"COM", "36"}}) +
                             Section("TalleyConvertTable", {{"3", "17"}}));
    DebugOn debug;
    LogCapture log("LOG_TALLEY");
    LogCapture dump("LOG_DBG_TALLEY");
    CVideoSwitch_Talley sw;
    ASSERT_TRUE(Init(sw, "TALLEY"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_TALLEY"));
    ASSERT_EQ(sw.DevOpen(), 1);

    auto take = std::async(std::launch::async, [&] { return sw.DevDirectTake(1, 3); });
    const devtest::FinishStepping takeEnds(take);
    ASSERT_TRUE(line.Peer().WaitForBytes(48, kSoonMs));
    EXPECT_GE(AdvancedUntil([&] { return line.Peer().Received().size() >= 96; }), 10u);
    EXPECT_EQ(Settle(take), 1);
    EXPECT_TRUE(line.Got(Twice(TalleyBytes(0x11))));
    EXPECT_TRUE(log.Has("(  TALLEY) DirectTake(OK)"));
    EXPECT_EQ(dump.Count(), 1u) << "one dump per command";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 3);

    EXPECT_EQ(sw.DevPreset(1, 20), 1);
    EXPECT_EQ(BaseEntries(sw, 1).pst, 16) << "held; nothing sent";
    EXPECT_EQ(RunAdvancing([&] { return sw.DevTake(1); }), 1);
    EXPECT_TRUE(line.Got(Twice(TalleyBytes(0x04)))) << "a source not in the table: code 4";
    EXPECT_EQ(line.Sim().Commands().size(), 4u);
    for (const Command &c : line.Sim().Commands()) EXPECT_TRUE(c.wellFormed);

    int entry = 0;
    EXPECT_EQ(sw.DevQueryPgmEntry(1, entry), 1);
    EXPECT_EQ(entry, 16) << "the base's program entry, not the caller's value";

    line.Peer().HangUp();
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 2); }), 0);
    EXPECT_TRUE(log.Has("(  TALLEY) DirectTake(failed)"));
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 16);
}

TEST(TalleyLine, EconomicSwapsTheHdSourceWhileVirtual)
{
    MountedSettings settings(Section("ECO", {{"COM", "37"}}));
    CVideoSwitch_TalleyEconomic sw;
    ASSERT_TRUE(Init(sw, "ECO"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_TALLEY"));
    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"TRUE\">", nullptr);
    ASSERT_TRUE(Eventually([&] { return sw.GetVirtual(); }));
    TallyLine line(37, Model::Talley);

    struct Case {
        int entry;
        int kept;
    } cases[] = {{4, 5}, {6, 6}, {0, 1}};
    for (const auto &c : cases) {
        EXPECT_EQ(sw.DevPreset(1, c.entry), 1);
        EXPECT_EQ(BaseEntries(sw, 1).pst, c.kept) << "entry " << c.entry;
    }
    ExpectStrayShareMessagesIgnored([&] { return sw.GetVirtual(); });
    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"FALSE\">", nullptr);
    ASSERT_TRUE(Eventually([&] { return !sw.GetVirtual(); }));
    EXPECT_EQ(sw.DevPreset(1, 4), 1);
    EXPECT_EQ(BaseEntries(sw, 1).pst, 4);
    EXPECT_EQ(sw.Protocol().DevIsOpen(), 1) << "the flag leaves the port alone";
    EXPECT_TRUE(line.Peer().Received().empty()) << "presets send nothing";
}

TEST(Vm3000Line, TakesPresetsAndTheSecondOutput)
{
    ManualTime time;
    TallyLine line(38, Model::Vm3000);
    MountedSettings settings(
        Section(
            "VM",
            {{"Com", "38"}, {"PGM", "1"}, {"PGM_Second", "3"}, {"IntervalTime_Second", "500"}}) +
        Section("VMP", {{"Com", "38"}, {"PGM", "0"}, {"PST", "4"}}));
    CVideoSwitch_VM3000 sw;
    ASSERT_TRUE(Init(sw, "VM"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_VM3000"));

    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(2, 15); }), 1);
    EXPECT_TRUE(line.Got("ZS002015\r"));
    EXPECT_EQ(BaseEntries(sw, 2).pgm, 15);

    EXPECT_EQ(sw.DevPreset(2, 7), 1);
    EXPECT_TRUE(line.Peer().Received().empty()) << "a preset is only kept";
    auto take = std::async(std::launch::async, [&] { return sw.DevTake(5); });
    const devtest::FinishStepping takeEnds(take);
    // The first switch leaves once the line's 50 ms turnaround since the last write is over.
    ASSERT_TRUE(AdvanceUntil([&] { return line.Peer().Received().size() >= 9; }, 10, 1000));
    EXPECT_GE(AdvancedUntil([&] { return line.Peer().Received().size() >= 18; }), 500u);
    EXPECT_EQ(Settle(take), 1);
    EXPECT_TRUE(line.Got("ZS001007\rZS003007\r")) << "PGM, then PGM_Second";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 7) << "recorded on the program output";

    // A second device on the line sends through the first one's port.
    CVideoSwitch_VM3000 shared;
    ASSERT_TRUE(Init(shared, "VMP"));
    EXPECT_EQ(shared.DevOpen(), 1);
    EXPECT_EQ(shared.Protocol().DevIsOpen(), 0);
    EXPECT_EQ(shared.DevPreset(2, 9), 1);
    EXPECT_EQ(sw.Protocol().GetCommandOutput(), 4) << "to the preset output";
    EXPECT_EQ(RunAdvancing([&] { return shared.DevTake(2); }), 1);
    EXPECT_TRUE(line.Got("ZS004009\r")) << "PGM 0: the output of the preset";
    EXPECT_EQ(BaseEntries(shared, 2).pgm, 9);

    int type = 7, rate = 8;
    EXPECT_EQ(sw.DevSetTransType(3), 1);
    EXPECT_EQ(sw.DevQueryTransMode(type, rate), 1);
    EXPECT_EQ(type, 7);
    EXPECT_EQ(rate, 8);
}

TEST(Vm3000Line, RepliesRefusalsAndSilence)
{
    ManualTime time;
    TallyLine line(39, Model::Vm3000);
    MountedSettings settings(Section("VM", {{"Com", "39"}}));
    CVideoSwitch_VM3000 sw;
    ASSERT_TRUE(Init(sw, "VM"));
    ASSERT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 2); }), 1);
    ASSERT_TRUE(line.Got("ZS001002\r"));

    line.Peer().SetFaults(Refusing(), 1);
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 5); }), 0) << "'N'";
    EXPECT_TRUE(line.Got("ZS001005\r")) << "no further try";
    EXPECT_EQ(sw.Protocol().GetReplyCode(), 'N');

    line.Peer().SetFaults(Silent());
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 6); }), 0)
        << "no reply after an earlier one is no verdict";
    EXPECT_TRUE(line.Got(std::string("ZS001006\rZS001006\rZS001006\r"))) << "three tries";
    EXPECT_EQ(sw.Protocol().GetReplyCode(), -1);
    line.Peer().SetFaults({});
    ASSERT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 8); }), 1);
    ASSERT_TRUE(line.Got("ZS001008\r"));
    line.Peer().SetFaults(Silent());
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 9); }), 0) << "also after 'Y'";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 8);
    line.Peer().SetFaults({});
    line.Peer().ClearReceived();

    line.Sim().SetInput(2, 9);
    struct Case {
        const char *what;
        bool readAck;
        size_t chunk;
    } cases[] = {{"'R'", false, 0}, {"'Y', then 'R'", true, 0}, {"in pieces", true, 2}};
    for (const auto &c : cases) {
        line.Sim().SetReadAck(c.readAck);
        kestsim::Faults pieces;
        pieces.chunkSize = c.chunk;
        pieces.gapMs = 20;
        line.Peer().SetFaults(pieces);
        int entry = 0;
        EXPECT_EQ(RunAdvancing([&] { return sw.DevQueryPgmEntry(2, entry); }), 1) << c.what;
        EXPECT_EQ(entry, 9) << c.what;
        EXPECT_TRUE(line.Got("ZR002\r")) << c.what;
    }

    const struct {
        const char *what;
        kestsim::Faults faults;
    } failing[] = {{"silence", Silent()}, {"'N'", Refusing()}};
    for (const auto &c : failing) {
        line.Peer().SetFaults(c.faults);
        int entry = 3;
        EXPECT_EQ(RunAdvancing([&] { return sw.DevQueryPgmEntry(2, entry); }), 0) << c.what;
        EXPECT_EQ(entry, -1) << c.what;
    }
}

// A program query whose answer follows its acknowledgement: another device's take on the same
// line waits until the answer is in, so the query gets its input and the take its own reply.
TEST(Vm3000Line, AQueryKeepsTheLineUntilItsAnswerHasCome)
{
    TallyLine line(42, Model::Vm3000);
    MountedSettings settings(Section("VA", {{"Com", "42"}}) + Section("VB", {{"Com", "42"}}));
    line.Sim().SetReadAck(true);
    line.Sim().SetInput(2, 15);
    CVideoSwitch_VM3000 asking, taking;
    ASSERT_TRUE(Init(asking, "VA"));
    ASSERT_TRUE(Init(taking, "VB"));
    ASSERT_EQ(asking.DevOpen(), 1);
    // "ZY" CR at once, the answer in pieces after it.
    kestsim::Faults pieces;
    pieces.chunkSize = 3;
    pieces.gapMs = 150;
    line.Peer().SetFaults(pieces, 1);
    auto query = std::async(std::launch::async, [&] {
        int entry = 0;
        return asking.DevQueryPgmEntry(2, entry) ? entry : -1;
    });
    ASSERT_TRUE(line.Peer().WaitForContains(kestsim::ToBytes("ZR002\r"), kSoonMs));
    auto take = std::async(std::launch::async, [&] { return taking.DevDirectTake(3, 4); });
    EXPECT_EQ(query.get(), 15);
    EXPECT_EQ(take.get(), 1);
    EXPECT_TRUE(line.Got("ZR002\rZS003004\r"));
}

// A take before any preset has no input to send: refused, and nothing goes out.
TEST(Vm3000Line, ATakeBeforeAnyPresetSendsNothing)
{
    TallyLine line(47, Model::Vm3000);
    MountedSettings settings(Section("VM", {{"Com", "47"}}));
    CVideoSwitch_VM3000 sw;
    ASSERT_TRUE(Init(sw, "VM"));
    EXPECT_EQ(sw.DevTake(1), 0);
    EXPECT_FALSE(line.Peer().WaitForBytes(1, 200)) << "no switch without an input";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 0);
    EXPECT_EQ(sw.DevPreset(1, 4), 1);
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line.Got("ZS001004\r"));
}

TEST(Vm3000Line, ExVariantLeavesTheMatrixAloneWhileVirtual)
{
    TallyLine line(40, Model::Vm3000);
    MountedSettings settings(Section("VMX", {{"Com", "40"}}));
    CVideoSwitch_VM3000EX sw;
    ASSERT_TRUE(Init(sw, "VMX"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_VM3000"));
    ASSERT_EQ(sw.DevOpen(), 1);

    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"TRUE\">", nullptr);
    ASSERT_TRUE(Eventually([&] { return sw.GetVirtual(); }));
    EXPECT_EQ(sw.Protocol().DevIsOpen(), 0);
    EXPECT_EQ(sw.DevDirectTake(1, 4), 1);
    EXPECT_EQ(sw.DevSetTransRate(25), 1);
    int type = 0, rate = 0;
    sw.CVideoSwitchA::DevQueryTransMode(type, rate);
    EXPECT_EQ(rate, 25) << "kept by the base while virtual";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 4);
    int entry = 3;
    EXPECT_EQ(sw.DevQueryPgmEntry(1, entry), 0) << "the matrix is not asked while virtual";
    EXPECT_EQ(sw.Protocol().DevIsOpen(), 0) << "nor its port opened for it";

    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"FALSE\">", nullptr);
    ASSERT_TRUE(Eventually([&] { return !sw.GetVirtual(); }));
    EXPECT_EQ(sw.DevDirectTake(1, 6), 1);
    EXPECT_TRUE(line.Got("ZS001006\r")) << "nothing of the virtual take went out";
}
