// The line sources: what they answer, and the play-out sources' task side on the line source,
// on the manual clock: the cue steps and their statuses, the cue held back until the program
// has started, the timed start's wait on unit 2 and the start at its time, takes and holds,
// and the triggered start's five-hour wait.
#include "tests/tasks/BroTaskTestKit.h"

#include <future>
#include <thread>

using namespace brotest;

namespace {

using V = std::vector<int32_t>;

class LineSourceTest : public BroTaskTest {
protected:
    LineSourceTest() : m(*mgr.operator->()), tpu(StepOnly(m)) {}

    IVideoBroTaskProcess &Proc(const char *id) { return ProcOf(m_devMgr, id); }
    // The start step on a thread of its own; returns once its source waits on unit 2 (one
    // timed waiter more than before).
    std::future<void> StartStepWaiting()
    {
        const int idle = plat::TestClock::TimedWaiters();
        auto step = std::async(std::launch::async, [this] { tpu.NewStep(); });
        EXPECT_TRUE(Eventually([&] { return tpu.GetUnitState(TPU_UNIT_NEW) == TPU_UNIT_BUSY; }));
        EXPECT_TRUE(plat::TestClock::WaitForTimedWaiters(idle + 1)) << "the step waits";
        return step;
    }
    static bool Done(std::future<void> &step, int ms = 20)
    {
        return step.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
    }

    CVideoBroTaskMgr1 mgr;
    IVideoBroTaskMgr1 &m;
    CVideoBroTaskTPU &tpu;
};

} // namespace

TEST_F(LineSourceTest, LineSourcesAcceptEveryClipOfALineTypeAndOnlyOneAnswersTasks)
{
    auto *line = dynamic_cast<CVideoSrcA *>(m_devMgr.GetVideoDev("LINE1", 1, nullptr));
    auto *playList = dynamic_cast<CVideoSrcA *>(m_devMgr.GetVideoDev("LINEP", 1, nullptr));
    ASSERT_TRUE(line && playList);
    for (CVideoSrcA *source : {line, playList}) {
        EXPECT_EQ(source->DevCheckCompatible("LVSRC_LINE_HD", "ANY"), 1);
        EXPECT_EQ(source->DevCheckCompatible("LVSRC_VTR", "ANY"), 0);
    }
    void *answer = nullptr;
    playList->QueryInterface(&IID_IVideoBroTaskProcess, &answer);
    EXPECT_EQ(answer, nullptr) << "the play-list source runs its own list";
    line->QueryInterface(&IID_IUnknown, &answer);
    EXPECT_EQ(answer, nullptr) << "other ids go to the component";
}

TEST_F(LineSourceTest, CueStepsBringThePresetThroughItsChecksToCued)
{
    m.AddTask(calls.Task(1, "LINE1", 60 * kSecond, 250));
    IVideoBroTaskProcess &line = Proc("LINE1");
    EXPECT_EQ(devtest::RunAdvancing([&] { return line.DevTaskCue(&m, 0); }), 1);
    EXPECT_EQ(calls.Statuses(1), (V{3, 4, 6, 7, 9, 10}));
    EXPECT_NE(m.GetTaskParam(1, BROTASK_PARAM_2), 0) << "the tick of the attempt";
    EXPECT_TRUE(HasLine(tpuLog, "CLIP1, (SOM0), (DUR250), time:00:00:"));
    EXPECT_TRUE(HasLine(tpuLog, "PlayCue st:9, ret:OK"));

    EXPECT_EQ(Proc("LINE2").DevTaskCue(&m, 0), 0);
    EXPECT_TRUE(HasLine(tpuLog, "dev id incorrect"));
    EXPECT_EQ(Proc("LINE2").DevTaskPlay(&m, 0), 0);
}

TEST_F(LineSourceTest, TheCueWaitsUntilTheProgramHasStarted)
{
    m.AddTask(calls.Task(1, "LINE1", 30 * kSecond, 250));
    m.AddTask(calls.Task(2, "LINE2", 40 * kSecond, 250));
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    IVideoBroTaskProcess &line = Proc("LINE2");
    devtest::RunAdvancing([&] { return line.DevTaskCue(&m, 0); });
    EXPECT_EQ(calls.Statuses(2), (V{3, 4, 6, 7})) << "checked, not cued";
    plat::TestClock::Advance(31000);
    line.DevTaskCue(&m, 0);
    EXPECT_EQ(calls.Statuses(2), (V{3, 4, 6, 7, 9, 10}));
}

TEST_F(LineSourceTest, ATimedStartWaitsOnUnitTwoAndPlaysAtItsTimeOrAtTheTake)
{
    const tagVideoBroTask task = calls.Task(1, "LINE1", 20 * kSecond, 250);
    m.AddTask(task);
    EXPECT_EQ(Proc("LINE1").DevTaskPlay(&m, 0), 1);
    m.SetTaskStatus(1, BROTASK_ENDCUE);
    EXPECT_EQ(Proc("LINE1").DevTaskPlay(&m, 0), 1);
    EXPECT_EQ(calls.Count(1, BROTASK_BEGINPLAY), 0) << "20 s ahead: left to a later call";

    devtest::StepClock(10000);
    auto step = StartStepWaiting();
    devtest::StepClock(9700, [&] { return Done(step, 0); });
    EXPECT_FALSE(Done(step)) << "still waiting on unit 2";
    EXPECT_TRUE(devtest::AdvanceUntil([&] { return Done(step, 0); }, 10));
    const Call onAir = calls.First(1, BROTASK_BEGINPLAY);
    EXPECT_GE(onAir.at, task.Start - 10 * kMs) << "the clock's fine sleep ends at most 10 ms early";
    EXPECT_LT(onAir.at, task.Start + 30 * kMs);
    EXPECT_TRUE(HasLine(tpuLog, "Play (time=00:00:20:"));

    for (const int32_t cmd : {TPU_CMD_PLAY_NOW, TPU_CMD_CANCEL}) {
        const int32_t id = cmd + 1;
        m.AddTask(calls.Task(id, "LINE1", 10 * kSecond, 250));
        m.SetTaskStatus(id, BROTASK_ENDCUE);
        step = StartStepWaiting();
        tpu.SendUnitMsg(TPU_UNIT_NEW, cmd, TPU_FROM_TAKE);
        ASSERT_TRUE(Done(step, 2000));
        EXPECT_EQ(calls.Count(id, BROTASK_BEGINPLAY), cmd == TPU_CMD_PLAY_NOW ? 1 : 0);
    }
    EXPECT_TRUE(HasLine(tpuLog, "Play (time=Now)"));
}

TEST_F(LineSourceTest, ATriggeredStartWaitsFiveHoursForTheTake)
{
    m.AddTask(calls.Task(1, "LINE1", 0, 250, BROTASK_START_TRIGGER));
    m.SetTaskStatus(1, BROTASK_ENDCUE);
    auto step = StartStepWaiting();
    plat::TestClock::Advance(17999999);
    EXPECT_FALSE(Done(step));
    plat::TestClock::Advance(1);
    ASSERT_TRUE(Done(step, 2000));
    EXPECT_EQ(calls.Count(1, BROTASK_BEGINPLAY), 0) << "no take: nothing played";

    step = StartStepWaiting();
    tpu.SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_PLAY_NOW, TPU_FROM_TAKE);
    ASSERT_TRUE(Done(step, 2000));
    EXPECT_EQ(calls.Count(1, BROTASK_BEGINPLAY), 1);
    EXPECT_TRUE(HasLine(tpuLog, "PlayTrigger (time="));

    m.AddTask(calls.Task(2, "LINE1", 0, 250, BROTASK_START_TRIGGER));
    step = StartStepWaiting();
    tpu.SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_PLAY_NOW, TPU_FROM_TAKE);
    ASSERT_TRUE(Done(step, 2000));
    EXPECT_EQ(calls.Count(2, BROTASK_BEGINPLAY), 0) << "not cued: not played";
}

TEST_F(LineSourceTest, AStartWaitingForAPresetThatMovesToAnotherSourcePlaysNothing)
{
    m.AddTask(calls.Task(1, "LINE1", 10 * kSecond, 250));
    m.AddTask(calls.Task(2, "LINE2", 12 * kSecond, 250));
    for (int32_t id : {1, 2}) m.SetTaskStatus(id, BROTASK_ENDCUE);
    auto step = StartStepWaiting();
    m.RemoveTask(1); // no word to unit 2: the wait runs out with task 2 as the preset
    EXPECT_TRUE(devtest::AdvanceUntil([&] { return Done(step, 0); }, 100));
    EXPECT_EQ(calls.Count(2, BROTASK_BEGINPLAY), 0) << "LINE1 does not start LINE2's task";
}
