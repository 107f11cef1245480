// The record task list: Submit's refusals, the device checks and the router take, a whole SEQ
// recording with its statuses, aborts, the TRIGGER wait, removal of a running task, and the
// name tables, with stub devices on the manual test clock.
#include "tests/cliptasks/ClipTaskTestKit.h"

#include "drivers/tasks/CVideoRecTaskList.h"

#include <algorithm>
#include <functional>
#include <string>

using namespace cliptest;

namespace {

using V = std::vector<int32_t>;

class RecTaskTest : public ClipTaskTest {
protected:
    CVideoRecTask Task(const char *id, int32_t type, int64_t startIn = 0, const char *src = "VTR1",
                       const char *rec = "REC1")
    {
        CVideoRecTask task;
        task.m_strTaskID = id;
        task.m_strSrcDev = src;
        task.m_strRecDev = rec;
        task.m_nTaskType = type;
        task.m_strTapeID = "TAPE0001";
        task.m_strClipID = "CLIP1";
        task.m_nLength = 250;
        task.m_tsom = 1000;
        task.m_nStart = startIn ? devtest::ManualTime::Now() + startIn : 0;
        task.SetCallBack(&receiver, &Receiver::OnStatus);
        return task;
    }
    static int Submit(CVideoRecTaskList &list, CVideoRecTask task) { return list.Submit(task); }
    bool Ended(CVideoRecTaskList &list, const char *id)
    {
        return AdvanceUntil(
            [&] {
                CVideoRecTask task;
                return list.GetTaskAt(id, task) && !task.m_hThread.Valid();
            },
            100, 120000);
    }
    int32_t Errors(CVideoRecTaskList &list, const char *id)
    {
        CVideoRecTask task;
        list.GetTaskAt(id, task);
        return task.m_nError;
    }

    Receiver receiver;
    devtest::LogCapture dub{"LOG_DUB"};
};

TEST_F(RecTaskTest, ARecorderServesOneTaskWhileALineSourceMayBeShared)
{
    CVideoRecTaskList list;
    CVideoRecTask first = Task("T1", RECTASK_TIME, 3600 * kSecond, "LINE", "REC1");
    EXPECT_EQ(list.Submit(first), 1);
    EXPECT_EQ(first.m_nStatus, RECTASK_BEGIN); // the caller's record stays as it was
    EXPECT_EQ(Submit(list, Task("T2", RECTASK_TIME, 3600 * kSecond, "VTR2", "rec1")), 0);
    EXPECT_TRUE(dub.Has("录制任务:<T2> CVideoRecTaskList::_Impl::Submit 退出 --- 000"));
    EXPECT_TRUE(dub.Has("录制任务:<T2> 使用的源设备为<VTR2> 录制设备为<rec1>"));
    EXPECT_EQ(Submit(list, Task("T3", RECTASK_TIME, 3600 * kSecond, "line", "REC2")), 0);
    CVideoRecTask shared = Task("T4", RECTASK_TIME, 3600 * kSecond, "LINE", "REC2");
    shared.m_strTapeType = "X_LVSRC_LINE";
    EXPECT_EQ(list.Submit(shared), 1);
    EXPECT_EQ(list.DevIsFree("line"), 0);
    EXPECT_EQ(list.DevIsFree("VTR2"), 1);

    CStringArray ids;
    EXPECT_EQ(list.GetTaskIDList(ids), 2);
    EXPECT_EQ(ids[1], "T4");
    CVideoRecTask copy;
    EXPECT_EQ(list.GetTaskAt(1, copy), 1);
    EXPECT_EQ(copy.m_strTaskID, "T4");
    EXPECT_EQ(list.GetTaskAt(2, copy), 0);
    EXPECT_EQ(list.GetTaskAt("t4", copy), 0); // ids compare exactly
}

TEST_F(RecTaskTest, ALongTapeIdIsCheckedAndFoundByItsLastEightCharacters)
{
    CVideoRecTaskList list;
    CVideoRecTask task = Task("T1", RECTASK_TIME, 3600 * kSecond);
    task.m_strTapeID = "ABCD12345678";
    list.Submit(task);
    ASSERT_TRUE(AdvanceUntil([&] { return list.GetTaskStatus("T1") == RECTASK_INITED; }));
    std::lock_guard<std::mutex> lk(Dev<CStubVtr>("VTR1").lock);
    EXPECT_EQ(Dev<CStubVtr>("VTR1").checkedTape, "12345678");
    EXPECT_EQ(Dev<CStubVtr>("VTR1").cuedTape, "12345678");
    CStringArray ids;
    EXPECT_EQ(list.GetTaskIDArrByTapeID("12345678", ids), 1);
    EXPECT_EQ(list.GetTaskIDArrByTapeID("ABCD12345678", ids), 0);
}

TEST_F(RecTaskTest, AClipAlreadyOnTheRecorderEndsTheTaskBeforeTheCue)
{
    Dev<CStubRec>("REC1").existing = 1000;
    CVideoRecTaskList list;
    Submit(list, Task("T1", RECTASK_SEQ));
    ASSERT_TRUE(Ended(list, "T1"));
    EXPECT_EQ(Errors(list, "T1"), RECTASK_ERR_CLIPEXISTS);
    EXPECT_EQ(receiver.calls.Statuses(), (V{5, 6, 7, 7, 7, 256}));
    EXPECT_EQ(Dev<CStubVtr>("VTR1").cues, 0);
    EXPECT_TRUE(dub.Has("录制任务:<T1> 待录的素材编号为:<CLIP1> 素材已经存在，长度为:<0:0:40:0>"));
    list.ClearFinishedJob();
    EXPECT_EQ(list.GetTaskCount(), 0);
    EXPECT_EQ(list.GetTaskStatus("T1"), RECTASK_ABORT);
}

TEST_F(RecTaskTest, AFailingTakeIsRetriedEveryThreeSecondsUntilTheStartIsNear)
{
    CStubRouter &router = Dev<CStubRouter>("SW1");
    router.succeed = 0;
    CVideoRecTaskList list;
    CVideoRecTask seq = Task("T1", RECTASK_SEQ);
    seq.m_strSwitchDev = "SW1";
    list.Submit(seq);
    ASSERT_TRUE(Ended(list, "T1"));
    EXPECT_EQ(Errors(list, "T1"), RECTASK_ERR_TAKE);
    // Both outputs of REC1 from VTR1's input, once: a start of 0 is never far enough ahead.
    EXPECT_EQ(router.Takes(), (std::vector<std::pair<int, int>>{{7, 3}, {9, 3}}));

    CVideoRecTask timed = Task("T2", RECTASK_TIME, 60 * kSecond, "VTR2", "REC2");
    timed.m_strSwitchDev = "SW1";
    list.Submit(timed);
    ASSERT_TRUE(Ended(list, "T2"));
    EXPECT_EQ(Errors(list, "T2"), RECTASK_ERR_TAKE);
    const auto takes = router.Takes();
    EXPECT_EQ(takes.back(), (std::pair<int, int>{5, 1}));
    // 60 s ahead, 3 s apart, the last when less than 20 s were left (the manual clock may run
    // ahead of the task's thread, never behind it).
    EXPECT_GE(takes.size() - 2, 10u);
    EXPECT_LE(takes.size() - 2, 15u);

    router.succeed = 1;
    CVideoRecTask third = Task("T3", RECTASK_TIME, 3600 * kSecond, "VTR2", "REC2");
    third.m_strSwitchDev = "SW1";
    list.Submit(third);
    EXPECT_TRUE(AdvanceUntil([&] { return list.GetTaskStatus("T3") == RECTASK_INITED; }));
    EXPECT_TRUE(dub.Has("录制任务:<T3> CVideoRecTaskList::_Impl::__RecTaskProc 切换成功 源编号:1 "
                        "目的编号:5"));
}

TEST_F(RecTaskTest, ASequentialRecordingRunsThroughEveryStatusToItsEnd)
{
    CVideoRecTaskList list;
    Submit(list, Task("T1", RECTASK_SEQ));
    ASSERT_TRUE(Ended(list, "T1"));
    EXPECT_EQ(list.GetTaskStatus("T1"), RECTASK_FINISHED);
    EXPECT_EQ(Errors(list, "T1"), 0);
    // Progress (13) apart: 250 frames plan 13 s and run 14 passes.
    EXPECT_EQ(receiver.calls.Statuses(13),
              (V{5, 6, 7, 7, 7, 7, 9, 10, 10, 11, 12, 14, 15, 17, 16, 17, 18, 20, 23}));
    EXPECT_EQ(receiver.calls.Params(13),
              (V{2, 25, 50, 75, 100, 125, 150, 175, 200, 225, 250, 275, 300, 325, 350, 250}));
    EXPECT_TRUE(dub.Has("录制任务:<T1> 计划录制13秒后退出"));
    EXPECT_TRUE(dub.Has("录制任务:<T1> 经核对录像机已经停止 TRYTIME=<0>"));
    CStubVtr &vtr = Dev<CStubVtr>("VTR1");
    EXPECT_EQ(vtr.plays, 1);
    EXPECT_EQ(vtr.stops, 2); // the stop, then the end action STOP
    EXPECT_EQ(Dev<CStubRec>("REC1").records, 1);
}

TEST_F(RecTaskTest, AnAbortWhileRecordingEndsAbortedOrFinishedAsTheClipIsKept)
{
    CVideoRecTaskList list;
    Submit(list, Task("DROP", RECTASK_SEQ));
    Submit(list, Task("KEEP", RECTASK_SEQ, 0, "VTR2", "REC2"));
    ASSERT_TRUE(AdvanceUntil([&] {
        return receiver.calls.Params(13).size() >= 8; // both are recording
    }));
    list.AbortTask("DROP", 0);
    list.AbortTask("KEEP", 1);
    ASSERT_TRUE(Ended(list, "DROP"));
    ASSERT_TRUE(Ended(list, "KEEP"));
    EXPECT_EQ(list.GetTaskStatus("DROP"), RECTASK_ABORT);
    EXPECT_EQ(list.GetTaskStatus("KEEP"), RECTASK_FINISHED);
    EXPECT_TRUE(dub.Has("录制任务:<DROP> 因为被不保留中断而停止录制"));
    EXPECT_TRUE(dub.Has("录制任务:<KEEP> 因为被保留中断而停止录制"));
    EXPECT_TRUE(dub.Has("录制任务:<DROP> 被手工终止录制"));
}

TEST_F(RecTaskTest, ATriggerAnsweredWithZeroEndsTheTaskAfterTheCue)
{
    CVideoRecTaskList list;
    Submit(list, Task("T1", RECTASK_TRIGGER));
    ASSERT_TRUE(Ended(list, "T1"));
    EXPECT_EQ(receiver.calls.All().back(), (Call{"T1", RECTASK_WAITING, 1800000}));
    EXPECT_EQ(list.GetTaskStatus("T1"), RECTASK_INITED);
    EXPECT_EQ(Dev<CStubRec>("REC1").records, 0);
    EXPECT_TRUE(dub.Has("录制任务:<T1> CVideoRecTaskList::_Impl::_RecTask_Trigger 退出 --- 013"));
}

TEST_F(RecTaskTest, AnAbortBeforeATimedStartEndsTheWaitWithoutRecording)
{
    CVideoRecTaskList list;
    Submit(list, Task("T1", RECTASK_TIME, 3600 * kSecond));
    ASSERT_TRUE(AdvanceUntil([&] { return list.GetTaskStatus("T1") == RECTASK_INITED; }));
    list.AbortTask("T1", 1);
    EXPECT_EQ(list.GetTaskStatus("T1"), RECTASK_ABORT);
    ASSERT_TRUE(Ended(list, "T1"));
    EXPECT_EQ(Dev<CStubRec>("REC1").records, 0);
}

TEST_F(RecTaskTest, AnAbortBeforeTheRecordingStaysAndNothingIsRecordedAfterIt)
{
    struct Case {
        int32_t type;
        int32_t status; // aborted when this status is told
        int32_t param;  // with this parameter; -1 any
        bool failingTake = false;
    };
    std::vector<Case> cases;
    for (const int32_t type : {RECTASK_SEQ, RECTASK_TIME, RECTASK_TRIGGER})
        for (const int32_t at : {RECTASK_DEVCHKBEGIN, RECTASK_DEVCHKING, RECTASK_BEGININIT,
                                 RECTASK_INITING, RECTASK_INITED})
            cases.push_back({type, at, -1});
    // While a failing router take is retried, an hour before the start.
    cases.push_back({RECTASK_TIME, RECTASK_DEVCHKING, 3, true});

    CStubVtr &vtr = Dev<CStubVtr>("VTR1");
    CStubRec &rec = Dev<CStubRec>("REC1");
    CStubRouter &router = Dev<CStubRouter>("SW1");
    for (const Case &c : cases) {
        const std::string name = CVideoRecTaskList::TaskTypeToString(c.type).GetString() +
                                 std::string(" aborted at ") + std::to_string(c.status);
        vtr.plays = 0;
        rec.records = 0; // the clip is not there yet
        router.succeed = c.failingTake ? 0 : 1;
        CVideoRecTaskList list;
        Receiver told;
        told.calls.answer[RECTASK_WAITING] = 1; // a trigger would start the recording
        bool aborted = false;
        told.onStatus = [&](const char *id, int32_t status, int32_t param) {
            if (status == c.status && (c.param < 0 || param == c.param) && !aborted)
                aborted = list.AbortTask(id, 0) == 1;
        };
        CVideoRecTask task = Task("T1", c.type, 3600 * kSecond);
        if (c.failingTake) task.m_strSwitchDev = "SW1";
        task.SetCallBack(&told, &Receiver::OnStatus);
        ASSERT_EQ(list.Submit(task), 1) << name;
        ASSERT_TRUE(Ended(list, "T1")) << name;
        CVideoRecTask stored;
        ASSERT_EQ(list.GetTaskAt("T1", stored), 1) << name;
        EXPECT_EQ(stored.m_nStatus, RECTASK_ABORT) << name;
        EXPECT_TRUE(aborted) << name;
        const V statuses = told.calls.Statuses();
        EXPECT_EQ(statuses.back(), RECTASK_ABORT) << name << ": the abort is told last";
        EXPECT_EQ(std::count(statuses.begin(), statuses.end(), RECTASK_ABORT), 1) << name;
        EXPECT_EQ(vtr.plays, 0) << name;
        EXPECT_EQ(rec.records, 0) << name;
    }
}

TEST_F(RecTaskTest, AnAbortStandsOnceMadeAndItsTaskStaysListedUntilItsThreadIsThrough)
{
    CStubRec &rec = Dev<CStubRec>("REC1");
    CVideoRecTaskList list;
    // Aborted while it waits for its timed start: its thread stops the recorder it set up
    // before the task leaves the list, and a second abort changes nothing.
    Submit(list, Task("T1", RECTASK_TIME, 3600 * kSecond));
    ASSERT_TRUE(AdvanceUntil([&] { return list.GetTaskStatus("T1") == RECTASK_INITED; }));
    list.AbortTask("T1", 0);
    list.ClearFinishedJob();
    EXPECT_EQ(list.GetTaskCount(), 1);
    list.AbortTask("T1", 1);
    EXPECT_EQ(list.GetTaskStatus("T1"), RECTASK_ABORT);
    ASSERT_TRUE(Ended(list, "T1"));
    EXPECT_EQ(rec.stops, 1);
    EXPECT_EQ(rec.records, 0);
    list.ClearFinishedJob();
    EXPECT_EQ(list.GetTaskCount(), 0);

    // Aborted twice as the cue ends: the second abort does not let the steps go on.
    Receiver twice;
    twice.onStatus = [&](const char *id, int32_t status, int32_t param) {
        if (status != RECTASK_INITING || param != 4) return;
        list.AbortTask(id, 0);
        list.AbortTask(id, 1);
    };
    CVideoRecTask seq = Task("T2", RECTASK_SEQ);
    seq.SetCallBack(&twice, &Receiver::OnStatus);
    list.Submit(seq);
    ASSERT_TRUE(Ended(list, "T2"));
    EXPECT_EQ(list.GetTaskStatus("T2"), RECTASK_ABORT);
    EXPECT_EQ(rec.records, 0);

    // A finished task keeps its end.
    Submit(list, Task("T3", RECTASK_SEQ));
    ASSERT_TRUE(Ended(list, "T3"));
    list.AbortTask("T3", 0);
    EXPECT_EQ(list.GetTaskStatus("T3"), RECTASK_FINISHED);
}

TEST_F(RecTaskTest, AnAbortStoredWhileRecordingStaysAndTheDevicesAreStillStopped)
{
    CVideoRecTaskList list;
    Submit(list, Task("T1", RECTASK_SEQ));
    ASSERT_TRUE(AdvanceUntil([&] { return receiver.calls.Params(13).size() >= 3; }));
    list.ModifyTaskStatus("T1", RECTASK_ABORT);
    ASSERT_TRUE(Ended(list, "T1"));
    EXPECT_EQ(list.GetTaskStatus("T1"), RECTASK_ABORT);
    EXPECT_EQ(Dev<CStubRec>("REC1").stops, 1);
    EXPECT_GE(Dev<CStubVtr>("VTR1").stops, 1);
}

TEST_F(RecTaskTest, ARemovedTaskIsGoneAtOnceAndItsThreadTellsNothingMore)
{
    CVideoRecTaskList list;
    Submit(list, Task("T1", RECTASK_TIME, 3600 * kSecond));
    ASSERT_TRUE(AdvanceUntil([&] { return list.GetTaskStatus("T1") == RECTASK_INITED; }));
    CVideoRecTask task;
    list.GetTaskAt("T1", task);
    EXPECT_EQ(list.RemoveTask("T1"), 1);
    EXPECT_TRUE(task.m_hThread.Join(0));
    const size_t told = receiver.calls.Size();
    plat::TestClock::Advance(3600 * 1000);
    EXPECT_EQ(list.RemoveTask("T1"), 0);
    EXPECT_EQ(list.GetTaskStatus("T1"), RECTASK_ABORT);
    EXPECT_EQ(receiver.calls.Size(), told);
    EXPECT_EQ(Dev<CStubRec>("REC1").records, 0);
}

TEST(RecTaskTables, NamesStatusInfosAndErrorTexts)
{
    EXPECT_EQ(CVideoRecTaskList::TaskTypeToString(3), "TRIGGER");
    EXPECT_EQ(CVideoRecTaskList::TaskStatusToString(25), "");
    EXPECT_EQ(CVideoRecTaskList::StringToTaskStatus("REVERSEABORT"), 22);
    EXPECT_EQ(CVideoRecTaskList::StringToTaskType("seq"), 0);
    CString info = "kept";
    EXPECT_EQ(CVideoRecTaskList::GetTaskStatusInfo(99, info), 0);
    EXPECT_EQ(info, "kept");
    EXPECT_NE(CVideoRecTaskList::GetTaskStatusInfo(512, info), 0);
    EXPECT_EQ(info, "等待");

    CStringArray texts;
    texts.Add("before");
    EXPECT_EQ(CVideoRecTaskList::GetTaskErrInfo(0x801 | 0x10, texts), 4);
    EXPECT_EQ(texts[1], "录制设备未就绪");
    EXPECT_EQ(texts[3], "录制停止失败");
    CString last;
    EXPECT_NE(CVideoRecTaskList::GetLastTaskError(0x10000 | 0x20, last), 0);
    EXPECT_EQ(last, "源预卷失败");
    EXPECT_EQ(CVideoRecTaskList::GetLastTaskError(0x10000, last), 0);
    EXPECT_EQ(last, "");
}

} // namespace
