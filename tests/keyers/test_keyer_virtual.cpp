// Every keyer driver in virtual mode over pseudo-terminals: each of its operations is answered
// without a byte reaching the simulated keyer (or the switcher that carries its keys), and a
// keyer brought out of virtual mode sends again.
#include "tests/keyers/KeyerDriverKit.h"

#include "drivers/switchers/keyers/CVideoAux_DSK50D.h"
#include "drivers/switchers/keyers/CVideoAux_M2100.h"
#include "drivers/switchers/keyers/CVideoAux_SATURN4000.h"
#include "drivers/switchers/keyers/CVideoAux_ShiHui.h"
#include "drivers/switchers/keyers/CVideoAux_TrikKey.h"
#include "drivers/switchers/keyers/KeyerFrames.h"
#include "drivers/switchers/production/CVideoSwitch_M2100.h"
#include "drivers/switchers/production/CVideoSwitch_M21.h"

#include <functional>
#include <optional>

using namespace devtest;
using namespace keydrv;
using KeyerModel = kestsim::KeyerSim::Model;
using SwitcherModel = kestsim::ProductionSwitcherSim::Model;

namespace {

// A keyer on the line of a simulated keyer, or of a switcher opened there that carries its keys.
struct Rig {
    std::optional<KeyerLine> keyerLine;
    std::optional<prodtest::SimLine> switcherLine;
    std::optional<MountedSettings> settings;
    std::unique_ptr<CVideoSwitchA> owner;
    std::unique_ptr<CVideoKeyCtrlA> keyer;

    template <class Keyer> bool Start(const std::string &text)
    {
        settings.emplace(text);
        keyer = std::make_unique<Keyer>();
        return Init(*keyer, "KEYER");
    }
    template <class Switcher> bool Own()
    {
        auto sw = std::make_unique<Switcher>();
        const bool opened = Init(*sw, "SW") && sw->DevOpen() == 1;
        switcherLine->Sim().ClearCommands();
        owner = std::move(sw);
        return opened;
    }
};

// The keyer's frames, exactly and alone.
std::function<bool(Rig &)> KeyerTook(const Bytes &frames)
{
    return [frames](Rig &rig) { return rig.keyerLine->Got(frames); };
}

// The switcher's commands (their command or block types), exactly and alone.
std::function<bool(Rig &)> SwitcherTook(const std::vector<int> &commands)
{
    return [commands](Rig &rig) {
        const auto &sim = rig.switcherLine->Sim();
        if (!sim.WaitForCommands(commands.size(), kSoonMs)) return false;
        std::vector<int> took;
        for (const auto &command : sim.Commands()) took.push_back(command.command);
        return took == commands;
    };
}

} // namespace

TEST(VirtualKeyers, AnswerEveryOperationWithoutSendingAndSendAgainOnceLive)
{
    struct Case {
        const char *what;
        std::function<bool(Rig &)> start;
        int32_t status; // after the virtual operations
        std::function<bool(Rig &)> tookTheLiveTake;
    };
    const std::vector<Case> cases{
        {"DSK50D (its own port opens in either mode)",
         [](Rig &rig) {
             rig.keyerLine.emplace(kCom, 61, KeyerModel::Dsk50d);
             return rig.Start<CVideoAux_DSK50D>(Section("KEYER", {{"COM", "61"},
                                                                  {"KeyArray", "5"},
                                                                  {"nRetryTime", "1"},
                                                                  {"Exchange", "TRUE"},
                                                                  {"Virtual", "TRUE"}}));
         },
         DEVSTATUS_NORMAL, KeyerTook(keyframe::Dsk50dSetKey(5, true))},
        {"ShiHui (its own port opens in either mode)",
         [](Rig &rig) {
             rig.keyerLine.emplace(kSio, 62, KeyerModel::ShiHui);
             return rig.Start<CVideoAux_ShiHui>(
                 Section("KEYER", {{"COM", "62"}, {"Exchange", "TRUE"}, {"Virtual", "TRUE"}}));
         },
         DEVSTATUS_NORMAL, KeyerTook(keyframe::ShiHuiKey(1, true))},
        {"TrikKey (its own port opens in either mode)",
         [](Rig &rig) {
             rig.keyerLine.emplace(kSio, 63, KeyerModel::TrikKey);
             return rig.Start<CVideoAux_TrikKey>(
                 Section("KEYER", {{"Com", "63"}, {"Exchange", "TRUE"}, {"Virtual", "TRUE"}}));
         },
         DEVSTATUS_NORMAL, KeyerTook(keyframe::TrikKeyToggle(1))},
        {"M2100 (the open and test set the status normal)",
         [](Rig &rig) {
             rig.switcherLine.emplace(kSio, 57, SwitcherModel::M2100);
             const bool started = rig.Start<CVideoAux_M2100>(
                 Section("SW", {{"Com", "57"}}) +
                 Section("KEYER", {{"COM", "57"}, {"Exchange", "TRUE"}, {"Virtual", "TRUE"}}));
             rig.switcherLine->Sim().SetKeyMask(0x00);
             return started && rig.Own<CVideoSwitch_M2100>();
         },
         DEVSTATUS_NORMAL, SwitcherTook({2, 1})},
        {"SATURN4000 (no line of its own: the status is left)",
         [](Rig &rig) {
             rig.switcherLine.emplace(kSio, 58, SwitcherModel::M21);
             const bool started = rig.Start<CVideoAux_SATURN4000>(
                 Section("SW", {{"COM", "58"}}) + Section("KEYER", {{"COM", "58"},
                                                                    {"OnlyPreset", "FALSE"},
                                                                    {"DelayTime", "0"},
                                                                    {"IntervalTime", "0"},
                                                                    {"Exchange", "TRUE"},
                                                                    {"Virtual", "TRUE"}}));
             return started && rig.Own<CVideoSwitch_SATURN4000>();
         },
         DEVSTATUS_RUN_FAILED, SwitcherTook({0xE0})},
    };
    for (const Case &c : cases) {
        Rig rig;
        ASSERT_TRUE(c.start(rig)) << c.what;
        CVideoKeyCtrlA &keyer = *rig.keyer;
        ASSERT_TRUE(keyer.IsVirtual()) << c.what;
        keyer.SetDevStatus(DEVSTATUS_RUN_FAILED);
        const auto group = Group({Task(0, 1, 1)});
        EXPECT_EQ(keyer.DevOpen(), 1) << c.what;
        EXPECT_EQ(keyer.DevIsOpen(), 1) << c.what;
        EXPECT_EQ(keyer.DevTest(""), 1) << c.what;
        EXPECT_EQ(keyer.DevTaskDirectTake(group.Get()), 1) << c.what;
        EXPECT_EQ(keyer.DevTaskTake(group.Get()), 1) << c.what;
        EXPECT_EQ(keyer.DevTaskPreset(group.Get()), 1) << c.what;
        EXPECT_EQ(keyer.GetDevStatus().nCode, c.status) << c.what;

        // What the live take sends comes alone: nothing went out before it.
        keyer.OnSetVirtual(0);
        EXPECT_EQ(keyer.DevTaskDirectTake(group.Get()), 1) << c.what << ": live";
        EXPECT_TRUE(c.tookTheLiveTake(rig)) << c.what << ": live";
    }
}
