// Keyers that send through another device's line (a DSK50D keyer through the one that opened
// the port, the SATURN4000 keyer through the switcher's protocol object): when that device goes
// while a key command waits for its answer, the command ends and nothing it uses is freed
// under it. Run under the sanitizers, a use after the free is reported.
#include "tests/keyers/KeyerDriverKit.h"

#include "drivers/switchers/keyers/CVideoAux_DSK50D.h"
#include "drivers/switchers/keyers/CVideoAux_SATURN4000.h"
#include "drivers/switchers/production/CVideoSwitch_M21.h"

#include <chrono>
#include <functional>
#include <future>
#include <memory>

using namespace devtest;
using namespace keydrv;

namespace {

struct Case {
    const char *what;
    // Makes and opens the device that owns the line.
    std::function<std::unique_ptr<CDeviceA>()> owner;
    CVideoKeyCtrlA &keyer;
    // Forgets the commands the device at the far end took so far.
    std::function<void()> clear;
    // Waits until the key command is on the line, unanswered as yet.
    std::function<bool()> sent;
};

void OwnerGoesDuringTheCommand(const Case &c)
{
    for (int round = 0; round < 5; ++round) {
        std::unique_ptr<CDeviceA> owner = c.owner();
        ASSERT_TRUE(owner) << c.what;
        CVideoKeyTaskArray group = Group({Task(0, 1, 1)});
        c.clear();
        auto take =
            std::async(std::launch::async, [&] { return c.keyer.DevTaskDirectTake(group.Get()); });
        ASSERT_TRUE(c.sent()) << c.what;
        owner.reset();
        ASSERT_EQ(take.wait_for(std::chrono::seconds(10)), std::future_status::ready) << c.what;
        take.get();
    }
}

} // namespace

TEST(KeyerSharedLines, TheLinesOwnerGoingDuringACommandFreesNothingTheCommandUses)
{
    KeyerLine dsk(kCom, 27, kestsim::KeyerSim::Model::Dsk50d);
    prodtest::SimLine saturn(kSio, 56, kestsim::ProductionSwitcherSim::Model::M21);
    MountedSettings settings(
        Section("OWNER", {{"COM", "27"}, {"KeyArray", "5"}}) +
        Section("SHARER", {{"COM", "27"}, {"KeyArray", "5"}, {"nRetryTime", "1"}}) +
        Section("SAT", {{"COM", "56"}}) +
        Section("KEYER", {{"COM", "56"}, {"OnlyPreset", "FALSE"}, {"DelayTime", "0"}}));
    dsk.Sim().SetFaults(swtest::Late(100));
    saturn.Sim().SetFaults(swtest::Late(100));
    CVideoAux_DSK50D dskSharer;
    CVideoAux_SATURN4000 saturnKeyer;
    ASSERT_TRUE(Init(dskSharer, "SHARER"));
    ASSERT_TRUE(Init(saturnKeyer, "KEYER"));

    const Case cases[] = {
        {"a DSK50D keyer through another's line",
         [] {
             auto owner = std::make_unique<CVideoAux_DSK50D>();
             if (!Init(*owner, "OWNER") || !owner->DevOpen()) owner.reset();
             return owner;
         },
         dskSharer, [&] { dsk.Sim().ClearCommands(); },
         [&] { return dsk.Sim().WaitForCommands(1, kSoonMs); }},
        {"the SATURN4000 keyer through the switcher's object",
         [] {
             auto owner = std::make_unique<CVideoSwitch_SATURN4000>();
             if (!Init(*owner, "SAT") || !owner->DevOpen()) owner.reset();
             return owner;
         },
         saturnKeyer, [&] { saturn.Sim().ClearCommands(); },
         [&] { return saturn.Sim().WaitForCommands(1, kSoonMs); }},
    };
    for (const Case &c : cases) OwnerGoesDuringTheCommand(c);
}
