// The Betacam VTR in a tape cart: its settings, finding the robot through the device manager
// (and failing without touching the VTR when there is none), the load-and-cue with its
// progress forwarded, the background load that cues on the robot's success, the clip checks
// from the robot's inventory, and the eject that sends the cassette to the load port.
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/tasks/IVideoBroTaskProcess.h"
#include "drivers/sources/robot/CVideoAux_ThomsonAir.h"
#include "drivers/sources/vtr/CVideoSrc_BetacamCart.h"
#include "tests/robot/RobotTestKit.h"
#include "tests/sim/VtrSim.h"

#include <atomic>

using namespace robottest;
using devtest::Eventually;
using devtest::Section;

namespace {

constexpr int kVtrPort = 44;
constexpr uint8_t kCueCmd1 = 0x24, kCueCmd2 = 0x31;

std::string Config(std::initializer_list<std::pair<std::string, std::string>> cart)
{
    std::string text =
        Section("DevMgr", {{"VideoSrc", "{\"VTR1\"}"}, {"VideoAux", "{\"ROBOT\"}"}}) +
        Section("ROBOT", {{"class", "CVideoAux_ThomsonAir"}, {"com", std::to_string(kRobotPort)}});
    text += Section("VTR1", {{"class", "CVideoSrc_BetacamCart"},
                             {"Com", std::to_string(kVtrPort)},
                             {"Eject_StillDur", "0"}});
    for (const auto &[key, value] : cart) text += key + "=" + value + "\r\n";
    return text;
}

struct Forwarded {
    std::atomic<int> started{0}, done{0};
    static void Record(void *user, const char *, int32_t state, int32_t)
    {
        auto *self = static_cast<Forwarded *>(user);
        if (state == CART_STARTED) ++self->started;
        if (state == CART_DONE) ++self->done;
    }
};

class CartTest : public RobotLineTest {
protected:
    explicit CartTest(std::initializer_list<std::pair<std::string, std::string>> cart =
                          {{"Cart", "ROBOT"}, {"Addr", "1"}})
        : m_settings(Config(cart))
    {
        StockShelf(sim);
        mgr.Initlization("/etc/tvx/DevMgr");
        source.InitInstance("/etc/tvx/VTR1", "VTR1");
        source.GetPlayList().SetOwner(nullptr);
    }
    ~CartTest() override { source.DevClose(); }

    devtest::DeleteDevices cleanup{{"ROBOT"}};
    devtest::MountedSettings m_settings;
    kit::SimLine<kestsim::VtrSim> vtrEnd{plat::SerialPortKind::COM, kVtrPort};
    kestsim::PtyPair &vtrPty = vtrEnd.Pty();
    kestsim::VtrSim &vtr = vtrEnd.Sim();
    CVideoDevMgr mgr;
    CVideoSrc_BetacamCart source;
};

class CartSettings : public CartTest {
protected:
    CartSettings() : CartTest({{"Addr", "20"}, {"TimeOut", "5000"}, {"WorkMode", "1"}}) {}
};

class CartWithoutRobot : public CartTest {
protected:
    CartWithoutRobot() : CartTest({{"Cart", "NOPE"}}) {}
};

} // namespace

TEST_F(CartSettings, OutOfRangeValuesAreHeldAndWorkModeOneNeedsNoRobot)
{
    EXPECT_EQ(source.GetAddr(), 0);
    EXPECT_EQ(source.GetTimeOut(), 10000);
    EXPECT_EQ(source.DevOpen(), 1);
    EXPECT_EQ(source.DevIsOpen(), 1);
    EXPECT_TRUE(sim.Commands().empty()) << "the robot is never asked";
}

TEST_F(CartWithoutRobot, EveryOperationFailsWithoutTouchingTheVtr)
{
    vtr.ClearCommands();
    EXPECT_EQ(source.DevOpen(), 0);
    EXPECT_EQ(source.DevCueEx("TAPE", 1000, 250, nullptr), 0);
    EXPECT_EQ(source.DevCue("TAPE", 1000, 250), 0);
    EXPECT_EQ(source.DevEject(), 0);
    EXPECT_EQ(source.DevCheckCompatible("LVSRC_VTR", "TAPE"), 0);
    EXPECT_TRUE(vtr.Commands().empty());
}

TEST_F(CartTest, TheRobotIsHandedOutOnlyWhenOpenAndInitialised)
{
    CVideoAux_ThomsonAir robot;
    robot.InitInstance("/etc/tvx/ROBOT2", "ROBOT2");
    void *out = &robot;
    EXPECT_EQ(robot.QueryInterface(&IID_IVideoCartCtrl, &out), S_FALSE);
    EXPECT_EQ(out, nullptr);
    auto *device = dynamic_cast<CVideoAux_ThomsonAir *>(mgr.GetVideoDev("ROBOT", 1));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->QueryInterface(&IID_IVideoCartCtrl, &out), S_OK);
    EXPECT_EQ(out, static_cast<IVideoCartCtrl *>(&device->Robot()));
    EXPECT_EQ(device->QueryInterface(&IID_IVideoBroTaskProcess, &out), S_FALSE);
    device->DevClose();
    EXPECT_EQ(device->QueryInterface(&IID_IVideoCartCtrl, &out), S_FALSE);
}

TEST_F(CartTest, ClipChecksComeFromTheRobotsInventory)
{
    ASSERT_EQ(source.DevOpen(), 1);
    // The bay is empty: a cassette on the shelf or in a load-port slot can be loaded.
    EXPECT_EQ(source.DevCheckCompatible("LVSRC_VTR", "NEWS0001"), 1);
    EXPECT_EQ(source.DevCheckCompatible("LVSRC_VTR", "UNKNOWN1"), 0);
    timecode_t size = 1;
    EXPECT_EQ(source.DevGetClipSize("NEWS0001", size), 0) << "the VTR holds a tape, not this";
    EXPECT_EQ(size, 0);
}

TEST_F(CartTest, ACueLoadsTheCassetteThenCuesIt)
{
    ASSERT_EQ(source.DevOpen(), 1);
    vtr.ClearCommands();
    Forwarded forwarded;
    CVideoSrcA::tagCallBack callback{&forwarded, Forwarded::Record};
    // Ten characters: the robot looks for the last eight.
    ASSERT_EQ(source.DevCueEx("xxAD000042", 1000, 250, &callback), 1);
    EXPECT_EQ(sim.Bay(1), "AD000042");
    EXPECT_EQ(forwarded.started, 1);
    EXPECT_EQ(forwarded.done, 1);
    EXPECT_EQ(vtr.Count(kCueCmd1, kCueCmd2), 1u);

    EXPECT_EQ(source.DevCheckCompatible("LVSRC_VTR", "AD000042"), 1);
    EXPECT_EQ(source.DevCheckCompatible("LVSRC_VTR", "NEWS0001"), 0) << "another is in the bay";
    timecode_t size = 0;
    EXPECT_EQ(source.DevGetClipSize("AD000042", size), 1);
    EXPECT_EQ(size, 45000);

    // Ejecting sends the cassette to the first free load-port slot.
    ASSERT_EQ(source.DevEject(), 1);
    EXPECT_TRUE(Eventually([&] { return sim.Shelf("A06") == "AD000042"; }));
    EXPECT_TRUE(sim.Bay(1).empty());
}

TEST_F(CartTest, ASourceDestroyedWhileItsLoadIsQueuedIsNeverCalledBack)
{
    auto *device = dynamic_cast<CVideoAux_ThomsonAir *>(mgr.GetVideoDev("ROBOT", 1));
    ASSERT_NE(device, nullptr);
    CTapeRobot &robot = device->Robot();
    const auto queueEmpty = [&] {
        tagCartCommand command;
        return robot.GetCommand(0, command) == 0;
    };
    // Each round the robot is busy with a slow test while a source queues a load and goes;
    // the load then succeeds (the first moves the cassette, the others find it in the bay).
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        sim.Peer().ChangeFaults([](kestsim::Faults &f) { f.delayMs = 20; });
        tagCartCommand busy;
        busy.nCommand = CART_TEST;
        busy.nTimeOut = 1000;
        ASSERT_GT(robot.QueueCommand(busy), 0);
        {
            auto cart = std::make_unique<CVideoSrc_BetacamCart>();
            cart->InitInstance("/etc/tvx/VTR1", "VTR1");
            cart->GetPlayList().SetOwner(nullptr);
            ASSERT_GT(cart->DevCue("NEWS0001", 1000, 250), 0) << round;
        }
        sim.Peer().ChangeFaults([](kestsim::Faults &f) { f.delayMs = 0; });
        ASSERT_TRUE(Eventually(queueEmpty)) << round;
    }
    EXPECT_EQ(sim.Bay(1), "NEWS0001");
}

TEST_F(CartTest, ABackgroundLoadCuesOnTheRobotsSuccess)
{
    ASSERT_EQ(source.DevOpen(), 1);
    vtr.ClearCommands();
    EXPECT_GT(source.DevCue("NEWS0001", 1000, 250), 0);
    EXPECT_TRUE(vtr.WaitFor(kCueCmd1, kCueCmd2));
    EXPECT_EQ(sim.Bay(1), "NEWS0001");
    // A load that fails cues nothing.
    vtr.ClearCommands();
    EXPECT_GT(source.DevCue("UNKNOWN1", 1000, 250), 0);
    EXPECT_FALSE(vtr.WaitFor(kCueCmd1, kCueCmd2, 1, 500));
}
