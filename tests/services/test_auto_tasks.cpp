// Automatic tasks on the manual clock: schedules read from settings, when periodic, hourly
// and daily tasks are due, life counts, own action threads, the manager's polling worker
// with unloading, and the once-per-ten-minutes restart with its log.
#include "ServicesTestKit.h"

#include "devext/services/CAutoTaskA.h"
#include "devext/services/CAutoTaskMgr.h"
#include "Kest20/FrameworkTime.h"
#include "platform/Process.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace services_test;

namespace {

class CCountingTask : public CAutoTaskA {
    DECLARE_KEST_CLASS(CCountingTask)

    int DoAction() override
    {
        ++runs;
        return 0;
    }
    int CanUnload() override { return unload; }

    std::atomic<int> runs{0};
    std::atomic<int> unload{0};
};

// A task with its own action thread whose action the test holds. It says when it is gone,
// and its action writes to the task after the hold, so a task deleted under its running
// action is seen.
class CHeldTask : public CAutoTaskA {
    DECLARE_KEST_CLASS(CHeldTask)

    ~CHeldTask() override { gone.Set(); }
    int DoAction() override
    {
        entered.Set();
        release.Wait(plat::INFINITE);
        ++runs;
        return 0;
    }
    int CanUnload() override { return unload; }

    plat::Event entered{true, false};
    plat::Event release{true, false};
    plat::Event gone{true, false};
    std::atomic<int> runs{0};
    std::atomic<int> unload{0};
};

// A restart that only counts, with its log in a directory of the test.
class CTestRestart : public CRestartApplication {
public:
    std::string module;
    int restarts = 0;

protected:
    CString GetModulePath() override { return CString(module); }
    int RestartProgram() override { return ++restarts; }
};

const char *const kSettings = "[Every2s]\r\nclass=CCountingTask\r\n"
                              "When=<Type=\"time\" Frequency=\"00:00:02:00\">\r\n"
                              "Description=two seconds\r\n"
                              "[HalfPast]\r\nclass=CCountingTask\r\n"
                              "When=<Every=\"hour\" E1=\"00:30:00\">\r\n"
                              "[Daily]\r\nclass=CCountingTask\r\n"
                              "When=<E1=\"08:00:00\" E3=\"20:00:00\">\r\nLife=2\r\n"
                              "[Empty]\r\nclass=CCountingTask\r\nWhen=<Every=\"day\">\r\n"
                              "[Weekly]\r\nclass=CCountingTask\r\n"
                              "When=<Every=\"week\" E1=\"1 08:00:00\">\r\n"
                              "[Once]\r\nclass=CCountingTask\r\nLife=0\r\nThread=TRUE\r\n"
                              "When=<Type=\"TIME\" Frequency=\"00:00:10:00\">\r\n"
                              "[Thrice]\r\nclass=CCountingTask\r\nLife=2\r\n"
                              "When=<Type=\"TIME\" Frequency=\"00:00:10:00\">\r\n"
                              "[Tasks]\r\nList=Every2s,Missing,Once\r\n"
                              "[Held]\r\nclass=CHeldTask\r\nThread=TRUE\r\n"
                              "When=<Type=\"TIME\" Frequency=\"00:00:10:00\">\r\n"
                              "[Quick]\r\nclass=CCountingTask\r\nThread=TRUE\r\n"
                              "When=<Type=\"TIME\" Frequency=\"00:00:10:00\">\r\n";

class AutoTasks : public ::testing::Test {
protected:
    ScopedTimeZone zone{"UTC"};
    plat::ScopedTestClock clock{100000, LocalFileTime(2026, 12, 8, 10, 29, 50)};
    MountedSettings settings{"/etc/tvx", kSettings};

    CCountingTask *Open(const char *name)
    {
        return static_cast<CCountingTask *>(
            CAutoTaskA::OpenTask(name, CCountingTask::GetClassID()));
    }
    // The framework clock runs on with the manual clock's counter once it exists, so a test
    // moves it on to the next time of day given (or by days).
    static void AdvanceTo(int hour, int minute, int second, int days = 0)
    {
        const CFileTime now = GetFrameworkTime();
        CFileTime target = now;
        target.SetTime(timecode_t(((hour * 60 + minute) * 60 + second) * 25));
        int64_t ahead = target - now;
        if (ahead < 10000000) ahead += CFileTimeSpan::kUnitsPerDay; // not this very second
        plat::TestClock::Advance(static_cast<uint32_t>(ahead / 10000 + days * 86400000LL));
    }
};

} // namespace

IMPLEMENT_KEST_CLASS(CCountingTask, CAutoTaskA)
IMPLEMENT_KEST_CLASS(CHeldTask, CAutoTaskA)

TEST_F(AutoTasks, SchedulesAreReadFromTheSettings)
{
    CCountingTask *periodic = Open("Every2s");
    ASSERT_NE(periodic, nullptr);
    EXPECT_EQ(periodic->GetSchedule().nKind, tagAutoTaskSchedule::Periodic);
    EXPECT_EQ(periodic->GetSchedule().nFrequency, 125) << "raised to 5 s";
    EXPECT_EQ(std::string(periodic->GetDescription()), "two seconds");

    CCountingTask *daily = Open("Daily");
    ASSERT_NE(daily, nullptr);
    ASSERT_EQ(daily->GetSchedule().entries.GetSize(), 1) << "E3 without E2 is not read";
    EXPECT_EQ(std::string(daily->GetSchedule().entries[0]), "08:00:00");
    EXPECT_EQ(std::string(daily->GetDescription()), "Daily");

    EXPECT_EQ(Open("Empty"), nullptr) << "a daily schedule without entries";
    EXPECT_EQ(Open("Missing"), nullptr);
    CCountingTask *weekly = Open("Weekly");
    ASSERT_NE(weekly, nullptr);
    EXPECT_EQ(weekly->__Do(), 0) << "weekly entries never fire";
    for (CCountingTask *task : {periodic, daily, weekly}) task->Suicide();
}

TEST_F(AutoTasks, PeriodicTasksRunOnceTheirPeriodHasPassed)
{
    CCountingTask *task = Open("Every2s");
    ASSERT_NE(task, nullptr);
    EXPECT_EQ(task->__Do(), 1);
    EXPECT_EQ(task->runs, 1);
    plat::TestClock::Advance(5000);
    EXPECT_EQ(task->__Do(), 0) << "not more than 5 s yet";
    plat::TestClock::Advance(40);
    EXPECT_EQ(task->__Do(), 1);
    EXPECT_EQ(task->runs, 2);
    EXPECT_EQ(task->GetState(), CAutoTaskA::Idle);
    task->Suicide();
}

TEST_F(AutoTasks, HourlyTasksRunOnceNearTheirMinute)
{
    CCountingTask *task = Open("HalfPast");
    ASSERT_NE(task, nullptr);
    AdvanceTo(10, 29, 54);
    EXPECT_EQ(task->__Do(), 0) << "6 s early";
    AdvanceTo(10, 29, 56);
    EXPECT_EQ(task->__Do(), 1);
    AdvanceTo(10, 30, 10);
    EXPECT_EQ(task->__Do(), 0) << "ran in this window already";
    AdvanceTo(11, 30, 19);
    EXPECT_EQ(task->__Do(), 1) << "the next hour, 19 s late";
    AdvanceTo(13, 30, 21);
    EXPECT_EQ(task->__Do(), 0) << "over 20 s late is too late";
    EXPECT_EQ(task->runs, 2);
    task->Suicide();
}

TEST_F(AutoTasks, LifeCountsRunsAndThreadTasksRunOnTheirOwnThread)
{
    CCountingTask *thrice = Open("Thrice");
    ASSERT_NE(thrice, nullptr);
    EXPECT_EQ(thrice->__Do(), 1);
    for (int run = 1; run < 3; ++run) CAutoTaskA::__DoActionProc(thrice);
    EXPECT_EQ(thrice->runs, 3);
    EXPECT_EQ(thrice->GetLife(), -1) << "life 2: three runs";
    EXPECT_EQ(thrice->__Do(), 0);
    EXPECT_EQ(thrice->GetState(), CAutoTaskA::Expired);

    CCountingTask *once = Open("Once");
    ASSERT_NE(once, nullptr);
    EXPECT_TRUE(once->IsOwnThread());
    EXPECT_EQ(once->__Do(), 1);
    ASSERT_TRUE(RealWait([&] { return once->runs == 1 && once->GetState() == 1; }));
    EXPECT_EQ(once->__Do(), 0) << "life 0: one run";
    EXPECT_EQ(once->GetState(), CAutoTaskA::Expired);
    thrice->Suicide();
    once->Suicide();
}

TEST_F(AutoTasks, TheManagerPollsItsTasksAndUnloadsThoseThatAsk)
{
    const int idle = plat::TestClock::TimedWaiters();
    CAutoTaskMgr manager;
    EXPECT_EQ(manager.AddTask(static_cast<CAutoTaskA *>(nullptr)), -1);
    ASSERT_EQ(manager.Initialization("/etc/tvx/Tasks/List"), 1);
    ASSERT_EQ(manager.GetSize(), 2) << "the missing task is skipped";
    CStringArray names, descriptions;
    manager.GetTaskList(&names, &descriptions);
    EXPECT_EQ(std::string(names[0]) + "," + std::string(names[1]), "Every2s,Once");
    EXPECT_EQ(std::string(descriptions[0]), "two seconds");
    auto *every = static_cast<CCountingTask *>(manager.GetTaskByName("Every2s"));
    ASSERT_NE(every, nullptr);
    EXPECT_EQ(manager.GetTaskByName("every2s"), nullptr) << "names compare exactly";
    EXPECT_EQ(manager.GetTaskAt(2), nullptr);

    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(idle + 1));
    EXPECT_EQ(every->runs, 0);
    plat::TestClock::Advance(2000);
    ASSERT_TRUE(RealWait([&] { return every->runs == 1; }));

    every->unload = 1;
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(idle + 1));
    plat::TestClock::Advance(2000);
    ASSERT_TRUE(RealWait([&] { return manager.GetSize() == 1; })) << "unloaded and deleted";
    EXPECT_EQ(manager.GetTaskByName("Every2s"), nullptr);

    std::atomic<int> finalised{-1};
    std::thread finalising([&] { finalised = manager.Finalization(); });
    EXPECT_TRUE(RealWait([&] {
        plat::TestClock::Advance(100);
        return finalised != -1;
    })) << "the pause after the stop ends";
    finalising.join();
    EXPECT_EQ(finalised, 1);
    manager.RemoveAll(1);
    EXPECT_EQ(manager.GetSize(), 0);
}

TEST_F(AutoTasks, RestartsOnceInATenMinuteSlotAndKeepsItsLogShort)
{
    TempDir dir;
    CTestRestart task;
    task.module = dir / "prog";
    plat::SYSTEMTIME now{};
    GetFrameworkTime().Get(now);
    const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char slot[64];
    std::snprintf(slot, sizeof slot, " Restarted at %s %2d %02d:%02d", months[now.wMonth - 1],
                  now.wDay, now.wHour, now.wMinute / 10 * 10);
    std::string restarted;
    auto previous = plat::SetDebugOutputSink([&](const char *text) { restarted += text; });
    task.DoAction();
    task.DoAction();
    plat::SetDebugOutputSink(previous);
    EXPECT_EQ(task.restarts, 1) << "the same ten minutes";
    EXPECT_EQ(restarted, "Restart Application\n");
    EXPECT_EQ(ReadLines(dir / "prog.restart.log"), std::vector<std::string>{task.module + slot});

    std::string log;
    for (int i = 0; i < 200; ++i) log += "old " + std::to_string(i) + "\r\n";
    WriteFile(dir / "prog.restart.log", log);
    task.DoAction();
    EXPECT_EQ(task.restarts, 2);
    const auto lines = ReadLines(dir / "prog.restart.log");
    ASSERT_EQ(lines.size(), 129u);
    EXPECT_EQ(lines.front(), "old 72");
    EXPECT_EQ(lines.back(), task.module + slot);
}

// However a task with its own action thread is deleted while its action runs (unloaded by
// the worker, removed with RemoveAt or RemoveAll), the deletion waits for the action, up to a
// bound; an action that outlasts the bound keeps the task, and its thread deletes it.
TEST_F(AutoTasks, ATaskIsNotDeletedUnderItsRunningAction)
{
    enum Deletion { Unloaded, RemovedAt, RemovedAll };
    struct Case {
        const char *what;
        Deletion deletion;
        bool outlastsTheBound;
    };
    const Case cases[] = {
        {"unloaded by the worker", Unloaded, false},
        {"removed at its index", RemovedAt, false},
        {"removed with all", RemovedAll, false},
        {"removed, its action outlasting the bound", RemovedAt, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const int idle = plat::TestClock::TimedWaiters();
        CAutoTaskMgr manager;
        auto *task =
            static_cast<CHeldTask *>(CAutoTaskA::OpenTask("Held", CHeldTask::GetClassID()));
        ASSERT_NE(task, nullptr);
        const plat::Event entered = task->entered, release = task->release, gone = task->gone;
        task->unload = c.deletion == Unloaded;
        ASSERT_EQ(manager.AddTask(task), 0);
        std::thread remover;
        if (c.deletion == Unloaded) {
            ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(idle + 1));
            plat::TestClock::Advance(2000); // the worker polls: runs, then unloads
        } else {
            ASSERT_EQ(task->__Do(), 1);
            remover = std::thread([&manager, deletion = c.deletion] {
                if (deletion == RemovedAt)
                    manager.RemoveAt(0, 1);
                else
                    manager.RemoveAll(1);
            });
        }
        ASSERT_TRUE(RealWait([&] { return entered.IsSet(); }));
        if (c.outlastsTheBound) {
            // The worker and the deletion wait on the clock; past the bound the remover
            // returns and leaves the task to its thread.
            ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(idle + 2));
            plat::TestClock::Advance(5000);
            remover.join();
            EXPECT_EQ(manager.GetSize(), 0);
        }
        EXPECT_FALSE(gone.IsSet()) << "deleted while its action runs";
        release.Set();
        EXPECT_TRUE(RealWait([&] { return gone.IsSet(); }));
        if (remover.joinable()) remover.join();
        EXPECT_EQ(manager.GetSize(), 0);
    }
}

// Tasks whose short actions run on their own threads, deleted as their threads start and
// end: no deletion meets a running action.
TEST_F(AutoTasks, DeletionsRacingOwnActionThreadsMeetNoRunningAction)
{
    CAutoTaskMgr manager;
    for (int round = 0; round < 200; ++round) {
        CCountingTask *task = Open("Quick");
        ASSERT_NE(task, nullptr);
        manager.AddTask(task);
        ASSERT_EQ(task->__Do(), 1);
        if (round % 2)
            manager.RemoveAt(0, 1);
        else
            manager.RemoveAll(1);
    }
    EXPECT_EQ(manager.GetSize(), 0);
}
