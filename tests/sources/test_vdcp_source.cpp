// The VDCP play-out source against the simulator: claiming its decoder channel on the port
// and sharing the port with a source of the same channel only, the status report, cues that
// are not sent twice, and the task side: cue steps, cue to the first frame of a trigger task,
// a timed start and a trigger task's take; preview in its range.
#include "drivers/model/CVideoSrcA.h"
#include "drivers/tasks/CVideoBroTaskMgr3.h"
#include "drivers/tasks/CVideoBroTaskTPU.h"
#include "drivers/tasks/IVideoBroTaskProcess.h"
#include "drivers/tasks/IVideoBroTaskTPU.h"
#include "tests/sources/VdcpTestKit.h"

#include "Kest20/CClock.h"
#include "Kest20/InstanceRegistry.h"

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <mutex>

using namespace vdcptest;

namespace {

constexpr int kPort = 43;
constexpr int kUnboundPort = 44;

std::string Source(const char *name, int com, int decoder)
{
    return devtest::Section(name, {{"class", "CVideoSrcX_VDCP"},
                                   {"Com", std::to_string(com)},
                                   {"Decoder", std::to_string(decoder)},
                                   {"ComTimeout", "300"}});
}

class VdcpSourceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(line.pty.Valid()); }

    CVideoSrcA &Src(const char *id)
    {
        // Created and initialised from its setting, but not opened: the test opens it.
        auto *source =
            dynamic_cast<CVideoSrcA *>(glCreateComponent(id, "", CVideoSrcA::GetClassID(), 0));
        EXPECT_NE(source, nullptr) << id;
        if (source->GetObjectStatus() < 3)
            source->InitInstance((std::string("/etc/tvx/") + id).c_str(), id);
        return *source;
    }
    IVideoBroTaskProcess &Proc(const char *id)
    {
        void *answer = nullptr;
        Src(id).QueryInterface(&IID_IVideoBroTaskProcess, &answer);
        EXPECT_NE(answer, nullptr);
        return *static_cast<IVideoBroTaskProcess *>(answer);
    }
    tagVideoBroTask Task(int32_t id, const char *clip, int64_t startIn, int32_t type)
    {
        tagVideoBroTask task;
        task.TaskID = id;
        task.Dev = "VDCP1";
        task.ID = clip;
        task.DUR = 250;
        task.StartType = type;
        glGetTimeEx(&task.Start);
        task.Start += startIn;
        task.pUserData = &statuses;
        task.pfnCallBack = &Statuses::OnStatus;
        return task;
    }

    SimLine line{kPort};
    devtest::MountedSettings m_settings{Source("VDCP1", kPort, 1) + Source("VDCP2", kPort, 2) +
                                        Source("VDCP3", kPort, 1) +
                                        Source("VDCPX", kUnboundPort, 1)};
    devtest::DeleteDevices m_cleanup{{"VDCP1", "VDCP2", "VDCP3", "VDCPX"}};
    Statuses statuses;
};

} // namespace

TEST_F(VdcpSourceTest, TheFirstSourceClaimsItsChannelAndOnlyTheSameChannelSharesThePort)
{
    CVideoSrcA &first = Src("VDCP1");
    EXPECT_EQ(first.GetDescription(), CString("视频源(基于VDCP协议的视频服务器)"));
    ASSERT_EQ(first.DevOpen(), 1);
    const auto commands = line.sim.Commands();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands[0].cmd2, 0x01);
    EXPECT_EQ(commands[0].data, (Bytes{1, 0})) << "OpenPort of the decoder";
    EXPECT_EQ(commands[1].cmd2, 0x22);
    EXPECT_EQ(commands[2].cmd2, 0x05);
    EXPECT_EQ(std::string(first.GetDevName()), "DEV_VSRC1");
    EXPECT_EQ(first.GetDevStatus().nCode, 0);

    CVideoSrcA &same = Src("VDCP3");
    ASSERT_EQ(same.DevOpen(), 1) << "the same channel goes through the first source's port";
    EXPECT_EQ(line.sim.CountOf(0x30, 0x01), 1u);
    ASSERT_EQ(same.DevCue("CLIP1", 0, 250), 1);
    EXPECT_EQ(line.sim.CuedClip(), "CLIP1");

    CVideoSrcA &other = Src("VDCP2");
    EXPECT_EQ(other.DevOpen(), 0);
    EXPECT_EQ(other.GetDevStatus().nCode, 5);
    EXPECT_EQ(std::string(other.GetDevStatus().szText), "decoder port conflict");

    EXPECT_EQ(Src("VDCPX").DevOpen(), 0);
    EXPECT_EQ(Src("VDCPX").GetDevStatus().nCode, 3) << "no port to be had";

    EXPECT_EQ(first.DevClose(), 1);
    EXPECT_EQ(std::string(first.GetDevName()), "DEV_VSRC_UNKNOWN");
}

TEST_F(VdcpSourceTest, ARefusedChannelOrAnotherSelectedOneFailsTheOpen)
{
    line.sim.SetFreeChannels({2});
    CVideoSrcA &source = Src("VDCP1");
    EXPECT_EQ(source.DevOpen(), 0);
    EXPECT_EQ(std::string(source.GetDevStatus().szText), "Open device failed");
    EXPECT_EQ(source.DevIsOpen(), 0) << "the port was closed again";
    // Another source of the channel (its own port object, so its open attempt is due).
    line.sim.SetFreeChannels({1});
    line.sim.SetIgnoreSelect(true);
    CVideoSrcA &again = Src("VDCP3");
    EXPECT_EQ(again.DevOpen(), 0);
    EXPECT_EQ(std::string(again.GetDevStatus().szText), "Open decoder error");
    EXPECT_EQ(line.sim.CountOf(0x20, 0x22), 1u);
}

TEST_F(VdcpSourceTest, ASharerPlaysAsPunctuallyAsTheOwnerAndTheOwnerReopensAfterAHangUp)
{
    CVideoSrcA &owner = Src("VDCP1");
    ASSERT_EQ(owner.DevOpen(), 1);
    CVideoSrcA &sharer = Src("VDCP3");
    ASSERT_EQ(sharer.DevOpen(), 1);
    devtest::ManualTime time;
    constexpr uint32_t kStepMs = 5;
    const struct {
        const char *name;
        CVideoSrcA &source;
    } cases[] = {{"owner", owner}, {"sharer", sharer}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const size_t plays = line.sim.CountOf(0x10, 0x01);
        const size_t asked = line.sim.CountOf(0x30, 0x05);
        // PLAY goes out PlayBeforeTime (1 ms) before the start.
        const int64_t start = devtest::ManualTime::Now() + 1001 * devtest::kMs;
        const int64_t due = start - 1 * devtest::kMs;
        auto play = std::async(std::launch::async, [&] { return c.source.DevPlay(&start); });
        devtest::FinishStepping<int> finish(play);
        ASSERT_TRUE(devtest::AdvanceUntil([&] { return line.sim.CountOf(0x10, 0x01) > plays; },
                                          kStepMs, 5000));
        const int64_t late = (devtest::ManualTime::Now() - due) / devtest::kMs;
        ASSERT_TRUE(devtest::AdvanceUntil(
            [&] { return play.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
            kStepMs, 5000));
        EXPECT_EQ(play.get(), 1);
        EXPECT_GE(late, 0);
        EXPECT_LE(late, kStepMs) << "PLAY left " << late << " ms late";
        EXPECT_EQ(line.sim.CountOf(0x30, 0x05), asked) << "no status asked on the way";
    }

    // The owner's line hangs up and a server comes on a new line at the same port: the
    // owner opens it and claims its channel again.
    line.sim.Peer().HangUp();
    SimLine again{kPort};
    ASSERT_TRUE(again.pty.Valid());
    devtest::RunAdvancing([&] { return owner.DevStop(); }); // may meet the old line
    EXPECT_EQ(devtest::RunAdvancing([&] { return owner.DevStop(); }), 1);
    EXPECT_EQ(again.sim.CountOf(0x30, 0x01), 1u) << "the channel claimed on the new line";
    EXPECT_EQ(again.sim.SelectedChannel(), 1);
    EXPECT_GE(again.sim.CountOf(0x10, 0x00), 1u);
}

TEST_F(VdcpSourceTest, TheStatusReportAndCuesThatAreNotSentTwice)
{
    CVideoSrcA &source = Src("VDCP1");
    ASSERT_EQ(source.DevOpen(), 1);
    devtest::LogCapture report("#OVRA_STATUSDEV");
    ASSERT_EQ(source.DevCueEx("CLIP1", 0, 250, nullptr), 1);
    EXPECT_EQ(source.DevTest(""), 1);
    EXPECT_TRUE(report.Has("<DEV=\"VDCP1\" ID=\"129\" MSG=\"空闲 预卷好 \">"));

    ASSERT_EQ(source.DevCueEx("CLIP1", 0, 250, nullptr), 1);
    EXPECT_EQ(line.sim.CountOf(0x20, 0x25), 1u) << "cued already and still cued";
    ASSERT_EQ(source.DevCueEx("CLIP1", 25, 250, nullptr), 1);
    EXPECT_EQ(line.sim.CountOf(0x20, 0x25), 2u) << "another SOM";
    EXPECT_EQ(source.DevCueEx("MISSING", 0, 250, nullptr), 0);
    EXPECT_EQ(line.sim.CountOf(0x20, 0x25), 2u) << "an unknown clip is not cued";

    ASSERT_EQ(source.DevStop(), 1);
    ASSERT_EQ(source.DevCueEx("CLIP1", 25, 250, nullptr), 1);
    EXPECT_EQ(line.sim.CountOf(0x20, 0x25), 3u) << "the channel lost its cue";

    ASSERT_EQ(source.DevCue("NEWS0100", 0, 4400000), 1);
    Bytes data;
    for (const auto &command : line.sim.Commands())
        if (command.cmd2 == 0x25) data = command.data;
    ASSERT_EQ(data.size(), 16u);
    EXPECT_EQ(Bytes(data.begin() + 12, data.end()), VdcpSim::Timecode(80000));

    timecode_t size;
    EXPECT_EQ(source.DevGetClipSize("NEWS0100", size), 1500);
    EXPECT_EQ(source.DevCheckCompatible("LVSRC_DEC_VDCP", "NEWS0100"), 1);
    EXPECT_EQ(source.DevCheckCompatible("LVSRC_LINE", "NEWS0100"), 0);
    EXPECT_EQ(source.DevCheckCompatible("LVSRC_DEC_VDCP", "MISSING"), 0);
}

TEST_F(VdcpSourceTest, CueStepsCueToTheFirstFrameAndATimedStart)
{
    CVideoBroTaskMgr3 mgr; // the variant that keeps the attached object
    IVideoBroTaskMgr3 &m = *mgr.operator->();
    static_cast<CVideoBroTaskTPU &>(*m.GetTPU()).ShutDown();
    IVideoBroTaskProcess &proc = Proc("VDCP1");

    m.AddTask(Task(1, "MISSING", 60 * devtest::kSecond, BROTASK_START_TRIGGER));
    m.Goto(0);
    EXPECT_EQ(proc.DevTaskCue(&m, 0), 0);
    EXPECT_EQ(statuses.Of(1), (std::vector<int32_t>{3, 4, 6, 7}));
    EXPECT_EQ(m.GetTaskFlag(1), BROTASK_FLAG_CLIP);
    m.RemoveAllTask();

    m.AddTask(Task(2, "CLIP1", 60 * devtest::kSecond, BROTASK_START_TRIGGER));
    m.Goto(0);
    EXPECT_EQ(proc.DevTaskCue(&m, 0), 1);
    EXPECT_EQ(statuses.Of(2), (std::vector<int32_t>{3, 4, 6, 7, 9, 10}));
    EXPECT_EQ(line.sim.CuedClip(), "CLIP1");

    // Cue to first: a cued trigger task stills on its first frame once, when asked.
    EXPECT_EQ(proc.DevTaskTrace(&m, 0), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x04), 0u) << "not asked";
    m.SetAttachedObject(1);
    EXPECT_EQ(proc.DevTaskTrace(&m, 0), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x04), 1u);
    EXPECT_EQ(m.GetTaskValue(2), 1);
    EXPECT_EQ(m.GetAttachedObject(), 0);
    m.SetAttachedObject(1);
    proc.DevTaskTrace(&m, 0);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x04), 1u) << "already on its first frame";
    m.RemoveAllTask();

    // A timed start 1.5 s ahead plays at its time.
    m.AddTask(Task(3, "CLIP1", 1500 * devtest::kMs, BROTASK_START_TIME));
    m.Goto(0);
    m.SetTaskStatus(3, BROTASK_ENDCUE);
    const auto start = Clock::now();
    EXPECT_EQ(proc.DevTaskPlay(&m, 0), 1);
    EXPECT_GE(MsSince(start), 1300);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x01), 1u);
    EXPECT_EQ(statuses.Of(3).back(), BROTASK_BEGINPLAY);
}

TEST_F(VdcpSourceTest, PreviewStaysInItsRangeOnTheChannel)
{
    CVideoSrcA &src = Src("VDCP1");
    ASSERT_EQ(src.DevOpen(), 1);
    // The channel is not playing: the clip is cued and stilled, the range [100, 499].
    ASSERT_EQ(src.PreviewCue("NEWS0100", 100, 400, -10), 1);
    EXPECT_EQ(line.sim.CountOf(0x20, 0x24), 1u);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x04), 1u);
    EXPECT_EQ(line.sim.Position(), 100);
    struct Step {
        const char *what;
        std::function<int()> call;
        int32_t position;
    };
    const Step steps[] = {
        {"goto the end", [&] { return src.PreviewGoto(-9); }, 499},
        {"goto past the end", [&] { return src.PreviewGoto(10000); }, 499},
        {"jog back past the start", [&] { return src.PreviewJog(-1000); }, 100},
        {"jog forward", [&] { return src.PreviewJog(25); }, 125},
        {"goto the start", [&] { return src.PreviewGoto(-10); }, 100},
    };
    for (const Step &step : steps) {
        EXPECT_EQ(step.call(), 1) << step.what;
        EXPECT_EQ(line.sim.Position(), step.position) << step.what;
    }
    const size_t jogs = line.sim.CountOf(0x10, 0x07);
    EXPECT_EQ(src.PreviewJog(-1), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x07), jogs) << "at the start already";

    // Played past the range: the position is held at the end.
    ASSERT_EQ(src.DevJog(500), 1);
    int32_t at = 0;
    ASSERT_EQ(src.PreviewGetPosition(&at), 1);
    EXPECT_EQ(at, 499);
    EXPECT_EQ(line.sim.Position(), 499);

    ASSERT_EQ(src.PreviewPlay(2.0, nullptr), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x08), 1u) << "a variable play";
    plat::Event stop(true, true);
    ASSERT_EQ(src.PreviewPlay(1.0, &stop), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x06), 1u) << "continued";
    EXPECT_EQ(line.sim.CountOf(0x20, 0x25), 0u) << "stopped before the rest is cued";
    const size_t stills = line.sim.CountOf(0x10, 0x04);
    ASSERT_EQ(src.PreviewStill(), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x04), stills + 1);

    {
        // A position that cannot be read sends no jog: it might leave the range.
        plat::ScopedTestClock clock(plat::GetTickCount() + 10000, devtest::kFileTime2020);
        line.sim.SetFaults(Silent());
        const size_t before = line.sim.CountOf(0x10, 0x07);
        EXPECT_EQ(devtest::RunAdvancing([&] { return src.PreviewJog(-1000); }), 0);
        EXPECT_EQ(line.sim.CountOf(0x10, 0x07), before);
        line.sim.SetFaults({});
    }
    ASSERT_EQ(src.PreviewStop(), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x00), 1u);
}

TEST_F(VdcpSourceTest, ATriggerTaskPlaysOnATakeOnly)
{
    CVideoBroTaskMgr3 mgr;
    IVideoBroTaskMgr3 &m = *mgr.operator->();
    static_cast<CVideoBroTaskTPU &>(*m.GetTPU()).ShutDown();
    IVideoBroTaskProcess &proc = Proc("VDCP1");
    devtest::LogCapture tpuLog("LOG_AIR_TPU");
    auto status = [&](int32_t id) {
        tagVideoBroTask task;
        m.GetTask(id, task);
        return task.Status;
    };
    m.AddTask(Task(1, "CLIP1", 60 * devtest::kSecond, BROTASK_START_TRIGGER));
    m.Goto(0);
    ASSERT_EQ(proc.DevTaskCue(&m, 0), 1);
    ASSERT_EQ(status(1), BROTASK_ENDCUE);
    // The start thread waits in the source: the hold and the take reach it as messages.
    m.GetTPU()->SetUnitState(TPU_UNIT_NEW, TPU_UNIT_BUSY);

    // A hold: nothing is played.
    m.GetTPU()->SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_CANCEL, 3);
    EXPECT_EQ(proc.DevTaskPlay(&m, 0), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x01), 0u);
    EXPECT_EQ(status(1), BROTASK_ENDCUE);

    // A take plays at once and puts the task on air.
    m.GetTPU()->SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_PLAY_NOW, 3);
    EXPECT_EQ(proc.DevTaskPlay(&m, 0), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x01), 1u);
    EXPECT_EQ(statuses.Of(1).back(), BROTASK_BEGINPLAY);
    EXPECT_EQ(m.GetTaskFlag(1), 0);
    EXPECT_TRUE(devtest::Eventually([&] {
        for (const std::string &text : tpuLog.Lines())
            if (text.find("): PlayTrigger (time=") != std::string::npos) return true;
        return false;
    }));

    // A take of a task that is not cued plays nothing; a refused play flags the device.
    m.RemoveAllTask();
    m.AddTask(Task(2, "CLIP1", 60 * devtest::kSecond, BROTASK_START_TRIGGER));
    m.Goto(0);
    int32_t cmd = 0, param = 0; // the cancels of the list's change are not for this test
    while (m.GetTPU()->GetUnitMsg(TPU_UNIT_NEW, &cmd, &param, 0)) {
    }
    m.GetTPU()->SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_PLAY_NOW, 3);
    EXPECT_EQ(proc.DevTaskPlay(&m, 0), 0);
    m.SetTaskStatus(2, BROTASK_ENDCUE);
    line.sim.SetFaults(Refusing());
    m.GetTPU()->SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_PLAY_NOW, 3);
    EXPECT_EQ(proc.DevTaskPlay(&m, 0), 1);
    EXPECT_EQ(m.GetTaskFlag(2), BROTASK_FLAG_DEVICE);
    EXPECT_EQ(status(2), BROTASK_BEGINPLAY);
    line.sim.SetFaults({});
}
