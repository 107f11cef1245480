// The operations of the VTR sources in and out of the backup ("virtual") mode, one table per
// source: while virtual each operation gives the answer of the simulated source of the base
// (or the driver's own where the driver keeps one, as the fixed clip size of the UVW) and
// nothing reaches the line; out of virtual mode the operations that drive the VTR reach it.
// A virtual Betacam whose next task comes near leaves the VTR on standby alone.
#include "drivers/sources/vtr/CVideoSrc_BetaCamX.h"
#include "drivers/sources/vtr/CVideoSrc_UVW.h"
#include "tests/model/SourceOperationRows.h"
#include "tests/vtr/VtrTestKit.h"

#include <string>
#include <vector>

using namespace vtrtest;
using namespace srctable;

namespace {

// ---- Betacam ----

template <class Source> class BetaCamVirtual : public VtrLineTest {
protected:
    BetaCamVirtual()
    {
        source.InitInstance("/etc/tvx/VTR1", "VTR1");
        source.GetPlayList().SetOwner(nullptr);
    }
    void SetUp() override
    {
        VtrLineTest::SetUp();
        ASSERT_EQ(source.DevOpen(), 1);
        ASSERT_EQ(source.GetDevStatus().nCode, DEVSTATUS_NORMAL);
    }

    // The commands the VTR has taken since the last call: a request of the test's own goes
    // after them, so that all of them have arrived.
    std::vector<kestsim::VtrSim::Command> Taken()
    {
        int32_t type = 0;
        char name[16] = {};
        EXPECT_EQ(source.GetVTR()->GetDeviceType(&type, name, sizeof name), 1);
        std::vector<kestsim::VtrSim::Command> taken = vtr.Commands();
        EXPECT_FALSE(taken.empty());
        if (!taken.empty()) {
            EXPECT_TRUE(taken.back().Is(0x00, 0x11)) << "the test's own request comes last";
            taken.pop_back();
        }
        vtr.ClearCommands();
        return taken;
    }
    // While virtual: the answer of the row, and nothing taken by the VTR.
    void CheckVirtual(const Row<Quick<Source>> &row)
    {
        MakeVirtual(source);
        Taken();
        EXPECT_EQ(Call(source, row), row.whileVirtual);
        EXPECT_TRUE(Taken().empty()) << "nothing reaches the VTR";
    }
    // Out of virtual mode: the VTR takes a command when the row says so.
    void CheckLine(const Row<Quick<Source>> &row)
    {
        source.Line().Advance(5000); // no answer is taken from the caches
        Taken();
        int64_t out = kNoOut;
        Run([&] { return row.call(source, out); });
        EXPECT_EQ(!Taken().empty(), row.reachesLine);
    }
    // Runs the call, moving the clock while it sleeps.
    int Run(const std::function<int()> &call)
    {
        const int baseline = plat::TestClock::TimedWaiters();
        Background<int> running(call);
        const auto quiet = [this] { return source.Line().Answered(); };
        const auto ended = [&running] { return running.Done(); };
        while (!running.Done() && Sleeping(baseline, quiet, ended)) plat::TestClock::Advance(1000);
        EXPECT_TRUE(running.Done(5000));
        return running.Done() ? running.Result() : -1;
    }

    devtest::MountedSettings m_settings{devtest::Section(
        "VTR1", {{"class", "CVideoSrc_BetaCamX"}, {"Com", std::to_string(kComPort)}})};
    Quick<Source> source;
};

// A VTR source tells its own compatibility in both modes: only from a VTR type.
template <class Source> Row<Source> VtrOtherType()
{
    return {"DevCheckCompatibleOtherType",
            [](Source &s, int64_t &) { return s.DevCheckCompatible("LVSRC_DEC", "TAPE"); },
            {0}};
}

template <class Source> std::vector<Row<Source>> BetaCamRows()
{
    return Rows<Source>({{"DevTest", true},
                         {"DevSetMode", true},
                         {"DevCueEx", true},
                         {"DevCue", true},
                         {"DevPlay", true},
                         {"DevStop", true},
                         {"DevPause", true},
                         {"DevContinue", true},
                         {"DevJog", true},
                         {"DevJogEx", true},
                         {"DevShuttle", true},
                         {"DevEject", true},
                         {"DevGoto", true},
                         {"DevGetPosition", true},
                         {"DevGetPosition2", true},
                         {"DevGetClipSize", true},
                         {"DevCheckCompatible", true},
                         {"PreviewGoto", true},
                         {"PreviewCue", true},
                         {"PreviewPlay", true},
                         {"PreviewStill", true},
                         {"PreviewStop", true},
                         {"PreviewGetPosition", true},
                         {"PreviewJog", true}},
                        {VtrOtherType<Source>()});
}

using BetaCamXVirtual = BetaCamVirtual<CVideoSrc_BetaCamX>;
using BetaCamRecVirtual = BetaCamVirtual<CVideoSrc_BetaCamRec>;

class BetaCamXTable : public BetaCamXVirtual,
                      public ::testing::WithParamInterface<Row<Quick<CVideoSrc_BetaCamX>>> {};
class BetaCamRecTable : public BetaCamRecVirtual,
                        public ::testing::WithParamInterface<Row<Quick<CVideoSrc_BetaCamRec>>> {};

} // namespace

TEST_P(BetaCamXTable, AVirtualSourceAnswersFromTheSimulatedSourceAndLeavesTheVtrAlone)
{
    CheckVirtual(GetParam());
}

TEST_P(BetaCamXTable, OutOfVirtualModeTheOperationsThatDriveTheVtrReachIt)
{
    CheckLine(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Operations, BetaCamXTable,
                         ::testing::ValuesIn(BetaCamRows<Quick<CVideoSrc_BetaCamX>>()),
                         RowName<Quick<CVideoSrc_BetaCamX>>);

TEST_P(BetaCamRecTable, AVirtualSourceAnswersFromTheSimulatedSourceAndLeavesTheVtrAlone)
{
    CheckVirtual(GetParam());
}

TEST_P(BetaCamRecTable, OutOfVirtualModeTheCuesReachTheVtr)
{
    CheckLine(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Operations, BetaCamRecTable,
                         // The confirmed cue is the Rec variant's only difference.
                         ::testing::ValuesIn(Only(BetaCamRows<Quick<CVideoSrc_BetaCamRec>>(),
                                                  {"DevOpen", "DevCueEx", "DevCue"})),
                         RowName<Quick<CVideoSrc_BetaCamRec>>);

TEST_F(BetaCamXVirtual, ANearTaskSendsNoStandbyToTheVtrOfAVirtualSource)
{
    CVideoPlayTask task;
    task.m_nTaskID = 1;
    task.m_strClipID = "TAPE";
    task.m_nStart = Now() + 15000 * kMs; // within StandByOnTime, beyond the start window
    task.m_nDUR = 250;
    ASSERT_EQ(source.GetPlayList().Add(task), 1);
    ASSERT_EQ(source.OnTaskStartNewTask(), 0);
    EXPECT_EQ(vtr.Count(0x20, 0x05), 1u) << "a source on air readies the VTR";

    ASSERT_EQ(source.OnSetVirtual(1), 1);
    Taken();
    EXPECT_EQ(source.OnTaskStartNewTask(), 0);
    EXPECT_TRUE(Taken().empty()) << "no STANDBY ON";
}

// ---- UVW ----

namespace {

class UvwVirtual : public ::testing::Test {
protected:
    UvwVirtual()
    {
        source.InitInstance("/etc/tvx/UVW1", "UVW1");
        source.GetPlayList().SetOwner(nullptr);
    }
    void SetUp() override
    {
        ASSERT_TRUE(pty.Valid());
        ASSERT_EQ(source.DevOpen(), 1);
        ASSERT_EQ(source.DevIsOpen(), 1);
    }
    // The bytes written since the last call: bytes of the test's own follow them, so that all
    // of them have arrived.
    Bytes Written()
    {
        static const Bytes kMark{0x55, 0xAA, 0x55};
        plat::TestClock::Advance(100); // the line's pause between writes
        EXPECT_EQ(source.GetLine().DevWrite(reinterpret_cast<const char *>(kMark.data()),
                                            static_cast<int>(kMark.size())),
                  1);
        EXPECT_TRUE(peer.WaitForContains(kMark, 5000));
        Bytes got = peer.Received();
        peer.ClearReceived();
        EXPECT_TRUE(got.size() >= kMark.size() &&
                    Bytes(got.end() - static_cast<long>(kMark.size()), got.end()) == kMark);
        got.resize(got.size() >= kMark.size() ? got.size() - kMark.size() : 0);
        plat::TestClock::Advance(100);
        return got;
    }

    devtest::ManualTime time;
    kit::SimLine<kestsim::ScriptedPeer> farEnd{plat::SerialPortKind::SIO, kBoardPort};
    kestsim::PtyPair &pty = farEnd.Pty();
    kestsim::ScriptedPeer &peer = farEnd.Peer();
    devtest::MountedSettings m_settings{devtest::Section(
        "UVW1", {{"class", "CVideoSrc_UVW"}, {"Com", std::to_string(kBoardPort)}})};
    CVideoSrc_UVW source;
};

Row<CVideoSrc_UVW> UvwClipSize()
{
    return {"DevGetClipSize",
            [](CVideoSrc_UVW &s, int64_t &out) {
                timecode_t size = kNoOut;
                const int result = s.DevGetClipSize("TAPE", size);
                out = size;
                return result;
            },
            {1, 45000}};
}

// The UVW's clip size is its own in both modes: what a tape is taken to hold.
const std::vector<Row<CVideoSrc_UVW>> kUvwRows =
    Rows<CVideoSrc_UVW>({{"DevCueEx", true},
                         {"DevCue", true},
                         {"DevPlay", true},
                         {"DevStop", true},
                         {"DevPause", true},
                         {"DevContinue", true},
                         {"DevShuttle", true},
                         {"DevEject", true},
                         {"DevGoto", true},
                         {"PreviewGoto", true},
                         {"PreviewCue", true},
                         {"PreviewPlay", true},
                         {"PreviewStill", true},
                         {"PreviewStop", true}},
                        {UvwClipSize(), VtrOtherType<CVideoSrc_UVW>()});

class UvwTable : public UvwVirtual, public ::testing::WithParamInterface<Row<CVideoSrc_UVW>> {};

} // namespace

TEST_P(UvwTable, AVirtualSourceAnswersFromTheSimulatedSourceAndLeavesTheVtrAlone)
{
    MakeVirtual(source);
    Written();
    EXPECT_EQ(Call(source, GetParam()), GetParam().whileVirtual);
    EXPECT_TRUE(Written().empty()) << "nothing reaches the VTR";
}

TEST_P(UvwTable, OutOfVirtualModeTheOperationsThatDriveTheVtrReachIt)
{
    Written();
    int64_t out = kNoOut;
    GetParam().call(source, out);
    EXPECT_EQ(!Written().empty(), GetParam().reachesLine);
}

INSTANTIATE_TEST_SUITE_P(Operations, UvwTable, ::testing::ValuesIn(kUvwRows),
                         RowName<CVideoSrc_UVW>);
