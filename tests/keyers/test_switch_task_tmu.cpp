// The switcher task management unit: ids and order, the preset rules ahead of a take, the
// take's lead time, status and error reports, its settings, its registry and its stop.
#include "tests/keyers/KeyerTestKit.h"

#include "drivers/tasks/CVideoSwitchTaskArray.h"
#include "drivers/tasks/CVideoSwitchTaskTMU.h"

#include "KestLib20/CResAccess.h"

#include <optional>

using namespace keytest;

namespace {

constexpr int64_t kFrame = 400000;
// The framework clock's sleep ends up to 57 units (5.7 us) before its target.
constexpr int64_t kSleepMargin = 57;

struct Told {
    int32_t id, status, param;
    int64_t at;
};

// Records the callbacks; each call also enters the unit, which must not hold its lock then.
class Recorder {
public:
    static int32_t OnStatus(void *self, int32_t id, int32_t status, int32_t param)
    {
        auto *recorder = static_cast<Recorder *>(self);
        if (recorder->tmu) recorder->tmu->GetTaskCount();
        std::lock_guard<std::mutex> lk(recorder->m_lock);
        recorder->m_told.push_back({id, status, param, devtest::ManualTime::Now()});
        return 0;
    }
    std::vector<Told> Told_()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_told;
    }
    std::vector<int32_t> Statuses()
    {
        std::vector<int32_t> statuses;
        for (const Told &told : Told_()) statuses.push_back(told.status);
        return statuses;
    }
    IVideoSwitchTaskTMU *tmu = nullptr;

private:
    std::mutex m_lock;
    std::vector<Told> m_told;
};

class SwitchTaskTest : public KeyerTest {
protected:
    explicit SwitchTaskTest(const std::string &settings = Settings()) : KeyerTest(settings)
    {
        recorder.tmu = tmu.Get();
    }

    tagVideoSwitchTask Task(int64_t at, int32_t src = 5, int32_t type = kSwitchTransCut,
                            int32_t rate = 0, const char *dev = "SW1")
    {
        tagVideoSwitchTask task;
        task.DevID = dev;
        task.Time = at;
        task.ChnID = 2;
        task.SrcID = src;
        task.TransType = type;
        task.TransRate = rate;
        task.pUserData = &recorder;
        task.pfnCallBack = &Recorder::OnStatus;
        return task;
    }

    // Advances in small steps until the switcher has taken `count` times.
    bool UntilTakes(CStubSwitch &sw, size_t count, const char *op = "take")
    {
        return devtest::AdvanceUntil([&] { return sw.Cmds(op).size() >= count; }, 2, 120000);
    }

    Recorder recorder;
    CVideoSwitchTaskTMUPtr tmu;
    devtest::LogCapture switchLog{"LOG_AIR_SWITCH"};
};

TEST_F(SwitchTaskTest, GivesIdsThatAreFreeAndKeepsTheTasksInTimeOrder)
{
    const int64_t at = Now() + 300 * kSecond;
    tagVideoSwitchTask a = Task(at + 2 * kSecond);
    EXPECT_EQ(tmu->AddTask(a), 4661);
    EXPECT_EQ(a.TaskID, 4661) << "written back";
    tagVideoSwitchTask own = Task(at + kSecond);
    own.TaskID = 4664;
    EXPECT_EQ(tmu->AddTask(own), 4664);
    tagVideoSwitchTask b = Task(at + kSecond);
    b.Status = 7;
    b.Error = 2;
    EXPECT_EQ(tmu->AddTask(b), 4671) << "4664 is taken";
    tagVideoSwitchTask c = Task(at);
    EXPECT_EQ(tmu->AddTask(c), 4667);

    CVideoSwitchTaskArrayPtr tasks;
    ASSERT_EQ(tmu->GetTaskList(nullptr, tasks.Get()), 4);
    std::vector<int32_t> ids;
    for (int32_t i = 0; i < 4; ++i) ids.push_back(tasks->ElementAt(i)->TaskID);
    EXPECT_EQ(ids.front(), 4667);
    EXPECT_EQ(ids.back(), 4661);
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(tasks->ElementAt(i)->Status, SWITCHTASK_BEGIN);
        EXPECT_EQ(tasks->ElementAt(i)->Error, SWITCHTASK_ERR_NONE);
    }

    CVideoSwitchTaskArrayPtr replacement;
    replacement->Add(Task(at + 9 * kSecond));
    replacement->Add(Task(at + 8 * kSecond));
    EXPECT_EQ(tmu->SubmitTaskList("any", replacement.Get()), 2);
    ASSERT_EQ(tmu->GetTaskList(nullptr, tasks.Get()), 2);
    EXPECT_EQ(tasks->ElementAt(0)->Time, at + 8 * kSecond);
    EXPECT_EQ(tasks->ElementAt(0)->TaskID, 4673) << "the second given, ids 4670 and 4673";
    EXPECT_EQ(tmu->IsRunning(), 1);
    tmu->RemoveAll();
    EXPECT_EQ(tmu->GetTaskCount(), 0);
}

TEST_F(SwitchTaskTest, ATaskDueSoonIsPresetInHasteAndACutTakesTheSwitchersDelayAhead)
{
    CStubSwitch &sw = Switch("SW1");
    const int64_t at = Now() + 2 * kSecond;
    tagVideoSwitchTask task = Task(at, 5, kSwitchTransCut, 3);
    const int32_t id = tmu->AddTask(task);
    ASSERT_TRUE(UntilTakes(sw, 1));

    const auto cmds = sw.Cmds();
    ASSERT_EQ(cmds.size(), 4u);
    EXPECT_EQ(cmds[0].op, "pst");
    EXPECT_EQ(cmds[0].a, 2);
    EXPECT_EQ(cmds[0].b, 5);
    EXPECT_EQ(cmds[1].op, "type");
    EXPECT_EQ(cmds[2].op, "rate");
    EXPECT_EQ(cmds[2].a, 3);
    // DelayTime 80 ms is two frames; a cut has no lead of its own.
    const int64_t start = at - 2 * kFrame;
    EXPECT_GE(cmds[3].at, start - kSleepMargin);
    EXPECT_LT(cmds[3].at, at) << "before the task's own time";
    // The end of the switch is told once the switcher's take has returned.
    EXPECT_TRUE(Eventually([&] { return recorder.Statuses().size() >= 5; }));
    EXPECT_EQ(recorder.Statuses(), (std::vector<int32_t>{3, 4, 5, 6, 7}));
    EXPECT_EQ(recorder.Told_()[0].id, id);
    EXPECT_EQ(tmu->GetTaskCount(), 0);
    EXPECT_TRUE(Eventually([&] { return switchLog.Has("Start switching(Src=5,Channel=2)"); }));
    // Logged after the end of the switch is reported.
    EXPECT_TRUE(
        Eventually([&] { return switchLog.Has("end switch( Src=5, Dev DelayTime=80), (OK)"); }));
}

TEST_F(SwitchTaskTest, AMixAtRateThreeStartsOneSecondEarlier)
{
    CStubSwitch &sw = Switch("SW1");
    const int64_t at = Now() + 10 * kSecond;
    tagVideoSwitchTask task = Task(at, 7, 2, 3);
    tmu->AddTask(task);
    ASSERT_TRUE(UntilTakes(sw, 1));
    const int64_t start = at - 25 * kFrame - 2 * kFrame;
    EXPECT_GE(sw.Cmds("take")[0].at, start - kSleepMargin);
    EXPECT_LT(sw.Cmds("take")[0].at, start + 2 * kFrame);
}

TEST_F(SwitchTaskTest, PresetsOnceWithinTheRestTimeThenOnEveryPassFrom23To8SecondsAhead)
{
    CStubSwitch &sw = Switch("SW1");
    // The passes come whole seconds after the task was added; the task is due a millisecond
    // off that grid, so that no pass falls on the 30 s bound itself (the framework clock moves
    // a unit at each reading while the manual clock stands, and which thread reads first is
    // up to the scheduler).
    const int64_t at = Now() + 60 * kSecond + kMs;
    tagVideoSwitchTask task = Task(at);
    tmu->AddTask(task);
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return Now() >= at - 5 * kSecond; }, 50, 60000));

    // Whole seconds ahead of each preset; the framework clock reads the tick clock's steps a
    // few microseconds apart, hence the half millisecond.
    std::vector<int64_t> ahead;
    for (const SwitchCmd &cmd : sw.Cmds("pst")) ahead.push_back((at - cmd.at + kMs / 2) / kSecond);
    ASSERT_FALSE(ahead.empty());
    EXPECT_EQ(ahead[0], 29) << "first preset once within PSTRestTime";
    EXPECT_EQ(std::count_if(ahead.begin(), ahead.end(), [](int64_t s) { return s >= 23; }), 1);
    const auto repeated =
        std::count_if(ahead.begin(), ahead.end(), [](int64_t s) { return s >= 8 && s < 23; });
    // A pass a second over 15 s: 13 to 16.
    EXPECT_GE(repeated, 13);
    EXPECT_LE(repeated, 16);
    EXPECT_EQ(std::count_if(ahead.begin(), ahead.end(), [](int64_t s) { return s < 8; }), 0);
    ASSERT_TRUE(UntilTakes(sw, 1));
    EXPECT_EQ(sw.Cmds("pst").size(), ahead.size()) << "no haste preset for a preset task";
}

TEST_F(SwitchTaskTest, FailuresAreToldAsErrorsAndTheTaskStaysToBePresetAgain)
{
    CStubSwitch &sw = Switch("SW1");
    sw.refuse = true;
    const int64_t at = Now() + 20 * kSecond;
    tagVideoSwitchTask task = Task(at);
    tmu->AddTask(task);
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return !recorder.Told_().empty(); }, 50, 30000));
    EXPECT_EQ(recorder.Told_()[0].status, SWITCHTASK_ERROR);
    EXPECT_EQ(recorder.Told_()[0].param, SWITCHTASK_ERR_SWITCH);
    CVideoSwitchTaskArrayPtr tasks;
    ASSERT_EQ(tmu->GetTaskList(nullptr, tasks.Get()), 1);
    EXPECT_EQ(tasks->ElementAt(0)->Status, SWITCHTASK_BEGIN);
    EXPECT_EQ(tasks->ElementAt(0)->Error, SWITCHTASK_ERR_SWITCH);
    EXPECT_TRUE(Eventually([&] { return switchLog.Has("set switch(SW1) pst to 5(failed)"); }));

    // The haste preset fails too: the task ends without a take.
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return tmu->GetTaskCount() == 0; }, 50, 30000));
    devtest::AdvanceUntil([] { return false; }, 50, 3000);
    EXPECT_TRUE(sw.Cmds("take").empty());

    tagVideoSwitchTask ghost = Task(Now() + 2 * kSecond, 5, kSwitchTransCut, 0, "GHOST");
    const int32_t id = tmu->AddTask(ghost);
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return recorder.Told_().back().id == id; }));
    EXPECT_EQ(recorder.Told_().back().status, SWITCHTASK_ERROR);
    EXPECT_EQ(recorder.Told_().back().param, SWITCHTASK_ERR_DEVICE);
    EXPECT_TRUE(Eventually([&] { return switchLog.Has("Get Switch Device failed"); }));
}

class DirectTakeTest : public SwitchTaskTest {
protected:
    DirectTakeTest()
        : SwitchTaskTest(Settings(
              true,
              devtest::Section("Direct", {{"DirectTake", "yes"}, {"EnableFirstPreset", "TRUE"}})))
    {
    }
};

TEST_F(DirectTakeTest, SettingsChooseTheTakeAndTheFirstPreset)
{
    CStubSwitch &sw = Switch("SW1");
    EXPECT_EQ(CResAccess("/etc/tvx/Environment")["DirectTake"].GetAsString(), "FALSE")
        << "the value in use is written back";
    tagVideoSwitchTask second = Task(Now() + 3 * kSecond + 500 * kMs, 6);
    second.Take2 = 1;
    tmu->AddTask(second);
    ASSERT_TRUE(UntilTakes(sw, 1, "take2"));
    EXPECT_EQ(sw.Cmds("take2")[0].b, 1) << "switch type 1 first";

    tmu->LoadConfig("/etc/tvx/Direct");
    EXPECT_EQ(CResAccess("/etc/tvx/Direct")["DirectTake"].GetAsString(), "TRUE");
    const int64_t at = Now() + 200 * kSecond;
    tagVideoSwitchTask direct = Task(at, 9);
    tmu->AddTask(direct);
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return sw.Cmds("pst").size() == 2; }, 50, 10000))
        << "preset at once with EnableFirstPreset";
    tmu->RemoveAll();
    direct = Task(Now() + 2 * kSecond, 9);
    tmu->AddTask(direct);
    ASSERT_TRUE(UntilTakes(sw, 1, "direct"));
    EXPECT_EQ(sw.Cmds("direct")[0].b, 9);
}

TEST_F(SwitchTaskTest, StopEndsTheSleepBeforeATakeAndTheRegistryFollowsTheUnits)
{
    CStubSwitch &sw = Switch("SW1");
    EXPECT_EQ(GetVideoSwitchTaskTMU(""), tmu.Get());
    EXPECT_EQ(GetVideoSwitchTaskTMU("Main"), tmu.Get());
    tagVideoSwitchTask task = Task(Now() + 2500 * kMs);
    tmu->AddTask(task);
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return recorder.Statuses().size() >= 4; }, 10));
    devtest::RunAdvancing([&] { return tmu->Stop(); });
    EXPECT_EQ(tmu->IsRunning(), 0);
    devtest::AdvanceUntil([] { return false; }, 50, 3000);
    EXPECT_TRUE(sw.Cmds("take").empty());

    std::optional<CVideoSwitchTaskTMUPtr> second;
    second.emplace();
    EXPECT_EQ(GetVideoSwitchTaskTMU("Main"), second->Get());
    EXPECT_EQ(GetVideoSwitchTaskTMU(nullptr), second->Get()) << "replaced under its name";
    second.reset();
    EXPECT_EQ(GetVideoSwitchTaskTMU("Main"), nullptr);
}

// Tells the recorder, and asks the unit to stop from the callback that tells `stopAt`.
struct StopOnStatus {
    static int32_t OnStatus(void *self, int32_t id, int32_t status, int32_t param)
    {
        auto *stopper = static_cast<StopOnStatus *>(self);
        Recorder::OnStatus(&stopper->recorder, id, status, param);
        if (status == stopper->stopAt) stopper->tmu->Stop();
        return 0;
    }
    Recorder recorder;
    IVideoSwitchTaskTMU *tmu = nullptr;
    int32_t stopAt = 0;
};

TEST_F(SwitchTaskTest, AWorkerAskedToStopCallsNoSwitcherAndNoCallbackMore)
{
    CStubSwitch &sw = Switch("SW1");
    struct StopCase {
        int32_t stopAt;
        std::vector<std::string> ops; // the switcher's commands up to the stop
    };
    const StopCase cases[] = {
        {SWITCHTASK_PRESET, {"pst"}},
        {SWITCHTASK_SETMODE, {"pst", "type"}},
        {SWITCHTASK_SETRATE, {"pst", "type", "rate"}},
        {SWITCHTASK_BEGINSWITCH, {"pst", "type", "rate"}},
    };
    for (const StopCase &c : cases) {
        SCOPED_TRACE(c.stopAt);
        StopOnStatus stopper;
        stopper.tmu = tmu.Get();
        stopper.stopAt = c.stopAt;
        const size_t before = sw.Cmds().size();
        // Due soon: a haste preset, then the take.
        tagVideoSwitchTask task = Task(Now() + 2 * kSecond);
        task.pUserData = &stopper;
        task.pfnCallBack = &StopOnStatus::OnStatus;
        tmu->AddTask(task);
        ASSERT_TRUE(devtest::AdvanceUntil(
            [&] { return !stopper.recorder.Statuses().empty() && tmu->IsRunning() == 0; }, 10));
        devtest::AdvanceUntil([] { return false; }, 50, 4000);

        std::vector<std::string> ops;
        const auto cmds = sw.Cmds();
        for (size_t i = before; i < cmds.size(); ++i) ops.push_back(cmds[i].op);
        EXPECT_EQ(ops, c.ops);
        EXPECT_EQ(stopper.recorder.Statuses().back(), c.stopAt) << "nothing told after the stop";
        EXPECT_EQ(stopper.recorder.Statuses().size(), static_cast<size_t>(c.stopAt - 2));
        tmu->RemoveAll();
    }
}

} // namespace
