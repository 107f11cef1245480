// The broadcast task managers of both variants without their threads: the status machine and
// the order of its callbacks, flag reports, Submit's refusals and take-overs, the operator
// operations and the unit messages they send, SyncTask, and the registries of live managers.
#include "tests/tasks/BroTaskTestKit.h"

#include <thread>

using namespace brotest;

namespace {

using V = std::vector<int32_t>;
using Msg = std::pair<int32_t, int32_t>;

V IdList(IVideoBroTaskMgr &mgr, bool play = false)
{
    CDWordArray ids;
    play ? mgr.GetPlayIDList(ids) : mgr.GetTaskIDList(ids);
    return V(ids.begin(), ids.end());
}

int32_t PgmId(IVideoBroTaskMgr &mgr)
{
    tagVideoBroTask pgm;
    mgr.GetPgmTask(pgm);
    return pgm.TaskID;
}

int32_t PstId(IVideoBroTaskMgr &mgr)
{
    tagVideoBroTask pst;
    return mgr.GetPstTask(pst);
}

tagVideoBroTask Stored(IVideoBroTaskMgr &mgr, int32_t id)
{
    tagVideoBroTask task;
    mgr.GetTask(id, task);
    return task;
}

// The message waiting on a unit, {0, 0} when none.
Msg UnitMsg(IVideoBroTaskMgr &mgr, int32_t unit)
{
    int32_t cmd = 0, param = 0;
    mgr.GetTPU()->GetUnitMsg(unit, &cmd, &param, 0);
    return {cmd, param};
}

template <class Handle> class TaskMgrTest : public BroTaskTest {
protected:
    TaskMgrTest() : m(*mgr.operator->()) { StepOnly(m); }
    // Tasks 1, 2 and 3 on SRC1, SRC2 and SRC1, 60, 70 and 80 s ahead, 10 s each.
    void AddThree()
    {
        for (int32_t id : {1, 2, 3})
            m.AddTask(calls.Task(id, id == 2 ? "SRC2" : "SRC1", (50 + 10 * id) * kSecond, 250));
    }
    void SetBusy(std::initializer_list<int32_t> units)
    {
        for (int32_t unit : units) m.GetTPU()->SetUnitState(unit, TPU_UNIT_BUSY);
    }
    // The order of the calls told so far, as {id, status}.
    std::vector<Msg> Told()
    {
        std::vector<Msg> told;
        for (const Call &call : calls.Calls()) told.emplace_back(call.id, call.status);
        return told;
    }

    Handle mgr;
    decltype(*mgr.operator->()) m;
};

using TaskMgr1Test = TaskMgrTest<CVideoBroTaskMgr1>;
using TaskMgr3Test = TaskMgrTest<CVideoBroTaskMgr3>;

} // namespace

TEST_F(TaskMgr1Test, OnlyThePresetBeginsAndItReplacesTheProgramAtTheHead)
{
    AddThree();
    calls.probe = &m;
    m.SetTaskStatus(2, BROTASK_BEGINPLAY);
    m.SetTaskStatus(1, BROTASK_ENDPLAY);
    EXPECT_TRUE(calls.Calls().empty()) << "neither the preset nor the program";
    EXPECT_TRUE(HasLine(tmuLog, "Set CLIP2 Status to Begin Play Failed"));

    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    EXPECT_EQ(PgmId(m), 1);
    EXPECT_EQ(PstId(m), 2);
    calls.Clear();
    m.SetTaskStatus(2, BROTASK_BEGINPLAY);
    EXPECT_EQ(IdList(m), (V{2, 3}));
    EXPECT_EQ(Told(), (std::vector<Msg>{{2, 11}, {1, 13}})) << "the new program first";
    EXPECT_FALSE(calls.lockHeld) << "callbacks run after the lock is left";
    tagVideoBroTask ended;
    EXPECT_EQ(m.PopEndedTask(&ended), 1);
    EXPECT_EQ(ended.Status, BROTASK_ENDPLAY);

    calls.Clear();
    m.SetTaskStatus(1, BROTASK_EJECTBEGIN);
    EXPECT_TRUE(calls.Calls().empty()) << "a task taken off the ended list is not told";
    m.SetTaskStatus(2, BROTASK_ENDPLAY);
    EXPECT_EQ(PgmId(m), 0);
    EXPECT_EQ(PstId(m), 3);
    EXPECT_TRUE(HasLine(tmuLog, "Set CLIP2 Status to End Play OK"));
}

TEST_F(TaskMgr1Test, FlagReportsTellEveryValueThatDiffersFromTheFlagWord)
{
    AddThree();
    for (int32_t flags : {1, 1, 0, 3, 1}) m.SetTaskFlag(1, flags);
    std::vector<int32_t> extras;
    for (const auto &call : calls.Calls()) {
        EXPECT_EQ(call.status, BROTASK_ERRNOTIFY);
        extras.push_back(call.extra);
    }
    EXPECT_EQ(extras, (std::vector<int32_t>{1, 0, 3, 1})) << "the value given, not the word";
    EXPECT_EQ(m.GetTaskFlag(1), 3) << "bits are only added";
    EXPECT_EQ(m.SetTaskFlag(9, 1), 0);
}

TEST_F(TaskMgr1Test, TheProgramTaskLeavingTheListTakesTheProgramIdWithIt)
{
    AddThree();
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    m.InsertTask(calls.Task(4, "SRC2", 65 * kSecond, 250), 1);
    EXPECT_EQ(IdList(m), (V{1, 4, 2, 3})) << "nothing goes before the task on air";
    m.RemoveTask(1);
    EXPECT_EQ(PgmId(m), 0);
    EXPECT_EQ(PstId(m), 4) << "the head is the preset, not taken for the task on air";
    m.SetTaskStatus(4, BROTASK_BEGINPLAY);
    m.RemoveAllTask();
    m.AddTask(calls.Task(5, "SRC1", 90 * kSecond, 250));
    EXPECT_EQ(PgmId(m), 0);
    EXPECT_EQ(PstId(m), 5);
}

TEST_F(TaskMgr1Test, SubmitKeepsTheProgramAtTheHeadAndWhatTheSourcesWrote)
{
    AddThree();
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    m.SetTaskParam1(2, 77);
    m.SetTaskStatus(2, BROTASK_ENDCUE);
    ASSERT_EQ(m.Submit(TaskList{calls.Task(1, "SRC1", 60 * kSecond, 500),
                                calls.Task(2, "SRC2", 70 * kSecond, 250),
                                calls.Task(7, "SRC2", -5 * kSecond, 250)},
                       0),
              1);
    EXPECT_EQ(IdList(m), (V{1, 7, 2})) << "sorted by start, the task on air first";
    EXPECT_EQ(PgmId(m), 1);
    EXPECT_EQ(Stored(m, 2).Status, BROTASK_ENDCUE);
    EXPECT_EQ(Stored(m, 2).Param1, 77);
    EXPECT_EQ(Stored(m, 1).DUR, 500);
    EXPECT_EQ(Stored(m, 7).Status, BROTASK_BEGIN);
}

TEST_F(TaskMgr1Test, SubmitRefusesToMoveTheProgramOrAnImminentPreset)
{
    AddThree();
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    EXPECT_EQ(m.Submit(TaskList{calls.Task(2, "SRC2", 70 * kSecond, 250)}, 0), 0) << "dropped";
    const auto other = calls.Task(1, "SRC1", 60 * kSecond, 250, BROTASK_START_TIME, "OTHER");
    EXPECT_EQ(m.Submit(TaskList{other}, 0), 0) << "another clip on air";
    EXPECT_EQ(IdList(m), (V{1, 2, 3}));

    const TaskList later{calls.Task(6, "SRC1", 60 * kSecond, 250)};
    m.RemoveAllTask();
    m.AddTask(calls.Task(5, "SRC1", 1 * kSecond, 250));
    EXPECT_EQ(m.Submit(TaskList{calls.Task(5, "SRC1", 1 * kSecond, 250)}, 0), 0)
        << "a timed preset 1 s ahead stays, even unchanged";
    Edit(m, 5, [](tagVideoBroTask &task) { task.Start -= 2 * kSecond; });
    EXPECT_EQ(m.Submit(later, 0), 0) << "overdue";
    Edit(m, 5, [](tagVideoBroTask &task) { task.StartType = BROTASK_START_TRIGGER; });
    EXPECT_EQ(m.Submit(later, 0), 1) << "a triggered preset may go";
    EXPECT_EQ(IdList(m), V{6});
}

TEST_F(TaskMgr3Test, BeginPlayKeepsTheTaskAndPresetsTheOneAfterIt)
{
    AddThree();
    m.Goto(0);
    const int64_t before = Now();
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    EXPECT_EQ(IdList(m), (V{1, 2, 3}));
    const tagVideoBroTask one = Stored(m, 1);
    EXPECT_GE(one.Start, before) << "the start becomes the time of the call";
    EXPECT_LT(one.Start, before + 10 * kMs);
    tagVideoBroTask pst;
    EXPECT_EQ(m.GetPstTask(pst), 2);
    EXPECT_EQ(pst.Start, one.GetEndTime());

    calls.Clear();
    m.SetTaskStatus(2, BROTASK_BEGINPLAY);
    EXPECT_EQ(Told(), (std::vector<Msg>{{1, 13}, {2, 11}})) << "the old program first";
    EXPECT_EQ(Stored(m, 1).Status, BROTASK_ENDPLAY) << "the played task stays";
    EXPECT_EQ(m.PopEndedTask(nullptr), 1);
    EXPECT_EQ(IdList(m, true), (V{2, 3}));

    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    EXPECT_TRUE(HasLine(tmuLog, "Pst not found"));
    m.SetTaskValue(3, 1);
    m.SetTaskStatus(3, BROTASK_CUING);
    EXPECT_EQ(m.GetTaskValue(3), 0) << "not cued to its first frame any more";
}

TEST_F(TaskMgr3Test, SubmitRenumbersLaterDuplicatesAndPresetsTheFirstButNeverTheProgram)
{
    ASSERT_EQ(m.Submit(TaskList{calls.Task(5, "SRC1", 60 * kSecond, 250),
                                calls.Task(5, "SRC2", 70 * kSecond, 250),
                                calls.Task(6, "SRC1", 80 * kSecond, 250)},
                       0),
              1);
    EXPECT_EQ(IdList(m), (V{5, 6, 7}));
    EXPECT_TRUE(HasLine(tmuLog, "Error Task (ReGen(ID=7))"));
    EXPECT_TRUE(HasLine(tmuLog, "End Submit TaskList(Failed)"));
    EXPECT_EQ(PstId(m), 5) << "with nothing on air the first task is chosen";
    EXPECT_EQ(Stored(m, 5).StartType, BROTASK_START_TRIGGER) << "and waits for the operator";

    m.SetTaskStatus(5, BROTASK_BEGINPLAY);
    ASSERT_EQ(m.Submit(TaskList{calls.Task(5, "SRC1", 60 * kSecond, 250)}, 0), 1);
    EXPECT_EQ(PstId(m), 0) << "the task on air is the only one left";
    EXPECT_EQ(Stored(m, 5).Status, BROTASK_BEGINPLAY) << "and is not set back to Begin";
}

TEST_F(TaskMgr3Test, SubmitWithoutTheProgramStopsItAndLetsATriggeredPresetGo)
{
    AddThree();
    m.Goto(0);
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    Edit(m, 2, [](tagVideoBroTask &task) { task.StartType = BROTASK_START_TRIGGER; });
    calls.Clear();
    ASSERT_EQ(m.Submit(TaskList{calls.Task(3, "SRC1", 80 * kSecond, 250)}, 0), 1);
    EXPECT_EQ(calls.Statuses(1), V{BROTASK_ENDPLAY});
    EXPECT_EQ(calls.Statuses(2), (V{BROTASK_BEGIN, BROTASK_BEGIN})) << "aborted, passed over";
    EXPECT_EQ(PgmId(m), 0);
    EXPECT_EQ(m.PopEndedTask(nullptr), 1);
    EXPECT_EQ(IdList(m), V{3});
    EXPECT_EQ(PstId(m), 3) << "the dropped preset's successor";
    EXPECT_TRUE(HasLine(tmuLog, "(GotoNext."));
}

TEST_F(TaskMgr3Test, TakeHoldAndPauseReachTheWaitingStart)
{
    AddThree();
    m.Goto(0);
    EXPECT_EQ(m.Take(1), 1) << "nothing on air";
    EXPECT_EQ(Stored(m, 1).StartType, BROTASK_START_FOLLOW) << "no start call waits: due now";
    EXPECT_LE(Stored(m, 1).GetTimeToStart(), 0);

    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    EXPECT_EQ(m.Take(1), 0) << "refused while a task is on air";
    Edit(m, 2, [](tagVideoBroTask &task) { task.StartType = BROTASK_START_FOLLOW; });
    SetBusy({TPU_UNIT_NEW});
    m.Take(0);
    EXPECT_EQ(UnitMsg(m, TPU_UNIT_NEW), Msg(TPU_CMD_PLAY_NOW, TPU_FROM_TAKE));
    EXPECT_EQ(Stored(m, 1).GetEndTime(), Stored(m, 2).Start) << "the program ends at the take";

    calls.Clear();
    EXPECT_EQ(m.Hold(), 1);
    EXPECT_EQ(Stored(m, 2).StartType, BROTASK_START_TRIGGER);
    EXPECT_EQ(PstId(m), 0) << "held: no preset until the operator chooses one";
    EXPECT_EQ(UnitMsg(m, TPU_UNIT_NEW), Msg(TPU_CMD_CANCEL, TPU_FROM_ABORT3));
    EXPECT_EQ(calls.Statuses(2), V{BROTASK_BEGIN});

    m.GotoTask(3);
    SetBusy({TPU_UNIT_NEW});
    EXPECT_EQ(m.Pause(), 1);
    EXPECT_EQ(PgmId(m), 0) << "the program is stopped";
    EXPECT_EQ(UnitMsg(m, TPU_UNIT_NEW), Msg(TPU_CMD_CANCEL, TPU_FROM_TAKE));
    EXPECT_EQ(Stored(m, 3).StartType, BROTASK_START_TRIGGER);
}

TEST_F(TaskMgr3Test, GotoPresetsAfterTheProgramAndAPresetFollowsIt)
{
    AddThree();
    m.Goto(0);
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    calls.Clear();
    m.Goto(2);
    EXPECT_EQ(PstId(m), 3);
    EXPECT_EQ(Stored(m, 3).Start, Stored(m, 1).GetEndTime());
    EXPECT_EQ(calls.Statuses(2), V{BROTASK_BEGIN}) << "the former preset";
    m.Goto(9);
    EXPECT_EQ(PstId(m), 3) << "no such index";
    EXPECT_EQ(IdList(m, true), (V{1, 3}));

    // A preset of start type 1 follows the program; the copy handed out is the one before.
    Edit(m, 3, [](tagVideoBroTask &task) {
        task.StartType = BROTASK_START_FOLLOW;
        task.Start = 0;
    });
    tagVideoBroTask pst;
    m.GetPstTask(pst);
    EXPECT_EQ(pst.Start, 0);
    EXPECT_EQ(Stored(m, 3).Start, Stored(m, 1).GetEndTime());
}

TEST_F(TaskMgr3Test, ResetClearsProgramAndPresetAndPausesTheFirstSource)
{
    AddThree();
    m.Goto(0);
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    SetBusy({TPU_UNIT_NEW});
    calls.Clear();
    EXPECT_EQ(m.Reset(), 1);
    EXPECT_EQ(PgmId(m) + PstId(m), 0);
    EXPECT_EQ(Told(), (std::vector<Msg>{{1, 1}, {2, 1}}));
    EXPECT_EQ(UnitMsg(m, TPU_UNIT_NEW), Msg(TPU_CMD_CANCEL, TPU_FROM_RESET));
    EXPECT_EQ(Src("SRC1").pauses, 1);
}

TEST_F(TaskMgr3Test, SyncTaskRecuesADriftingProgramAheadOfItself)
{
    AddThree();
    Edit(m, 1, [](tagVideoBroTask &task) { task.SOM = 100; });
    m.Goto(0);
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    CStubBroSrc &src = Src("SRC1");
    src.position = 100 + 3;
    const int64_t given = Now() - 7 * kSecond;
    EXPECT_EQ(m.SyncTask(1, &given, 0), 1);
    EXPECT_EQ(src.cuedSom, -1) << "within 9 frames";

    src.position = 100 + 40;
    const int64_t before = Now();
    EXPECT_EQ(m.SyncTask(1, &given, 0), 1);
    EXPECT_EQ(src.cuedSom, 100 + 2000 / 40) << "cued PrepareTime ahead of where it should be";
    EXPECT_GE(src.playAt, before + 2000 * kMs);
    EXPECT_LT(src.playAt, before + 2010 * kMs);
    EXPECT_EQ(Stored(m, 1).Start, given);
    EXPECT_EQ(m.SyncTask(2, &given, 0), 0) << "another task than the one on air";
}

TEST_F(TaskMgr1Test, SyncTaskAbortsThePresetOfAProgramThatHasDrifted)
{
    EXPECT_EQ(m.SyncTask(1, nullptr, 0), 0) << "no program on air";
    AddThree();
    Edit(m, 1, [](tagVideoBroTask &task) { task.Start = Now() - 10 * kSecond; });
    m.SetTaskStatus(1, BROTASK_BEGINPLAY);
    m.SetTaskStatus(2, BROTASK_ENDCUE);
    SetBusy({TPU_UNIT_CUE}); // a cue under way hears the abort
    CStubBroSrc &src = Src("SRC1");
    struct Case {
        int32_t position; // 250 frames have passed since the start
        bool aborts;
    };
    for (const Case &c :
         {Case{250 + 9, false}, Case{250 - 9, false}, Case{250 + 10, true}, Case{250 - 10, true}}) {
        m.SetTaskStatus(2, BROTASK_ENDCUE);
        tmuLog.Clear();
        src.position = c.position;
        EXPECT_EQ(m.SyncTask(0, nullptr, 0), 1) << c.position;
        EXPECT_EQ(Stored(m, 2).Status, c.aborts ? BROTASK_BEGIN : BROTASK_ENDCUE) << c.position;
        EXPECT_EQ(UnitMsg(m, TPU_UNIT_CUE),
                  c.aborts ? Msg(TPU_CMD_CANCEL, TPU_FROM_ABORT) : Msg(0, 0))
            << c.position;
        EXPECT_EQ(HasLine(tmuLog, ") : pst abort (id=CLIP2 dev=SRC2)"), c.aborts) << c.position;
    }
}

TEST_F(TaskMgr1Test, TheStagingListIsSubmittedAsAWholeAndEmptiedOnRequest)
{
    AddThree();
    EXPECT_EQ(m.AddStaged(calls.Task(5, "SRC1", 90 * kSecond, 250)), 1);
    EXPECT_EQ(m.AddStaged(calls.Task(4, "SRC2", 80 * kSecond, 250)), 1);
    EXPECT_EQ(IdList(m), (V{1, 2, 3})) << "staging leaves the pending list alone";
    ASSERT_EQ(m.SubmitStaged(), 1);
    EXPECT_EQ(IdList(m), (V{4, 5})) << "submitted and sorted by start";
    EXPECT_EQ(m.RemoveAllStaged(), 1);
    m.AddStaged(calls.Task(6, "SRC1", 100 * kSecond, 250));
    ASSERT_EQ(m.SubmitStaged(), 1);
    EXPECT_EQ(IdList(m), (V{6})) << "only what was staged since";
}

TEST_F(TaskMgr3Test, SyncTaskPutsAStoppedProgramBackOnAirAtItsPlace)
{
    AddThree();
    EXPECT_EQ(m.SyncTask(0, nullptr, 0), 0) << "no program and no id";
    EXPECT_EQ(m.SyncTask(1, nullptr, 0), 0) << "no start given";
    const int64_t given = Now() - 4 * kSecond; // 100 frames into its material
    calls.Clear();
    const int64_t before = Now();
    ASSERT_EQ(m.SyncTask(1, &given, 20), 1);
    CStubBroSrc &src = Src("SRC1");
    const int32_t offset = 20 + 100 + 2000 / 40; // the position, the time since, PrepareTime
    EXPECT_EQ(src.cuedSom, offset);
    EXPECT_GE(src.playAt, given + (offset - 20) * 400000);
    EXPECT_LT(src.playAt, before + 2010 * kMs);
    EXPECT_EQ(calls.Statuses(1),
              (std::vector<int32_t>{BROTASK_CUING, BROTASK_ENDCUE, BROTASK_PLAYING}));
    EXPECT_EQ(PgmId(m), 1);
    EXPECT_EQ(Stored(m, 1).Start, given);
    EXPECT_EQ(Stored(m, 1).Status, BROTASK_PLAYING);
    EXPECT_TRUE(HasLine(tmuLog, "SyncStoppedPgm:StartTime."));
    EXPECT_TRUE(HasLine(tmuLog, ": ClipID =CLIP1,SOM=")) << "SyncStoppedPgmCue";
    EXPECT_EQ(m.SyncTask(2, &given, 0), 0) << "another task than the one on air";

    // A task whose material has all been played by now is not cued.
    m.StopPgm(0);
    src.cuedSom = -1;
    const int64_t longAgo = Now() - 60 * kSecond;
    EXPECT_EQ(m.SyncTask(3, &longAgo, 0), 0);
    EXPECT_EQ(src.cuedSom, -1);
}

TEST_F(TaskMgr3Test, TheSynchronisedStatusNamesTheProgramTask)
{
    AddThree();
    m.SetTaskStatus(0, BROTASK_PLAYING);
    EXPECT_TRUE(HasLine(tmuLog, ": SyncPgmID not found"));
    EXPECT_EQ(PgmId(m), 0);
    calls.Clear();
    m.SetTaskStatus(2, BROTASK_PLAYING);
    EXPECT_EQ(PgmId(m), 2);
    EXPECT_EQ(Stored(m, 2).Status, BROTASK_PLAYING);
    EXPECT_EQ(Told(), (std::vector<Msg>{{2, BROTASK_PLAYING}}));
}

TEST(BroTaskMgrRegistry, LiveManagersInOrderOfCreationFromAnyThread)
{
    {
        CVideoBroTaskMgr3 a;
        CVideoBroTaskMgr3 b;
        EXPECT_EQ(CVideoBroTaskMgr3::GetMgr(0), a.operator->());
        EXPECT_EQ(CVideoBroTaskMgr3::GetMgr(1), b.operator->());
        EXPECT_EQ(CVideoBroTaskMgr3::GetMgr(2), nullptr);
        EXPECT_EQ(CVideoBroTaskMgr1::GetMgr(0), nullptr) << "one list per variant";
        {
            CVideoBroTaskMgr3 copy = a;
            copy = b;
        }
        EXPECT_EQ(CVideoBroTaskMgr3::GetMgr(1), b.operator->()) << "copies share the manager";
    }
    EXPECT_EQ(CVideoBroTaskMgr3::GetMgr(0), nullptr);

    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) CVideoBroTaskMgr1::GetMgr(0);
    });
    std::vector<std::thread> makers;
    for (int i = 0; i < 6; ++i)
        makers.emplace_back([] {
            for (int n = 0; n < 30; ++n) CVideoBroTaskMgr1 mgr;
        });
    for (std::thread &maker : makers) maker.join();
    done = true;
    reader.join();
    EXPECT_EQ(CVideoBroTaskMgr1::GetMgr(0), nullptr);
}
