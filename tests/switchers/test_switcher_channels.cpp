// Takes and presets on a channel the base does not keep (beyond the channel count, or below 0
// where a model checks it itself) are refused before anything goes out, model by model:
// before, the switch went out and the base refused the channel after, so the matrix was
// switched and the take reported failed. MPLUS reads
// "Channel" as its fixed output, not as the channel count.
#include "tests/sim/Aa2MatrixSim.h"
#include "tests/sim/LeitchSim.h"
#include "tests/sim/ProductionSwitcherSim.h"
#include "tests/sim/TallySim.h"
#include "tests/switchers/SwitcherTestKit.h"

#include "drivers/switchers/aa2/CVideoSwitch_MPLUS.h"
#include "drivers/switchers/binary/CVideoSwitch_APS1602.h"
#include "drivers/switchers/binary/CVideoSwitch_Avs300.h"
#include "drivers/switchers/binary/CVideoSwitch_BDS1602CP.h"
#include "drivers/switchers/binary/CVideoSwitch_BJAS.h"
#include "drivers/switchers/binary/CVideoSwitch_BJSX.h"
#include "drivers/switchers/binary/CVideoSwitch_Network1616.h"
#include "drivers/switchers/binary/CVideoSwitch_ONYX.h"
#include "drivers/switchers/leitch/CVideoSwitch_LeitchXpr.h"
#include "drivers/switchers/production/CVideoSwitch_M21.h"
#include "drivers/switchers/production/CVideoSwitch_M2100.h"
#include "drivers/switchers/production/CVideoSwitch_TTV9920.h"
#include "drivers/switchers/tally/CVideoSwitch_Talley.h"
#include "drivers/switchers/tally/CVideoSwitch_VM3000.h"

#include <functional>
#include <memory>
#include <string>

using namespace devtest;
using namespace swtest;

namespace {

constexpr auto kSio = plat::SerialPortKind::SIO;
constexpr auto kCom = plat::SerialPortKind::COM;

// A line whose far end is a simulated device, or a peer that only records.
struct ModelLine {
    virtual ~ModelLine() = default;
    virtual kestsim::ScriptedPeer &Peer() = 0;
    template <class Device, class... Args>
    static std::unique_ptr<ModelLine> Of(plat::SerialPortKind kind, int port, Args... args);
};

template <class Device> struct LineOf : ModelLine {
    template <class... Args>
    LineOf(plat::SerialPortKind kind, int port, Args... args) : line_(kind, port, args...)
    {
    }
    kestsim::ScriptedPeer &Peer() override { return line_.Peer(); }
    kit::SimLine<Device> line_;
};

template <class Device, class... Args>
std::unique_ptr<ModelLine> ModelLine::Of(plat::SerialPortKind kind, int port, Args... args)
{
    return std::make_unique<LineOf<Device>>(kind, port, args...);
}

struct Case {
    const char *what;
    std::unique_ptr<ModelLine> line;
    std::unique_ptr<CVideoSwitchA> device;
    std::string setting;
    // Prepares the device (a preset the take sends), then the refused commands.
    std::function<void(CVideoSwitchA &)> prepare;
    std::vector<std::function<int(CVideoSwitchA &)>> refused;
};

std::function<int(CVideoSwitchA &)> DirectTake(int channel)
{
    return [channel](CVideoSwitchA &sw) { return sw.DevDirectTake(channel, 3); };
}

std::function<int(CVideoSwitchA &)> Preset(int channel)
{
    return [channel](CVideoSwitchA &sw) { return sw.DevPreset(channel, 3); };
}

std::function<int(CVideoSwitchA &)> Take(int channel)
{
    return [channel](CVideoSwitchA &sw) { return sw.DevTake(channel); };
}

const auto kNothing = [](CVideoSwitchA &) {};

} // namespace

TEST(SwitcherChannels, ACommandOnAChannelTheBaseDoesNotKeepSendsNothing)
{
    using kestsim::SwitcherSim;
    using Production = kestsim::ProductionSwitcherSim;
    MountedSettings settings(
        Section("BDS", {{"COM", "20"}}) + Section("APS", {{"COM", "21"}}) +
        Section("AVS", {{"Com", "22"}}) + Section("BJAS", {{"COM", "140"}}) +
        Section("BJSX", {{"COM", "141"}}) + Section("NET", {{"Com", "142"}, {"PGM", "0"}}) +
        Section("ONYX", {{"Com", "143"}}) + Section("TAL", {{"COM", "23"}}) +
        Section("VM", {{"Com", "24"}, {"PGM", "0"}}) + Section("XPR", {{"COM", "25"}}) +
        Section("XAS", {{"COM", "26"}}) + Section("M21", {{"COM", "19"}}) +
        Section("TTV", {{"COM", "144"}}) + Section("M2100", {{"Com", "18"}}) +
        Section("VRS", {{"COM", "17"}, {"PST", "3"}}));
    Case cases[] = {
        {"BDS1602, 1 channel",
         ModelLine::Of<SwitcherSim>(kSio, 20, SwitcherSim::Model::Bds1602),
         std::make_unique<CVideoSwitch_BDS1602CP>(),
         "BDS",
         kNothing,
         {DirectTake(2), Preset(2), Take(2)}},
        {"APS1602, 1 channel",
         ModelLine::Of<SwitcherSim>(kSio, 21, SwitcherSim::Model::Aps1602),
         std::make_unique<CVideoSwitch_APS1602>(),
         "APS",
         kNothing,
         {DirectTake(2), Preset(2), Take(2)}},
        {"Avs300, 1 channel",
         ModelLine::Of<kestsim::ScriptedPeer>(kSio, 22),
         std::make_unique<CVideoSwitch_Avs300>(),
         "AVS",
         kNothing,
         {DirectTake(2), Preset(2), Take(2)}},
        {"BJAS, 2 channels",
         ModelLine::Of<kestsim::ScriptedPeer>(kCom, 140),
         std::make_unique<CVideoSwitch_BJAS>(),
         "BJAS",
         [](CVideoSwitchA &sw) { sw.DevPreset(1, 3); },
         {DirectTake(3), Take(3)}},
        {"BJSX, 1 channel",
         ModelLine::Of<kestsim::ScriptedPeer>(kCom, 141),
         std::make_unique<CVideoSwitch_BJSX>(),
         "BJSX",
         [](CVideoSwitchA &sw) { sw.DevPreset(1, 3); },
         {DirectTake(2), Take(2)}},
        {"Network1616 without a program output, 16 channels",
         ModelLine::Of<kestsim::ScriptedPeer>(kCom, 142),
         std::make_unique<CVideoSwitch_Network1616>(),
         "NET",
         kNothing,
         {Take(17)}},
        {"ONYX, 64 channels",
         ModelLine::Of<SwitcherSim>(kCom, 143, SwitcherSim::Model::Onyx, 0x79),
         std::make_unique<CVideoSwitch_ONYX>(),
         "ONYX",
         kNothing,
         {DirectTake(65), Take(65)}},
        {"Talley, 1 channel",
         ModelLine::Of<kestsim::ScriptedPeer>(kSio, 23),
         std::make_unique<CVideoSwitch_Talley>(),
         "TAL",
         kNothing,
         {DirectTake(2), Take(2)}},
        {"VM3000 without a program output, 64 channels",
         ModelLine::Of<kestsim::TallySim>(kSio, 24, kestsim::TallySim::Model::Vm3000),
         std::make_unique<CVideoSwitch_VM3000>(),
         "VM",
         [](CVideoSwitchA &sw) { sw.DevPreset(65, 3); },
         {DirectTake(65), Take(65)}},
        {"Leitch XPR, 1 channel",
         ModelLine::Of<kestsim::LeitchSim>(kSio, 25, kestsim::LeitchSim::Model::Xpr),
         std::make_unique<CVideoSwitch_LeitchXpr>(),
         "XPR",
         kNothing,
         {Take(2), DirectTake(-1)}},
        {"Leitch XPR_AS, 1 channel",
         ModelLine::Of<kestsim::LeitchSim>(kSio, 26, kestsim::LeitchSim::Model::Xpr),
         std::make_unique<CVideoSwitch_LeitchXpr_AS>(),
         "XAS",
         kNothing,
         {DirectTake(2), Take(2), DirectTake(-1)}},
        {"M21, 1 channel",
         ModelLine::Of<Production>(kSio, 19, Production::Model::M21),
         std::make_unique<CVideoSwitch_M21>(),
         "M21",
         kNothing,
         {DirectTake(2), Preset(2), Take(2)}},
        {"TTV9920, 1 channel",
         ModelLine::Of<Production>(kCom, 144, Production::Model::Ttv9920),
         std::make_unique<CVideoSwitch_TTV9920>(),
         "TTV",
         kNothing,
         {DirectTake(2), Preset(2), Take(2)}},
        {"M2100, 1 channel",
         ModelLine::Of<Production>(kSio, 18, Production::Model::M2100),
         std::make_unique<CVideoSwitch_M2100>(),
         "M2100",
         kNothing,
         {DirectTake(2), Preset(2)}},
        {"VRS1620, 16 channels",
         ModelLine::Of<kestsim::Aa2MatrixSim>(kSio, 17, kestsim::Aa2MatrixSim::Model::Vrs1620),
         std::make_unique<CVideoSwitch_VRS1620>(),
         "VRS",
         kNothing,
         {Preset(17), Take(17)}},
    };
    for (Case &c : cases) {
        CVideoSwitchA &sw = *c.device;
        ASSERT_TRUE(Init(sw, c.setting)) << c.what;
        ASSERT_TRUE(sw.DevOpen()) << c.what;
        c.prepare(sw);
        ASSERT_TRUE(c.line->Peer().WaitSent(kSoonMs)) << c.what;
        c.line->Peer().ClearReceived();
        for (const auto &command : c.refused) EXPECT_EQ(command(sw), 0) << c.what;
        EXPECT_FALSE(c.line->Peer().WaitForBytes(1, 200)) << c.what << ": nothing sent";
    }
}

// MPLUS: "Channel" names its fixed output; the matrix keeps its 16 channels.
TEST(SwitcherChannels, MplusKeepsItsChannelsBesideTheFixedOutput)
{
    auto line =
        ModelLine::Of<kestsim::Aa2MatrixSim>(kCom, 145, kestsim::Aa2MatrixSim::Model::Vrs1620);
    MountedSettings settings(Section("MP", {{"COM", "145"}, {"Channel", "3"}}));
    CVideoSwitch_MPLUS sw;
    ASSERT_TRUE(Init(sw, "MP"));
    EXPECT_EQ(sw.GetChannels(), 16);
    EXPECT_EQ(sw.DevDirectTake(5, 2), 1) << "a direct take goes to the channel given";
    EXPECT_EQ(BaseEntries(sw, 5).pgm, 2);
    ASSERT_TRUE(line->Peer().WaitSent(kSoonMs));
    line->Peer().ClearReceived();
    EXPECT_EQ(sw.DevDirectTake(17, 2), 0);
    EXPECT_FALSE(line->Peer().WaitForBytes(1, 200)) << "nothing sent";
}
