// The clip copy manager: the job lists and refusals, the channel limits of the three limit
// types, a job's statuses and its retries, the watchdog, and stopping copies that hang in the
// store, on the manual test clock.
#include "tests/cliptasks/ClipTaskTestKit.h"

#include "drivers/tasks/CVideoClipCopyTaskMgr.h"
#include "platform/Process.h"

using namespace cliptest;

namespace {

class Receiver : public CVideoClipCopyTaskReceiver {
public:
    int32_t OnStatus(int32_t id, int32_t status, int32_t param)
    {
        calls.Add(std::to_string(id), status, param);
        return 0;
    }
    Calls calls;
};

// The debug output while it lives; lines that come later (from given-up threads) are dropped.
class DebugCapture {
public:
    DebugCapture()
        : m_lines(std::make_shared<Lines>()),
          m_previous(plat::SetDebugOutputSink([lines = m_lines](const char *text) {
              std::lock_guard<std::mutex> lk(lines->lock);
              lines->texts.emplace_back(text);
          }))
    {
    }
    ~DebugCapture() { plat::SetDebugOutputSink(m_previous); }
    bool Has(const std::string &text)
    {
        std::lock_guard<std::mutex> lk(m_lines->lock);
        return std::find(m_lines->texts.begin(), m_lines->texts.end(), text) !=
               m_lines->texts.end();
    }

private:
    struct Lines {
        std::mutex lock;
        std::vector<std::string> texts;
    };
    std::shared_ptr<Lines> m_lines;
    plat::DebugOutputSink m_previous;
};

std::atomic<int> g_restarts{0};
int CountRestart()
{
    return ++g_restarts, 1;
}

class ClipCopyTest : public ClipTaskTest {
protected:
    explicit ClipCopyTest(const std::string &extra = "") : ClipTaskTest(extra)
    {
        g_restarts = 0;
        m_previousRestart = CVideoClipCopyTaskMgr::SetRestartAction(&CountRestart);
    }
    ~ClipCopyTest() override { CVideoClipCopyTaskMgr::SetRestartAction(m_previousRestart); }

    tagVideoClipCopyTask Job(const char *src, const char *dest, const char *clip,
                             int64_t queueTime = 0)
    {
        tagVideoClipCopyTask task;
        task.strSrcStore = src;
        task.strDestStore = dest;
        task.strClipID = clip;
        task.strCopyArg = "ARG";
        task.nQueueTime = queueTime;
        task.SetCallBack(&receiver, &Receiver::OnStatus);
        return task;
    }
    int Add(CVideoClipCopyTaskMgr &mgr, tagVideoClipCopyTask task) { return mgr.AddCopyTask(task); }
    static bool Active(CVideoClipCopyTaskMgr &mgr, const char *src, const char *dest,
                       const char *clip)
    {
        return mgr.IsActiveCopyTask(src, dest, clip) == 1;
    }
    static std::vector<uint32_t> Ids(CVideoClipCopyTaskMgr &mgr)
    {
        CDWordArray ids;
        mgr.GetTaskList(ids);
        return std::vector<uint32_t>(ids.begin(), ids.end());
    }
    static tagVideoClipCopyTask Stored(CVideoClipCopyTaskMgr &mgr, int id)
    {
        tagVideoClipCopyTask task;
        EXPECT_EQ(mgr.GetTaskAt(id, task), 1) << id;
        return task;
    }

    Receiver receiver;
    devtest::LogCapture copyLog{"LOG_COPYTASK"};
    CVideoClipCopyTaskMgr::RestartAction m_previousRestart = nullptr;
};

TEST_F(ClipCopyTest, JobsQueueByTimeAndRefuseASecondCopyOfAClipToOneStore)
{
    CopyKnobs::Hold("C1");
    CVideoClipCopyTaskMgr mgr;
    tagVideoClipCopyTask first = Job("STA", "STB", "C1", 10);
    first.nStatus = 5;
    first.nFailures = 2;
    EXPECT_EQ(mgr.AddCopyTask(first), 1);
    EXPECT_EQ(first.nTaskID, 1);
    EXPECT_EQ(first.nStatus, 0);
    EXPECT_EQ(first.nFailures, 0);
    ASSERT_TRUE(AdvanceUntil([&] { return Active(mgr, "sta", "stb", "c1"); }));

    // Same store pair: they wait behind C1, in queue-time order (equal times keep their order).
    EXPECT_EQ(Add(mgr, Job("STA", "STB", "C4", 30)), 2);
    EXPECT_EQ(Add(mgr, Job("STB", "STA", "C2", 20)), 3);
    EXPECT_EQ(Add(mgr, Job("STA", "STB", "C3", 20)), 4);
    tagVideoClipCopyTask chosen = Job("STA", "STB", "C5", 40);
    chosen.nTaskID = 3; // taken: the next free id instead
    EXPECT_EQ(mgr.AddCopyTask(chosen), 5);
    EXPECT_EQ(Ids(mgr), (std::vector<uint32_t>{1, 3, 4, 2, 5}));

    // Same destination and clip, in any letter case, from any source: refused.
    EXPECT_EQ(Add(mgr, Job("STC", "stb", "c1")), 0);
    EXPECT_EQ(Add(mgr, Job("STC", "STA", "C2")), 0);
    EXPECT_EQ(Add(mgr, Job("STC", "STC", "C2")), 6);

    // Removal takes waiting jobs only.
    EXPECT_EQ(mgr.RemoveCopyTask("sta", "stb", "C1"), 1);
    EXPECT_EQ(mgr.RemoveCopyTask("STA", "STB", "c3"), 1);
    EXPECT_EQ(mgr.GetTaskCount(), 5);
    EXPECT_TRUE(Active(mgr, "STA", "STB", "C1"));
    tagVideoClipCopyTask task;
    EXPECT_EQ(mgr.GetTaskAt(4, task), 0);
    EXPECT_EQ(Stored(mgr, 2).strCopyArg, "ARG");
}

TEST_F(ClipCopyTest, DefaultLimitRunsOneCopyPerStorePairInEitherDirection)
{
    CopyKnobs::Hold("AB");
    CopyKnobs::Hold("AC");
    CVideoClipCopyTaskMgr mgr;
    EXPECT_EQ(mgr.Init("/etc/tvx/CopyDefault"), 0);
    EXPECT_EQ(mgr.GetChannelLimit("STA", "STB"), 1);
    Add(mgr, Job("STA", "STB", "AB"));
    Add(mgr, Job("STB", "STA", "BA"));
    Add(mgr, Job("STA", "STC", "AC"));
    ASSERT_TRUE(AdvanceUntil([&] { return Active(mgr, "STA", "STC", "AC"); }));
    EXPECT_TRUE(Active(mgr, "STA", "STB", "AB"));
    plat::TestClock::Advance(3000);
    EXPECT_FALSE(Active(mgr, "STB", "STA", "BA"));

    CopyKnobs::Release("AB");
    ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 3; }));
    EXPECT_EQ(CopyKnobs::Copies().back(), "STB:BA->STA:ARG");
}

class AllowChannelTest : public ClipCopyTest {
protected:
    AllowChannelTest()
        : ClipCopyTest(
              devtest::Section(
                  "Copy", {{"ChannelLimitType", "allowchannel"},
                           {"AllowChannel", "{\" sta-stb:0 \",\"\",\"STB-STA:2\",\"stc-sta\"}"},
                           {"AllowTaskCountofDestNode", "{\"stb:1\",\"STA:1\"}"}}) +
              devtest::Section("Nodes", {{"ChannelLimitType", "MAXNODE"}, {"nMaxNode", "1"}}))
    {
    }
};

TEST_F(AllowChannelTest, OnlyListedChannelsAndDestinationsTakeJobs)
{
    CVideoClipCopyTaskMgr mgr;
    mgr.Init("/etc/tvx/Copy");
    EXPECT_EQ(mgr.GetChannelLimit("STA", "STB"), 1); // a count below 1 counts 1
    EXPECT_EQ(mgr.GetChannelLimit("stb", "sta"), 2);
    EXPECT_EQ(mgr.GetChannelLimit("STC", "STA"), 1);
    EXPECT_EQ(mgr.GetChannelLimit("STA", "STC"), 0);
    EXPECT_EQ(mgr.GetChannelLimit(2, 1), 2); // by the stores' locations

    CopyKnobs::Hold("X1");
    Add(mgr, Job("STA", "STB", "X1"));
    Add(mgr, Job("STA", "STB", "X2")); // channel allows one
    Add(mgr, Job("STA", "STC", "X3")); // channel not listed
    Add(mgr, Job("STB", "STA", "X4"));
    Add(mgr, Job("STC", "STA", "X5")); // destination STA allows one
    ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 2; }));
    EXPECT_TRUE(Active(mgr, "STA", "STB", "X1"));
    EXPECT_FALSE(Active(mgr, "STA", "STB", "X2"));
    // X5 follows once X4 has left STA.
    ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 3; }));
    EXPECT_EQ(CopyKnobs::Copies().back(), "STC:X5->STA:ARG");
    EXPECT_TRUE(AdvanceUntil([&] { return copyLog.Has("启动拷贝作业A(STC->STA,X5)"); }));
    CopyKnobs::Release("X1");
    ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 4; }));
    plat::TestClock::Advance(5000);
    EXPECT_EQ(Ids(mgr), (std::vector<uint32_t>{3})); // never starts

    CVideoClipCopyTaskMgr nodes;
    nodes.Init("/etc/tvx/Nodes");
    EXPECT_EQ(nodes.GetChannelLimit("STA", "STB"), 1);
}

TEST_F(ClipCopyTest, AFailingCopyIsRetriedThreeHoursLaterAndDroppedAfterItsThirdFailure)
{
    CopyKnobs::failing.insert("BAD");
    devtest::LogCapture warnLog{"LOG_WARN"};
    CVideoClipCopyTaskMgr mgr;
    const int id = Add(mgr, Job("STA", "STB", "BAD", 1000));
    ASSERT_TRUE(AdvanceUntil(
        [&] { return receiver.calls.Statuses() == std::vector<int32_t>{2, 3, 4, 6, 6, 16}; }));
    EXPECT_EQ(receiver.calls.Params(6), (std::vector<int32_t>{0, 50}));
    EXPECT_EQ(receiver.calls.Params(16), (std::vector<int32_t>{16}));
    EXPECT_EQ(CVideoClipCopyTaskMgr::StatusToString(6, 50), "拷贝中(50%)");
    EXPECT_EQ(CVideoClipCopyTaskMgr::StatusToString(16, 16), "拷贝错误");
    EXPECT_TRUE(warnLog.Has("<AlarmType=\"素材拷贝失败\" ClipID=\"BAD\" SrcDev=\"STA\" "
                            "DestDev=\"STB\">"));
    // Held in the failed list for its retry, which still refuses a duplicate.
    EXPECT_EQ(Add(mgr, Job("STC", "STB", "BAD")), 0);

    ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 3; }));
    ASSERT_TRUE(AdvanceUntil([&] { return mgr.GetTaskCount() == 0; }));
    EXPECT_EQ(receiver.calls.Params(16).size(), 3u);
    const auto lines = copyLog.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "重新启动拷贝失败的作业(STA->STB,BAD)"), 2);
    EXPECT_EQ(id, 1);
}

TEST_F(ClipCopyTest, AStoreThatCannotBeHadOrThrowsFailsTheJob)
{
    CopyKnobs::throwing.insert("T");
    CVideoClipCopyTaskMgr mgr;
    const int missing = Add(mgr, Job("STX", "STA", "M"));
    const int thrown = Add(mgr, Job("STB", "STC", "T"));
    ASSERT_TRUE(AdvanceUntil([&] { return receiver.calls.Params(16).size() == 2; }));
    const auto calls = receiver.calls.All();
    EXPECT_NE(std::find(calls.begin(), calls.end(), Call{std::to_string(missing), 16, 1}),
              calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), Call{std::to_string(thrown), 16, 16}),
              calls.end());
    EXPECT_TRUE(AdvanceUntil([&] {
        tagVideoClipCopyTask task;
        return mgr.GetTaskAt(thrown, task) && task.nFailures == 1 && task.nStatus == 0;
    }));
}

TEST_F(ClipCopyTest, AHungCopyIsEndedByTheWatchdogAndItsLateResultIsDiscarded)
{
    DebugCapture debug;
    CopyKnobs::Hold("HUNG");
    CVideoClipCopyTaskMgr mgr;
    const int id = Add(mgr, Job("STA", "STB", "HUNG"));
    ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 1; }));
    plat::TestClock::Advance(299000);
    plat::TestClock::Advance(1000);
    EXPECT_EQ(g_restarts, 0);
    EXPECT_TRUE(Active(mgr, "STA", "STB", "HUNG"));

    ASSERT_TRUE(AdvanceUntil([&] { return g_restarts == 1; }, 100, 5000));
    EXPECT_TRUE(copyLog.Has("检查到一个无效的作业(STA->STB,HUNG)"));
    EXPECT_FALSE(Active(mgr, "STA", "STB", "HUNG"));
    const size_t told = receiver.calls.Size();
    const tagVideoClipCopyTask failed = Stored(mgr, id);
    EXPECT_EQ(failed.nFailures, 1);
    EXPECT_FALSE(failed.hThread.Valid());

    // The store returns at last: the run was ended, so nothing of it reaches the job. The
    // requeued job may run again meanwhile, so the old run is released first, alone.
    mgr.RemoveErrorTask();
    CopyKnobs::Release("HUNG");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(receiver.calls.Size(), told);
    EXPECT_TRUE(debug.Has("VideoClipCopyTask::EndCopyTask failed\n"));
}

TEST_F(ClipCopyTest, ShutDownLeavesCopiesHangingInTheStoreAndEndsTheScheduler)
{
    CopyKnobs::Hold("H1");
    {
        CVideoClipCopyTaskMgr mgr;
        CVideoClipCopyTaskMgr copy = mgr; // the last handle shuts the manager down
        Add(mgr, Job("STA", "STB", "H1"));
        Add(mgr, Job("STA", "STB", "H2"));
        ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 1; }));
        EXPECT_EQ(copy.GetTaskCount(), 2);
    }
    const size_t told = receiver.calls.Size();
    CopyKnobs::Release("H1");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    plat::TestClock::Advance(5000);
    EXPECT_EQ(receiver.calls.Size(), told);
    EXPECT_EQ(CopyKnobs::Copies().size(), 1u);
}

} // namespace
