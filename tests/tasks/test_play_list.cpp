// The play list's own operations, without its thread: placement, the on-air task, changes
// to tasks and the status callbacks that go with them.
#include "PlayListTest.h"

#include <cstring>

using namespace playlist_test;

namespace {
const std::string kStart2020 = "2020-01-01 00:00:00";
}

TEST_F(PlayListTest, TasksArePlacedByStartBeforeTasksOfTheSameStart)
{
    CVideoPlayTaskList list;
    EXPECT_EQ(list.Add(Task(0, "none", 5, 10)), 0) << "a task needs an id";
    ASSERT_EQ(list.Add(Task(1, "c20", 20, 10)), 1);
    ASSERT_EQ(list.Add(Task(2, "c10a", 10, 10)), 1);
    ASSERT_EQ(list.Add(Task(3, "c10b", 10, 10)), 1);
    EXPECT_EQ(Ids(list), (std::vector<int32_t>{3, 2, 1}));

    CVideoPlayTask later = Task(3, "c30", 30, 10);
    later.m_nStatus = 8;
    later.m_nFlags = 2;
    list.Add(later);
    EXPECT_EQ(Ids(list), (std::vector<int32_t>{2, 1, 3})) << "replaces the task of its id";
    CVideoPlayTask preset;
    EXPECT_EQ(list.GetPresetTask(preset, 0), 2);
    CVideoPlayTaskArray tasks;
    list.GetTaskList(tasks, 0);
    EXPECT_EQ(tasks[2].m_nStatus, 1) << "an added task waits";
    EXPECT_EQ(tasks[2].m_nFlags, 0);
    EXPECT_FALSE(list.WorkingFine()) << "no thread without an owner";
}

TEST_F(PlayListTest, ADisplacedPresetGoesBackToWaiting)
{
    CVideoPlayTaskList list;
    list.Add(Task(1, "a", 20, 10));
    CVideoPlayTask preset;
    list.GetPresetTask(preset, 0);
    preset.m_nStatus = 8;
    ASSERT_EQ(list.ModifyTask(preset, 0), 1);
    list.Add(Task(2, "b", 10, 10));
    CVideoPlayTaskArray tasks;
    list.GetTaskList(tasks, 0);
    ASSERT_EQ(tasks.GetSize(), 2);
    EXPECT_EQ(tasks[0].m_nTaskID, 2);
    EXPECT_EQ(tasks[1].m_nStatus, 1);
}

TEST_F(PlayListTest, AddingTheActiveTaskOnlyChangesItsDuration)
{
    CVideoPlayTaskList list;
    list.SetActiveTask(Task(7, "onair", -5, 60));
    CVideoPlayTask changed = Task(7, "other", 100, 90, 33);
    ASSERT_EQ(list.Add(changed), 1);
    CVideoPlayTask program;
    ASSERT_EQ(list.GetPgmTask(program), 7);
    EXPECT_EQ(program.m_nDUR, 90 * kFramesPerSecond);
    EXPECT_EQ(std::string(program.m_strClipID), "onair");
    EXPECT_EQ(program.m_nSOM, 0);
    EXPECT_EQ(program.m_nStatus, 11);
    EXPECT_EQ(Ids(list), (std::vector<int32_t>{7})) << "nothing pending";
}

TEST_F(PlayListTest, SettingTheActiveTaskStopsTheOldOneAndTellsBoth)
{
    Recorder recorder;
    CVideoPlayTaskList list;
    recorder.probe = &list;
    CVideoPlayTask first = recorder.Task(1, "first", 0, 60);
    first.m_nStatus = 10;
    list.SetActiveTask(first);
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{1, 11, 0}}));
    EXPECT_TRUE(logs.Has("开始播出 ID = first startTime = " + kStart2020));

    CVideoPlayTask second = recorder.Task(2, "second", 60, 60);
    second.m_nFlags = 16;
    recorder.Clear();
    logs.Clear();
    list.SetActiveTask(second);
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{1, 13, 3}, {2, 11, 0}, {2, 32, 1}}));
    EXPECT_EQ(logs.Lines(),
              (std::vector<std::string>{"停止播出 ID = first startTime = " + kStart2020,
                                        "开始播出 ID = second startTime = 2020-01-01 00:01:00"}));
    EXPECT_FALSE(recorder.lockHeld) << "callbacks run outside the lock";

    CVideoPlayTask stopped;
    ASSERT_EQ(list.GetStoppedTask(stopped, 0), 1);
    EXPECT_EQ(stopped.m_nStatus, 13);
    EXPECT_EQ(list.Active(), 2);

    recorder.Clear();
    EXPECT_EQ(list.StopPgm(), 0);
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{2, 13, 3}})) << "none for the empty task";
    EXPECT_EQ(list.Active(), 0);
    EXPECT_TRUE(logs.Has("trace@StopPgm"));

    recorder.Clear();
    list.SetActiveTask(CVideoPlayTask());
    EXPECT_TRUE(recorder.Calls().empty()) << "no callback for task id 0";
    EXPECT_EQ(Ids(list, 1), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(list.GetStoppedTask(stopped, 1), 1);
    EXPECT_EQ(list.GetStoppedTask(stopped, 1), 2);
    EXPECT_EQ(list.GetStoppedTask(stopped, 1), 0);
}

TEST_F(PlayListTest, ModifyTaskWritesTheTargetAndReportsChanges)
{
    Recorder recorder;
    CVideoPlayTaskList list;
    list.SetActiveTask(recorder.Task(1, "pgm", 0, 60));
    CVideoPlayTask pending = recorder.Task(2, "pst", 60, 60);
    std::strcpy(pending.m_szName, "kept name");
    list.Add(pending);
    recorder.Clear();

    CVideoPlayTask change = recorder.Task(2, "pst", 60, 60);
    std::strcpy(change.m_szName, "new name");
    change.m_nStatus = 5;
    change.m_nFlags = 2;
    EXPECT_EQ(list.ModifyTask(change, 1), 1);
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{2, 5, 0}, {2, 32, 2}}));
    CVideoPlayTask preset;
    list.GetPresetTask(preset, 0);
    EXPECT_STREQ(preset.m_szName, "kept name") << "the name is not copied";
    EXPECT_EQ(preset.m_nStatus, 5);

    recorder.Clear();
    EXPECT_EQ(list.ModifyTask(change, 1), 1);
    EXPECT_TRUE(recorder.Calls().empty()) << "nothing changed";
    change.m_nStatus = 8;
    EXPECT_EQ(list.ModifyTask(change, 0), 1);
    EXPECT_TRUE(recorder.Calls().empty()) << "not asked to notify";

    CVideoPlayTask program = recorder.Task(0, "pgm", 0, 90);
    program.m_nStatus = 12;
    EXPECT_EQ(list.ModifyTask(program, 1), 1) << "id 0 names the active task";
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{1, 12, 0}}));
    CVideoPlayTask onAir;
    EXPECT_EQ(list.GetPgmTask(onAir), 1) << "and keeps its id";
    EXPECT_EQ(onAir.m_nDUR, 90 * kFramesPerSecond);

    EXPECT_EQ(list.ModifyTask(recorder.Task(9, "x", 0, 1), 1), 0);
    list.StopPgm();
    EXPECT_EQ(list.ModifyTask(program, 1), 0) << "no active task";
}

TEST_F(PlayListTest, RemovingThePresetTellsIt)
{
    Recorder recorder;
    CVideoPlayTaskList list;
    recorder.probe = &list;
    for (int id = 1; id <= 3; ++id) list.Add(recorder.Task(id, "c", id * 10, 5));
    EXPECT_EQ(list.RemoveAt(2), 1);
    EXPECT_TRUE(recorder.Calls().empty()) << "not the preset";
    EXPECT_EQ(list.RemoveAt(2), 0);
    EXPECT_EQ(list.RemoveAt(1), 1);
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{1, 1, 0}}));
    list.Add(recorder.Task(4, "d", 50, 5));
    recorder.Clear();
    EXPECT_EQ(list.RemoveAll(), 1);
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{3, 1, 0}}));
    EXPECT_TRUE(Ids(list).empty());
    EXPECT_FALSE(recorder.lockHeld);
}

TEST_F(PlayListTest, CancellingThePresetPutsItBackToWaiting)
{
    Recorder recorder;
    CVideoPlayTaskList list;
    EXPECT_EQ(list.CancelPst(), 0);
    EXPECT_TRUE(logs.Has("trace@CancelPst;pst=nil(0)"));
    CVideoPlayTask task = recorder.Task(4, "clip4", 30, 5);
    list.Add(task);
    task.m_nStatus = 10;
    list.ModifyTask(task, 0);
    EXPECT_EQ(list.CancelPst(), 0);
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{4, 1, 0}}));
    EXPECT_TRUE(logs.Has("trace@CancelPst;pst=clip4(4)"));
    CVideoPlayTask preset;
    list.GetPresetTask(preset, 1);
    EXPECT_EQ(preset.m_nStatus, 1);
    EXPECT_EQ(list.GetPresetTask(preset, 1), 0) << "taken off";
}

TEST_F(PlayListTest, ListsClipsAndProgramDuration)
{
    CVideoPlayTaskList list;
    list.SetActiveTask(Task(1, "old", -100, 10));
    list.SetActiveTask(Task(2, "pgm", -8, 60));
    list.Add(Task(3, "a", 60, 5));
    list.Add(Task(4, "b", 70, 5));
    list.Add(Task(5, "a", 80, 5));
    EXPECT_EQ(Ids(list, 0), (std::vector<int32_t>{2, 3, 4, 5}));
    EXPECT_EQ(Ids(list, 1), (std::vector<int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(list.ModifyTaskClip("a", "z"), 2);
    EXPECT_EQ(list.ModifyTaskClip("A", "y"), 0) << "exact match";
    EXPECT_EQ(list.RecuePgm(CVideoPlayTask(), CVideoPlayTaskArray()), 1);

    plat::TestClock::Advance(2001); // 10 s and half a millisecond since its start
    EXPECT_EQ(list.ModifyPgmTaskDur(), 1);
    CVideoPlayTask program;
    list.GetPgmTask(program);
    EXPECT_EQ(program.m_nDUR, 250) << "10 s played";
}

TEST_F(PlayListTest, SyncPlayQueuesTheRestOfTheActiveTask)
{
    Recorder recorder;
    CVideoPlayTaskList list;
    list.SetActiveTask(recorder.Task(1, "long", -60, 120, 100));
    CVideoPlayTask preset = recorder.Task(2, "next", 60, 10);
    list.Add(preset);
    preset.m_nStatus = 10;
    list.ModifyTask(preset, 0);
    recorder.Clear();

    ASSERT_EQ(list.SyncPlay(), 1);
    EXPECT_EQ(list.Active(), 0);
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{2, 1, 0}}));
    CVideoPlayTaskArray tasks;
    list.GetTaskList(tasks, 0);
    ASSERT_EQ(tasks.GetSize(), 2);
    const CVideoPlayTask &recue = tasks[0];
    EXPECT_EQ(recue.m_nTaskID, 1);
    EXPECT_NEAR(recue.m_nStart, kFileTime2020 + 5 * kSecond, kHalfMs);
    EXPECT_EQ(recue.m_nDUR, 55 * kFramesPerSecond);
    EXPECT_EQ(recue.m_nSOM, 100 + 65 * kFramesPerSecond) << "60 s played and 5 s to come";
    EXPECT_EQ(recue.m_nStatus, 1) << "to be cued again";
    EXPECT_EQ(tasks[1].m_nStatus, 1);
}

TEST_F(PlayListTest, SyncPlayWithLittleLeftOnlyClearsTheActiveTask)
{
    Recorder recorder;
    CVideoPlayTaskList list;
    list.SetActiveTask(recorder.Task(1, "short", -52, 60));
    list.Add(recorder.Task(2, "next", 60, 10));
    recorder.Clear();
    ASSERT_EQ(list.SyncPlay(), 1);
    EXPECT_EQ(list.Active(), 0);
    EXPECT_EQ(Ids(list), (std::vector<int32_t>{2}));
    EXPECT_TRUE(recorder.Calls().empty());
    EXPECT_EQ(Ids(list, 1), (std::vector<int32_t>{2})) << "not put on the stopped list";

    // The cleared task keeps its receiver, but a task without an id is nobody's to tell.
    list.SetActiveTask(recorder.Task(3, "new", 0, 10));
    EXPECT_EQ(recorder.Calls(), (std::vector<Call>{{3, 11, 0}}));
}
