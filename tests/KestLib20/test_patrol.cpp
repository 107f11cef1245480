// Tasks, task managers and the patrol thread: due times, run counts, the thread's end and
// restart, and cancelling against a running action.
#include "BoundedStop.h"
#include "KestLib20/CPatrolTask.h"
#include "KestLib20/CTask.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Records the tick of every run of the tasks it is bound to.
struct RunLog {
    int Run(CTask *)
    {
        if (onRun) onRun();
        {
            std::lock_guard<std::mutex> lk(m);
            ticks.push_back(plat::GetTickCount());
        }
        ran.Set();
        return 0;
    }
    size_t Count()
    {
        std::lock_guard<std::mutex> lk(m);
        return ticks.size();
    }
    uint32_t Tick(size_t i)
    {
        std::lock_guard<std::mutex> lk(m);
        return ticks.at(i);
    }
    std::mutex m;
    std::vector<uint32_t> ticks;
    plat::Event ran;
    std::function<void()> onRun;
};

// Moves the manual clock on in steps, each once the patrol thread waits, until `done` holds
// or `limitMs` have passed. Returns whether `done` held.
bool AdvanceUntil(const std::function<bool()> &done, uint32_t limitMs, uint32_t stepMs = 100)
{
    for (uint32_t moved = 0; moved < limitMs; moved += stepMs) {
        if (done()) return true;
        plat::TestClock::WaitForTimedWaiters(1, 2000);
        plat::TestClock::Advance(stepMs);
        std::this_thread::sleep_for(2ms);
    }
    for (int i = 0; i < 100 && !done(); ++i) std::this_thread::sleep_for(5ms);
    return done();
}

void AdvanceBy(uint32_t ms)
{
    AdvanceUntil([] { return false; }, ms);
}

// Real-time wait for a thread's end (a join would wait on the manual clock).
bool EndsSoon(const plat::Thread &thread)
{
    for (int i = 0; i < 1000 && thread.IsRunning(); ++i) std::this_thread::sleep_for(5ms);
    return !thread.IsRunning();
}

class CountingTask : public CPatrolTask {
public:
    using CPatrolTask::CPatrolTask;
    ~CountingTask() override { Retire(); }
    int Abort() override { return ++aborts; }
    int OnAction() override { return ++actions; }
    int OnStatusUpdate(int a, int b) override { return a * 100 + b; }
    int aborts = 0;
    int actions = 0;
};

struct StatusSink {
    int Update(CTask *, int a, int b) { return a + b; }
};

} // namespace

TEST(Tasks, RegistrationRulesAndHandlers)
{
    CTaskMgr a, b;
    CTaskMgr *slotA = &a, *slotB = &b, *empty = nullptr;
    EXPECT_EQ(CountingTask().Submit(&empty), 0); // a slot without manager
    CountingTask task;
    EXPECT_EQ(task.Submit(&slotA), 1);
    EXPECT_EQ(task.Submit(&slotA), 1);
    EXPECT_EQ(a.GetTaskCount(), 1); // registered once
    EXPECT_EQ(task.Submit(&slotB), 1);
    EXPECT_EQ(b.GetTaskCount(), 0); // the task keeps the first slot it was given
    EXPECT_EQ(task.Cancel(), 1);
    EXPECT_EQ(a.GetTaskCount(), 0);

    // Only waiting tasks are registered or run.
    EXPECT_EQ(task.DoAction(), 1);
    EXPECT_EQ(task.actions, 1);
    EXPECT_EQ(task.Submit(&slotA), 0);
    EXPECT_EQ(task.DoAction(), 0);

    // The end of a manager aborts its tasks and detaches them.
    CountingTask held;
    {
        CTaskMgr mgr;
        CTaskMgr *slot = &mgr;
        ASSERT_EQ(held.Submit(&slot), 1);
    }
    EXPECT_EQ(held.aborts, 1);
    EXPECT_EQ(held.GetMgrSlot(), nullptr);

    // Handlers bound to member functions replace the overrides.
    RunLog log;
    StatusSink sink;
    EXPECT_EQ(held.DoStatusUpdate(3, 4), 304);
    held.SetStatusHandler(tagStatusAction(&sink, &StatusSink::Update));
    EXPECT_EQ(held.DoStatusUpdate(3, 4), 7);
    held.SetAction(tagAction(&log, &RunLog::Run));
    EXPECT_EQ(held.DoAction(), 1);
    EXPECT_EQ(log.Count(), 1u);
    EXPECT_EQ(held.actions, 0);
}

TEST(PatrolTasks, DueTimeIsExactAndWrapSafe)
{
    // A manager whose idle period is too short to start: nothing runs but GetRecentTask.
    plat::ScopedTestClock clock(0xFFFFFF00u);
    CPatrolTaskMgr mgr;
    mgr.SetIdlePeriod(100);
    const uint32_t created = plat::GetTickCount();
    CPatrolTask task;                       // default interval: first due 1000 ms on
    CPatrolTask longTask(10 * 3600 * 1000); // ten hours: not due for hours
    CTaskMgr **slot = mgr.GetActivePtr();
    ASSERT_EQ(task.Submit(slot), 1);
    ASSERT_EQ(longTask.Submit(slot), 1);
    EXPECT_EQ(mgr.Start(), 0);
    EXPECT_FALSE(mgr.GetThread().Valid());

    plat::TestClock::Advance(999); // across the wrap of the tick count
    EXPECT_LT(plat::GetTickCount(), created);
    EXPECT_EQ(mgr.GetRecentTask(), nullptr);
    plat::TestClock::Advance(1);
    EXPECT_EQ(mgr.GetRecentTask(), &task);
    EXPECT_EQ(task.GetStatus(), CTask::kRunning);
    EXPECT_EQ(task.GetLastRunTick(), created + 1000);
    plat::TestClock::Advance(60 * 1000);
    EXPECT_EQ(mgr.GetRecentTask(), nullptr); // the running one is skipped, the long one not due
}

TEST(PatrolTasks, FirstRunAfterOneSecondThenEveryInterval)
{
    plat::ScopedTestClock clock(50000);
    CPatrolTaskMgr mgr;
    RunLog log;
    const uint32_t created = plat::GetTickCount();
    CPatrolTask task;
    task.SetAction(tagAction(&log, &RunLog::Run));
    ASSERT_EQ(task.Submit(mgr.GetActivePtr()), 1);

    AdvanceBy(900);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(log.Count(), 0u);
    ASSERT_TRUE(AdvanceUntil([&] { return log.Count() == 1; }, 2000));
    // Due at +1000; the thread looks at least every idle period (500 ms).
    EXPECT_GE(log.Tick(0) - created, 1000u);
    EXPECT_LE(log.Tick(0) - created, 1000u + 500 + 200);
    ASSERT_TRUE(AdvanceUntil([&] { return log.Count() == 2; }, 7000));
    EXPECT_GE(log.Tick(1) - log.Tick(0), 5000u);
    EXPECT_LE(log.Tick(1) - log.Tick(0), 5000u + 500 + 200);
}

TEST(PatrolTasks, LimitedRunsRunThenLeave)
{
    plat::ScopedTestClock clock;
    CPatrolTaskMgr mgr;
    RunLog log;
    CPatrolTask task(1000, 3);
    task.SetAction(tagAction(&log, &RunLog::Run));
    ASSERT_EQ(task.Submit(mgr.GetActivePtr()), 1);
    ASSERT_TRUE(AdvanceUntil([&] { return mgr.GetTaskCount() == 0; }, 10000));
    EXPECT_EQ(log.Count(), 3u);
    EXPECT_EQ(task.GetRemainingRuns(), 0u);
    // With its last task gone the thread ends; a new registration starts another.
    ASSERT_TRUE(EndsSoon(mgr.GetThread()));
    RunLog again;
    CPatrolTask next(4000); // due at once
    next.SetAction(tagAction(&again, &RunLog::Run));
    ASSERT_EQ(next.Submit(mgr.GetActivePtr()), 1);
    EXPECT_TRUE(mgr.GetThread().IsRunning());
    EXPECT_TRUE(AdvanceUntil([&] { return again.Count() == 1; }, 1000));
}

TEST(PatrolTasks, SubmitRefusedWhileRunningOrDone)
{
    CPatrolTaskMgr mgr;
    CTaskMgr **slot = mgr.GetActivePtr();
    CPatrolTask task(4000);
    std::atomic<int> fromInside{-1};
    RunLog log;
    log.onRun = [&] { fromInside = task.Submit(slot); };
    task.SetAction(tagAction(&log, &RunLog::Run));
    ASSERT_EQ(task.Submit(slot), 1);
    ASSERT_EQ(log.ran.Wait(5000), plat::WAIT_OBJECT_0);
    EXPECT_EQ(fromInside.load(), 0); // status 3 while its action runs

    CPatrolTask done(4000);
    done.DoAction();
    EXPECT_EQ(done.GetStatus(), CTask::kDone);
    EXPECT_EQ(done.Submit(slot), 0);
}

TEST(PatrolTasks, RegistrationRacingTheThreadsExitIsNotStranded)
{
    // Each first task runs once and leaves, and the second registers just as the thread
    // decides whether to end. The second must run every time.
    CPatrolTaskMgr mgr;
    CTaskMgr **slot = mgr.GetActivePtr();
    for (int i = 0; i < 300; ++i) {
        RunLog firstLog, secondLog;
        CPatrolTask first(4000, 1), second(4000, 1);
        first.SetAction(tagAction(&firstLog, &RunLog::Run));
        second.SetAction(tagAction(&secondLog, &RunLog::Run));
        ASSERT_EQ(first.Submit(slot), 1);
        ASSERT_EQ(firstLog.ran.Wait(5000), plat::WAIT_OBJECT_0);
        while (mgr.GetTaskCount() != 0) std::this_thread::yield();
        ASSERT_EQ(second.Submit(slot), 1);
        ASSERT_EQ(secondLog.ran.Wait(5000), plat::WAIT_OBJECT_0) << "stranded at round " << i;
    }
}

TEST(PatrolTasks, CancelWaitsForTheRunningAction)
{
    CPatrolTaskMgr mgr;
    plat::Event entered, release(true);
    std::atomic<int> runs{0};
    RunLog log;
    log.onRun = [&] {
        entered.Set();
        release.Wait(10000);
        ++runs;
    };
    auto task = std::make_unique<CPatrolTask>(4000);
    task->SetAction(tagAction(&log, &RunLog::Run));
    ASSERT_EQ(task->Submit(mgr.GetActivePtr()), 1);
    ASSERT_EQ(entered.Wait(5000), plat::WAIT_OBJECT_0);

    std::atomic<bool> destroyed{false};
    std::thread owner([&] {
        task.reset(); // cancels, waiting for the action
        destroyed = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(destroyed.load());
    release.Set();
    owner.join();
    EXPECT_TRUE(destroyed.load());
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(mgr.GetTaskCount(), 0);
}

TEST(PatrolTasks, CancelFromInsideTheActionDoesNotWaitForItself)
{
    CPatrolTaskMgr mgr;
    CPatrolTask task(4000);
    RunLog log;
    std::atomic<int> cancelled{-1};
    log.onRun = [&] { cancelled = task.Cancel(); };
    task.SetAction(tagAction(&log, &RunLog::Run));
    ASSERT_EQ(task.Submit(mgr.GetActivePtr()), 1);
    ASSERT_EQ(log.ran.Wait(5000), plat::WAIT_OBJECT_0);
    ASSERT_TRUE(mgr.GetThread().Join(5000)); // its last task left: the thread ended
    EXPECT_EQ(cancelled.load(), 1);
    EXPECT_EQ(log.Count(), 1u);
    EXPECT_EQ(task.GetStatus(), CTask::kWaiting) << "ready to be submitted again";
}

TEST(PatrolTasks, ATaskCancelledDuringItsActionIsTakenAgain)
{
    CPatrolTaskMgr mgr;
    plat::Event entered, release(true);
    RunLog log;
    std::atomic<bool> holdFirst{true};
    log.onRun = [&] {
        if (!holdFirst.exchange(false)) return;
        entered.Set();
        release.Wait(10000);
    };
    CPatrolTask task(4000);
    task.SetAction(tagAction(&log, &RunLog::Run));
    ASSERT_EQ(task.Submit(mgr.GetActivePtr()), 1);
    ASSERT_EQ(entered.Wait(5000), plat::WAIT_OBJECT_0);

    std::thread releaser([&] {
        std::this_thread::sleep_for(20ms);
        release.Set();
    });
    EXPECT_EQ(task.Cancel(), 1); // returns once the action has ended
    releaser.join();
    EXPECT_EQ(task.GetStatus(), CTask::kWaiting);
    task.SetInterval(0);
    log.ran.Reset();
    ASSERT_EQ(task.Submit(mgr.GetActivePtr()), 1);
    EXPECT_EQ(log.ran.Wait(5000), plat::WAIT_OBJECT_0);
    EXPECT_GE(log.Count(), 2u);
    EXPECT_EQ(task.Cancel(), 1);
}

TEST(PatrolTasks, StopGivesUpAHungActionAndNeedsANewIdlePeriod)
{
    plat::ScopedTestClock clock;
    auto mgr = std::make_unique<CPatrolTaskMgr>();
    plat::Event entered, release(true);
    RunLog log;
    log.onRun = [&] {
        entered.Set();
        release.Wait(plat::INFINITE);
    };
    auto task = std::make_unique<CountingTask>(4000);
    task->SetAction(tagAction(&log, &RunLog::Run));
    ASSERT_EQ(task->Submit(mgr->GetActivePtr()), 1);
    ASSERT_EQ(entered.Wait(5000), plat::WAIT_OBJECT_0);

    EXPECT_TRUE(EndsAtTheBound([&] { mgr->Stop(); }, CPatrolTaskMgr::kStopBound));
    EXPECT_EQ(task->aborts, 1);
    EXPECT_EQ(task->GetMgrSlot(), nullptr);
    EXPECT_EQ(mgr->Start(), 0);
    mgr->SetIdlePeriod(500);
    EXPECT_EQ(mgr->Start(), 1);

    // The manager goes while the given-up thread is still in the action; the task waits for
    // the action before it goes.
    mgr.reset();
    std::atomic<bool> destroyed{false};
    std::thread owner([&] {
        task.reset();
        destroyed = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(destroyed.load());
    release.Set();
    owner.join();
    EXPECT_EQ(log.Count(), 1u);
}
