// The Betacam VTR source against a simulated VTR on the manual clock: its settings and the
// classes registered on it, opening and the device status, the cue of DevGoto, the start
// window with its pre-roll, the cue step (already cued, no tape, failures tolerated, the
// first and second cue with their sleeps), the trace step, putting the machine away after a
// task, the confirmed cue of the Rec variant, a virtual source leaving the VTR alone, and a
// VTR that hangs up and comes back on a new line.
#include "drivers/sources/vtr/CVideoSrc_BetaCamX.h"
#include "tests/vtr/VtrTestKit.h"

#include "Kest20/InstanceRegistry.h"
#include "devext/device/DeviceDescription.h"
#include "platform/Process.h"

using namespace vtrtest;
using devtest::LogCapture;

namespace {

constexpr uint8_t kCueCmd1 = 0x24, kCueCmd2 = 0x31;

std::string Settings(std::initializer_list<std::pair<std::string, std::string>> extra = {})
{
    std::string text = devtest::Section(
        "VTR1", {{"class", "CVideoSrc_BetaCamX"}, {"Com", std::to_string(kComPort)}});
    for (const auto &[key, value] : extra) text += key + "=" + value + "\r\n";
    return text;
}

// The CUE UP WITH DATA point of a command as a frame count.
int32_t CuePoint(const kestsim::VtrSim::Command &c)
{
    auto bcd = [](uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); };
    return ((bcd(c.data[3]) * 60 + bcd(c.data[2])) * 60 + bcd(c.data[1])) * 25 + bcd(c.data[0]);
}

bool HasPrefix(LogCapture &log, const std::string &prefix)
{
    for (const std::string &line : log.Lines())
        if (line.rfind(prefix, 0) == 0) return true;
    return false;
}

template <class Source = CVideoSrc_BetaCamX> class SourceTest : public VtrLineTest {
protected:
    explicit SourceTest(std::initializer_list<std::pair<std::string, std::string>> extra = {})
        : m_settings(Settings(extra))
    {
        source.InitInstance("/etc/tvx/VTR1", "VTR1");
        // The steps are called by the test, not by the list's thread.
        source.GetPlayList().SetOwner(nullptr);
    }

    CVideoPlayTaskList &List() { return source.GetPlayList(); }

    // A task starting `ms` from now (the framework clock has moved on a little when the
    // source reads it, so whole seconds are given a half second more).
    CVideoPlayTask Task(int32_t id, int64_t ms, int32_t som = 1000, int32_t durFrames = 250)
    {
        CVideoPlayTask task;
        task.m_nTaskID = id;
        task.m_strClipID = "TAPE";
        task.m_nStart = Now() + ms * kMs;
        task.m_nSOM = som;
        task.m_nDUR = durFrames;
        return task;
    }
    // Adds the task and sets its status.
    void Preset(const CVideoPlayTask &task, int32_t status = PLAYTASK_WAITING)
    {
        ASSERT_EQ(List().Add(task), 1);
        CVideoPlayTask changed = task;
        changed.m_nStatus = status;
        List().ModifyTask(changed, 0);
    }
    CVideoPlayTask PresetNow()
    {
        CVideoPlayTask task;
        EXPECT_NE(List().GetPresetTask(task, 0), 0);
        return task;
    }
    // Opens the source with an answering VTR and forgets the commands that took.
    void Open()
    {
        ASSERT_EQ(source.DevOpen(), 1);
        ASSERT_EQ(source.DevIsOpen(), 1);
        vtr.ClearCommands();
    }
    // Moves the clock once the call under test sleeps.
    void Advance(uint32_t ms)
    {
        EXPECT_TRUE(Sleeping(m_baseline, [this] { return source.Line().Answered(); }));
        plat::TestClock::Advance(ms);
        LetRun();
    }
    // Moves the clock once `call` sleeps; false, leaving the clock, once it has returned.
    template <class R> bool AdvanceWhileRunning(Background<R> &call, uint32_t ms)
    {
        if (!Sleeping(
                m_baseline, [this] { return source.Line().Answered(); },
                [&call] { return call.Done(); }))
            return false;
        plat::TestClock::Advance(ms);
        LetRun();
        return true;
    }

    // Runs the play list's passes (the start step, then the cue step, a second apart), the
    // clock stepping while a step sleeps, until the preset is on air. Whether it came on air.
    bool RunToAir()
    {
        for (int pass = 0; pass < 40 && !List().Active(); ++pass) {
            auto steps = std::async(std::launch::async, [this] {
                source.OnTaskStartNewTask();
                return source.OnTaskCheckNextTask();
            });
            const devtest::FinishStepping ends(steps);
            const auto done = [&] {
                return steps.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
            };
            if (!devtest::AdvanceUntil(done, 250, 60000)) return false;
            steps.get();
            devtest::StepClock(1000);
        }
        return List().Active() != 0;
    }

    const int m_baseline = plat::TestClock::TimedWaiters();
    devtest::MountedSettings m_settings;
    Quick<Source> source;
};

using BetaCamSource = SourceTest<>;

class BetaCamPutAway : public SourceTest<> {
protected:
    BetaCamPutAway() : SourceTest({{"VtrOverOpt", "zero_eject"}, {"Eject_StillDur", "1000"}}) {}
};

class BetaCamTimeCode : public SourceTest<> {
protected:
    BetaCamTimeCode() : SourceTest({{"TCType", "ltc"}, {"First_Cue", "100"}}) {}
};

using BetaCamRecSource = SourceTest<CVideoSrc_BetaCamRec>;

} // namespace

TEST(BetaCamClasses, ThreeClassesShareTheCodeAndTheSettingsDefaultsAreTheTapes)
{
    devtest::ManualTime time;
    plat::SetEnv("KEST_COM97", "/nonexistent/tty");
    devtest::MountedSettings settings(
        devtest::Section("B1", {{"class", "CVideoSrc_BetaCam"},
                                {"Com", "97"},
                                {"TCType", "tc"},
                                {"VtrOverOpt", "Eject"},
                                {"First_Cue", "90"}}) +
        devtest::Section("B2", {{"class", "CVideoSrc_BetaCamRec"}, {"VtrOverOpt", "rewind"}}));
    devtest::DeleteDevices cleanup({"B1", "B2"});
    auto *plain = dynamic_cast<CVideoSrc_BetaCamX *>(
        glCreateComponent("B1", "", CVideoSrcA::GetClassID(), 0));
    auto *rec = dynamic_cast<CVideoSrc_BetaCamRec *>(
        glCreateComponent("B2", "", CVideoSrcA::GetClassID(), 0));
    ASSERT_NE(plain, nullptr);
    ASSERT_NE(rec, nullptr);
    for (CVideoSrcA *source : {static_cast<CVideoSrcA *>(plain), static_cast<CVideoSrcA *>(rec)})
        if (source->GetObjectStatus() < 3)
            source->InitInstance(CString("/etc/tvx/") + source->GetInstanceName(),
                                 source->GetInstanceName());
    EXPECT_STREQ(GetDeviceDescription("CVideoSrc_BetaCamX"),
                 "BetaCamX录象机视频源(等同于BetaCam录象机视频源)");
    EXPECT_STREQ(GetDeviceDescription("CVideoSrc_BetaCam"), "BetaCam录象机视频源");
    EXPECT_STREQ(GetDeviceDescription("CVideoSrc_BetaCamRec"), "BetaCamRec录象机视频源");
    EXPECT_EQ(plain->GetTypeID(), CString("LVSRC_VTR"));

    EXPECT_EQ(plain->GetVTR()->GetPort(), 97);
    EXPECT_EQ(rec->GetVTR()->GetPort(), 3) << "Com defaults to 3";
    EXPECT_EQ(plain->GetVtrOverOpt(), CVideoSrcA::VTROVER_EJECT) << "any letter case";
    EXPECT_EQ(rec->GetVtrOverOpt(), CVideoSrcA::VTROVER_STOP) << "an unknown word is STOP";
    EXPECT_EQ(plain->GetPlayBeforeTime(), 5000);
    EXPECT_EQ(plain->GetPrepareTime(), 3000);
    EXPECT_EQ(plain->GetTaskPollInterval(), 3000);

    EXPECT_EQ(plain->DevCheckCompatible("LVSRC_DEC_VDCP", "X"), 0);
    EXPECT_EQ(plain->DevOpen(), 1) << "an open always succeeds";
    EXPECT_EQ(plain->GetDevStatus().nCode, 3) << "no line to be had on COM97";
    EXPECT_EQ(plain->DevIsOpen(), 0);
    EXPECT_EQ(plain->DevStop(), 0) << "a transport command on a closed device";
    timecode_t position = 99;
    EXPECT_EQ(plain->DevGetPosition(0, position), 0);
    EXPECT_EQ(position, 0);
    plat::SetEnv("KEST_COM97", nullptr);
}

TEST_F(BetaCamSource, OpeningTestsTheVtrAndASilentOneIsARunFailure)
{
    vtr.SetSilent(true);
    Background<int> open([&] { return source.DevOpen(); });
    while (!open.Done(1)) source.Line().Advance(100, 0);
    EXPECT_EQ(open.Result(), 1);
    EXPECT_EQ(source.GetDevStatus().nCode, 5);
    EXPECT_STREQ(source.GetDevStatus().szText, "Open device failed");
    EXPECT_EQ(source.DevIsOpen(), 0);

    vtr.ClearCommands();
    vtr.SetSilent(false);
    source.Line().Advance(3000);
    ASSERT_EQ(source.DevOpen(), 1);
    EXPECT_EQ(source.GetDevStatus().nCode, 0);
    EXPECT_EQ(source.DevIsOpen(), 1);
    // A try of the silent open may still reach the VTR after the commands were cleared.
    EXPECT_GE(vtr.Count(0x61, 0x20), 1u) << "the test asked the status";
    timecode_t size = 0;
    EXPECT_EQ(source.DevGetClipSize("X", size), 1);
    EXPECT_EQ(size, 45000);
    EXPECT_EQ(source.DevCheckCompatible("LVSRC_VTR_X", "X"), 1);
    vtr.SetTape(false);
    source.Line().Advance(4000);
    EXPECT_EQ(source.DevCheckCompatible("LVSRC_VTR", "X"), 0) << "no tape, no clip";
}

TEST_F(BetaCamSource, AVtrThatHangsUpIsOpenedAgainOnTheNewLineAtTheSamePort)
{
    Open();
    ASSERT_EQ(source.DevStop(), 1);
    vtr.Peer().HangUp();
    kit::SimLine<kestsim::VtrSim> again(plat::SerialPortKind::COM, kComPort);
    ASSERT_TRUE(again.Pty().Valid());
    kestsim::VtrSim &fresh = again.Sim();

    EXPECT_EQ(source.DevStop(), 0) << "the line is gone";
    EXPECT_EQ(source.DevIsOpen(), 0) << "the source reports itself not open";
    source.Line().Advance(3000); // the VTR's test spacing
    EXPECT_EQ(source.DevStop(), 1) << "opened again on the new line";
    EXPECT_EQ(source.DevIsOpen(), 1);
    EXPECT_EQ(fresh.Count(0x20, 0x00), 1u) << "STOP reached the VTR on the new line";
    source.DevClose(); // before the new line goes
}

TEST_F(BetaCamSource, GotoCuesThePreRollBeforeTheFrameUnlessTheTapeIsThere)
{
    Open();
    vtr.SetPosition(0);
    Background<int> cue([&] { return source.DevGoto(1000); });
    ASSERT_TRUE(vtr.WaitFor(0x41, 0x36));
    EXPECT_EQ(vtr.Commands()[0].data, Bytes{0x01}) << "the CTL timer";
    Advance(190);
    EXPECT_EQ(vtr.Count(0x61, 0x0C), 0u) << "the time mode settles for 200 ms";
    Advance(10);
    ASSERT_TRUE(cue.Done(5000));
    EXPECT_EQ(cue.Result(), 1);
    ASSERT_EQ(vtr.Count(kCueCmd1, kCueCmd2), 1u);
    EXPECT_EQ(vtr.Commands().back().data, (Bytes{0x00, 0x35, 0x00, 0x00})) << "frame 875";

    vtr.ClearCommands();
    Background<int> again([&] { return source.DevGoto(1000); });
    ASSERT_TRUE(vtr.WaitFor(0x41, 0x36));
    Advance(200);
    ASSERT_TRUE(again.Done(5000));
    EXPECT_EQ(again.Result(), 1);
    EXPECT_EQ(vtr.Count(kCueCmd1, kCueCmd2), 0u) << "already there";

    vtr.ClearCommands();
    Background<int> negative([&] { return source.DevCue("", -125, 0); });
    ASSERT_TRUE(vtr.WaitFor(0x41, 0x36));
    Advance(200);
    ASSERT_TRUE(negative.Done(5000));
    ASSERT_EQ(vtr.Count(kCueCmd1, kCueCmd2), 1u);
    EXPECT_EQ(CuePoint(vtr.Commands().back()), 2160000 - 250) << "raised by a day";
}

TEST_F(BetaCamSource, FarTasksWaitStandingByAndAnEightSecondOneStartsWithItsPreRoll)
{
    Open();
    vtr.SetPosition(875); // the tape stands on the cue point, as a cued task's does
    Preset(Task(1, 21000), PLAYTASK_CUED);
    EXPECT_EQ(source.OnTaskStartNewTask(), 0);
    EXPECT_EQ(vtr.Commands().size(), 0u) << "beyond StandByOnTime";
    source.Line().Advance(6000); // 15 s to go
    EXPECT_EQ(source.OnTaskStartNewTask(), 0);
    EXPECT_EQ(source.OnTaskStartNewTask(), 0);
    EXPECT_EQ(vtr.Count(0x20, 0x05), 2u) << "STANDBY ON on each pass";
    source.Line().Advance(6000); // 9 s to go
    EXPECT_EQ(source.OnTaskStartNewTask(), 0);
    EXPECT_EQ(vtr.Count(0x20, 0x01), 0u);
    EXPECT_EQ(List().Active(), 0);

    source.Line().Advance(1000); // 8 s to go
    vtr.ClearCommands();
    LogCapture tasks("LOG_PLAYTASK");
    const uint32_t start = plat::GetTickCount() + 8000;
    Background<int> step([&] { return source.OnTaskStartNewTask(); });
    ASSERT_TRUE(vtr.WaitFor(0x20, 0x05));
    LetRun();
    Advance(2470);
    EXPECT_EQ(vtr.Count(0x20, 0x01), 0u);
    Advance(30);
    ASSERT_TRUE(vtr.WaitFor(0x20, 0x01));
    const auto commands = vtr.Commands();
    EXPECT_NEAR(plat::TickDiff(commands.back().tick, start), -5500, 10) << "PLAY 5.5 s early";
    LetRun();
    Advance(6480);
    EXPECT_FALSE(step.Done(10));
    Advance(30);
    ASSERT_TRUE(step.Done(5000));
    EXPECT_EQ(step.Result(), 1);
    EXPECT_NEAR(plat::TickDiff(plat::GetTickCount(), start), 1000, 30) << "back 1 s after start";
    EXPECT_EQ(List().Active(), 1);
    EXPECT_TRUE(HasPrefix(tasks, "Start new Task(TaskID=1,id=TAPE,"));
    EXPECT_TRUE(tasks.Has("end Start new Task (dev=VTR1,ret=OK)"));
    EXPECT_TRUE(HasPrefix(tasks, "StartNewTask = TAPE ,StartTime = "));
}

TEST_F(BetaCamSource, ATaskThatIsNotReadyGoesOnAirWithoutPlay)
{
    Open();
    CVideoPlayTask task = Task(1, 1000);
    Preset(task, PLAYTASK_CUED);
    task.m_nFlags = 4;
    List().ModifyTask(task, 0);
    LogCapture tasks("LOG_PLAYTASK");
    EXPECT_EQ(source.OnTaskStartNewTask(), 1);
    EXPECT_EQ(vtr.Count(0x20, 0x01), 0u);
    EXPECT_EQ(List().Active(), 1);
    EXPECT_TRUE(tasks.Has("fatal;dev=VTR1,下一条节目没有准备好"));
}

// A task 12 s off with the tape far from its cue point, one command refused in turn: the
// simple cue does not ask whether its cues took, so at the start a tape that is not at its
// cue point marks the task as a failed cue and no PLAY goes out; PLAY refused fails the
// task's start and nothing more is sent.
TEST_F(BetaCamSource, EachRefusedCommandLeavesTheTaskUnplayedOrFlagged)
{
    Open();
    struct Case {
        const char *name;
        uint8_t cmd1, cmd2;
        size_t plays;
        int32_t flags;
    };
    const Case cases[] = {
        {"nothing refused", 0, 0, 1, 0},
        {"STATUS SENSE", 0x61, 0x20, 0, 1},
        {"TIMER MODE SELECT", 0x41, 0x36, 0, 1},
        {"CURRENT TIME SENSE", 0x61, 0x0C, 0, 1},
        {"CUE UP WITH DATA", kCueCmd1, kCueCmd2, 0, 16},
        {"STANDBY ON", 0x20, 0x05, 1, 0},
        {"PLAY", 0x20, 0x01, 1, 1},
    };
    int32_t id = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        List().SetActiveTask(CVideoPlayTask());
        CVideoPlayTask stopped;
        while (List().GetStoppedTask(stopped, 1)) {
        }
        List().RemoveAll();
        vtr.SetPosition(50000);
        source.Line().Advance(5000); // past the caches
        vtr.ClearCommands();
        if (c.cmd1 || c.cmd2) vtr.SetRefused(c.cmd1, c.cmd2, true);
        Preset(Task(++id, 12500));
        ASSERT_TRUE(RunToAir());
        if (c.cmd1 || c.cmd2) vtr.SetRefused(c.cmd1, c.cmd2, false);
        CVideoPlayTask onAir;
        ASSERT_NE(List().GetPgmTask(onAir), 0);
        EXPECT_EQ(onAir.m_nTaskID, id);
        EXPECT_EQ(onAir.m_nFlags, c.flags);
        EXPECT_EQ(vtr.Count(0x20, 0x01), c.plays);
    }
}

TEST_F(BetaCamSource, APositionWithinTwoFramesIsCuedAlsoAcrossMidnight)
{
    Open();
    // Material at 22:13:20:00; the tape two frames short of the pre-roll point reads negative.
    const int32_t som = 2000000;
    vtr.SetPosition(som - 125 - 2);
    Preset(Task(1, 700000, som));
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(PresetNow().m_nStatus, PLAYTASK_CUED);
    EXPECT_EQ(vtr.Count(kCueCmd1, kCueCmd2), 0u);

    vtr.SetPosition(som - 125 - 3);
    Preset(Task(1, 700000, som));
    source.Line().Advance(2000); // past the position cache
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(PresetNow().m_nStatus, 5) << "read, not cued";

    vtr.SetStatusByte4(true);
    source.Line().Advance(4000);
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(PresetNow().m_nStatus, 8) << "status 4.0: the cue is under way";
}

TEST_F(BetaCamSource, WithoutATapeTheTaskWaitsAndIsMarkedWithinTheClipCheckTime)
{
    Open();
    vtr.SetTape(false);
    source.Line().Advance(4000); // past the status cache
    Preset(Task(1, 1000000));
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(PresetNow().m_nStatus, 2);
    EXPECT_EQ(PresetNow().m_nFlags, 0) << "more than 900 s to go";
    Preset(Task(1, 800000));
    source.Line().Advance(4000);
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(PresetNow().m_nFlags, 4);
    EXPECT_EQ(vtr.Count(kCueCmd1, kCueCmd2), 0u);
}

TEST_F(BetaCamSource, MissedAnswersAreToleratedTwiceThenTheTaskIsMarked)
{
    Open();
    vtr.SetSilent(true);
    Preset(Task(1, 100000));
    for (int pass = 1; pass <= 2; ++pass) {
        source.Line().Advance(4000);
        Background<int> step([&] { return source.OnTaskCheckNextTask(); });
        while (!step.Done(1)) source.Line().Advance(100, 0);
        EXPECT_EQ(step.Result(), 0) << pass;
        EXPECT_EQ(PresetNow().m_nStatus, PLAYTASK_WAITING) << pass;
    }
    source.Line().Advance(4000);
    Background<int> step([&] { return source.OnTaskCheckNextTask(); });
    while (!step.Done(1)) source.Line().Advance(100, 0);
    EXPECT_EQ(step.Result(), 1);
    EXPECT_EQ(PresetNow().m_nStatus, 1);
    EXPECT_EQ(PresetNow().m_nFlags, 1);
}

TEST_F(BetaCamSource, RefusalsAreToleratedTwiceThenTheTaskIsMarked)
{
    // A refusal is an answer, so the VTR stays connected; the status may still be answered
    // between the passes. A marked task goes on air without PLAY.
    const struct {
        const char *name;
        std::function<void(kestsim::VtrSim &)> refuse;
    } cases[] = {
        {"TIMER MODE SELECT refused",
         [](kestsim::VtrSim &sim) { sim.SetRefused(0x41, 0x36, true); }},
        {"everything refused", [](kestsim::VtrSim &sim) { sim.SetNak(true); }},
    };
    int32_t id = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        vtr.SetNak(false);
        vtr.SetRefused(0x41, 0x36, false);
        Open();
        c.refuse(vtr);
        List().RemoveAll();
        Preset(Task(++id, 100000));
        for (int pass = 1; pass <= 2; ++pass) {
            source.Line().Advance(4000); // past the status cache
            EXPECT_EQ(source.OnTaskCheckNextTask(), 0) << pass;
            EXPECT_EQ(PresetNow().m_nFlags, 0) << pass;
        }
        source.Line().Advance(4000);
        EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
        EXPECT_EQ(PresetNow().m_nStatus, PLAYTASK_WAITING);
        EXPECT_EQ(PresetNow().m_nFlags, 1) << "marked as a failed cue";
        EXPECT_EQ(source.GetVTR()->IsConnected(), 1);
        EXPECT_EQ(vtr.Count(kCueCmd1, kCueCmd2), 0u);
    }
}

TEST_F(BetaCamSource, TheFirstCueSleepsTowardsTheSecondCueTimeAtMostSixSeconds)
{
    Open();
    for (const auto &[ms, sleep] : {std::pair{40500, 6000}, std::pair{33500, 3000}}) {
        SCOPED_TRACE(ms);
        List().RemoveAll();
        vtr.ClearCommands();
        vtr.SetPosition(0);
        source.Line().Advance(5000);
        Preset(Task(1, ms));
        Background<int> step([&] { return source.OnTaskCheckNextTask(); });
        ASSERT_TRUE(vtr.WaitFor(kCueCmd1, kCueCmd2));
        EXPECT_EQ(CuePoint(vtr.Commands().back()), 875);
        LetRun();
        Advance(static_cast<uint32_t>(sleep) - 20);
        EXPECT_FALSE(step.Done(10));
        Advance(20);
        ASSERT_TRUE(step.Done(5000));
        EXPECT_EQ(step.Result(), 1);
        EXPECT_EQ(PresetNow().m_nStatus, 8);
    }
}

TEST_F(BetaCamSource, TheSecondCueLeavesThePreRollAndAtMostFiveSecondsOfItsSleep)
{
    Open();
    // 20 s to go: the cue sleeps 20 - 5 s, less 5 s as that is more than 5 s.
    Preset(Task(1, 20500), 8);
    Background<int> step([&] { return source.OnTaskCheckNextTask(); });
    ASSERT_TRUE(vtr.WaitFor(kCueCmd1, kCueCmd2));
    LetRun();
    Advance(9980);
    EXPECT_FALSE(step.Done(10));
    Advance(20);
    ASSERT_TRUE(step.Done(5000));
    EXPECT_EQ(PresetNow().m_nStatus, PLAYTASK_CUED);
    EXPECT_EQ(PresetNow().m_nFlags, 0);

    // Inside the pre-roll no cue is sent, yet the task counts as cued.
    vtr.ClearCommands();
    vtr.SetPosition(0);
    source.Line().Advance(5000);
    List().RemoveAll();
    Preset(Task(2, 4500), 8);
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(PresetNow().m_nStatus, PLAYTASK_CUED);
    EXPECT_EQ(vtr.Count(kCueCmd1, kCueCmd2), 0u);
}

TEST_F(BetaCamSource, TheTaskOnAirIsWatchedAndStoppedAtItsEnd)
{
    Open();
    CVideoPlayTask task = Task(1, -1000, 1000, 250); // 10 s, 1 s of it gone
    List().SetActiveTask(task);
    EXPECT_EQ(source.OnTaskTracePgmTask(), 1);
    CVideoPlayTask onAir;
    ASSERT_NE(List().GetPgmTask(onAir), 0);
    EXPECT_EQ(onAir.m_nFlags, 18) << "on air but the VTR is not playing";
    EXPECT_EQ(source.OnTaskTracePgmTask(), 0) << "at most once per 2 s";

    ASSERT_EQ(source.DevContinue(), 1);
    source.Line().Advance(5900); // 3.1 s left, and the status cache has run out
    LogCapture tasks("LOG_PLAYTASK");
    vtr.ClearCommands();
    Background<int> step([&] { return source.OnTaskTracePgmTask(); });
    ASSERT_TRUE(vtr.WaitFor(0x61, 0x20));
    LetRun();
    ASSERT_TRUE(step.Done(5000));
    ASSERT_NE(List().GetPgmTask(onAir), 0);
    EXPECT_EQ(onAir.m_nFlags, 0) << "playing";
    EXPECT_EQ(vtr.Count(0x20, 0x00), 0u) << "3 s or more left";

    source.Line().Advance(2000); // 1.1 s left
    Background<int> last([&] { return source.OnTaskTracePgmTask(); });
    LetRun();
    Advance(1080);
    EXPECT_EQ(vtr.Count(0x20, 0x00), 0u);
    Advance(20);
    ASSERT_TRUE(last.Done(5000));
    EXPECT_EQ(last.Result(), 1);
    EXPECT_EQ(vtr.Count(0x20, 0x00), 1u);
    EXPECT_EQ(List().Active(), 0);
    EXPECT_TRUE(tasks.Has("CVideoSrc_BetaCamX::OnTaskTracePgmTask set active task = 0"));
}

TEST_F(BetaCamPutAway, ZeroEjectCuesBackToTheMaterialThenEjectsAndStopOnlyStops)
{
    Open();
    vtr.SetPosition(90000);
    CVideoPlayTask ended = Task(1, -20000, 1000, 250);
    List().SetActiveTask(ended);
    CVideoPlayTask next = Task(2, 3000);
    List().SetActiveTask(next);
    CVideoPlayTask stopped;
    EXPECT_EQ(source.OnTaskStopCurrentTask(), 0) << "nothing while a task is on air";
    EXPECT_NE(List().GetStoppedTask(stopped, 0), 0) << "and the stopped task is kept";
    List().SetActiveTask(CVideoPlayTask());

    Background<int> step([&] { return source.OnTaskStopCurrentTask(); });
    ASSERT_TRUE(vtr.WaitFor(0x20, 0x0F));
    LetRun();
    auto commands = vtr.Commands();
    std::vector<const kestsim::VtrSim::Command *> cues;
    for (const auto &c : commands)
        if (c.Is(kCueCmd1, kCueCmd2)) cues.push_back(&c);
    ASSERT_EQ(cues.size(), 1u);
    EXPECT_EQ(CuePoint(*cues[0]), 875) << "the SOM less the pre-roll";
    EXPECT_TRUE(commands.back().Is(0x20, 0x0F)) << "then the eject";
    Advance(990);
    EXPECT_FALSE(step.Done(10)) << "the eject settles";
    Advance(10);
    ASSERT_TRUE(step.Done(5000));
    EXPECT_EQ(step.Result(), 1);

    // A task that carries the stop-only mark: STOP and nothing else.
    while (List().GetStoppedTask(stopped, 1)) {
    }
    CVideoPlayTask only = Task(3, -20000);
    only.m_nStopOnly = 1;
    List().SetActiveTask(only);
    List().SetActiveTask(CVideoPlayTask());
    vtr.ClearCommands();
    EXPECT_EQ(source.OnTaskStopCurrentTask(), 1);
    ASSERT_EQ(vtr.Commands().size(), 1u);
    EXPECT_TRUE(vtr.Commands()[0].Is(0x20, 0x00));
}

TEST_F(BetaCamRecSource, TheConfirmedCueWaitsForTheVtrOrGivesUpWhenTheTapeStandsStill)
{
    Open();
    LogCapture dev("LOG_DEV_BETACAM");
    vtr.SetPosition(0);
    vtr.SetCuesComplete(false);
    Background<int> stuck([&] { return source.DevCueEx("", 1000, 0, nullptr); });
    ASSERT_TRUE(vtr.WaitFor(kCueCmd1, kCueCmd2));
    for (int pass = 0; pass < 20; ++pass)
        if (!AdvanceWhileRunning(stuck, 2000) || !AdvanceWhileRunning(stuck, 50)) break;
    ASSERT_TRUE(stuck.Done(5000));
    EXPECT_EQ(stuck.Result(), 0);
    EXPECT_EQ(vtr.Count(0x61, 0x20), 5u) << "one pass sees the cue move, four see it stand";
    EXPECT_TRUE(dev.Has("Cue with data (fail)"));

    vtr.SetCuesComplete(true);
    dev.Clear();
    Background<int> done([&] { return source.DevCueEx("", 2000, 0, nullptr); });
    ASSERT_TRUE(vtr.WaitFor(kCueCmd1, kCueCmd2, 2));
    LetRun();
    Advance(2000);
    ASSERT_TRUE(done.Done(5000));
    EXPECT_EQ(done.Result(), 1);
    EXPECT_TRUE(dev.Has("Cue with data (OK)"));

    // A cue the VTR never answers fails at once, without polling.
    vtr.SetSilent(true);
    vtr.ClearCommands();
    source.Line().Advance(5000);
    Background<int> refused([&] { return source.DevCueEx("", 5000, 0, nullptr); });
    while (!refused.Done(1)) source.Line().Advance(100, 0);
    EXPECT_EQ(refused.Result(), 0);
    EXPECT_EQ(vtr.Count(0x61, 0x20), 0u);
}

TEST_F(BetaCamSource, AVirtualSourceLeavesTheVtrAlone)
{
    Open();
    ASSERT_EQ(source.OnSetVirtual(1), 1);
    EXPECT_EQ(source.DevIsOpen(), 1);
    EXPECT_EQ(source.DevGoto(1000), 1);
    EXPECT_EQ(source.DevStop(), 1);
    Preset(Task(1, 100000));
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(PresetNow().m_nStatus, PLAYTASK_CUED);
    EXPECT_EQ(vtr.Commands().size(), 0u);
}

TEST_F(BetaCamTimeCode, TimeCodeIsSelectedBeforeReadingAndTheFirstCueTimeIsTheSetting)
{
    Open();
    Preset(Task(1, 101500));
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    ASSERT_TRUE(vtr.Commands().front().Is(0x41, 0x36));
    EXPECT_EQ(vtr.Commands().front().data, Bytes{0x00}) << "time code";
    EXPECT_EQ(vtr.Commands().back().data, Bytes{0x01}) << "the time code is read";
    EXPECT_EQ(PresetNow().m_nStatus, 5);
    EXPECT_EQ(vtr.Count(kCueCmd1, kCueCmd2), 0u) << "101 s: not yet";

    source.Line().Advance(2000);
    Background<int> step([&] { return source.OnTaskCheckNextTask(); });
    ASSERT_TRUE(vtr.WaitFor(kCueCmd1, kCueCmd2));
    LetRun();
    Advance(6000);
    ASSERT_TRUE(step.Done(5000));
    EXPECT_EQ(PresetNow().m_nStatus, 8);
}
