// The GPI caption auxiliary: which contact a take drives, to what level and when.
#include "tests/gpi/GpiTestKit.h"

#include "gpi/CGPICard_PinioTech.h"
#include "gpi/CVideoAux_TitleGPI.h"

#include "drivers/tasks/CVideoKeyTaskArray.h"

#include <future>
#include <memory>
#include <vector>

using namespace gpitest;
using devtest::kSecond;

// The framework clock follows the manual clock through its own rate estimate, which may be
// off by a few hundred ms on a loaded machine.
constexpr int64_t kSlack = 500 * devtest::kMs;

namespace {

class TitleGpiTest : public GpiTest {
protected:
    std::unique_ptr<CVideoAux_TitleGPI> Make(const std::string &keys)
    {
        m_settings = std::make_unique<devtest::MountedSettings>("[TITLE]\r\n" + keys);
        auto title = std::make_unique<CVideoAux_TitleGPI>();
        title->SetSettingInfo("/etc/tvx/TITLE");
        EXPECT_EQ(title->OnInitInstance(), 1);
        return title;
    }

    static tagVideoKeyTask Task(int64_t at, int32_t op, const char *source = "", int32_t key = 1,
                                int32_t functype = 0)
    {
        tagVideoKeyTask task;
        task.StartTime = at;
        task.nop = op;
        task.Source = source;
        task.nKey = key;
        task.functype = functype;
        return task;
    }

    // Made and activated as the device manager makes it.
    std::unique_ptr<CVideoAux_TitleGPI> MakeActive(const std::string &keys)
    {
        m_settings = std::make_unique<devtest::MountedSettings>("[TITLE]\r\n" + keys);
        auto title = std::make_unique<CVideoAux_TitleGPI>();
        EXPECT_EQ(title->InitInstance("/etc/tvx/TITLE", "TITLE"), 1);
        EXPECT_EQ(title->ActiveInstance(), 1);
        return title;
    }

    std::unique_ptr<devtest::MountedSettings> m_settings;
    OutputRecorder m_outputs;
    kit::DebugCapture m_debug;
};

} // namespace

TEST_F(TitleGpiTest, NormalModeDrivesItsOwnChannelFromTheFirstTaskAfterTheDelay)
{
    auto title = Make("ChannelIndex=10\r\nDelayTime=2000\r\n");
    const int64_t t = Now() + kSecond;
    CVideoKeyTaskArray tasks;
    tasks->Add(Task(t, 1, "", 3));
    tasks->Add(Task(t, 0, "", 4));
    EXPECT_EQ(RunStepping([&] { return title->DevTaskDirectTake(tasks.operator->()); }), 1);
    auto changes = m_outputs.Changes();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].port, 1);
    EXPECT_EQ(changes[0].bit, 2);
    EXPECT_EQ(changes[0].level, 1);
    EXPECT_GE(changes[0].at, t + kSlack * 3);
    EXPECT_LT(changes[0].at, t + 2 * kSecond + kSlack);
    EXPECT_EQ(DioSim_OpenHandles(), 0u); // each take closes its card

    // The user interface's tasks go at their start time; "gui" is not the user interface.
    const int64_t t2 = Now() + kSecond;
    tasks->RemoveAll();
    tasks->Add(Task(t2, 0, "GUI"));
    EXPECT_EQ(RunStepping([&] { return title->DevTaskDirectTake(tasks.operator->()); }), 1);
    const int64_t t3 = Now() + kSecond;
    tasks->RemoveAll();
    tasks->Add(Task(t3, 1, "gui"));
    EXPECT_EQ(RunStepping([&] { return title->DevTaskDirectTake(tasks.operator->()); }), 1);
    changes = m_outputs.Changes();
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[1].level, 0);
    EXPECT_GE(changes[1].at, t2 - kSlack);
    EXPECT_LT(changes[1].at, t2 + kSlack);
    EXPECT_GE(changes[2].at, t3 + kSlack * 3);
}

TEST_F(TitleGpiTest, EmptyGroupsAndAClosedCard)
{
    CVideoKeyTaskArray tasks;
    auto normal = Make("");
    auto complex = Make("ComplexMode=TRUE\r\n");
    EXPECT_EQ(complex->DevTaskDirectTake(tasks.operator->()), 1);
    // With the card refusing to open: normal mode never tries it, complex mode does.
    DioSim_Fail(DIOSIM_OPEN, DRV_ERR_DEVICE_FAULT);
    kit::DebugCapture debug;
    EXPECT_EQ(normal->DevTaskDirectTake(tasks.operator->()), 0);
    EXPECT_TRUE(debug.Lines().empty());
    EXPECT_EQ(complex->DevTaskDirectTake(tasks.operator->()), 0);
    EXPECT_EQ(debug.Lines(), std::vector<std::string>{"ComplexMode  GPI设备打开失败"});
    tasks->Add(Task(Now(), 1));
    EXPECT_EQ(normal->DevTaskDirectTake(tasks.operator->()), 0);
    EXPECT_EQ(debug.Lines().back(), "NormalMode  GPI设备打开失败");
}

TEST_F(TitleGpiTest, ComplexModeDrivesEachTaskOnItsKeyWithTheConfiguredLevels)
{
    auto title = Make("ComplexMode=TRUE\r\nCmdOn=0\r\nCmdOff=1\r\nIntervalTime=50\r\nTitle=6\r\n");
    DioSim_Fail(DIOSIM_OPEN, 0);
    CGPICard_PinioTech card;
    card.SetChannelState(3, 1);
    CVideoKeyTaskArray tasks;
    tasks->Add(Task(Now(), 1, "", 3));                     // on: written low
    tasks->Add(Task(Now(), 0, "", 9, KEYTASK_FUNC_TITLE)); // off on the Title key: high
    EXPECT_EQ(RunStepping([&] { return title->DevTaskDirectTake(tasks.operator->()); }), 1);
    EXPECT_EQ(DioSim_GetOutput(0, 0, 3), 0);
    EXPECT_EQ(DioSim_GetOutput(0, 0, 6), 1);
}

TEST_F(TitleGpiTest, ComplexModeWaitsOnlyForTheFirstPlayListTaskAndPausesAfterEach)
{
    auto title = Make("ComplexMode=TRUE\r\nIntervalTime=2000\r\n");
    const int64_t t = Now() + kSecond;
    CVideoKeyTaskArray tasks;
    for (int32_t key = 1; key <= 3; ++key) tasks->Add(Task(t + 10 * kSecond * key, 1, "", key));
    tasks->GetPtrAt(0)->StartTime = t;
    int64_t returned = 0;
    EXPECT_EQ(RunStepping([&] {
                  const int32_t result = title->DevTaskDirectTake(tasks.operator->());
                  returned = Now();
                  return result;
              }),
              1);
    const auto changes = m_outputs.Changes();
    ASSERT_EQ(changes.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(changes[i].bit, i + 1);
        EXPECT_GE(changes[i].at, t + static_cast<int64_t>(i) * 2 * kSecond - kSlack);
        EXPECT_LT(changes[i].at, t + static_cast<int64_t>(i) * 2 * kSecond + kSlack);
    }
    EXPECT_GE(returned, t + 6 * kSecond - kSlack); // the pause follows the last task too

    // A failed set fails the take; the other tasks still run.
    DioSim_Fail(DIOSIM_IO, DRV_ERR_DEVICE_FAULT);
    tasks->GetPtrAt(0)->StartTime = Now();
    EXPECT_EQ(RunStepping([&] { return title->DevTaskDirectTake(tasks.operator->()); }), 0);
}

TEST_F(TitleGpiTest, AuxiliaryTaskSetsTheChannelToItsAction)
{
    devtest::LogCapture log("LOG_DEV");
    auto title = Make("ChannelIndex=17\r\n");
    CVideoAuxTask task;
    task.m_nAction = 7;
    EXPECT_EQ(title->DevDoAuxTask(task), 1);
    EXPECT_EQ(DioSim_GetOutput(0, 2, 1), 1);
    task.m_nAction = 0;
    EXPECT_EQ(title->DevDoAuxTask(task), 1);
    EXPECT_EQ(DioSim_GetOutput(0, 2, 1), 0);
    EXPECT_EQ(DioSim_OpenHandles(), 0u);
    DioSim_Fail(DIOSIM_OPEN, DRV_ERR_DEVICE_FAULT);
    EXPECT_EQ(title->DevDoAuxTask(task), 0);
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"DEV=GPI_TITLE; DoAction ", "DEV=GPI_TITLE; DoAction ",
                                        "DEV=GPI;Open Device Fail", "Dev=GPI_TITLE; Open failed"}));
}

// A virtual (standby) caption, in either mode, opens no card and sets no contact; once live it
// drives them again.
TEST_F(TitleGpiTest, AVirtualCaptionLeavesItsContactsAlone)
{
    for (const std::string mode : {"", "ComplexMode=TRUE\r\n"}) {
        SCOPED_TRACE(mode.empty() ? "normal mode" : "complex mode");
        auto title = Make(mode + "ChannelIndex=2\r\nVirtual=TRUE\r\nExchange=TRUE\r\n");
        CVideoKeyTaskArray tasks;
        tasks->Add(Task(Now(), 1, "GUI", 2));
        CVideoAuxTask aux;
        aux.m_nAction = 1;
        const uint32_t opens = DioSim_Calls(DIOSIM_OPEN);
        EXPECT_EQ(RunStepping([&] { return title->DevTaskDirectTake(tasks.operator->()); }), 1);
        EXPECT_EQ(title->DevDoAuxTask(aux), 1);
        EXPECT_EQ(DioSim_Calls(DIOSIM_OPEN), opens) << "no card opened";
        EXPECT_EQ(DioSim_GetOutput(0, 0, 2), 0);

        title->OnSetVirtual(0);
        EXPECT_EQ(RunStepping([&] { return title->DevTaskDirectTake(tasks.operator->()); }), 1);
        EXPECT_EQ(DioSim_GetOutput(0, 0, 2), 1);
        EXPECT_EQ(title->DevDoAuxTask(aux), 1);
        DioSim_Reset(1);
    }
}

TEST_F(TitleGpiTest, DeactivatingEndsEachWaitOfATakeAtOnceAndNothingIsTakenAfter)
{
    struct Case {
        const char *name;
        const char *keys;
        // Start times (s from now; 0 is now) and sources of the tasks, each on a key of its own
        std::vector<std::pair<int64_t, const char *>> tasks;
        size_t takenBefore; // contacts set before the take waits
    };
    const std::vector<Case> cases{
        {"normal, play list", "DelayTime=2000\r\n", {{60, "AUTO"}}, 0},
        {"normal, user interface", "", {{60, "GUI"}}, 0},
        {"complex, first task", "ComplexMode=TRUE\r\n", {{60, "AUTO"}, {0, "AUTO"}}, 0},
        {"complex, user interface",
         "ComplexMode=TRUE\r\nIntervalTime=0\r\n",
         {{0, "AUTO"}, {60, "GUI"}},
         1},
        {"complex, pause",
         "ComplexMode=TRUE\r\nIntervalTime=60000\r\n",
         {{0, "AUTO"}, {0, "AUTO"}},
         1},
    };
    int32_t key = 1; // each case on contacts of its own, all low so far
    for (const Case &c : cases) {
        auto title = MakeActive(c.keys);
        const size_t before = m_outputs.Changes().size();
        const int64_t now = Now();
        CVideoKeyTaskArray tasks;
        for (const auto &[in, source] : c.tasks)
            tasks->Add(Task(now + in * kSecond, 1, source, key++));
        const int waiting = plat::TestClock::TimedWaiters();
        auto take = std::async(std::launch::async,
                               [&] { return title->DevTaskDirectTake(tasks.operator->()); });
        const devtest::FinishStepping takeEnds(take);
        ASSERT_TRUE(devtest::Eventually([&] {
            return plat::TestClock::TimedWaiters() > waiting &&
                   m_outputs.Changes().size() == before + c.takenBefore;
        })) << c.name;
        EXPECT_EQ(title->DeactiveInstance(0), 1) << c.name;
        ASSERT_EQ(take.wait_for(std::chrono::seconds(5)), std::future_status::ready) << c.name;
        EXPECT_EQ(take.get(), 0) << c.name;
        EXPECT_LT(Now(), now + 60 * kSecond) << c.name << ": the clock stood still";
        EXPECT_EQ(m_outputs.Changes().size(), before + c.takenBefore) << c.name;
        EXPECT_EQ(DioSim_OpenHandles(), 0u) << c.name;
    }
}

TEST_F(TitleGpiTest, ACopyStillTakesAfterTheOriginalIsDeactivated)
{
    auto title = MakeActive("ChannelIndex=3\r\n");
    CVideoAux_TitleGPI copy(*title);
    EXPECT_EQ(title->DeactiveInstance(0), 1);
    CVideoKeyTaskArray tasks;
    tasks->Add(Task(Now() + kSecond, 1, "GUI"));
    EXPECT_EQ(RunStepping([&] { return copy.DevTaskDirectTake(tasks.operator->()); }), 1);
    EXPECT_EQ(DioSim_GetOutput(0, 0, 3), 1);
}
