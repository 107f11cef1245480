// The clip copy manager: the job lists and refusals, the channel limits of the three limit
// types, a job's statuses and its retries, the watchdog, and stopping copies that hang in the
// store, on the manual test clock.
#include "tests/cliptasks/ClipTaskTestKit.h"

#include "drivers/tasks/CVideoClipCopyTaskMgr.h"
#include "platform/Process.h"

#include <unistd.h>

using namespace cliptest;

namespace {

// Holds the job threads that report its status (in their receiver's callback) until they are
// let go, so that a test can look at a job while its thread stands at a known step.
class Gate {
public:
    void Pass(int32_t status)
    {
        std::unique_lock<std::mutex> lk(m_lock);
        if (m_open || status != m_status) return;
        const uint64_t mine = m_generation;
        m_tid = static_cast<uint32_t>(gettid());
        ++m_holding;
        ++m_inside;
        m_changed.wait(lk, [&] { return m_generation != mine; });
        --m_inside;
        m_changed.notify_all();
    }
    // Lets the threads held now go and holds those that report `status` from now on.
    void Close(int32_t status)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        Release();
        m_status = status;
        m_open = false;
    }
    // Lets every thread go and waits until the held ones have left.
    void Open()
    {
        std::unique_lock<std::mutex> lk(m_lock);
        Release();
        m_open = true;
        m_changed.wait(lk, [&] { return m_inside == 0; });
    }
    // Whether a thread is held since the last Close.
    bool Holds()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_holding > 0;
    }
    // The system id of the thread held last.
    uint32_t Tid()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_tid;
    }

private:
    void Release()
    {
        ++m_generation;
        m_holding = 0;
        m_changed.notify_all();
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    int32_t m_status = -1;
    bool m_open = true;
    uint64_t m_generation = 0;
    int m_holding = 0, m_inside = 0;
    uint32_t m_tid = 0;
};

class Receiver : public CVideoClipCopyTaskReceiver {
public:
    int32_t OnStatus(int32_t id, int32_t status, int32_t param)
    {
        calls.Add(std::to_string(id), status, param);
        gate.Pass(status);
        return 0;
    }
    Calls calls;
    Gate gate;
};

// Opens the gate when the test leaves, so that no thread is left held in a receiver.
struct OpenAtEnd {
    Gate &gate;
    ~OpenAtEnd() { gate.Open(); }
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

    // Whether a copy's thread has come back from its store after its run was ended.
    bool ReturnedUnknown(int id)
    {
        return coreLog.Has("StatusUpdate:nTaskID=" + std::to_string(id) + " not found!");
    }

    Receiver receiver;
    devtest::LogCapture copyLog{"LOG_COPYTASK"};
    devtest::LogCapture coreLog{"#CLIP_CORE"};
    CVideoClipCopyTaskMgr::RestartAction m_previousRestart = nullptr;
};

TEST_F(ClipCopyTest, JobsQueueByTimeAndRefuseASecondCopyOfAClipToOneStore)
{
    CopyKnobs::Hold("C1");
    CopyKnobs::Hold("C2");
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
    EXPECT_EQ(Add(mgr, Job("STC", "STC", "C2")), 6); // runs at once, held in its store

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
    ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 2; }));
    EXPECT_TRUE(Active(mgr, "STA", "STC", "AC"));
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
    CopyKnobs::Hold("X4");
    Add(mgr, Job("STA", "STB", "X1"));
    Add(mgr, Job("STA", "STB", "X2")); // channel allows one
    Add(mgr, Job("STA", "STC", "X3")); // channel not listed
    Add(mgr, Job("STB", "STA", "X4"));
    Add(mgr, Job("STC", "STA", "X5")); // destination STA allows one
    ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 2; }));
    EXPECT_TRUE(Active(mgr, "STA", "STB", "X1"));
    EXPECT_TRUE(Active(mgr, "STB", "STA", "X4"));
    plat::TestClock::Advance(3000);
    EXPECT_FALSE(Active(mgr, "STA", "STB", "X2"));
    EXPECT_FALSE(Active(mgr, "STC", "STA", "X5"));

    // X5 follows once X4 has left STA.
    CopyKnobs::Release("X4");
    ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 3; }));
    EXPECT_EQ(CopyKnobs::Copies().back(), "STC:X5->STA:ARG");
    EXPECT_TRUE(Eventually([&] { return copyLog.Has("启动拷贝作业A(STC->STA,X5)"); }));
    CopyKnobs::Release("X1");
    ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 4; }));
    EXPECT_EQ(CopyKnobs::Copies().back(), "STA:X2->STB:ARG");
    ASSERT_TRUE(AdvanceUntil([&] { return Ids(mgr) == std::vector<uint32_t>{3}; }));
    plat::TestClock::Advance(5000);
    EXPECT_EQ(Ids(mgr), (std::vector<uint32_t>{3})); // never starts
    EXPECT_EQ(CopyKnobs::Copies().size(), 4u);

    CVideoClipCopyTaskMgr nodes;
    nodes.Init("/etc/tvx/Nodes");
    EXPECT_EQ(nodes.GetChannelLimit("STA", "STB"), 1);
}

// A failed job is requeued at a scheduler pass while nothing waits (at once when it failed
// before the pass that started it had ended), its queue time moved three hours on, so that jobs
// queued meanwhile go first; its third failure drops it.
TEST_F(ClipCopyTest, AFailingCopyIsRequeuedThreeHoursOnAndDroppedAfterItsThirdFailure)
{
    CopyKnobs::failing.insert("BAD");
    devtest::LogCapture warnLog{"LOG_WARN"};
    CVideoClipCopyTaskMgr mgr;
    const OpenAtEnd opened{receiver.gate};
    receiver.gate.Close(CLIPCOPY_FAILED);
    const int id = Add(mgr, Job("STA", "STB", "BAD", 1000));
    ASSERT_TRUE(AdvanceUntil([&] { return receiver.gate.Holds(); }));
    EXPECT_EQ(receiver.calls.Statuses(), (std::vector<int32_t>{2, 3, 4, 6, 6, 16}));
    EXPECT_EQ(receiver.calls.Params(6), (std::vector<int32_t>{0, 50}));
    EXPECT_EQ(receiver.calls.Params(16), (std::vector<int32_t>{16}));
    EXPECT_EQ(CVideoClipCopyTaskMgr::StatusToString(6, 50), "拷贝中(50%)");
    EXPECT_EQ(CVideoClipCopyTaskMgr::StatusToString(16, 16), "拷贝错误");
    EXPECT_EQ(Add(mgr, Job("STC", "STB", "BAD")), 0);

    // Each retry runs three hours further back in the queue.
    for (const int64_t hours : {3, 6}) {
        receiver.gate.Close(CLIPCOPY_DEVCHKBEGIN);
        ASSERT_TRUE(AdvanceUntil([&] { return receiver.gate.Holds(); }));
        const tagVideoClipCopyTask retry = Stored(mgr, id);
        EXPECT_EQ(retry.nQueueTime, 1000 + hours * 3600 * kSecond);
        EXPECT_EQ(retry.nFailures, hours / 3);
        EXPECT_EQ(Add(mgr, Job("STC", "STB", "BAD")), 0);
    }
    receiver.gate.Open();
    EXPECT_TRUE(warnLog.Has("<AlarmType=\"素材拷贝失败\" ClipID=\"BAD\" SrcDev=\"STA\" "
                            "DestDev=\"STB\">"));

    ASSERT_TRUE(AdvanceUntil([&] { return mgr.GetTaskCount() == 0; }));
    plat::TestClock::Advance(5000);
    EXPECT_EQ(receiver.calls.Params(16), (std::vector<int32_t>{16, 16, 16}));
    EXPECT_EQ(CopyKnobs::Copies().size(), 3u);
    const auto lines = copyLog.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "重新启动拷贝失败的作业(STA->STB,BAD)"), 2);
    EXPECT_EQ(id, 1);
}

TEST_F(ClipCopyTest, AStoreThatCannotBeHadOrThrowsFailsTheJob)
{
    CopyKnobs::throwing.insert("T");
    CVideoClipCopyTaskMgr mgr;
    const OpenAtEnd opened{receiver.gate};
    // The job fails with that error; its retry shows the failure counted.
    const auto failsOnce = [&](tagVideoClipCopyTask job, int32_t error) {
        receiver.gate.Close(CLIPCOPY_FAILED);
        const int id = mgr.AddCopyTask(job);
        ASSERT_TRUE(AdvanceUntil([&] { return receiver.gate.Holds(); }));
        EXPECT_EQ(receiver.calls.All().back(), (Call{std::to_string(id), 16, error}));
        receiver.gate.Close(CLIPCOPY_DEVCHKBEGIN);
        ASSERT_TRUE(AdvanceUntil([&] { return receiver.gate.Holds(); }));
        EXPECT_EQ(Stored(mgr, id).nFailures, 1);
        receiver.gate.Open();
        mgr.RemoveAllTask();
    };
    failsOnce(Job("STX", "STA", "M"), CLIPCOPY_ERR_DEVICE);
    failsOnce(Job("STB", "STC", "T"), CLIPCOPY_ERR_COPY);
}

// The watchdog's bound counts from the copy's last report; a pass exactly at the bound lets the
// copy run on, one a millisecond later ends it.
TEST_F(ClipCopyTest, AHungCopyIsEndedByTheWatchdogAndItsLateResultIsDiscarded)
{
    kit::DebugCapture debug;
    for (const char *clip : {"HUNG", "P1", "P2"}) CopyKnobs::Hold(clip);
    CVideoClipCopyTaskMgr mgr;
    const int id = Add(mgr, Job("STA", "STB", "HUNG"));
    ASSERT_TRUE(AdvanceUntil([&] { return CopyKnobs::Copies().size() == 1; }));
    const uint32_t reported = Stored(mgr, id).dwLastChange;
    plat::TestClock::Advance(reported + 5 * 60 * 1000 - plat::GetTickCount());

    // A job added wakes the scheduler; the second one starts only once the pass that started
    // the first has ended, its watchdog included.
    Add(mgr, Job("STA", "STC", "P1"));
    ASSERT_TRUE(Eventually([&] { return Active(mgr, "STA", "STC", "P1"); }, kPatientMs));
    Add(mgr, Job("STB", "STC", "P2"));
    ASSERT_TRUE(Eventually([&] { return Active(mgr, "STB", "STC", "P2"); }, kPatientMs));
    EXPECT_EQ(g_restarts, 0);
    EXPECT_TRUE(Active(mgr, "STA", "STB", "HUNG"));

    plat::TestClock::Advance(1);
    Add(mgr, Job("STC", "STA", "P3")); // waits behind P1; its failed neighbour is not requeued
    ASSERT_TRUE(Eventually([&] { return g_restarts == 1; }, kPatientMs));
    EXPECT_TRUE(copyLog.Has("检查到一个无效的作业(STA->STB,HUNG)"));
    EXPECT_FALSE(Active(mgr, "STA", "STB", "HUNG"));
    EXPECT_TRUE(Active(mgr, "STA", "STC", "P1"));
    const tagVideoClipCopyTask failed = Stored(mgr, id);
    EXPECT_EQ(failed.nFailures, 1);
    EXPECT_FALSE(failed.hThread.Valid());
    EXPECT_TRUE(debug.Has("VideoClipCopyTask::EndCopyTask failed\n"));

    // The store returns at last: the run was ended, so nothing of it reaches the job.
    ASSERT_TRUE(Eventually([&] { return CopyKnobs::Copies().size() == 3; }, kPatientMs));
    const size_t told = receiver.calls.Size();
    mgr.RemoveErrorTask();
    CopyKnobs::Release("HUNG");
    ASSERT_TRUE(Eventually([&] { return ReturnedUnknown(id); }, kPatientMs));
    EXPECT_EQ(receiver.calls.Size(), told);
    EXPECT_EQ(g_restarts, 1);
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
    ASSERT_TRUE(Eventually([&] { return ReturnedUnknown(1); }, kPatientMs));
    plat::TestClock::Advance(5000);
    EXPECT_EQ(receiver.calls.Size(), told);
    EXPECT_EQ(CopyKnobs::Copies().size(), 1u);
}

// A stop meets a job's thread between two steps (here held in its receiver): the stop waits
// for it, and the thread, whether waited for or given up at the bound, never goes on to the
// devices, which its owner may destroy once the stop has returned; nor does the stop return
// while a callback is in progress, since the owner may then let the receiver go.
TEST_F(ClipCopyTest, AStoppedJobBetweenStepsIsWaitedForAndNeverReachesTheDevices)
{
    CVideoClipCopyTaskMgr mgr;
    const OpenAtEnd opened{receiver.gate};
    receiver.gate.Close(CLIPCOPY_DEVCHKBEGIN);
    Add(mgr, Job("STD", "STB", "U1"));
    ASSERT_TRUE(Eventually([&] { return receiver.gate.Holds(); }, kPatientMs));
    auto stop = std::async(std::launch::async, [&] { return mgr.RemoveAllTask(); });
    EXPECT_EQ(stop.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    receiver.gate.Open();
    ASSERT_EQ(stop.wait_for(std::chrono::milliseconds(kPatientMs)), std::future_status::ready);
    EXPECT_EQ(stop.get(), 1);
    EXPECT_TRUE(Eventually([&] { return ThreadEnded(receiver.gate.Tid()); }, kPatientMs));

    // Held past the stop's bound: given up, and still kept from the devices.
    receiver.gate.Close(CLIPCOPY_DEVCHKBEGIN);
    Add(mgr, Job("STD", "STB", "U2"));
    ASSERT_TRUE(Eventually([&] { return receiver.gate.Holds(); }, kPatientMs));
    EXPECT_EQ(devtest::RunAdvancing([&] { return mgr.RemoveAllTask(); }), 1);
    receiver.gate.Open();
    EXPECT_TRUE(Eventually([&] { return ThreadEnded(receiver.gate.Tid()); }, kPatientMs));

    EXPECT_EQ(CopyKnobs::opens, 0);
    EXPECT_EQ(receiver.calls.Statuses(), (std::vector<int32_t>{2, 2}));

    // Inside the store's copy call the thread is given up, but not while it tells its
    // receiver of the progress.
    receiver.gate.Close(CLIPCOPY_COPYING);
    Add(mgr, Job("STD", "STB", "U3"));
    ASSERT_TRUE(Eventually([&] { return receiver.gate.Holds(); }, kPatientMs));
    auto stopInStore = std::async(std::launch::async, [&] { return mgr.RemoveAllTask(); });
    EXPECT_EQ(stopInStore.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    receiver.gate.Open();
    ASSERT_EQ(stopInStore.wait_for(std::chrono::milliseconds(kPatientMs)),
              std::future_status::ready);
    EXPECT_EQ(receiver.calls.Statuses().back(), CLIPCOPY_COPYING);
}

} // namespace
