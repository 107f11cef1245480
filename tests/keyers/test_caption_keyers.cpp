// The ShiHui caption generator and the TrikKey keyer over pseudo-terminals: their frames per
// task, the "#OVRA_KEY" report of each key that was set, refusals and silence, the virtual
// mode, the key states the TrikKey keeps to send only the toggles that change them, and the
// TrikKey's line shared only with another TrikKey.
#include "tests/keyers/KeyerDriverKit.h"

#include "devext/device/CSerial_M422.h"
#include "drivers/switchers/keyers/CVideoAux_ShiHui.h"
#include "drivers/switchers/keyers/CVideoAux_TrikKey.h"
#include "drivers/switchers/keyers/KeyerFrames.h"

#include <future>

using namespace devtest;
using namespace keydrv;
using Model = kestsim::KeyerSim::Model;

namespace {

Bytes Joined(const std::vector<Bytes> &frames)
{
    Bytes all;
    for (const Bytes &frame : frames) all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

std::string ShiHuiSection(const char *name, int port, const std::string &more = "")
{
    return Section(name,
                   {{"COM", std::to_string(port)}, {"Logo", "3"}, {"Title", "4"}, {"Time", "5"}}) +
           more;
}

} // namespace

TEST(ShiHuiKeyer, SendsEachTasksKeyAndReportsIt)
{
    DebugOn debug;
    KeyerLine line(kSio, 41, Model::ShiHui);
    MountedSettings settings(ShiHuiSection("SHIHUI", 41));
    LogCapture keyLog("#OVRA_KEY");
    LogCapture devLog("LOG_DEV");
    CVideoAux_ShiHui keyer;
    ASSERT_TRUE(Init(keyer, "SHIHUI"));
    EXPECT_EQ(keyer.GetDescription(), CString("师慧字幕机驱动"));

    struct Case {
        const char *what;
        std::vector<tagVideoKeyTask> tasks;
        std::vector<Bytes> frames;
        std::vector<std::string> reports;
    };
    const std::vector<Case> cases{
        {"a logo task: the Logo key",
         {Task(KEYTASK_FUNC_LOGO, 9, 1)},
         {keyframe::ShiHuiKey(3, true)},
         {KeyText(1, 256)}},
        {"a title task off, then a clock task",
         {Task(KEYTASK_FUNC_TITLE, 9, 0), Task(KEYTASK_FUNC_TIME, 9, 1)},
         {keyframe::ShiHuiKey(4, false), keyframe::ShiHuiKey(5, true)},
         {KeyText(0, 257), KeyText(1, 258)}},
        {"a plain task: its own key",
         {Task(300, 12, 1)},
         {keyframe::ShiHuiKey(12, true)},
         {KeyText(1, 12)}},
    };
    for (const Case &c : cases) {
        keyLog.Clear();
        EXPECT_EQ(keyer.DevTaskDirectTake(Group(c.tasks).Get()), 1) << c.what;
        EXPECT_TRUE(line.Got(Joined(c.frames))) << c.what;
        EXPECT_EQ(keyLog.Lines(), c.reports) << c.what;
    }
    EXPECT_TRUE(line.Sim().KeyOn(3));
    EXPECT_EQ(keyer.GetDevStatus().nCode, DEVSTATUS_NORMAL);
    EXPECT_TRUE(devLog.Has("trace@ShiHui; Dev=,Key=4,Action=down, Result=OK"));
}

TEST(ShiHuiKeyer, ARefusedOrUnansweredCommandFailsTheTakeInOneTry)
{
    ManualTime time;
    DebugOn debug;
    KeyerLine line(kSio, 42, Model::ShiHui);
    MountedSettings settings(ShiHuiSection("SHIHUI", 42));
    LogCapture keyLog("#OVRA_KEY");
    LogCapture devLog("LOG_DEV");
    CVideoAux_ShiHui keyer;
    ASSERT_TRUE(Init(keyer, "SHIHUI"));

    struct Case {
        const char *what;
        kestsim::Faults faults;
    };
    for (const Case &c : {Case{"refused", Refusing()}, Case{"silent", Silent()}}) {
        line.Sim().ClearCommands();
        keyLog.Clear();
        line.Sim().SetFaults(c.faults, 1);
        const auto group = Group({Task(0, 6, 1), Task(0, 7, 1)});
        EXPECT_EQ(RunAdvancing([&] { return keyer.DevTaskDirectTake(group.Get()); }), 0) << c.what;
        EXPECT_EQ(line.Sim().Commands().size(), 2u) << c.what << ": one try each";
        EXPECT_FALSE(keyLog.Has(KeyText(1, 6))) << c.what << ": the failed key is not reported";
    }
    EXPECT_TRUE(devLog.Has("trace@ShiHui; Dev=,Key=6,Action=up, Result=failed"));
}

TEST(ShiHuiKeyer, AVirtualKeyerSendsNothingAndAClosedLineFails)
{
    KeyerLine line(kSio, 44, Model::ShiHui);
    MountedSettings settings(ShiHuiSection("SHIHUI", 44, "Exchange=TRUE\r\nVirtual=TRUE\r\n") +
                             ShiHuiSection("NOLINE", 49));
    CVideoAux_ShiHui standby;
    ASSERT_TRUE(Init(standby, "SHIHUI"));
    EXPECT_EQ(standby.DevTaskDirectTake(Group({Task(0, 1, 1)}).Get()), 1);
    EXPECT_FALSE(line.Peer().WaitForBytes(1, 100));

    CVideoAux_ShiHui unbound;
    ASSERT_TRUE(Init(unbound, "NOLINE"));
    EXPECT_EQ(unbound.DevTaskDirectTake(Group({Task(0, 1, 1)}).Get()), 0);
    EXPECT_EQ(unbound.GetDevStatus().nCode, DEVSTATUS_COM_OPEN_FAILED);
}

TEST(TrikKeyKeyer, TogglesOnlyWhatChangesTheStateHeld)
{
    KeyerLine line(kSio, 43, Model::TrikKey);
    MountedSettings settings(Section("TRIK", {{"Com", "43"}, {"titleon", "TRUE"}}));
    LogCapture keyLog("#OVRA_KEY");
    CVideoAux_TrikKey keyer;
    ASSERT_TRUE(Init(keyer, "TRIK"));
    EXPECT_EQ(keyer.GetDescription(), CString("TrikKey键控驱动"));
    ASSERT_EQ(keyer.DevOpen(), 1);
    EXPECT_TRUE(keyer.IsTitleOn());

    struct Case {
        const char *what;
        std::vector<tagVideoKeyTask> tasks;
        std::vector<Bytes> toggles;
        std::vector<std::string> reports;
        bool logo, title;
    };
    const std::vector<Case> cases{
        {"two logo-on tasks: one toggle",
         {Task(KEYTASK_FUNC_LOGO, 2, 1), Task(KEYTASK_FUNC_LOGO, 2, 1)},
         {keyframe::TrikKeyToggle(2)},
         {KeyText(1, 256)},
         true,
         true},
        {"the title is on from the setting", {Task(KEYTASK_FUNC_TITLE, 3, 1)}, {}, {}, true, true},
        {"a plain task follows the title task before it",
         {Task(KEYTASK_FUNC_TITLE, 3, 0), Task(0, 5, 1), Task(0, 5, 1)},
         {keyframe::TrikKeyToggle(3), keyframe::TrikKeyToggle(5)},
         {KeyText(0, 257), KeyText(1, 0)},
         true,
         true},
        {"a plain task at the head has no state to follow",
         {Task(0, 6, 0)},
         {keyframe::TrikKeyToggle(6)},
         {KeyText(0, 0)},
         true,
         true},
    };
    for (const Case &c : cases) {
        keyLog.Clear();
        EXPECT_EQ(keyer.DevTaskDirectTake(Group(c.tasks).Get()), 1) << c.what;
        if (c.toggles.empty())
            EXPECT_FALSE(line.Peer().WaitForBytes(1, 100)) << c.what;
        else
            EXPECT_TRUE(line.Got(Joined(c.toggles))) << c.what;
        EXPECT_EQ(keyLog.Lines(), c.reports) << c.what;
        EXPECT_EQ(keyer.IsLogoOn(), c.logo) << c.what;
        EXPECT_EQ(keyer.IsTitleOn(), c.title) << c.what;
    }
    EXPECT_FALSE(keyer.IsTimeOn());
}

TEST(TrikKeyKeyer, SharesItsLineOnlyWithAnotherTrikKey)
{
    KeyerLine line(kSio, 45, Model::TrikKey);
    kestsim::PtyPair foreignPty;
    foreignPty.Bind(kSio, 46);
    MountedSettings settings(Section("TRIK1", {{"Com", "45"}}) + Section("TRIK2", {{"Com", "45"}}) +
                             Section("TRIK3", {{"Com", "46"}}));
    CVideoAux_TrikKey first, second, third;
    ASSERT_TRUE(Init(first, "TRIK1"));
    ASSERT_TRUE(Init(second, "TRIK2"));
    ASSERT_TRUE(Init(third, "TRIK3"));

    ASSERT_EQ(first.DevOpen(), 1);
    EXPECT_EQ(second.DevTaskDirectTake(Group({Task(KEYTASK_FUNC_TIME, 4, 1)}).Get()), 1);
    EXPECT_TRUE(line.Got(keyframe::TrikKeyToggle(4))) << "through the first keyer's object";

    OtherProtocol other(46, CSerial_M422::GetClassID());
    ASSERT_EQ(other.DevOpen(), 1);
    EXPECT_EQ(third.DevOpen(), 0) << "another protocol's object is not a TrikKey's";
    EXPECT_EQ(third.GetDevStatus().nCode, DEVSTATUS_COM_OPEN_FAILED);
    EXPECT_EQ(third.DevIsOpen(), 0);
    EXPECT_EQ(third.DevTaskDirectTake(Group({Task(0, 1, 1)}).Get()), 0);
}

TEST(ShiHuiKeyer, DeactivatingTheKeyerEndsAWaitingTake)
{
    ManualTime time;
    KeyerLine line(kSio, 40, Model::ShiHui);
    MountedSettings settings(ShiHuiSection("SHIHUI", 40));
    CVideoAux_ShiHui keyer;
    ASSERT_TRUE(Init(keyer, "SHIHUI"));
    ASSERT_EQ(keyer.ActiveInstance(), 1);
    const int64_t start = ManualTime::Now() + 60 * kSecond;
    const int waiting = plat::TestClock::TimedWaiters();
    auto take = std::async(std::launch::async, [&] {
        return keyer.DevTaskDirectTake(Group({Task(0, 1, 1, start)}).Get());
    });
    const devtest::FinishStepping takeEnds(take);
    ASSERT_TRUE(Eventually([&] { return plat::TestClock::TimedWaiters() > waiting; }));
    EXPECT_EQ(keyer.DeactiveInstance(0), 1);
    ASSERT_EQ(take.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(take.get(), 0);
    EXPECT_LT(ManualTime::Now(), start);
    EXPECT_FALSE(line.Peer().WaitForBytes(1, 100)) << "nothing sent";
}
