// The whole road of a play-out schedule, with the process unit's threads driving line sources
// that the device manager creates from the settings: tasks on two sources and, between them,
// one on a device nobody knows, in both manager variants, on the manual clock stepped from the test
// (so the times checked do not depend on the machine's load); the operator's take and hold of
// triggered tasks and a manager destroyed while its start thread waits in a source, in real
// time.
#include "tests/tasks/BroTaskTestKit.h"

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

using namespace brotest;

namespace {

using V = std::vector<int32_t>;

constexpr int32_t kSlot = 60; // frames: each task's share of the schedule, 2.4 s
constexpr int64_t kSlotUnits = kSlot * tagVideoBroTask::kUnitsPerFrame;
constexpr uint32_t kStepMs = 10; // each step of the manual clock

class PlayoutRoadTest : public BroTaskTest {
protected:
    // A and B one slot apart on LINE1 and LINE2, then a task on GHOST, then C on LINE1 (half a
    // slot long), as the example program's schedule; A starts 2 s from now.
    TaskList Schedule()
    {
        const int64_t first = 2 * kSecond;
        return TaskList{calls.Task(1, "LINE1", first, kSlot),
                        calls.Task(2, "LINE2", first + kSlotUnits, kSlot),
                        calls.Task(4, "GHOST", first + 2 * kSlotUnits, kSlot),
                        calls.Task(3, "LINE1", first + 3 * kSlotUnits, kSlot / 2)};
    }

    // Index of the first call (id, status) in the order the calls were made; -1 when none.
    int IndexOf(int32_t id, int32_t status)
    {
        const auto all = calls.Calls();
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i].id == id && all[i].status == status) return static_cast<int>(i);
        return -1;
    }

    // What both variants must show once the schedule has run; the variants differ in the
    // order of a hand-over's two calls and in what the stop thread tells.
    void CheckRoad(const TaskList &planned, bool handOverNewFirst, const V &tail, const V &ghost)
    {
        V expected{3, 4, 6, 7, 9, 10, 11, 13};
        expected.insert(expected.end(), tail.begin(), tail.end());
        const tagVideoBroTask *byId[] = {nullptr, &planned[0], &planned[1], &planned[3]};
        for (int32_t id : {1, 2, 3}) {
            EXPECT_EQ(calls.Statuses(id), expected) << "task " << id;
            const int64_t late = calls.First(id, BROTASK_BEGINPLAY).at - byId[id]->Start;
            EXPECT_GE(late, -5 * kMs) << "task " << id << " went on air early";
            EXPECT_LT(late, 3 * kStepMs * kMs) << "task " << id << " went on air late";
        }
        // A hands over to B: A ends as B goes on air, not a second later by the trace.
        const int64_t gap =
            calls.First(1, BROTASK_ENDPLAY).at - calls.First(2, BROTASK_BEGINPLAY).at;
        EXPECT_LT(std::llabs(gap), 100 * kMs);
        EXPECT_EQ(IndexOf(2, 11) < IndexOf(1, 13), handOverNewFirst);
        // Nothing replaces B when its slot ends, nor C after it: the trace ends each 1 s after
        // its end.
        for (const tagVideoBroTask *task : {&planned[1], &planned[3]}) {
            const int64_t traced = calls.First(task->TaskID, BROTASK_ENDPLAY).at;
            EXPECT_GT(traced, task->GetEndTime() + kSecond) << "task " << task->TaskID;
            EXPECT_LT(traced, task->GetEndTime() + kSecond + 800 * kMs) << "task " << task->TaskID;
        }
        // The task on GHOST is reported once, never goes on air and is passed over when C must
        // be prepared: C's start less the line source's PrepareTime (1 s).
        EXPECT_EQ(calls.Statuses(4), ghost);
        EXPECT_EQ(calls.First(4, BROTASK_ERRNOTIFY).extra, BROTASK_FLAG_DEVICE);
        const int64_t passed = calls.First(4, BROTASK_ENDPLAY).at;
        // (In variant 3 that start follows B's, which the framework clock read a little early.)
        EXPECT_GE(passed, planned[3].Start - kSecond - kMs);
        EXPECT_LE(passed, planned[3].Start - kSecond + 2 * kStepMs * kMs);
        EXPECT_LT(passed, calls.First(3, BROTASK_DEVCHECKING).at + kMs) << "C is cued after it";
    }

    // Steps the manual clock until `done` holds, then 600 ms more for any call that should
    // not come.
    bool RunUntil(const std::function<bool()> &done)
    {
        const bool held = devtest::AdvanceUntil(done, kStepMs, 15000);
        devtest::AdvanceUntil([] { return false; }, kStepMs, 600);
        return held;
    }
};

class OperatorRoadTest : public RealTime, public BroTaskTest {};

// Two tasks in a row on devices nobody knows, the second shorter than the line source's
// PrepareTime, between A and C on the line sources: both are passed over by the moment C must
// be prepared, so that C plays at its time.
struct RunCase {
    const char *name;
    int variant;
    int32_t secondFrames; // the second unknown task's length
};

class UnplayableRunTest : public PlayoutRoadTest, public ::testing::WithParamInterface<RunCase> {};

void PrintTo(const RunCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string RunName(const ::testing::TestParamInfo<RunCase> &info)
{
    return info.param.name;
}

} // namespace

TEST_F(PlayoutRoadTest, Variant1PlaysTheScheduleOnTime)
{
    CVideoBroTaskMgr1 mgr;
    const TaskList planned = Schedule();
    ASSERT_EQ(mgr->Submit(planned, 0), 1);
    ASSERT_TRUE(RunUntil([&] { return calls.Count(3, BROTASK_ENDPLAY) > 0; }));
    CheckRoad(planned, true, {}, {BROTASK_ERRNOTIFY, BROTASK_ENDPLAY});
}

TEST_F(PlayoutRoadTest, Variant3PlaysTheScheduleOnTimeAndStopsWhatHasPlayed)
{
    CVideoBroTaskMgr3 mgr;
    const TaskList planned = Schedule();
    ASSERT_EQ(mgr->Submit(planned, 1), 1) << "a timed first task, not one left to the operator";
    // This variant moves each start to the end of the task before, which here is where each
    // one starts anyway; the task on GHOST ends as played tasks end here.
    ASSERT_TRUE(RunUntil([&] { return calls.Count(3, BROTASK_EJECTEND) > 0; }));
    CheckRoad(planned, false, {14, 16},
              {BROTASK_ERRNOTIFY, BROTASK_ENDPLAY, BROTASK_EJECTBEGIN, BROTASK_EJECTEND});
}

TEST_F(OperatorRoadTest, TheOperatorTakesAndHoldsTriggeredTasks)
{
    CVideoBroTaskMgr3 mgr;
    IVideoBroTaskMgr3 &m = *mgr.operator->();
    IVideoBroTaskTPU &tpu = *m.GetTPU();
    auto cuedAndWaiting = [&](int32_t id) {
        return Eventually(
            [&] { return calls.Count(id, BROTASK_ENDCUE) && tpu.GetUnitState(TPU_UNIT_NEW) != 0; });
    };
    ASSERT_EQ(m.Submit(TaskList{calls.Task(1, "LINE1", 0, 250, BROTASK_START_TRIGGER),
                                calls.Task(2, "LINE2", 0, 250, BROTASK_START_TRIGGER)},
                       0),
              1);
    ASSERT_TRUE(cuedAndWaiting(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(calls.Count(1, BROTASK_BEGINPLAY), 0) << "waits for the operator";
    const int64_t taken = Now();
    EXPECT_EQ(m.Take(0), 1);
    ASSERT_TRUE(Eventually([&] { return calls.Count(1, BROTASK_BEGINPLAY) == 1; }));
    EXPECT_LT(calls.First(1, BROTASK_BEGINPLAY).at - taken, 200 * kMs) << "on air at the take";
    EXPECT_EQ(m.Take(1), 0) << "refused while a task is on air";

    ASSERT_TRUE(cuedAndWaiting(2));
    EXPECT_EQ(m.Hold(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(calls.Count(2, BROTASK_BEGINPLAY), 0) << "held";
    tagVideoBroTask pst;
    EXPECT_EQ(m.GetPstTask(pst), 0);
}

TEST_F(OperatorRoadTest, DestructionEndsStartCallsThatWaitPromptly)
{
    auto mgr1 = std::make_unique<CVideoBroTaskMgr1>();
    auto mgr3 = std::make_unique<CVideoBroTaskMgr3>();
    (*mgr1)->AddTask(calls.Task(1, "LINE1", 0, 250, BROTASK_START_TRIGGER));
    (*mgr3)->AddTask(calls.Task(2, "LINE2", 10 * kSecond, 250));
    (*mgr3)->Goto(0);
    for (IVideoBroTaskMgr *m : {static_cast<IVideoBroTaskMgr *>(mgr1->operator->()),
                                static_cast<IVideoBroTaskMgr *>(mgr3->operator->())})
        ASSERT_TRUE(
            Eventually([m] { return m->GetTPU()->GetUnitState(TPU_UNIT_NEW) == TPU_UNIT_BUSY; }));
    const auto begin = std::chrono::steady_clock::now();
    mgr1.reset();
    mgr3.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(300));
    EXPECT_EQ(calls.Count(1, BROTASK_BEGINPLAY) + calls.Count(2, BROTASK_BEGINPLAY), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, UnplayableRunTest,
                         ::testing::Values(RunCase{"ShortSecondVariant1", 1, 15},
                                           RunCase{"VeryShortSecondVariant1", 1, 5},
                                           RunCase{"ShortSecondVariant3", 3, 15},
                                           RunCase{"VeryShortSecondVariant3", 3, 5}),
                         RunName);

TEST_P(UnplayableRunTest, ARunOfUnplayableTasksIsPassedOverInTimeForTheNextOne)
{
    const RunCase &c = GetParam();
    const int64_t first = 2 * kSecond;
    const int64_t second = first + 2 * kSlotUnits;
    const int64_t next = second + c.secondFrames * tagVideoBroTask::kUnitsPerFrame;
    const TaskList planned{
        calls.Task(1, "LINE1", first, kSlot), calls.Task(2, "GHOST", first + kSlotUnits, kSlot),
        calls.Task(3, "GHOST2", second, c.secondFrames), calls.Task(4, "LINE2", next, kSlot)};
    std::unique_ptr<CVideoBroTaskMgr1> one;
    std::unique_ptr<CVideoBroTaskMgr3> three;
    if (c.variant == 1) {
        one = std::make_unique<CVideoBroTaskMgr1>();
        ASSERT_EQ((*one)->Submit(planned, 0), 1);
    } else {
        // Each task follows the one before, which here is where each one starts anyway.
        three = std::make_unique<CVideoBroTaskMgr3>();
        ASSERT_EQ((*three)->Submit(planned, 1), 1);
    }
    ASSERT_TRUE(RunUntil([&] { return calls.Count(4, BROTASK_BEGINPLAY) > 0; }));

    const int64_t late = calls.First(4, BROTASK_BEGINPLAY).at - planned[3].Start;
    EXPECT_GE(late, -5 * kMs);
    EXPECT_LT(late, 3 * kStepMs * kMs) << "the task after the run went on air late";
    EXPECT_EQ(calls.Count(4, BROTASK_ERRNOTIFY), 0);
    for (const int32_t id : {2, 3}) {
        EXPECT_EQ(calls.First(id, BROTASK_ERRNOTIFY).extra, BROTASK_FLAG_DEVICE) << "task " << id;
        EXPECT_EQ(calls.Count(id, BROTASK_BEGINPLAY), 0) << "task " << id;
        // By the moment the next task must be prepared: its start less 1 s.
        const int64_t passed = calls.First(id, BROTASK_ENDPLAY).at;
        EXPECT_GT(passed, 0) << "task " << id;
        EXPECT_LE(passed, planned[3].Start - kSecond + 2 * kStepMs * kMs) << "task " << id;
    }
    // The first of the run keeps its chance until then (or until the second one's start).
    EXPECT_GE(calls.First(2, BROTASK_ENDPLAY).at,
              std::min(planned[3].Start - kSecond, planned[2].Start) - kMs);
}
