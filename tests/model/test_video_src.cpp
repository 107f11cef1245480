// The base sources, recorders and auxiliaries: the simulated transport, settings, the share
// bus's virtual mode and the play-task steps, on the manual test clock.
#include "tests/model/DeviceTestKit.h"

#include "drivers/model/CVideoAuxA.h"
#include "drivers/model/CVideoRecA.h"
#include "drivers/model/CVideoSrcA.h"

#include "Kest20/KestLog.h"

#include <atomic>
#include <future>

using namespace devtest;

namespace {

// A source that counts the device commands of the play-task steps and can fail them.
class CCountingSrc : public CVideoSrcA {
    DECLARE_KEST_CLASS(CCountingSrc)

    CCountingSrc() : CVideoSrcA("LVSRC_TEST") {}
    int DevOpen() override
    {
        ++opens;
        return CVideoSrcA::DevOpen();
    }
    int DevIsOpen() override { return isOpen; }
    int DevGetClipSize(const char *clip, timecode_t &size) override
    {
        ++clipChecks;
        return clipOk ? CVideoSrcA::DevGetClipSize(clip, size) : 0;
    }
    int DevCue(const char *clip, timecode_t som, timecode_t dur) override
    {
        ++cues;
        return cueOk ? CVideoSrcA::DevCue(clip, som, dur) : 0;
    }
    int DevCueEx(const char *clip, timecode_t som, timecode_t dur, tagCallBack *cb) override
    {
        ++secondCues;
        return cueOk ? CVideoSrcA::DevCueEx(clip, som, dur, cb) : 0;
    }
    int DevPlay(const int64_t *at) override
    {
        ++plays;
        return CVideoSrcA::DevPlay(at);
    }
    int DevStop() override
    {
        ++stops;
        return CVideoSrcA::DevStop();
    }
    int DevJog(int frames) override
    {
        ++jogs;
        return CVideoSrcA::DevJog(frames);
    }
    int Commands() const { return opens + clipChecks + cues + secondCues + plays + stops; }

    // Steps are driven by the test: the play list's own thread stays off.
    void DriveStepsByHand() { GetPlayList().SetOwner(nullptr); }
    void SetVirtual(bool on) { m_bVirtual = on; }
    void SetCueWhilePlaying(int32_t on) { m_nCueWhilePlaying = on; }

    std::atomic<int> opens{0}, clipChecks{0}, cues{0}, secondCues{0}, plays{0}, stops{0}, jogs{0};
    int isOpen = 1, clipOk = 1, cueOk = 1;
};

IMPLEMENT_KEST_CLASS(CCountingSrc, CVideoSrcA)

// Records a task's status callbacks.
using TaskCalls = kit::StatusRecorder<CVideoPlayTaskReceiver>;

// Half a millisecond past whole seconds: the framework clock, read a few units after the
// test's start, then sees whole seconds to the start.
CVideoPlayTask Task(int32_t id, int64_t startSeconds, const char *clip = "CLIP1",
                    int32_t option = 0)
{
    CVideoPlayTask task;
    task.m_nTaskID = id;
    task.m_strClipID = clip;
    task.m_nStart = kFileTime2020 + 5000 + startSeconds * kSecond;
    task.m_nSOM = 250;
    task.m_nDUR = 750;
    task.m_nOption = option;
    return task;
}

CVideoPlayTask Preset(CVideoSrcA &src)
{
    CVideoPlayTask task;
    src.GetPlayList().GetPresetTask(task, 0);
    return task;
}

class StepsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        src.DriveStepsByHand();
        m_previousDebug = glSetDebugFlag(1);
    }
    void TearDown() override { glSetDebugFlag(m_previousDebug); }

    // Runs a step that sleeps on the manual clock, advancing the clock until it returns.
    int RunAcross(int (CVideoSrcA::*step)())
    {
        return RunAdvancing([&] { return (src.*step)(); });
    }

    ManualTime time;
    LogCapture logs{"LOG_PLAYTASK"};
    CCountingSrc src;
    int m_previousDebug = 0;
};

} // namespace

TEST(SimulatedSource, PositionFollowsCuePlayStopAndJog)
{
    ManualTime time;
    CVideoSrcA src;
    timecode_t pos;
    ASSERT_EQ(src.DevOpen(), 1);
    EXPECT_EQ(src.GetDevStatus().GetText(), CString("设备正常"));

    ASSERT_EQ(src.DevCue("CLIP", 250, 750), 1); // 00:00:10:00
    plat::TestClock::Advance(3000);
    src.DevGetPosition(1, pos);
    EXPECT_EQ(pos, 250) << "a cue leaves the transport stopped";
    ASSERT_EQ(src.DevPlay(nullptr), 1);
    plat::TestClock::Advance(2000);
    src.DevGetPosition(1, pos);
    EXPECT_EQ(pos, 300) << "25 frames a second from frame 250";
    src.DevStop();
    plat::TestClock::Advance(5000);
    src.DevGetPosition2(1, pos);
    EXPECT_EQ(pos, 300) << "after a stop the position stays";

    src.DevJogEx(0, -10);
    src.DevGetPosition(1, pos);
    EXPECT_EQ(pos, 290);
    src.DevShuttle(2.0);
    plat::TestClock::Advance(1000);
    src.DevGetPosition(1, pos);
    EXPECT_EQ(pos, 340);
    src.DevGoto(1000);
    plat::TestClock::Advance(1000);
    src.DevGetPosition(1, pos);
    EXPECT_EQ(pos, 1000) << "goto stops";
    src.DevEject();
    src.DevGetPosition(1, pos);
    EXPECT_EQ(pos, 0);

    timecode_t size;
    int present = 0;
    EXPECT_EQ(src.DevGetClipSize("ANY", size), 1);
    EXPECT_EQ(size, 450000);
    EXPECT_EQ(src.DevIDReq("ANY", present), 1);
    EXPECT_EQ(present, 1);

    src.DevCue("CLIP", 250, 750);
    src.DevPlay(nullptr);
    src.DevClose();
    plat::TestClock::Advance(1000);
    src.DevGetPosition(1, pos);
    EXPECT_EQ(pos, 0) << "a close resets the transport";
}

TEST(SimulatedSource, PlayAtATimeWaitsForItThenForThePreRoll)
{
    ManualTime time;
    CVideoSrcA src;
    src.DevOpen();
    src.DevCue("CLIP", 0, 0);
    const int64_t start = ManualTime::Now() + 2 * kSecond;
    EXPECT_EQ(RunAdvancing([&] { return src.DevPlay(&start); }), 1);
    const int64_t now = ManualTime::Now();
    EXPECT_GE(now, start + 999 * kMs) << "returns after PlayBeforeTime";
    timecode_t pos;
    src.DevGetPosition(1, pos);
    // Some frames of slack: under load the test's clock steps go on after the play returned and
    // the playing thread may see several of them at once.
    EXPECT_NEAR(pos, (now - start) / CPlayCounter::kUnitsPerFrame, 10) << "running from the start";

    // A close ends a play that waits for its start: nothing plays.
    src.DevOpen();
    src.DevCue("CLIP", 0, 0);
    const int64_t later = ManualTime::Now() + 60 * kSecond;
    auto cancelled = std::async(std::launch::async, [&] { return src.DevPlay(&later); });
    src.DevClose();
    EXPECT_EQ(cancelled.get(), 0);
    src.DevGetPosition(1, pos);
    EXPECT_EQ(pos, 0);
}

TEST(SimulatedSource, PreviewGoesThroughTheDeviceSlots)
{
    ManualTime time;
    CCountingSrc src;
    int32_t frames = -1;
    src.DevOpen();
    src.DevGoto(500);
    EXPECT_EQ(src.PreviewCue("CLIP", 100, 200, 1), 1);
    EXPECT_EQ(src.cues, 1);
    EXPECT_EQ(src.PreviewGetPosition(&frames), 1);
    EXPECT_EQ(frames, 0) << "preview always cues from frame 0";
    src.PreviewJog(5);
    EXPECT_EQ(src.jogs, 1);
    src.PreviewPlay(1.0, nullptr);
    EXPECT_EQ(src.plays, 1);
    src.PreviewStill();
    src.PreviewStop();
    EXPECT_EQ(src.stops, 1);
    src.PreviewGoto(100);
    src.PreviewGetPosition(&frames);
    EXPECT_EQ(frames, 100);
    EXPECT_EQ(src.OnPreviewPlayStop(0), 0);
}

TEST(SourceSettings, KeysOverrideTheDefaultsAndExchangeGatesVirtual)
{
    ManualTime time;
    MountedSettings settings(Section("SRC1", {{"PrepareTime", "3000"},
                                              {"PlayBeforeTime", "500"},
                                              {"FirstCueTime", "30"},
                                              {"Virtual", "TRUE"},
                                              {"AdjustFrame", "2"}}) +
                             Section("SRC2", {{"Virtual", "yes"}, {"Exchange", "ENABLE"}}));
    CVideoSrcA plain;
    ASSERT_EQ(plain.InitInstance("/etc/tvx/SRC1", "SRC1"), 1);
    EXPECT_EQ(plain.GetPrepareTime(), 3000);
    EXPECT_EQ(plain.GetPlayBeforeTime(), 500);
    EXPECT_EQ(plain.GetTaskPollInterval(), 10000);
    EXPECT_FALSE(plain.IsVirtual()) << "without Exchange the source is never virtual";

    CVideoSrcA exchanging;
    ASSERT_EQ(exchanging.InitInstance("/etc/tvx/SRC2", "SRC2"), 1);
    EXPECT_TRUE(exchanging.IsExchange());
    EXPECT_TRUE(exchanging.IsVirtual());
    EXPECT_EQ(exchanging.GetPrepareTime(), 2000);
    EXPECT_EQ(exchanging.GetPlayBeforeTime(), 1000);
}

TEST(SourceSettings, ShareBusSwitchesVirtualOnlyWithExchange)
{
    ManualTime time;
    MountedSettings settings(Section("ON", {{"Exchange", "TRUE"}}) +
                             Section("OFF", {{"Exchange", "FALSE"}, {"Virtual", "TRUE"}}));
    CVideoSrcA on, off;
    on.InitInstance("/etc/tvx/ON", "ON");
    off.InitInstance("/etc/tvx/OFF", "OFF");

    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"TRUE\">", "");
    EXPECT_TRUE(Eventually([&] { return on.IsVirtual(); }));
    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"FALSE\">", "");
    EXPECT_TRUE(Eventually([&] { return !on.IsVirtual(); }));
    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"TRUE\">", "");
    EXPECT_TRUE(Eventually([&] { return on.IsVirtual(); }));
    EXPECT_FALSE(off.IsVirtual());
    EXPECT_EQ(off.OnRecvSetVirtual("#OVRA_DEV_SHARE", "<Virtual = \"TRUE\">", ""), 0);
    EXPECT_FALSE(off.IsVirtual());
    EXPECT_EQ(on.OnRecvSetVirtual("#OVRA_DEV_SHARE", "<Other = \"1\">", ""), 0);
    EXPECT_TRUE(on.IsVirtual()) << "a message without Virtual changes nothing";
}

TEST(SourceSettings, StrayShareMessagesLeaveVirtualModeAlone)
{
    MountedSettings settings(Section("ON", {{"Exchange", "TRUE"}, {"Virtual", "TRUE"}}));
    CVideoSrcA source;
    ASSERT_EQ(source.InitInstance("/etc/tvx/ON", "ON"), 1);
    ExpectStrayShareMessagesIgnored([&] { return source.IsVirtual(); },
                                    [&] { source.OnSetVirtual(1); });
    glReportLog("#ovra_dev_share", "<Virtual = \"FALSE\">", "");
    EXPECT_TRUE(Eventually([&] { return !source.IsVirtual(); })) << "the channel without case";
}

TEST_F(StepsTest, CheckNextBringsATaskThroughItsWindows)
{
    TaskCalls calls;
    CVideoPlayTask task = Task(7, 100);
    task.SetCallBack(&calls, &TaskCalls::OnStatus);
    src.GetPlayList().Add(task);

    EXPECT_EQ(src.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(Preset(src).m_nStatus, 2) << "within DevCheckTime (120 s): device checked";
    EXPECT_TRUE(calls.Saw(7, 2));
    plat::TestClock::Advance(40000); // 60 s ahead: not yet below ClipCheckTime
    src.OnTaskCheckNextTask();
    EXPECT_EQ(Preset(src).m_nStatus, 2);
    plat::TestClock::Advance(1000);
    src.OnTaskCheckNextTask();
    EXPECT_EQ(Preset(src).m_nStatus, 5);
    plat::TestClock::Advance(40000); // 19 s ahead
    src.OnTaskCheckNextTask();
    EXPECT_EQ(Preset(src).m_nStatus, 8);
    EXPECT_EQ(src.cues, 1);
    plat::TestClock::Advance(10000); // 9 s ahead
    src.OnTaskCheckNextTask();
    EXPECT_EQ(Preset(src).m_nStatus, 10);
    EXPECT_EQ(src.secondCues, 1);
    src.OnTaskCheckNextTask();
    EXPECT_EQ(src.Commands(), 4) << "a cued task is left alone";

    // A task that is already due takes every step in one call.
    src.GetPlayList().RemoveAll();
    src.GetPlayList().Add(Task(8, -5));
    src.OnTaskCheckNextTask();
    EXPECT_EQ(Preset(src).m_nStatus, 10);
}

TEST_F(StepsTest, FailedStepsLeaveTheirErrorFlags)
{
    src.isOpen = 0;
    src.GetPlayList().Add(Task(1, 5));
    src.OnTaskCheckNextTask();
    EXPECT_EQ(Preset(src).m_nStatus, 1);
    EXPECT_EQ(Preset(src).m_nFlags, 1) << "device";

    src.isOpen = 1;
    src.clipOk = 0;
    src.OnTaskCheckNextTask();
    EXPECT_EQ(Preset(src).m_nStatus, 2);
    EXPECT_EQ(Preset(src).m_nFlags, 2) << "clip";

    src.clipOk = 1;
    src.cueOk = 0;
    src.OnTaskCheckNextTask();
    EXPECT_EQ(Preset(src).m_nStatus, 5);
    EXPECT_EQ(Preset(src).m_nFlags, 16) << "cue";
}

TEST_F(StepsTest, TriggeredAndFarTasks)
{
    src.GetPlayList().Add(Task(1, 20000)); // past four hours
    EXPECT_EQ(src.OnTaskCheckNextTask(), 0);
    EXPECT_EQ(src.Commands(), 0) << "not touched";

    src.GetPlayList().RemoveAll();
    src.GetPlayList().Add(Task(2, 50000, "TRIG", 1));
    EXPECT_EQ(src.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(Preset(src).m_nStatus, 8) << "cued at once whatever its start";

    // Its start reached, a triggered task leaves the list without playing.
    EXPECT_EQ(src.OnTaskStartNewTask(), 0);
    EXPECT_EQ(Preset(src).m_nTaskID, 2);
    plat::TestClock::Advance(50000 * 1000 + 1);
    EXPECT_EQ(src.OnTaskStartNewTask(), 0);
    EXPECT_EQ(Preset(src).m_nTaskID, 0);
    EXPECT_EQ(src.plays, 0);
}

TEST_F(StepsTest, SingleTransportWaitsForTheTaskOnAir)
{
    src.SetCueWhilePlaying(0);
    src.GetPlayList().SetActiveTask(Task(1, -5));
    src.GetPlayList().Add(Task(2, 5));
    EXPECT_EQ(src.OnTaskCheckNextTask(), 0);
    EXPECT_EQ(Preset(src).m_nStatus, 1);

    // The task going off air stops the device.
    src.GetPlayList().SetActiveTask(CVideoPlayTask());
    EXPECT_EQ(src.OnTaskStopCurrentTask(), 1);
    EXPECT_EQ(src.stops, 1);
    EXPECT_EQ(src.OnTaskStopCurrentTask(), 1) << "nothing stopped";
    EXPECT_EQ(src.stops, 1);

    src.SetCueWhilePlaying(1);
    src.GetPlayList().SetActiveTask(Task(3, 0));
    src.GetPlayList().SetActiveTask(CVideoPlayTask());
    src.OnTaskStopCurrentTask();
    EXPECT_EQ(src.stops, 1) << "a device that cues while playing is not stopped";
}

TEST_F(StepsTest, VirtualSourceSendsNoCommandYetRuns)
{
    src.SetVirtual(true);
    src.GetPlayList().Add(Task(1, 30));
    src.OnTaskCheckNextTask();
    EXPECT_EQ(Preset(src).m_nStatus, 1) << "30 s ahead";
    plat::TestClock::Advance(15000);
    src.OnTaskCheckNextTask();
    EXPECT_EQ(Preset(src).m_nStatus, 10);

    // A task whose start has passed is cued too.
    src.GetPlayList().RemoveAll();
    src.GetPlayList().Add(Task(2, -3));
    src.OnTaskCheckNextTask();
    EXPECT_EQ(Preset(src).m_nStatus, 10);

    src.GetPlayList().RemoveAll();
    CVideoPlayTask task = Task(3, 16); // a second ahead
    src.GetPlayList().Add(task);
    task.m_nFlags = 4;
    src.GetPlayList().ModifyTask(task, 0);
    EXPECT_EQ(RunAcross(&CVideoSrcA::OnTaskStartNewTask), 1);
    CVideoPlayTask onAir;
    EXPECT_EQ(src.GetPlayList().GetPgmTask(onAir), 3);
    EXPECT_EQ(onAir.m_nFlags, 0);
    // The sleep to the start counts whole milliseconds of the tick clock.
    EXPECT_GE(ManualTime::Now() + kMs, task.m_nStart) << "made active at its start";
    EXPECT_EQ(src.Commands(), 0);

    src.GetPlayList().SetActiveTask(CVideoPlayTask());
    EXPECT_EQ(src.OnTaskStopCurrentTask(), 0) << "a virtual source leaves the device alone";
}

TEST_F(StepsTest, StartPlaysThePresetAtItsStartAndPreparesTheNext)
{
    TaskCalls calls;
    CVideoPlayTask first = Task(1, 4, "FIRST");
    first.SetCallBack(&calls, &TaskCalls::OnStatus);
    src.GetPlayList().Add(first);
    src.GetPlayList().Add(Task(2, 10, "SECOND"));

    EXPECT_EQ(src.OnTaskStartNewTask(), 0) << "4 s ahead: beyond PrepareTime + PlayBeforeTime";
    EXPECT_EQ(src.plays, 0);
    plat::TestClock::Advance(1001);
    // Not cued yet: the step cues it, plays at the start, sleeps the pre-roll and 500 ms.
    EXPECT_EQ(RunAcross(&CVideoSrcA::OnTaskStartNewTask), 1);
    EXPECT_EQ(src.plays, 1);
    const int64_t now = ManualTime::Now();
    EXPECT_GE(now, first.m_nStart + 1499 * kMs) << "the start, the pre-roll and 500 ms";
    CVideoPlayTask onAir;
    EXPECT_EQ(src.GetPlayList().GetPgmTask(onAir), 1);
    EXPECT_EQ(onAir.m_nFlags, 0);
    EXPECT_TRUE(calls.Saw(1, 10));
    EXPECT_TRUE(calls.Saw(1, PLAYTASK_ON_AIR));
    EXPECT_TRUE(logs.Has("Start new Task(TaskID=1,id=FIRST,start=2020-01-01 00:00:04,"
                         "dur=00:00:30:00,dev=)"));
    EXPECT_TRUE(logs.Has("end Start new Task (dev=,ret=OK)"));
    EXPECT_EQ(Preset(src).m_nTaskID, 2);
    EXPECT_EQ(Preset(src).m_nStatus, 10) << "the next task is prepared at once";
}

TEST_F(StepsTest, AnUnpreparedTaskGoesOnAirWithoutPlaying)
{
    src.cueOk = 0;
    src.GetPlayList().Add(Task(1, 2));
    EXPECT_EQ(RunAcross(&CVideoSrcA::OnTaskStartNewTask), 1);
    EXPECT_EQ(src.plays, 0);
    EXPECT_TRUE(logs.Has("fatal;dev=,下一条节目没有准备好"));
    CVideoPlayTask onAir;
    src.GetPlayList().GetPgmTask(onAir);
    EXPECT_EQ(onAir.m_nTaskID, 1);
    EXPECT_EQ(onAir.m_nFlags, 16);
}

TEST(SourcePlayList, CloseStopsTheListThreadWhileAStepWaits)
{
    ManualTime time;
    CCountingSrc src;
    src.DevOpen();
    CVideoPlayTask first = Task(1, 2);
    src.DevAddPlayTask(first);
    EXPECT_TRUE(Eventually([&] { return src.plays == 1; })) << "waits in DevPlay for its start";
    EXPECT_EQ(src.GetPlayList().WorkingFine(), 1);
    EXPECT_EQ(src.DevClose(), 1);
    EXPECT_EQ(src.GetPlayList().WorkingFine(), 0);

    CVideoPlayTask second = Task(2, 100);
    src.DevAddPlayTask(second);
    src.DevDeletePlayTask(2);
    EXPECT_EQ(Preset(src).m_nTaskID, 0);
    src.DevClose(); // a source is closed before it goes: its list's thread calls its steps
}

TEST(SimulatedRecorder, RecordsAtItsTimeAndAStopCancelsAWaitingStart)
{
    ManualTime time;
    MountedSettings settings(Section("REC1", {{"Switch Entry", "7"}, {"RecBeforeTime", "200"}}));
    CVideoRecA rec;
    EXPECT_EQ(rec.GetDescription(), CString("视频录入设备"));
    ASSERT_EQ(rec.InitInstance("/etc/tvx/REC1", "REC1"), 1);
    ASSERT_EQ(rec.DevOpen(), 1);
    EXPECT_EQ(rec.DevClose(), 0) << "the recorder keeps the device base's close";

    timecode_t size;
    int present = 1;
    rec.DevGetClipSize("X", size);
    EXPECT_EQ(size, 180000);
    rec.DevIDReq("X", present);
    EXPECT_EQ(present, 0);
    EXPECT_EQ(rec.DevDeleteClipID("X"), 0);

    rec.DevRecInit("X", 100, 0);
    const int64_t start = ManualTime::Now() + kSecond;
    EXPECT_EQ(RunAdvancing([&] { return rec.DevRecord(&start); }), 1);
    EXPECT_GE(ManualTime::Now(), start + 199 * kMs) << "RecBeforeTime after the start";

    const int64_t later = ManualTime::Now() + 60 * kSecond;
    auto cancelled = std::async(std::launch::async, [&] { return rec.DevRecord(&later); });
    // Stopped until the waiting start has seen a stop (one before it began does not count).
    EXPECT_TRUE(Eventually([&] {
        rec.DevStop();
        return cancelled.wait_for(std::chrono::milliseconds(1)) == std::future_status::ready;
    }));
    EXPECT_EQ(cancelled.get(), 0);
}

TEST(DeviceClasses, RegisteredTablesAndDefaults)
{
    for (const char *name : {"CVideoSrcA", "CVideoRecA", "CVideoAuxA"}) {
        iRtc *rtc = CDeviceA::GetClassID()->FindByNames(name);
        ASSERT_NE(rtc, nullptr) << name;
        void *object = rtc->CreateInstance(nullptr);
        ASSERT_NE(object, nullptr) << name;
        auto *device = static_cast<CDeviceA *>(static_cast<IClassA *>(object));
        EXPECT_EQ(device->GetTypeID(), CString("UnkownDevType"));
        EXPECT_TRUE(device->IsKindOf(rtc));
        rtc->DeleteInstance(object);
    }
    CVideoAuxA aux;
    CVideoAuxTask task;
    EXPECT_EQ(aux.DevDoAuxTask(task), 0);

    EXPECT_STREQ(CVideoSrcA::VTRTimecodeTypeToName(1), "TC");
    EXPECT_STREQ(CVideoSrcA::VTRTimecodeTypeToName(2), "CTL");
    EXPECT_STREQ(CVideoSrcA::VTRTimecodeTypeToName(3), "");
    EXPECT_EQ(CVideoSrcA::StringToVTRTimecodeType("CTL"), 2);
    EXPECT_EQ(CVideoSrcA::StringToVTRTimecodeType("C"), 0);
    EXPECT_EQ(CVideoSrcA::StringToVTRTimecodeType(nullptr), 0);

    EXPECT_EQ(CVideoSrcA::ParseVtrOverOpt("zero_eject"), CVideoSrcA::VTROVER_ZERO_EJECT);
    EXPECT_EQ(CVideoSrcA::ParseVtrOverOpt("Eject"), CVideoSrcA::VTROVER_EJECT);
    EXPECT_EQ(CVideoSrcA::ParseVtrOverOpt("ZERO"), CVideoSrcA::VTROVER_ZERO);
    EXPECT_EQ(CVideoSrcA::ParseVtrOverOpt("rewind"), CVideoSrcA::VTROVER_STOP);
    EXPECT_EQ(CVideoSrcA::ParseVtrOverOpt(nullptr), CVideoSrcA::VTROVER_STOP);
}
