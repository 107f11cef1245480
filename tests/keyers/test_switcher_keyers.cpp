// The keyers on production switchers over pseudo-terminals: the SATURN4000 keyer's key
// actions through the switcher's protocol object (bus, key and wait by mode), the SATURN4000
// title keyer's auxiliary tasks, and the M2100 keyer's key mask through the control object it
// shares with the M2100 switcher.
#include "tests/keyers/KeyerDriverKit.h"
#include "tests/keyers/KeyerTestKit.h"

#include "drivers/switchers/keyers/CVideoAux_M2100.h"
#include "drivers/switchers/keyers/CVideoAux_SATURN4000.h"
#include "drivers/switchers/production/CVideoSwitch_M2100.h"
#include "drivers/switchers/production/CVideoSwitch_M21.h"

using namespace devtest;
using namespace keydrv;
using SwitcherModel = kestsim::ProductionSwitcherSim::Model;

namespace {

// A key action as the switcher took it: command E0, then code, 00, bus, 00 and nine zeros.
Bytes KeyData(uint8_t code, uint8_t bus)
{
    Bytes data{code, 0x00, bus, 0x00};
    data.resize(13, 0x00);
    return data;
}

std::vector<Bytes> KeyActions(const kestsim::ProductionSwitcherSim &sim)
{
    std::vector<Bytes> actions;
    for (const auto &command : sim.Commands())
        if (command.command == 0xE0) actions.push_back(command.data);
    return actions;
}

} // namespace

// On the real clock: a manual one stepped through the exchanges would let their reply waits
// run out on a loaded machine.
TEST(Saturn4000Keyer, BusKeyAndWaitFollowTheMode)
{
    prodtest::SimLine line(kSio, 51, SwitcherModel::M21);
    const auto keyer = [](const char *name, const char *complex, const char *onlyPreset) {
        return Section(name, {{"COM", "51"},
                              {"Logo", "2"},
                              {"ComplexMode", complex},
                              {"OnlyPreset", onlyPreset},
                              {"DelayTime", "200"},
                              {"IntervalTime", "10"}});
    };
    MountedSettings settings(Section("SAT", {{"COM", "51"}}) + keyer("PRESET", "FALSE", "TRUE") +
                             keyer("PROGRAM", "FALSE", "FALSE") + keyer("COMPLEX", "TRUE", "TRUE"));
    LogCapture keyLog("#OVRA_KEY");
    CVideoSwitch_SATURN4000 sw;
    ASSERT_TRUE(Init(sw, "SAT"));
    ASSERT_EQ(sw.DevOpen(), 1);

    struct Case {
        const char *what;
        const char *keyer;
        const char *source;
        int64_t startIn; // from now
        int64_t dueIn;   // the earliest the actions may go, from now; -1: no wait at all
        std::vector<Bytes> actions;
        std::vector<std::string> reports;
    };
    const int64_t tenMinutes = 600 * kSecond;
    const std::vector<Case> cases{
        {"due in ten minutes, OnlyPreset: at once on the preset bus",
         "PRESET",
         "AUTO",
         tenMinutes,
         -1,
         {KeyData(0x08, 0x80), KeyData(0x08, 0xA0)},
         {KeyText(1, 256), KeyText(0, 256)}},
        {"due already, OnlyPreset: the program bus",
         "PRESET",
         "AUTO",
         -kSecond,
         -1,
         {KeyData(0x08, 0x40), KeyData(0x08, 0x60)},
         {KeyText(1, 256), KeyText(0, 256)}},
        {"from the user interface: at the start, program bus",
         "PRESET",
         "GUI",
         300 * kMs,
         300 * kMs,
         {KeyData(0x08, 0x40), KeyData(0x08, 0x60)},
         {KeyText(1, 256), KeyText(0, 256)}},
        {"without OnlyPreset: DelayTime after the start",
         "PROGRAM",
         "AUTO",
         300 * kMs,
         500 * kMs,
         {KeyData(0x08, 0x40), KeyData(0x08, 0x60)},
         {KeyText(1, 256), KeyText(0, 256)}},
        // Key 1 is the Title key by default: it reports as a caption.
        {"complex: each task its own key",
         "COMPLEX",
         "AUTO",
         300 * kMs,
         500 * kMs,
         {KeyData(0x08, 0x40), KeyData(0x07, 0x60)},
         {KeyText(1, 256), KeyText(0, 257)}},
    };
    for (const Case &c : cases) {
        CVideoAux_SATURN4000 keyer;
        ASSERT_TRUE(Init(keyer, c.keyer)) << c.what;
        line.Sim().ClearCommands();
        keyLog.Clear();
        const int64_t now = ManualTime::Now();
        const auto group = Group({Task(KEYTASK_FUNC_LOGO, 9, 1, now + c.startIn, c.source),
                                  Task(0, 1, 0, now + c.startIn, c.source)});
        EXPECT_EQ(keyer.DevTaskDirectTake(group.Get()), 1) << c.what;
        if (c.dueIn < 0)
            EXPECT_LT(ManualTime::Now(), now + 10 * kSecond) << c.what;
        else
            EXPECT_GE(ManualTime::Now(), now + c.dueIn) << c.what;
        EXPECT_EQ(KeyActions(line.Sim()), c.actions) << c.what;
        EXPECT_EQ(keyLog.Lines(), c.reports) << c.what;
    }
}

TEST(Saturn4000Keyer, WithoutTheSwitchersLineOrWithARefusalNothingIsReported)
{
    DebugOn debug;
    prodtest::SimLine line(kSio, 52, SwitcherModel::M21);
    MountedSettings settings(Section("SAT", {{"COM", "52"}}) +
                             Section("KEYER", {{"COM", "52"}, {"OnlyPreset", "FALSE"}}));
    LogCapture keyLog("#OVRA_KEY");
    LogCapture devLog("LOG_DEV");
    CVideoAux_SATURN4000 keyer;
    ASSERT_TRUE(Init(keyer, "KEYER"));
    EXPECT_EQ(keyer.GetDescription(), CString("SATURN4000切换台键控"));
    const auto take = [&] { return keyer.DevTaskDirectTake(Group({Task(0, 1, 1)}).Get()); };
    EXPECT_EQ(take(), 0) << "the switcher has not opened the line";
    EXPECT_TRUE(devLog.Has("Dev=;Open Failed"));

    CVideoSwitch_SATURN4000 sw;
    ASSERT_TRUE(Init(sw, "SAT"));
    ASSERT_EQ(sw.DevOpen(), 1);
    line.Sim().SetFaults(Refusing(), 1);
    EXPECT_EQ(take(), 0) << "refused";
    EXPECT_TRUE(devLog.Has("DEV=; DoAction(1) Result:(Failed) "));
    EXPECT_EQ(keyLog.Count(), 0u);
    EXPECT_EQ(take(), 1);
    EXPECT_EQ(keyLog.Lines(), std::vector<std::string>{KeyText(1, 256)}) << "key 1: the Logo key";

    keyer.OnSetVirtual(1);
    line.Sim().ClearCommands();
    EXPECT_EQ(take(), 1) << "virtual";
    EXPECT_TRUE(line.Sim().Commands().empty());
}

TEST(TitleSaturn4000, PutsItsKeyOnOrOffForAnAuxiliaryTask)
{
    prodtest::SimLine line(kSio, 55, SwitcherModel::M21);
    MountedSettings settings(Section("SAT", {{"COM", "55"}}) +
                             Section("TITLE", {{"COM", "55"}, {"Key", "1"}}) +
                             Section("NOLINE", {{"COM", "56"}}));
    kit::LogCapture traceLog("hhd", LOG_MODE_PATTERN);
    CVideoAux_TitleSATURN4000 title;
    ASSERT_TRUE(Init(title, "TITLE"));
    EXPECT_EQ(title.GetDescription(), CString("切换台SATURN4000键控驱动"));
    CVideoSwitch_SATURN4000 sw;
    ASSERT_TRUE(Init(sw, "SAT"));
    ASSERT_EQ(sw.DevOpen(), 1);

    struct Case {
        int action;
        std::vector<Bytes> actions;
    };
    for (const Case &c :
         {Case{0, {KeyData(0x07, 0x60)}}, Case{1, {KeyData(0x07, 0x40)}}, Case{5, {}}}) {
        line.Sim().ClearCommands();
        CVideoAuxTask task;
        task.m_nAction = c.action;
        EXPECT_EQ(title.DevDoAuxTask(task), 1) << c.action;
        if (!c.actions.empty()) {
            EXPECT_TRUE(line.Sim().WaitForCommands(1, kSoonMs));
        }
        EXPECT_EQ(KeyActions(line.Sim()), c.actions) << c.action;
    }
    EXPECT_TRUE(Eventually([&] { return traceLog.Has("DEV=; DoAction(0) Result:(OK) "); }));
    EXPECT_TRUE(Eventually([&] { return traceLog.Has("DEV=; DoAction(5) Result:(OK) "); }));

    CVideoAux_TitleSATURN4000 unbound;
    ASSERT_TRUE(Init(unbound, "NOLINE"));
    CVideoAuxTask on;
    on.m_nAction = 1;
    EXPECT_EQ(unbound.DevDoAuxTask(on), 0);
    EXPECT_EQ(unbound.DevOpen(), 1);
}

namespace {

std::vector<std::pair<int, Bytes>> Blocks(const kestsim::ProductionSwitcherSim &sim)
{
    std::vector<std::pair<int, Bytes>> blocks;
    for (const auto &command : sim.Commands()) blocks.emplace_back(command.command, command.data);
    return blocks;
}

} // namespace

TEST(M2100Keyer, SetsTheKeyMaskAndReportsTheKeys)
{
    prodtest::SimLine line(kSio, 53, SwitcherModel::M2100);
    MountedSettings settings(Section("KEYER", {{"COM", "53"}, {"Title", "3"}}));
    LogCapture keyLog("#OVRA_KEY");
    CVideoAux_M2100 keyer;
    ASSERT_TRUE(Init(keyer, "KEYER"));
    EXPECT_EQ(keyer.GetDescription(), CString("M2100切换台键控"));
    ASSERT_EQ(keyer.DevOpen(), 1);
    EXPECT_EQ(keyer.DevIsOpen(), 1);
    line.Sim().SetKeyMask(0x01);
    line.Sim().ClearCommands();

    const auto title = Group({Task(KEYTASK_FUNC_TITLE, 8, 1)});
    EXPECT_EQ(keyer.DevTaskDirectTake(title.Get()), 1);
    EXPECT_TRUE(line.Sim().WaitForCommands(2, kSoonMs)) << "the set is not awaited";
    EXPECT_EQ(Blocks(line.Sim()),
              (std::vector<std::pair<int, Bytes>>{
                  {2, {0x0C}}, {1, {0x01, 0x02, 0x0B, 0x05, 0x01, 0x02, 0x02, 0x03}}}))
        << "Title 3 is bit 2, in one continuous packet";
    EXPECT_EQ(line.Sim().KeyMask(), 0x05);
    EXPECT_EQ(keyLog.Lines(), std::vector<std::string>{KeyText(1, 257)});

    keyLog.Clear();
    line.Sim().SetFaults(Refusing(), 1);
    EXPECT_EQ(keyer.DevTaskDirectTake(Group({Task(0, 4, 1)}).Get()), 0) << "the mask query refused";
    EXPECT_EQ(keyLog.Count(), 0u);
}

TEST(M2100Keyer, SharesTheControlObjectWithTheSwitcher)
{
    prodtest::SimLine line(kSio, 54, SwitcherModel::M2100);
    MountedSettings settings(
        Section("SW", {{"Com", "54"}}) + Section("KEYER", {{"COM", "54"}}) +
        Section("STANDBY", {{"COM", "54"}, {"Exchange", "TRUE"}, {"Virtual", "TRUE"}}));
    CVideoSwitch_M2100 sw;
    CVideoAux_M2100 keyer, standby;
    ASSERT_TRUE(Init(sw, "SW"));
    ASSERT_TRUE(Init(keyer, "KEYER"));
    ASSERT_TRUE(Init(standby, "STANDBY"));
    ASSERT_EQ(sw.DevOpen(), 1);
    ASSERT_EQ(keyer.DevOpen(), 1);
    EXPECT_EQ(CM2100Pool::Get().UseCount(54), 2);
    EXPECT_EQ(standby.DevOpen(), 1);
    EXPECT_EQ(standby.DevIsOpen(), 1);
    EXPECT_EQ(CM2100Pool::Get().UseCount(54), 2) << "a virtual keyer takes no control object";

    EXPECT_EQ(keyer.DevClose(), 1);
    EXPECT_EQ(CM2100Pool::Get().UseCount(54), 1);
    EXPECT_EQ(keyer.DevIsOpen(), 0);
    line.Sim().ClearCommands();
    EXPECT_EQ(sw.DevDirectTake(1, 4), 1) << "the switcher's line stays open";
    EXPECT_TRUE(Eventually([&] { return line.Sim().BusSource(0x3D) == 4; }));

    line.Sim().ClearCommands();
    EXPECT_EQ(standby.DevTaskDirectTake(Group({Task(0, 1, 1)}).Get()), 1);
    EXPECT_TRUE(line.Sim().Commands().empty()) << "virtual: nothing sent";
    EXPECT_EQ(keyer.DevTest(""), 1) << "the test opens again";
    EXPECT_EQ(CM2100Pool::Get().UseCount(54), 2);
}
