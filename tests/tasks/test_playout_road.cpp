// The whole road of a play-out schedule, with the process unit's threads driving line sources
// that the device manager creates from the settings: tasks on two sources and one on a device
// nobody knows, in both manager variants, on the manual clock stepped from the test (so the
// times checked do not depend on the machine's load); the operator's take and hold of
// triggered tasks and a manager destroyed while its start thread waits in a source, in real
// time.
#include "tests/tasks/BroTaskTestKit.h"

#include <thread>

using namespace brotest;

namespace {

using V = std::vector<int32_t>;

constexpr int32_t kSlot = 60; // frames: each task's share of the schedule, 2.4 s
constexpr int64_t kSlotUnits = kSlot * tagVideoBroTask::kUnitsPerFrame;
constexpr int64_t kCycle = 1000 * kMs; // the start thread's cycle
constexpr uint32_t kStepMs = 10;       // each step of the manual clock

class PlayoutRoadTest : public BroTaskTest {
protected:
    // A, B and C one slot apart on LINE1, LINE2 and LINE1 (C half a slot long), then a task on
    // GHOST; A starts 2 s from now.
    TaskList Schedule()
    {
        const int64_t first = 2 * kSecond;
        return TaskList{calls.Task(1, "LINE1", first, kSlot),
                        calls.Task(2, "LINE2", first + kSlotUnits, kSlot),
                        calls.Task(3, "LINE1", first + 2 * kSlotUnits, kSlot / 2),
                        calls.Task(4, "GHOST", first + 3 * kSlotUnits, kSlot)};
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
        for (int32_t id : {1, 2, 3}) {
            EXPECT_EQ(calls.Statuses(id), expected) << "task " << id;
            const int64_t late = calls.First(id, BROTASK_BEGINPLAY).at - planned[id - 1].Start;
            EXPECT_GE(late, -5 * kMs) << "task " << id << " went on air early";
            EXPECT_LT(late, kCycle) << "task " << id << " went on air late";
        }
        for (int32_t id : {2, 3}) {
            // The task before ended in the same hand-over, not a second later by the trace.
            const int64_t gap =
                calls.First(id - 1, BROTASK_ENDPLAY).at - calls.First(id, BROTASK_BEGINPLAY).at;
            EXPECT_LT(std::llabs(gap), 100 * kMs) << "task " << id - 1;
            EXPECT_EQ(IndexOf(id, 11) < IndexOf(id - 1, 13), handOverNewFirst);
        }
        const int64_t lastEnd = planned[2].GetEndTime();
        const int64_t traced = calls.First(3, BROTASK_ENDPLAY).at;
        EXPECT_GT(traced, lastEnd + kSecond) << "the trace thread ends a task 1 s after its end";
        EXPECT_LT(traced, lastEnd + kSecond + 800 * kMs);
        EXPECT_EQ(calls.Statuses(4), ghost) << "reported once, never on air";
        EXPECT_EQ(calls.First(4, BROTASK_ERRNOTIFY).extra, BROTASK_FLAG_DEVICE);
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

} // namespace

TEST_F(PlayoutRoadTest, Variant1PlaysTheScheduleOnTime)
{
    CVideoBroTaskMgr1 mgr;
    const TaskList planned = Schedule();
    ASSERT_EQ(mgr->Submit(planned, 0), 1);
    ASSERT_TRUE(RunUntil(
        [&] { return calls.Count(3, BROTASK_ENDPLAY) && calls.Count(4, BROTASK_ERRNOTIFY); }));
    CheckRoad(planned, true, {}, {BROTASK_ERRNOTIFY});
}

TEST_F(PlayoutRoadTest, Variant3PlaysTheScheduleOnTimeAndStopsWhatHasPlayed)
{
    CVideoBroTaskMgr3 mgr;
    const TaskList planned = Schedule();
    ASSERT_EQ(mgr->Submit(planned, 1), 1) << "a timed first task, not one left to the operator";
    // This variant moves each start to the end of the task before: the task on GHOST is due
    // from 6.0 s to 8.4 s after the first start, and is then ended as a preset that never
    // aired.
    ASSERT_TRUE(RunUntil([&] {
        return calls.Count(3, BROTASK_EJECTEND) && calls.Count(4, BROTASK_ERRNOTIFY) &&
               calls.Count(4, BROTASK_ENDPLAY);
    }));
    CheckRoad(planned, false, {14, 16}, {BROTASK_ERRNOTIFY, BROTASK_ENDPLAY});
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
