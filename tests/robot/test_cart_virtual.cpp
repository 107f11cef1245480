// The cart VTR in the backup ("virtual") mode: the operations it answers with the robot
// (open, clip size and compatibility from the inventory) and those it leaves to the simulated
// source of the base (cue, load and eject) touch neither the VTR nor the robot; nor does an
// operation it takes from the Betacam source.
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/sources/robot/CVideoAux_ThomsonAir.h"
#include "drivers/sources/vtr/CVideoSrc_BetacamCart.h"
#include "tests/model/SourceOperationRows.h"
#include "tests/robot/RobotTestKit.h"
#include "tests/sim/VtrSim.h"

using namespace robottest;
using namespace srctable;
using devtest::Section;

namespace {

constexpr int kVtrPort = 45;

class CartVirtual : public RobotLineTest,
                    public ::testing::WithParamInterface<Row<CVideoSrc_BetacamCart>> {
protected:
    CartVirtual()
    {
        StockShelf(sim);
        sim.SetShelf("C01", "TAPE");
        mgr.Initlization("/etc/tvx/DevMgr");
        source.InitInstance("/etc/tvx/VTR1", "VTR1");
        source.GetPlayList().SetOwner(nullptr);
    }
    ~CartVirtual() override { source.DevClose(); }
    void SetUp() override
    {
        ASSERT_TRUE(vtrPty.Valid());
        ASSERT_EQ(source.DevOpen(), 1);
        ASSERT_EQ(source.GetDevStatus().nCode, DEVSTATUS_NORMAL);
        auto *device = dynamic_cast<CVideoAux_ThomsonAir *>(mgr.GetVideoDev("ROBOT", 1));
        ASSERT_NE(device, nullptr);
        robot = &device->Robot();
        VtrAsked();
        sim.ClearCommands();
        Mark();
        m_nMark = sim.Commands().size();
        sim.ClearCommands();
        ASSERT_GT(m_nMark, 0u);
    }

    // A test of the robot's own, queued after whatever the operation may have queued.
    void Mark()
    {
        tagCartCommand test;
        test.nCommand = CART_TEST;
        test.nTimeOut = 1000;
        EXPECT_EQ(robot->RunCommand(test), 1);
    }
    // Whether the robot was asked anything since the last call beyond the test's own.
    bool RobotAsked()
    {
        Mark();
        const bool asked = sim.Commands().size() != m_nMark;
        sim.ClearCommands();
        return asked;
    }
    // Whether the VTR took a command since the last call (a request of the test's own follows
    // them, so that all of them have arrived). The request waits for its answer in real time:
    // on a busy machine it is asked again, up to three times, each ask one command more.
    bool VtrAsked()
    {
        int32_t type = 0;
        char name[16] = {};
        size_t asks = 0;
        bool answered = false;
        while (!answered && asks < 3) {
            ++asks;
            answered = source.GetVTR()->GetDeviceType(&type, name, sizeof name) == 1;
        }
        EXPECT_TRUE(answered) << "the VTR answers";
        const auto taken = vtr.Commands();
        vtr.ClearCommands();
        return taken.size() != asks;
    }

    devtest::DeleteDevices cleanup{{"ROBOT"}};
    devtest::MountedSettings m_settings{
        Section("DevMgr", {{"VideoSrc", "{\"VTR1\"}"}, {"VideoAux", "{\"ROBOT\"}"}}) +
        Section("ROBOT", {{"class", "CVideoAux_ThomsonAir"}, {"com", std::to_string(kRobotPort)}}) +
        Section("VTR1", {{"class", "CVideoSrc_BetacamCart"},
                         {"Com", std::to_string(kVtrPort)},
                         {"Eject_StillDur", "0"},
                         {"Cart", "ROBOT"},
                         {"Addr", "1"}})};
    kit::SimLine<kestsim::VtrSim> vtrEnd{plat::SerialPortKind::COM, kVtrPort};
    kestsim::PtyPair &vtrPty = vtrEnd.Pty();
    kestsim::VtrSim &vtr = vtrEnd.Sim();
    CVideoDevMgr mgr;
    CVideoSrc_BetacamCart source;
    CTapeRobot *robot = nullptr;
    size_t m_nMark = 0;
};

Row<CVideoSrc_BetacamCart> Inventory(const char *name,
                                     std::function<int(CVideoSrc_BetacamCart &, int64_t &)> call,
                                     Answer answer)
{
    return {name, std::move(call), answer};
}

// The clip is on the shelf, not in the bay: the inventory answers in both modes.
const std::vector<Row<CVideoSrc_BetacamCart>> kRows = Only(
    Rows<CVideoSrc_BetacamCart>({}, {Inventory("DevGetClipSize",
                                               [](CVideoSrc_BetacamCart &s, int64_t &out) {
                                                   timecode_t size = kNoOut;
                                                   const int result =
                                                       s.DevGetClipSize("TAPE", size);
                                                   out = size;
                                                   return result;
                                               },
                                               {0, 0}),
                                     Inventory("DevCheckCompatible",
                                               [](CVideoSrc_BetacamCart &s, int64_t &) {
                                                   return s.DevCheckCompatible("LVSRC_VTR", "TAPE");
                                               },
                                               {1})}),
    {"DevOpen", "DevCue", "DevCueEx", "DevEject", "DevGetClipSize", "DevCheckCompatible", "DevStop",
     "DevPlay"});

} // namespace

TEST_P(CartVirtual, AVirtualCartAnswersWithoutTheVtrAndMovesNoCassette)
{
    MakeVirtual(source);
    EXPECT_EQ(Call(source, GetParam()), GetParam().whileVirtual);
    EXPECT_FALSE(VtrAsked()) << "nothing reaches the VTR";
    EXPECT_FALSE(RobotAsked()) << "no cassette is moved";
    EXPECT_TRUE(sim.Bay(1).empty());
}

INSTANTIATE_TEST_SUITE_P(Operations, CartVirtual, ::testing::ValuesIn(kRows),
                         RowName<CVideoSrc_BetacamCart>);
