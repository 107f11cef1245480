// The task process unit: each thread's cycle run as one step against stub sources, the unit
// messages, and the threads' life: ending when idle and coming back, stopping while a source
// waits, and a thread that a stop had to give up.
#include "tests/tasks/BroTaskTestKit.h"

#include <future>
#include <thread>

using namespace brotest;

namespace {

using V = std::vector<int32_t>;

class TpuTest : public BroTaskTest {
protected:
    TpuTest() : m(*mgr->operator->()), tpu(static_cast<CVideoBroTaskTPU &>(*m.GetTPU())) {}

    // The source writes param 2 on each attempt, as a real one does.
    static int32_t StampCue(IVideoBroTaskMgr &mgr)
    {
        tagVideoBroTask pst;
        mgr.GetPstTask(pst);
        mgr.SetTaskParam(pst.TaskID, static_cast<int32_t>(plat::GetTickCount()), BROTASK_PARAM_2);
        return 1;
    }

    std::unique_ptr<CVideoBroTaskMgr1> mgr = std::make_unique<CVideoBroTaskMgr1>();
    IVideoBroTaskMgr1 &m;
    CVideoBroTaskTPU &tpu;
};

// A call on another thread, with a real-time bound on waiting for it.
template <class T> bool Ready(std::future<T> &result, int ms = 2000)
{
    return result.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
}

} // namespace

TEST_F(TpuTest, CueStepCuesThePresetAtMostEveryThreeSeconds)
{
    StepOnly(m);
    CStubBroSrc &src = Src("SRC1");
    src.onCue = StampCue;
    m.AddTask(calls.Task(1, "SRC1", 60 * kSecond, 250));
    tpu.CueStep();
    tpu.CueStep();
    EXPECT_EQ(src.cues, 1);
    plat::TestClock::Advance(2999);
    tpu.CueStep();
    EXPECT_EQ(src.cues, 1);
    plat::TestClock::Advance(1);
    tpu.CueStep();
    EXPECT_EQ(src.cues, 2);

    m.SetTaskStatus(1, BROTASK_ENDCUE);
    m.SetTaskParam(1, static_cast<int32_t>(plat::GetTickCount() - 1801000), BROTASK_PARAM_2);
    calls.Clear();
    tpu.CueStep();
    EXPECT_EQ(calls.Statuses(1), V{BROTASK_BEGIN}) << "cued 1801 s ago and never started";
    EXPECT_TRUE(HasLine(tpuLog, "pst task be reset,(id=CLIP1 dev=SRC1,interval=1801(s))"));
    EXPECT_EQ(src.cues, 3) << "and cued again";

    m.SetTaskStatus(1, BROTASK_PLAYING);
    plat::TestClock::Advance(3000);
    tpu.CueStep();
    EXPECT_EQ(src.cues, 3);
    EXPECT_TRUE(HasLine(tpuLog, "Find invalid preset task(id=CLIP1 dev=SRC1)"));
}

TEST_F(TpuTest, AMissingSourceIsFlaggedOnceAndTriedAgain)
{
    StepOnly(m);
    m.AddTask(calls.Task(1, "GHOST", 60 * kSecond, 250));
    tpu.CueStep();
    tpu.NewStep();
    tpu.CueStep();
    EXPECT_EQ(calls.Statuses(1), V{BROTASK_ERRNOTIFY});
    EXPECT_EQ(m.GetTaskFlag(1), 1);
    EXPECT_EQ(CountLines(tpuLog, "video src dev open failed,(id=CLIP1 dev=GHOST)"), 2);
    EXPECT_EQ(CountLines(tpuLog, "video src open failed,(id=CLIP1 dev=GHOST)"), 1);
}

TEST_F(TpuTest, StartStepHandsOverTriggeredAndDuePresetsOnly)
{
    StepOnly(m);
    CStubBroSrc &src = Src("SRC1");
    const struct {
        int64_t tenths; // of a second ahead
        int32_t startType;
        int plays; // start calls so far
    } cases[] = {{18015, BROTASK_START_TIME, 0},
                 {18005, BROTASK_START_TIME, 1},
                 {1000000, BROTASK_START_TRIGGER, 2},
                 {-50, BROTASK_START_TIME, 3}};
    for (const auto &c : cases) {
        m.RemoveAllTask();
        m.AddTask(calls.Task(1, "SRC1", c.tenths * kSecond / 10, 250, c.startType));
        tpu.NewStep();
        EXPECT_EQ(src.plays, c.plays) << c.tenths / 10.0 << " s ahead";
    }
}

// The start step only queues the pause; the stop step makes it, so that a source that does
// not answer holds up no start.
TEST_F(TpuTest, ThePreviousProgramIsPausedOnlyOnceThePresetIsOnAir)
{
    StepOnly(m);
    CStubBroSrc &one = Src("SRC1");
    CStubBroSrc &two = Src("SRC2");
    m.AddTask(calls.Task(1, "SRC1", 10 * kSecond, 250));
    m.AddTask(calls.Task(2, "SRC2", 20 * kSecond, 250));
    m.AddTask(calls.Task(3, "src2", 30 * kSecond, 250));
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);

    tpu.NewStep(); // the source returns without playing (start too far, held, not cued)
    tpu.StopStep();
    EXPECT_EQ(two.plays, 1);
    EXPECT_EQ(one.devPauses, 0);
    EXPECT_FALSE(HasLine(tpuLog, "still the last aired pgm"));

    two.onPlay = PlayPreset;
    tpu.NewStep();
    EXPECT_EQ(one.devPauses, 0) << "not on the start thread";
    tpu.StopStep();
    EXPECT_EQ(one.devPauses, 1);
    EXPECT_TRUE(HasLine(tpuLog, "still the last aired pgm,(id=CLIP1 dev=SRC1)"));
    tpu.NewStep();
    tpu.StopStep();
    EXPECT_EQ(two.devPauses, 0) << "the same device, without regard to case";
}

// A pause still queued when the previous program's source is cued for its next task, or when
// the unit stops, is dropped: it would still the newly cued clip, or come late.
TEST_F(TpuTest, APauseQueuedIsDroppedByACueOfItsSourceAndByAStop)
{
    CStubBroSrc &one = Src("SRC1");
    Src("SRC2").onPlay = PlayPreset;
    for (const bool byCue : {true, false}) {
        SCOPED_TRACE(byCue ? "a cue" : "a stop");
        CVideoBroTaskMgr1 local;
        IVideoBroTaskMgr1 &lm = *local.operator->();
        CVideoBroTaskTPU &unit = StepOnly(lm);
        lm.AddTask(calls.Task(1, "SRC1", 0, 250));
        lm.AddTask(calls.Task(2, "SRC2", 0, 250));
        lm.AddTask(calls.Task(3, "SRC1", 20 * kSecond, 250));
        lm.SetTaskStatus(1, BROTASK_BEGINPLAY);
        lm.SetTaskStatus(2, BROTASK_ENDCUE);
        const int cues = one.cues;
        unit.NewStep(); // 2 replaces 1 on air; 3, on SRC1, is the preset
        if (byCue) {
            unit.CueStep();
            EXPECT_EQ(one.cues, cues + 1);
        } else {
            unit.Stop();
        }
        unit.StopStep();
        EXPECT_EQ(one.devPauses, 0);
    }
}

TEST_F(TpuTest, TraceStepEndsTheProgramInTheFirstCycleAfterEndPlusOneSecond)
{
    StepOnly(m);
    CStubBroSrc &src = Src("SRC1");
    m.AddTask(calls.Task(1, "SRC1", 0, 250));
    m.AddTask(calls.Task(2, "SRC2", 10 * kSecond, 250));
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    plat::TestClock::Advance(10000);
    tpu.TraceStep();
    plat::TestClock::Advance(999);
    tpu.TraceStep();
    EXPECT_EQ(calls.Count(1, BROTASK_ENDPLAY), 0);
    plat::TestClock::Advance(2);
    tpu.TraceStep();
    EXPECT_EQ(calls.Count(1, BROTASK_ENDPLAY), 1);
    EXPECT_TRUE(HasLine(tpuLog, "task stopped by tracethrd,(id=CLIP1 dev=SRC1 time="));
    EXPECT_EQ(src.traces, 3);
    tpu.TraceStep();
    EXPECT_EQ(Src("SRC2").traces, 1) << "with nothing on air, the preset's source";

    // A program whose source does not answer still ends on time, traced by the preset's.
    m.AddTask(calls.Task(3, "SRC1", 20 * kSecond, 250));
    m.SetTaskStatus(2, BROTASK_BEGINPLAY);
    Edit(m, 2, [](tagVideoBroTask &task) { task.Dev = "GHOST"; });
    plat::TestClock::Advance(30000);
    tpu.TraceStep();
    EXPECT_EQ(calls.Count(2, BROTASK_ENDPLAY), 1);
    EXPECT_EQ(src.traces, 4);
}

TEST_F(TpuTest, StopStepStopsEndedTasksAndNeverLosesOneWithoutASource)
{
    CVideoBroTaskMgr3 handle;
    IVideoBroTaskMgr &m3 = *handle.operator->();
    auto &tpu3 = StepOnly(m3);
    m3.AddTask(calls.Task(1, "SRC1", 0, 250));
    m3.AddTask(calls.Task(2, "GHOST", 0, 250));
    tagVideoBroTask task;
    for (int32_t id : {1, 2}) {
        m3.GetTask(id, task);
        m3.AddEndedTask(task);
    }
    tpu3.StopStep();
    EXPECT_EQ(calls.Statuses(1), (V{BROTASK_EJECTBEGIN, BROTASK_EJECTEND}));
    EXPECT_EQ(Src("SRC1").stops, 1);
    for (int i = 0; i < 3; ++i) tpu3.StopStep();
    EXPECT_EQ(calls.Statuses(2), V{BROTASK_ERRNOTIFY});
    EXPECT_EQ(CountLines(tpuLog, "(StopThrd."), 3);
    EXPECT_EQ(m3.PopEndedTask(nullptr), 2) << "still waiting to be stopped";
}

TEST_F(TpuTest, UnitMessagesQueueOnlyForABusyUnitAndAreNeverLost)
{
    StepOnly(m);
    int32_t cmd = 0, param = 0;
    EXPECT_EQ(tpu.SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_CANCEL, TPU_FROM_TAKE), 0);
    EXPECT_TRUE(HasLine(tpuLog, "send a unit msg(failed),(unit=2,cmd=1,param=3)"));
    EXPECT_EQ(tpu.SetUnitState(5, 1), 0);
    EXPECT_EQ(tpu.GetUnitState(5), 0);

    tpu.SetUnitState(TPU_UNIT_NEW, TPU_UNIT_BUSY);
    tpu.SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_CANCEL, TPU_FROM_TAKE);
    tpu.SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_PLAY_NOW, TPU_FROM_RESET);
    EXPECT_EQ(tpu.GetUnitMsg(TPU_UNIT_NEW, &cmd, &param, 0), 1);
    EXPECT_EQ(std::make_pair(cmd, param), std::make_pair(1, 3)) << "oldest first";
    EXPECT_TRUE(HasLine(tpuLog, "get a unit msg(unit=2,cmd=1 param=3)"));
    tpu.SetUnitState(TPU_UNIT_NEW, TPU_UNIT_BUSY);
    EXPECT_EQ(tpu.GetUnitMsg(TPU_UNIT_NEW, &cmd, &param, 0), 0) << "a new call drops the rest";

    // A message sent while the receiver is between looking and waiting still reaches it.
    for (int i = 0; i < 300; ++i) {
        auto got = std::async(std::launch::async, [&] {
            int32_t c = 0, p = 0;
            return tpu.GetUnitMsg(TPU_UNIT_NEW, &c, &p, 600000) ? c : 0;
        });
        tpu.SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_PLAY_NOW, TPU_FROM_TAKE);
        if (!Ready(got)) {
            plat::TestClock::Advance(600000);
            FAIL() << "message lost in round " << i;
        }
        ASSERT_EQ(got.get(), TPU_CMD_PLAY_NOW);
    }
}

TEST_F(TpuTest, CueAndStartThreadsEndWhenIdleAndEveryAddTaskBringsThemBack)
{
    tpu.Start();
    ASSERT_TRUE(Eventually([&] {
        return HasLine(tpuLog, "Cue Thread shutdown") && HasLine(tpuLog, "New Thread shutdown");
    }));
    EXPECT_EQ(tpu.IsWorking(), 0);
    EXPECT_FALSE(HasLine(tpuLog, "Trace Thread ShutDown"));

    // Far enough ahead that its slot does not pass while the rounds advance the clock.
    const tagVideoBroTask task = calls.Task(1, "GHOST", 600 * kSecond, 250);
    m.AddTask(task);
    EXPECT_EQ(tpu.IsWorking(), 1);
    // The threads find the list empty just as a task comes: they go on or start again.
    for (int i = 0; i < 100; ++i) {
        m.RemoveAllTask();
        std::thread clock([] { plat::TestClock::Advance(1000); });
        m.AddTask(task);
        clock.join();
        ASSERT_EQ(tpu.IsWorking(), 1) << "round " << i;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(tpu.IsWorking(), 1) << "round " << i;
    }
}

TEST_F(TpuTest, DestructionEndsAStartCallWaitingForTheOperator)
{
    CStubBroSrc &src = Src("SRC1");
    std::promise<std::pair<int32_t, int32_t>> answer;
    src.onPlay = [&](IVideoBroTaskMgr &mgr) {
        int32_t cmd = 0, param = 0;
        mgr.GetTPU()->GetUnitMsg(TPU_UNIT_NEW, &cmd, &param, 18000000);
        answer.set_value({cmd, param});
        return 1;
    };
    m.AddTask(calls.Task(1, "SRC1", 0, 250, BROTASK_START_TRIGGER));
    ASSERT_TRUE(Eventually([&] { return tpu.GetUnitState(TPU_UNIT_NEW) == TPU_UNIT_BUSY; }));
    const auto begin = std::chrono::steady_clock::now();
    mgr.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(1000));
    auto got = answer.get_future();
    ASSERT_TRUE(Ready(got, 0));
    EXPECT_EQ(got.get(), std::make_pair(int32_t{TPU_CMD_CANCEL}, int32_t{TPU_FROM_STOP}))
        << "the stop's hold";
}

TEST_F(TpuTest, AThreadGivenUpKeepsTheManagerItWorksForAndItsHostHearsNothingMore)
{
    CStubBroSrc &src = Src("SRC1");
    std::promise<void> entered, gate;
    std::shared_future<void> opened = gate.get_future().share();
    std::atomic<bool> left{false}, stopAsked{false};
    src.onCue = [&, opened](IVideoBroTaskMgr &mgr) {
        entered.set_value();
        opened.wait();
        mgr.SetTaskStatus(1, BROTASK_ENDCUE); // the manager's handle has gone by now
        stopAsked = mgr.GetTPU()->StopAsked();
        left = true;
        return 1;
    };
    m.AddTask(calls.Task(1, "SRC1", 60 * kSecond, 250));
    entered.get_future().wait();
    devtest::RunAdvancing([&] {
        mgr.reset(); // gives the cue thread up after its bound
        return 0;
    });
    gate.set_value();
    ASSERT_TRUE(Eventually([&] { return left.load(); }));
    EXPECT_TRUE(stopAsked) << "the source is told to give up";
    EXPECT_EQ(calls.Count(1, BROTASK_ENDCUE), 0) << "a released manager calls its host no more";
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // it leaves its loop
}
