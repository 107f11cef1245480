// The play list's thread on the manual clock: submitted lists merged with what is on air, the
// steps of the owner in each cycle, the waits between cycles, and starting and stopping.
#include "PlayListTest.h"

using namespace playlist_test;

namespace {

// Submits `tasks` and waits until the thread has merged them.
bool Merged(CVideoPlayTaskList &list, kit::LogCapture &logs, const CVideoPlayTaskArray &tasks)
{
    logs.Clear();
    list.SubmitTaskList(tasks);
    return Eventually([&] { return logs.Has("trace@CVideoPlayTaskList:End MergeTaskList"); });
}

CVideoPlayTaskArray ArrayOf(std::initializer_list<CVideoPlayTask> tasks)
{
    CVideoPlayTaskArray array;
    for (const CVideoPlayTask &task : tasks) array.Add(task);
    return array;
}

} // namespace

TEST_F(PlayListTest, MergeDropsEndedTasksAndKeepsAnUnchangedProgram)
{
    StubOwner owner;
    Recorder recorder;
    CVideoPlayTaskList list(&owner);
    CVideoPlayTask program = recorder.Task(1, "pgm", -30, 120);
    list.SetActiveTask(program);
    CVideoPlayTask preset = recorder.Task(2, "pst", 60, 30);
    list.Add(preset);
    preset.m_nStatus = 10;
    list.ModifyTask(preset, 0);
    recorder.Clear();

    CVideoPlayTask ended = recorder.Task(9, "gone", -61, 60); // ended a second ago
    CVideoPlayTask renamed = program;
    renamed.m_nTaskID = 11;
    renamed.m_strText = "new text";
    CVideoPlayTask samePreset = preset;
    samePreset.m_nStart += 3 * kSecond; // a new start, yet the same task
    ASSERT_TRUE(Merged(list, logs, ArrayOf({ended, renamed, samePreset})));

    EXPECT_TRUE(logs.Has("trace@MergeTaskList;OldPst=pst(2);NewPst=pst(2);OldPgm=pgm(1);"
                         "NewPgm=pgm(11)"));
    CVideoPlayTask onAir;
    ASSERT_EQ(list.GetPgmTask(onAir), 11) << "the program takes the new task's id";
    EXPECT_EQ(onAir.m_nStatus, 11) << "and stays on air";
    EXPECT_EQ(std::string(onAir.m_strText), "new text");
    CVideoPlayTaskArray tasks;
    list.GetTaskList(tasks, 1);
    ASSERT_EQ(tasks.GetSize(), 2) << "nothing stopped, the ended task dropped";
    EXPECT_EQ(tasks[1].m_nTaskID, 2);
    EXPECT_EQ(tasks[1].m_nStatus, 10) << "the busy preset keeps its status";
    EXPECT_TRUE(recorder.Calls().empty());
}

TEST_F(PlayListTest, MergeWithoutTheProgramStopsItAndCancelsABusyPreset)
{
    StubOwner owner;
    Recorder recorder;
    CVideoPlayTaskList list(&owner);
    recorder.probe = &list;
    list.SetActiveTask(recorder.Task(1, "pgm", -30, 120));
    CVideoPlayTask preset = recorder.Task(2, "pst", 60, 30);
    list.Add(preset);
    preset.m_nStatus = 8;
    list.ModifyTask(preset, 0);
    recorder.Clear();

    ASSERT_TRUE(Merged(list, logs, CVideoPlayTaskArray()));
    EXPECT_EQ(
        logs.Lines(),
        (std::vector<std::string>{
            "Submit a Play taskList(Queue = 0)", "trace@CVideoPlayTaskList:Begin MergeTaskList",
            "trace@MergeTaskList;OldPst=pst(2);NewPst=nil(0);OldPgm=pgm(1);NewPgm=nil(0)",
            "trace@Add actStopPgm", "trace@Add actCancelPst",
            "停止播出 ID = pgm startTime = 2019-12-31 23:59:30",
            "开始播出 ID =  startTime = 1601-01-01 00:00:00", "trace@StopPgm",
            "trace@Add StopPgm()", "trace@CancelPst;pst=pst(2)",
            "trace@CVideoPlayTaskList:End MergeTaskList"}));
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{1, 13, 3}, {2, 1, 0}}));
    EXPECT_FALSE(recorder.lockHeld);
    EXPECT_EQ(list.Active(), 0);
    EXPECT_TRUE(Ids(list).empty());
}

TEST_F(PlayListTest, MergeRecuesARunningTaskThatIsNotOnAir)
{
    StubOwner owner;
    CVideoPlayTaskList list(&owner);
    list.SetActiveTask(Task(1, "pgm", -30, 120));
    CVideoPlayTask replaced = Task(5, "other", -60, 120, 10);
    CVideoPlayTask next = Task(6, "next", 100, 30);
    ASSERT_TRUE(Merged(list, logs, ArrayOf({replaced, next})));

    EXPECT_EQ(list.Active(), 0) << "the old program is dropped from the air";
    CVideoPlayTaskArray tasks;
    list.GetTaskList(tasks, 0);
    ASSERT_EQ(tasks.GetSize(), 2);
    EXPECT_EQ(tasks[0].m_nTaskID, 5);
    EXPECT_EQ(tasks[0].m_nDUR, 55 * kFramesPerSecond);
    EXPECT_EQ(tasks[0].m_nSOM, 10 + 65 * kFramesPerSecond);
    EXPECT_NEAR(tasks[0].m_nStart, kFileTime2020 + 5 * kSecond, kHalfMs);
    EXPECT_EQ(tasks[1].m_nTaskID, 6);
    EXPECT_TRUE(
        logs.Has("trace@MergeTaskList;OldPst=nil(0);NewPst=other(5);OldPgm=pgm(1);NewPgm=nil(0)"));
}

TEST_F(PlayListTest, AProgramReplacedByAnotherTasksRecueEndsAsAReplacedProgramDoes)
{
    const struct {
        const char *name;
        int32_t runningId; // the running task of the new list
        std::vector<Call> told;
        std::vector<int32_t> stopped;
    } cases[] = {
        {"another task", 5, {{1, 13, 3}}, {1}},
        {"the program itself, moved on", 1, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        StubOwner owner;
        Recorder recorder;
        CVideoPlayTaskList list(&owner);
        recorder.probe = &list;
        list.SetActiveTask(recorder.Task(1, "pgm", -30, 120));
        recorder.Clear();
        CVideoPlayTask running = recorder.Task(c.runningId, "other", -60, 120, 10);
        ASSERT_TRUE(Merged(list, logs, ArrayOf({running})));

        EXPECT_EQ(list.Active(), 0);
        EXPECT_EQ(Ids(list), std::vector<int32_t>{c.runningId}) << "the re-cue is the preset";
        EXPECT_EQ(recorder.Calls(), c.told);
        EXPECT_FALSE(recorder.lockHeld);
        std::vector<int32_t> stopped;
        CVideoPlayTask task;
        while (list.GetStoppedTask(task, 1)) {
            EXPECT_EQ(task.m_nStatus, 13);
            stopped.push_back(task.m_nTaskID);
        }
        EXPECT_EQ(stopped, c.stopped) << "what the source's stop step takes off its device";
        EXPECT_EQ(logs.Has("停止播出 ID = pgm startTime = 2019-12-31 23:59:30"), !c.told.empty());
    }
}

TEST_F(PlayListTest, MergeCancelsABusyPresetThatChanged)
{
    StubOwner owner;
    Recorder recorder;
    CVideoPlayTaskList list(&owner);
    CVideoPlayTask preset = recorder.Task(2, "pst", 60, 30);
    list.Add(preset);
    preset.m_nStatus = 10;
    list.ModifyTask(preset, 0);
    recorder.Clear();
    CVideoPlayTask changed = preset;
    changed.m_nSOM = 50;
    ASSERT_TRUE(Merged(list, logs, ArrayOf({changed})));
    EXPECT_TRUE(logs.Has("trace@Add actCancelPst 2"));
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{2, 1, 0}}));
    CVideoPlayTask now;
    list.GetPresetTask(now, 0);
    EXPECT_EQ(now.m_nSOM, 50);
    EXPECT_EQ(now.m_nStatus, 1);
}

TEST_F(PlayListTest, TheThreadStartsOnDemandAndStops)
{
    StubOwner owner;
    CVideoPlayTaskList idle;
    idle.Add(Task(1, "a", 60, 10));
    EXPECT_EQ(idle.Start(), 0) << "no owner, no thread";
    EXPECT_EQ(idle.WorkingFine(), 0);

    CVideoPlayTaskList list(&owner);
    EXPECT_EQ(list.WorkingFine(), 0);
    list.Add(Task(1, "a", 60, 10));
    ASSERT_TRUE(CyclesDone(owner, 1));
    EXPECT_EQ(list.WorkingFine(), 1);
    EXPECT_EQ(owner.starts, 1);
    EXPECT_EQ(owner.checks, 1);

    EXPECT_EQ(list.Stop(), 1);
    EXPECT_EQ(list.WorkingFine(), 0);
    const int cycles = owner.traces;
    list.Add(Task(2, "b", 70, 10));
    ASSERT_TRUE(CyclesDone(owner, cycles + 1)) << "started again";
    EXPECT_EQ(list.WorkingFine(), 1);
}

TEST_F(PlayListTest, AStepMayStopItsOwnList)
{
    StubOwner owner;
    CVideoPlayTaskList list(&owner);
    std::atomic<int> stopResult{-1};
    owner.onStart = [&] { stopResult = list.Stop(); }; // a step that closes the device
    list.Add(Task(1, "a", 60, 10));
    ASSERT_TRUE(Eventually([&] { return stopResult == 1; }));
    EXPECT_TRUE(Eventually([&] { return list.WorkingFine() == 0; }));
    EXPECT_EQ(owner.checks, 0) << "no step after the stop";
}

TEST_F(PlayListTest, StopGivesUpAThreadStuckInAStep)
{
    struct StuckStep {
        plat::Event release{true, false};
        std::atomic<bool> entered{false};
    };
    auto stuck = std::make_shared<StuckStep>(); // outlives the list with the given-up thread
    StubOwner owner;
    auto list = std::make_unique<CVideoPlayTaskList>(&owner);
    owner.onStart = [stuck] {
        stuck->entered = true;
        stuck->release.Wait(plat::INFINITE);
    };
    list->Add(Task(1, "a", 60, 10));
    ASSERT_TRUE(Eventually([&] { return stuck->entered.load(); }));

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        list->Stop();
        stopped = true;
    });
    ASSERT_TRUE(OnlyTimedWaiter());
    plat::TestClock::Advance(CVideoPlayTaskList::kStopBoundMs - 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(stopped) << "waits for its bound";
    plat::TestClock::Advance(1);
    stopper.join();
    EXPECT_EQ(list->WorkingFine(), 0);
    list.reset(); // the given-up thread outlives the list
    stuck->release.Set();
    ASSERT_TRUE(Eventually([&] { return owner.starts == 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(owner.checks, 0) << "a given-up thread calls no further step";
}

TEST_F(PlayListTest, TheThreadWaitsUntilThePresetIsToBePrepared)
{
    StubOwner owner;
    CVideoPlayTaskList list(&owner);
    list.Add(Task(1, "a", 10, 10)); // 10 s ahead: wait 10000 - 2000 - 1000 + 500 ms
    ASSERT_TRUE(CyclesDone(owner, 1));
    EXPECT_EQ(owner.listChecks, 0) << "the preset is due before the poll interval";
    ASSERT_TRUE(NextCycleAfter(owner, 7500));
    // Now 2.5 s before the start: the preset wait is held to 300 ms.
    EXPECT_TRUE(NextCycleAfter(owner, 300));

    list.SubmitTaskList(CVideoPlayTaskArray());
    EXPECT_TRUE(CyclesDone(owner, 4)) << "a queued list is merged at once";
}

TEST_F(PlayListTest, TheThreadWaitsForTheEndOfTheProgramOrPolls)
{
    StubOwner owner;
    CVideoPlayTaskList list(&owner);
    list.SetActiveTask(Task(1, "pgm", -56, 60)); // ends in 4 s
    list.Start();
    ASSERT_TRUE(CyclesDone(owner, 1));
    EXPECT_EQ(owner.listChecks, 0);
    ASSERT_TRUE(NextCycleAfter(owner, 4000));
    // Ended now: 300 ms steps until it has been over for a second, then it is cleared.
    for (int cycle = 3; cycle <= 6; ++cycle) ASSERT_TRUE(NextCycleAfter(owner, 300));
    EXPECT_EQ(list.Active(), 0);
    EXPECT_TRUE(logs.Has("Set ActiveTask.m_nTaskID = 0"));
    // Nothing due: the list is checked at the poll interval.
    EXPECT_EQ(owner.listChecks, 1);
    EXPECT_EQ(owner.stopChecks, 1);
    EXPECT_TRUE(NextCycleAfter(owner, 10000));
    EXPECT_EQ(owner.listChecks, 2);
}
