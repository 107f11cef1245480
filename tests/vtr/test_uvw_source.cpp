// The UVW VTR source against a byte recorder on a board port, on the manual clock: the bytes
// of its commands, the start with its pre-roll, the cue step at the first and second cue
// times, and the put-away that waits when the next task is less than a minute off.
#include "drivers/sources/vtr/CVideoSrc_UVW.h"
#include "tests/vtr/VtrTestKit.h"

#include "platform/Process.h"

using namespace vtrtest;
using devtest::LogCapture;

namespace {

const Bytes kPlay{0x3A}, kStop{0x3F}, kEject{0x2A};

Bytes Cue(uint8_t sign, const char *digits)
{
    Bytes frame{0xA0, 0xDF, 0x93, sign};
    for (const char *d = digits; *d; ++d) frame.push_back(static_cast<uint8_t>(*d));
    frame.push_back(0x40);
    return frame;
}

class UvwSource : public ::testing::Test {
protected:
    UvwSource()
    {
        source.InitInstance("/etc/tvx/UVW1", "UVW1");
        source.GetPlayList().SetOwner(nullptr);
    }
    void SetUp() override
    {
        ASSERT_TRUE(pty.Valid());
        ASSERT_EQ(source.DevOpen(), 1);
        ASSERT_EQ(source.DevIsOpen(), 1) << "the board port";
    }

    CVideoPlayTaskList &List() { return source.GetPlayList(); }
    CVideoPlayTask Task(int32_t id, int64_t ms, int32_t som = 1000, int32_t durFrames = 250)
    {
        CVideoPlayTask task;
        task.m_nTaskID = id;
        task.m_strClipID = "TAPE";
        task.m_nStart = devtest::ManualTime::Now() + ms * kMs;
        task.m_nSOM = som;
        task.m_nDUR = durFrames;
        return task;
    }
    CVideoPlayTask PresetNow()
    {
        CVideoPlayTask task;
        EXPECT_NE(List().GetPresetTask(task, 0), 0);
        return task;
    }
    // The bytes received since the last call.
    Bytes Sent(size_t atLeast = 0)
    {
        EXPECT_TRUE(atLeast == 0 || peer.WaitForBytes(atLeast, 5000));
        LetRun();
        Bytes got = peer.Received();
        peer.ClearReceived();
        return got;
    }
    void Advance(uint32_t ms)
    {
        EXPECT_TRUE(Sleeping(m_baseline));
        plat::TestClock::Advance(ms);
        LetRun();
    }

    devtest::ManualTime time;
    kit::SimLine<kestsim::ScriptedPeer> farEnd{plat::SerialPortKind::SIO, kBoardPort};
    kestsim::PtyPair &pty = farEnd.Pty();
    kestsim::ScriptedPeer &peer = farEnd.Peer();
    const int m_baseline = plat::TestClock::TimedWaiters();
    devtest::MountedSettings m_settings{
        devtest::Section("UVW1", {{"class", "CVideoSrc_UVW"},
                                  {"Com", std::to_string(kBoardPort)},
                                  {"VtrOverOpt", "Zero_Eject"}})};
    CVideoSrc_UVW source;
};

} // namespace

TEST_F(UvwSource, CommandsAreSingleBytesAndTheCueCarriesTheSignedPosition)
{
    const COM_SETTING setting = source.GetLine().GetSetting();
    EXPECT_EQ(setting.nPort, kBoardPort);
    EXPECT_EQ(setting.nBaud, 9600);
    EXPECT_EQ(setting.nParity, COM_PARITY_NONE);
    EXPECT_EQ(setting.nHalfTime, 50);
    EXPECT_EQ(source.GetVtrOverOpt(), CVideoSrcA::VTROVER_ZERO_EJECT);

    EXPECT_EQ(source.DevStop(), 1);
    EXPECT_EQ(Sent(1), kStop);
    plat::TestClock::Advance(50);
    EXPECT_EQ(source.DevShuttle(0.0), 1);
    EXPECT_EQ(Sent(1), Bytes{0xAC}) << "no speed is reverse search";
    plat::TestClock::Advance(50);
    EXPECT_EQ(source.DevShuttle(2.0), 1);
    EXPECT_EQ(Sent(1), Bytes{0xAB});
    plat::TestClock::Advance(50);
    EXPECT_EQ(source.DevGoto(1000), 1);
    EXPECT_EQ(Sent(13), Cue(0xA1, "00003500"));
    plat::TestClock::Advance(50);
    EXPECT_EQ(source.DevCue("", -100, 0), 1);
    EXPECT_EQ(Sent(13), Cue(0xA1, "23595100")) << "a negative SOM is raised by a day";
    plat::TestClock::Advance(50);
    EXPECT_EQ(source.DevCueEx("", 0, 0, nullptr), 1);
    EXPECT_EQ(Sent(13), Cue(0xA2, "00000500")) << "before the tape's zero";

    timecode_t size = 0;
    EXPECT_EQ(source.DevGetClipSize("X", size), 1);
    EXPECT_EQ(size, 45000);
    EXPECT_EQ(source.DevCheckCompatible("LVSRC_VTR", "X"), 1);
    EXPECT_EQ(source.DevJog(5), 1);
    EXPECT_TRUE(Sent().empty()) << "no jog on this VTR";

    source.DevClose();
    EXPECT_EQ(source.DevIsOpen(), 0);
    EXPECT_EQ(source.DevOpen(), 1);
    EXPECT_EQ(source.DevIsOpen(), 1) << "opens again after a close";
}

TEST_F(UvwSource, PlayGoesOutBeforeThePreRollAndTheStartReturnsAfterIt)
{
    List().Add(Task(1, 8000));
    CVideoPlayTask cued = PresetNow();
    cued.m_nStatus = PLAYTASK_CUED;
    List().ModifyTask(cued, 0);
    const uint32_t start = plat::GetTickCount() + 8000;
    Background<int> step([&] { return source.OnTaskStartNewTask(); });
    Advance(2470);
    EXPECT_TRUE(Sent().empty());
    Advance(30);
    EXPECT_EQ(Sent(1), kPlay);
    Advance(4980);
    EXPECT_FALSE(step.Done(10));
    Advance(30);
    ASSERT_TRUE(step.Done(5000));
    EXPECT_EQ(step.Result(), 1);
    EXPECT_NEAR(plat::TickDiff(plat::GetTickCount(), start), -500, 30) << "after the pre-roll";
    EXPECT_EQ(List().Active(), 1);
}

TEST_F(UvwSource, TheCueIsSentAtTheFirstAndAgainAtTheSecondCueTime)
{
    List().Add(Task(1, 700500));
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(PresetNow().m_nStatus, 7) << "ready, not cued";
    EXPECT_TRUE(Sent().empty());

    plat::TestClock::Advance(101000); // 599 s to go
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(PresetNow().m_nStatus, 8);
    EXPECT_EQ(Sent(13), Cue(0xA1, "00003500"));
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_TRUE(Sent().empty()) << "once";

    plat::TestClock::Advance(570000); // 29 s to go
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(PresetNow().m_nStatus, PLAYTASK_CUED);
    EXPECT_EQ(Sent(13), Cue(0xA1, "00003500"));

    source.DevClose();
    List().RemoveAll();
    List().Add(Task(2, 10500));
    plat::SetEnv("KEST_SIO42", "/nonexistent/tty"); // the line is gone
    EXPECT_EQ(source.OnTaskCheckNextTask(), 1);
    EXPECT_EQ(PresetNow().m_nStatus, 1);
    EXPECT_EQ(PresetNow().m_nFlags, 1);
    EXPECT_EQ(source.GetDevStatus().nCode, 3);
}

TEST_F(UvwSource, AfterATaskTheTapeStaysWhenTheNextStartsWithinAMinute)
{
    LogCapture dev("LOG_DEV_BETACAM");
    // A task of 10 s ended at now; the next starts 50 s after its end.
    CVideoPlayTask ended = Task(1, -10000, 1000, 250);
    List().SetActiveTask(ended);
    List().SetActiveTask(CVideoPlayTask());
    List().Add(Task(2, 50000));
    EXPECT_EQ(source.OnTaskStopCurrentTask(), 0);
    EXPECT_TRUE(Sent().empty());

    List().SetActiveTask(ended);
    List().SetActiveTask(CVideoPlayTask());
    List().RemoveAll();
    List().Add(Task(2, 60000));
    Background<int> step([&] { return source.OnTaskStopCurrentTask(); });
    while (!step.Done(1)) plat::TestClock::Advance(10); // the eject waits out the line's pause
    EXPECT_EQ(step.Result(), 1);
    Bytes expected = Cue(0xA1, "00003500");
    expected.push_back(0x2A);
    EXPECT_EQ(Sent(14), expected) << "back to the SOM less the pre-roll, then eject";
    EXPECT_TRUE(dev.Has("Cue with data (OK)"));
    EXPECT_TRUE(dev.Has("trace; Eject return=OK"));
}

TEST_F(UvwSource, AFailedWriteFailsTheCommand)
{
    peer.HangUp(); // every write to the line fails from now on
    struct Call {
        const char *name;
        std::function<int()> call;
    };
    const Call calls[] = {
        {"stop", [&] { return source.DevStop(); }},
        {"eject", [&] { return source.DevEject(); }},
        {"shuttle", [&] { return source.DevShuttle(2.0); }},
        {"goto", [&] { return source.DevGoto(1000); }},
        {"cue", [&] { return source.DevCue("", 100, 0); }},
    };
    for (const Call &c : calls) EXPECT_EQ(devtest::RunAdvancing(c.call), 0) << c.name;
}
