// The MAV70 play-out source against the VDCP simulator, on the manual clock: cues that run on
// past the task's end, the trace step's start-time check, its stop just before the end of the
// task on air, its cue of a waiting trigger task to the first frame, and the continue that
// starts a task stilled there.
#include "drivers/model/CVideoSrcA.h"
#include "drivers/tasks/CVideoBroTaskMgr3.h"
#include "drivers/tasks/CVideoBroTaskTPU.h"
#include "drivers/tasks/IVideoBroTaskProcess.h"
#include "drivers/tasks/IVideoBroTaskTPU.h"
#include "tests/sources/VdcpTestKit.h"

#include "Kest20/CClock.h"
#include "Kest20/InstanceRegistry.h"
#include "Kest20/KestLog.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

using namespace vdcptest;

namespace {

constexpr int kPort = 37;
constexpr int64_t kSecond = devtest::kSecond;
constexpr int64_t kMs = devtest::kMs;

// Runs `call` while the manual clock advances in steps of 5 ms, so that a time noted around
// an exchange is late by a few milliseconds at most.
template <class Call> auto Advancing(Call call)
{
    auto result = std::async(std::launch::async, call);
    EXPECT_TRUE(devtest::AdvanceUntil(
        [&] { return result.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
        5, 120000));
    return result.get();
}

// Runs `call`, advancing the manual clock 50 ms at a time only while a thread has been
// waiting on it for 100 ms of real time, so that times noted around an exchange stay close.
template <class Call> auto Patiently(Call call)
{
    const int others = plat::TestClock::TimedWaiters();
    auto result = std::async(std::launch::async, call);
    int waiting = 0;
    for (int i = 0; i < 600000; ++i) {
        if (result.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready) break;
        waiting = plat::TestClock::TimedWaiters() > others ? waiting + 1 : 0;
        if (waiting >= 100) {
            plat::TestClock::Advance(50);
            waiting = 0;
        }
    }
    return result.get();
}

class Mav70Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.pty.Valid());
        line.sim.AddClip("LONG", 3000);
        static_cast<CVideoBroTaskTPU &>(*m.GetTPU()).ShutDown();
        auto *object =
            Advancing([&] { return glCreateComponent("MAV1", "", CVideoSrcA::GetClassID(), 0); });
        source = dynamic_cast<CVideoSrcA *>(object);
        ASSERT_NE(source, nullptr);
        if (source->GetObjectStatus() < 3) source->InitInstance("/etc/tvx/MAV1", "MAV1");
        void *answer = nullptr;
        source->QueryInterface(&IID_IVideoBroTaskProcess, &answer);
        ASSERT_NE(answer, nullptr);
        proc = static_cast<IVideoBroTaskProcess *>(answer);
        ASSERT_EQ(Advancing([&] { return source->DevOpen(); }), 1)
            << source->GetDevStatus().nCode << source->GetDevStatus().szText;
    }
    void TearDown() override { glSetDebugFlag(m_previousDebug); }

    tagVideoBroTask Task(int32_t id, const char *clip, int32_t dur, int32_t type,
                         const char *dev = "MAV1")
    {
        tagVideoBroTask task;
        task.TaskID = id;
        task.Dev = dev;
        task.ID = clip;
        task.DUR = dur;
        task.StartType = type;
        task.Start = devtest::ManualTime::Now() + 60 * kSecond;
        task.pUserData = &statuses;
        task.pfnCallBack = &Statuses::OnStatus;
        return task;
    }
    // Task `id` goes on air, its recorded start `startIn` from now.
    void OnAir(int32_t id, int64_t startIn)
    {
        m.Goto(0);
        m.SetTaskStatus(id, BROTASK_BEGINPLAY);
        SetStart(id, devtest::ManualTime::Now() + startIn);
    }
    void SetStart(int32_t id, int64_t start)
    {
        m.Lock();
        tagVideoBroTask *task = nullptr;
        if (m.FindTask(id, &task)) task->Start = start;
        m.Unlock();
    }
    int64_t StartOf(int32_t id)
    {
        tagVideoBroTask task;
        m.GetTask(id, task);
        return task.Start;
    }
    // The DUR time code of the last cue sent.
    Bytes LastCueDur()
    {
        Bytes data;
        for (const auto &command : line.sim.Commands())
            if (command.cmd1 == 0x20 && command.cmd2 == 0x25) data = command.data;
        return data.size() == 16 ? Bytes(data.begin() + 12, data.end()) : Bytes{};
    }
    bool Logged(const std::string &text)
    {
        for (const std::string &entry : tpuLog.Lines())
            if (entry.find(text) != std::string::npos) return true;
        return false;
    }

    int m_previousDebug = glSetDebugFlag(1);
    devtest::ManualTime time;
    SimLine line{kPort};
    devtest::MountedSettings m_settings{devtest::Section("MAV1", {{"class", "CVideoSrcX_MAV70"},
                                                                  {"Com", std::to_string(kPort)},
                                                                  {"Decoder", "1"},
                                                                  {"ComTimeout", "5000"}})};
    devtest::DeleteDevices m_cleanup{{"MAV1"}};
    devtest::LogCapture tpuLog{"LOG_AIR_TPU"};
    CVideoBroTaskMgr3 mgr;
    IVideoBroTaskMgr3 &m = *mgr.operator->();
    CVideoSrcA *source = nullptr;
    IVideoBroTaskProcess *proc = nullptr;
    Statuses statuses;
};

} // namespace

TEST_F(Mav70Test, ACueRunsTwentySecondsPastTheTaskOrToTheClipsEndAndAStopSendsNothing)
{
    EXPECT_EQ(source->GetDescription(), CString("视频源(基于VDCP协议的视频服务器)"));
    // NEWS0100 is a minute long.
    ASSERT_EQ(Advancing([&] { return source->DevCueEx("NEWS0100", 0, 750, nullptr); }), 1);
    EXPECT_EQ(LastCueDur(), VdcpSim::Timecode(1250)) << "30 s asked, 50 s cued";
    ASSERT_EQ(Advancing([&] { return source->DevCueEx("NEWS0100", 0, 750, nullptr); }), 1);
    EXPECT_EQ(line.sim.CountOf(0x20, 0x25), 1u) << "the extended cue is the one remembered";
    ASSERT_EQ(Advancing([&] { return source->DevCueEx("NEWS0100", 1250, 125, nullptr); }), 1);
    EXPECT_EQ(LastCueDur(), VdcpSim::Timecode(250)) << "the rest of the clip, 10 s";

    const size_t sent = line.sim.Commands().size();
    EXPECT_EQ(source->DevStop(), 1);
    EXPECT_EQ(line.sim.Commands().size(), sent);
}

TEST_F(Mav70Test, TheTraceStepMovesTheRecordedStartToWhereThePositionPutsIt)
{
    // The channel shows frame 42 after 2 s: it started 320 ms late.
    ASSERT_EQ(Advancing([&] { return source->DevCue("LONG", 42, 100); }), 1);
    m.AddTask(Task(1, "LONG", 250, BROTASK_START_TIME));
    OnAir(1, -2 * kSecond);
    const int64_t recorded = StartOf(1);
    ASSERT_EQ(Patiently([&] { return proc->DevTaskTrace(&m, 0); }), 1);
    // The reply to the position request comes in after a step of the clock or two.
    const int64_t moved = (StartOf(1) - recorded) / kMs;
    EXPECT_GE(moved, 320);
    EXPECT_LT(moved, 420);
    EXPECT_TRUE(Logged("):TimeCode(00:00:01:17),Interval="));

    // 1 frame off is left alone (allowing for the steps of the clock during the read).
    m.RemoveAllTask();
    ASSERT_EQ(Advancing([&] { return source->DevCue("LONG", 51, 100); }), 1);
    m.AddTask(Task(2, "LONG", 250, BROTASK_START_TIME));
    OnAir(2, -2 * kSecond);
    const int64_t kept = StartOf(2);
    ASSERT_EQ(Patiently([&] { return proc->DevTaskTrace(&m, 0); }), 1);
    EXPECT_EQ(StartOf(2), kept);

    // 2 s off while the channel does not play: reported, not believed.
    m.RemoveAllTask();
    ASSERT_EQ(Advancing([&] { return source->DevCue("LONG", 0, 100); }), 1);
    m.AddTask(Task(3, "LONG", 250, BROTASK_START_TIME));
    OnAir(3, -2 * kSecond);
    const int64_t suspect = StartOf(3);
    ASSERT_EQ(Patiently([&] { return proc->DevTaskTrace(&m, 0); }), 1);
    EXPECT_EQ(StartOf(3), suspect);
    EXPECT_TRUE(Logged("): MAV70 Stopped at 00:00:00:00 unexcepted "));
}

TEST_F(Mav70Test, TheDecoderStopsBeforeTheEndUnlessTheNextTaskFollowsOnItAtOnce)
{
    // The next task on this decoder 1 s after the end: it plays on, nothing is stopped.
    m.AddTask(Task(1, "LONG", 250, BROTASK_START_TIME));
    m.AddTask(Task(2, "NEWS0100", 250, BROTASK_START_TIME));
    OnAir(1, -9 * kSecond);
    SetStart(2, StartOf(1) + 11 * kSecond);
    ASSERT_EQ(Advancing([&] { return proc->DevTaskTrace(&m, 0); }), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x00), 0u);

    // 3 s after the end: the decoder is stopped 0.28 s before it.
    SetStart(2, StartOf(1) + 13 * kSecond);
    const int64_t end = StartOf(1) + 10 * kSecond;
    const size_t polls = line.sim.CountOf(0x30, 0x05);
    ASSERT_EQ(Advancing([&] { return proc->DevTaskTrace(&m, 0); }), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x00), 1u);
    // The stopped channel is polled 30 times, 100 ms apart, then left 2.3 s.
    EXPECT_EQ(line.sim.CountOf(0x30, 0x05) - polls, 30u);
    // Less up to four of the 5 ms steps that the stop and the polls may fall between.
    EXPECT_GE(devtest::ManualTime::Now(), end - 280 * kMs + 5280 * kMs);
    EXPECT_TRUE(Logged("): time=3000 "));
    EXPECT_EQ(statuses.Of(1).back(), BROTASK_ENDPLAY);
    EXPECT_EQ(statuses.Of(2).back(), BROTASK_BEGIN) << "to be cued again";
}

TEST_F(Mav70Test, AWaitingTriggerTaskIsStilledOnItsFirstFrameAndContinuedByTheTake)
{
    m.AddTask(Task(1, "NEWS0100", 250, BROTASK_START_TRIGGER));
    m.Goto(0);
    EXPECT_EQ(Advancing([&] { return proc->DevTaskCue(&m, 0); }), 0)
        << "the trigger cue step answers 0";
    EXPECT_EQ(statuses.Of(1).back(), BROTASK_ENDCUE);

    ASSERT_EQ(Advancing([&] { return proc->DevTaskTrace(&m, 0); }), 1);
    EXPECT_EQ(m.GetTaskValue(1), 1);
    EXPECT_EQ(statuses.Of(1).back(), BROTASK_ENDCUE);
    EXPECT_EQ(line.sim.Status1() & 0x04, 0) << "stilled";
    // Cued already by the cue step (for its longer cue): nothing is sent again for it.
    EXPECT_TRUE(Logged("): Pause(OK) ID=NEWS0100 Process=Cue(OK) Cue2First(OK)"));
    EXPECT_EQ(line.sim.CountOf(0x20, 0x25), 1u);
    const size_t stills = line.sim.CountOf(0x10, 0x04);
    ASSERT_EQ(Advancing([&] { return proc->DevTaskTrace(&m, 0); }), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x04), stills) << "on its first frame already";

    // The take continues from the still frame instead of playing the cue.
    IVideoBroTaskTPU &tpu = *m.GetTPU();
    tpu.SetUnitState(TPU_UNIT_NEW, TPU_UNIT_BUSY);
    ASSERT_EQ(tpu.SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_PLAY_NOW, 3), 1);
    ASSERT_EQ(Advancing([&] { return proc->DevTaskPlay(&m, 0); }), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x06), 1u);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x01), 0u);
    EXPECT_TRUE(Logged("): ContinueTrigger (time="));
    EXPECT_EQ(statuses.Of(1).back(), BROTASK_BEGINPLAY);
}

TEST_F(Mav70Test, AClipThatCannotBeCuedLeavesTheTriggerTaskToBeCuedAgain)
{
    m.AddTask(Task(1, "MISSING", 250, BROTASK_START_TRIGGER));
    m.Goto(0);
    ASSERT_EQ(Advancing([&] { return proc->DevTaskTrace(&m, 0); }), 1);
    EXPECT_EQ(m.GetTaskFlag(1) & BROTASK_FLAG_CUE, BROTASK_FLAG_CUE);
    EXPECT_EQ(statuses.Of(1).back(), BROTASK_BEGIN);
    EXPECT_EQ(m.GetTaskValue(1), 0);
    std::string process = "): Pause(Failed) ID=MISSING Process=Cue(failed)";
    for (int i = 1; i < 10; ++i) process += " Cue(failed)";
    EXPECT_TRUE(Logged(process));

    // A trigger task of another source is not cued on this decoder.
    m.RemoveAllTask();
    m.AddTask(Task(2, "NEWS0100", 250, BROTASK_START_TRIGGER, "OTHER"));
    m.Goto(0);
    const size_t sent = line.sim.Commands().size();
    ASSERT_EQ(Advancing([&] { return proc->DevTaskTrace(&m, 0); }), 1);
    EXPECT_EQ(line.sim.Commands().size(), sent);
}

TEST_F(Mav70Test, ATimedTaskTakenPlaysAtOnceAndLogsTheOutcome)
{
    m.AddTask(Task(1, "NEWS0100", 250, BROTASK_START_TIME));
    m.Goto(0);
    SetStart(1, devtest::ManualTime::Now() + 10 * kSecond);
    ASSERT_EQ(Advancing([&] { return proc->DevTaskCue(&m, 0); }), 1);
    EXPECT_EQ(statuses.Of(1).back(), BROTASK_ENDCUE);
    IVideoBroTaskTPU &tpu = *m.GetTPU();
    tpu.SetUnitState(TPU_UNIT_NEW, TPU_UNIT_BUSY);
    ASSERT_EQ(tpu.SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_PLAY_NOW, 3), 1);
    ASSERT_EQ(Advancing([&] { return proc->DevTaskPlay(&m, 0); }), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x01), 1u);
    EXPECT_TRUE(Logged("): Play (OK, time=Now)"));
    EXPECT_EQ(statuses.Of(1).back(), BROTASK_BEGINPLAY);
}
