// The VDCP video source of the play list and preview against the VDCP simulator: how each kind
// cues, the open that claims (or shares) the decoder channel and sets the server up, an open
// that fails only in the device status, the virtual source that sends nothing, preview in its
// window with the stop thread, the play list putting a task on air and taking it off when
// the channel stops, and the close of a source whose server stopped answering during a play.
#include "drivers/model/CVideoSrcA.h"
#include "drivers/sources/vdcp/CVideoSrc_VDCP.h"
#include "tests/sources/VdcpTestKit.h"

#include "Kest20/CClock.h"
#include "Kest20/InstanceRegistry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <mutex>

using namespace vdcptest;

namespace {

constexpr int kPort = 38;
constexpr int kOwnPort = 39;

std::string Source(const char *name, const char *cls, int com, int decoder,
                   std::initializer_list<std::pair<std::string, std::string>> more = {})
{
    std::string text = devtest::Section(
        name, {{"class", cls}, {"Com", std::to_string(com)}, {"Decoder", std::to_string(decoder)}});
    for (const auto &[key, value] : more) text += key + "=" + value + "\r\n";
    return text;
}

CVideoSrc_VDCP &Src(const char *id)
{
    auto *object = glCreateComponent(id, "", CVideoSrcA::GetClassID(), 0);
    auto *source = dynamic_cast<CVideoSrc_VDCP *>(object);
    EXPECT_NE(source, nullptr) << id;
    if (source->GetObjectStatus() < 3)
        source->InitInstance((std::string("/etc/tvx/") + id).c_str(), id);
    return *source;
}

// The data of the last command `cmd1 cmd2` the simulator took.
Bytes Last(const VdcpSim &sim, uint8_t cmd1, uint8_t cmd2)
{
    Bytes data;
    for (const auto &command : sim.Commands())
        if (command.cmd1 == cmd1 && command.cmd2 == cmd2) data = command.data;
    return data;
}

Bytes CuedDur(const VdcpSim &sim)
{
    const Bytes data = Last(sim, 0x20, 0x25);
    return data.size() == 16 ? Bytes(data.begin() + 12, data.end()) : Bytes{};
}

class VdcpPreviewSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.pty.Valid());
        line.sim.AddClip("K1000", 1000);
    }

    SimLine line{kPort};
    devtest::MountedSettings m_settings{
        Source("V1", "CVideoSrc_VDCP", kPort, 1, {{"diskpreroll", "60"}, {"EModeType", "GVG"}}) +
        Source("X1", "CVideoSrc_VDCPX", kPort, 1) +
        Source("O1", "CVideoSrc_VDCP_OMNEON", kPort, 1) +
        Source("D2", "CVideoSrc_Dayang", kPort, 2) + Source("L1", "CVideoSrc_Leitch", kOwnPort, 1) +
        Source("R1", "CVideoSrc_VDCP", kOwnPort, 1) +
        Source("E1", "CVideoSrc_VDCP", kOwnPort, 1, {{"EModeType", "LEITCH"}}) +
        Source("B1", "CVideoSrc_Pinnacle", kOwnPort, 1,
               {{"Virtual", "TRUE"}, {"Exchange", "TRUE"}})};
    devtest::DeleteDevices m_cleanup{{"V1", "X1", "O1", "D2", "L1", "R1", "E1", "B1"}};
};

} // namespace

TEST_F(VdcpPreviewSourceTest, EachKindCuesItsOwnLengthThroughTheSourceThatClaimedTheChannel)
{
    CVideoSrc_VDCP &first = Src("V1");
    ASSERT_EQ(first.DevOpen(), 1);
    EXPECT_EQ(first.GetDevStatus().nCode, 0);
    EXPECT_EQ(line.sim.SelectedChannel(), 1);
    EXPECT_EQ(Last(line.sim, 0x20, 0x43), (Bytes{10, 2})) << "disk preroll of 60 frames";
    EXPECT_EQ(Last(line.sim, 0x10, 0x0A), (Bytes{0})) << "EE mode 2, the other way round on GVG";

    // Shared: the same channel opens, another one is told the port does not match.
    CVideoSrc_VDCP &within = Src("X1");
    CVideoSrc_VDCP &whole = Src("O1");
    ASSERT_EQ(within.DevOpen(), 1);
    EXPECT_EQ(within.GetDevStatus().nCode, 0);
    EXPECT_EQ(line.sim.CountOf(0x30, 0x01), 1u) << "the channel is claimed once";
    CVideoSrc_VDCP &other = Src("D2");
    EXPECT_EQ(other.DevOpen(), 1);
    EXPECT_EQ(other.GetDevStatus().nCode, 5);
    EXPECT_EQ(std::string(other.GetDevStatus().szText), "当前的端口不匹配");

    ASSERT_EQ(first.DevCueEx("K1000", 100, 500, nullptr), 1);
    EXPECT_EQ(CuedDur(line.sim), VdcpSim::Timecode(900)) << "to the clip's end";
    ASSERT_EQ(within.DevCueEx("K1000", 100, 500, nullptr), 1);
    EXPECT_EQ(CuedDur(line.sim), VdcpSim::Timecode(500));
    ASSERT_EQ(within.DevCueEx("K1000", 100, 950, nullptr), 1);
    EXPECT_EQ(CuedDur(line.sim), VdcpSim::Timecode(900)) << "cut at the clip's end";
    ASSERT_EQ(whole.DevCueEx("K1000", 0, 0, nullptr), 1);
    EXPECT_EQ(CuedDur(line.sim), VdcpSim::Timecode(1000)) << "no DUR: the whole clip";
    const size_t cues = line.sim.CountOf(0x20, 0x25);
    ASSERT_EQ(whole.DevCueEx("K1000", 0, 0, nullptr), 1);
    EXPECT_EQ(line.sim.CountOf(0x20, 0x25), cues) << "still cued as asked";
    EXPECT_EQ(first.DevCueEx("MISSING", 0, 100, nullptr), 0);
    EXPECT_EQ(line.sim.CountOf(0x20, 0x25), cues);

    timecode_t size;
    EXPECT_EQ(first.DevGetClipSize("K1000", size), 1000);
    EXPECT_EQ(first.DevCheckCompatible("LVSRC_DEC_VDCP", "K1000"), 1);
    EXPECT_EQ(first.DevCheckCompatible("LVSRC_LINE", "K1000"), 0);

    EXPECT_EQ(first.DevClose(), 1);
    EXPECT_EQ(Last(line.sim, 0x10, 0x0A), (Bytes{2})) << "EE mode 0 at the close";
    EXPECT_EQ(first.DevIsOpen(), 0);
}

TEST_F(VdcpPreviewSourceTest, AFailedOpenIsToldByTheStatusAndAVirtualSourceSendsNothing)
{
    SimLine own{kOwnPort};
    own.sim.SetFreeChannels({2});
    CVideoSrc_VDCP &source = Src("R1");
    EXPECT_EQ(source.DevOpen(), 1);
    EXPECT_EQ(source.GetDevStatus().nCode, 5);
    EXPECT_EQ(std::string(source.GetDevStatus().szText), "Open Port failed");
    EXPECT_EQ(source.DevIsOpen(), 0) << "the engine was closed again";

    CVideoSrc_VDCP &backup = Src("B1");
    const size_t sent = own.sim.Commands().size();
    EXPECT_EQ(backup.DevOpen(), 1);
    EXPECT_EQ(backup.DevIsOpen(), 1);
    EXPECT_EQ(backup.DevCue("NEWS0100", 0, 100), 1);
    EXPECT_EQ(backup.DevPlay(nullptr), 1);
    EXPECT_EQ(backup.PreviewCue("NEWS0100", 0, -1, 0), 1);
    EXPECT_EQ(own.sim.Commands().size(), sent);
}

TEST_F(VdcpPreviewSourceTest, PreviewStaysInItsWindowAndTheLeitchKindCuesWithoutPlaying)
{
    SimLine own{kOwnPort};
    own.sim.AddClip("K1000", 1000);
    CVideoSrc_VDCP &source = Src("L1");
    ASSERT_EQ(source.DevOpen(), 1);
    ASSERT_EQ(source.GetDevStatus().nCode, 0);

    ASSERT_EQ(source.PreviewCue("K1000", 0, -1, CVideoSrc_VDCP::kPreviewFirst), 1);
    EXPECT_EQ(own.sim.CountOf(0xA0, 0x24), 1u) << "the NEW set";
    EXPECT_EQ(own.sim.CountOf(0x90, 0x01), 0u) << "no play before the still";
    EXPECT_EQ(own.sim.CountOf(0x90, 0x04), 1u);
    EXPECT_EQ(own.sim.Position(), 0);

    ASSERT_EQ(source.PreviewGoto(CVideoSrc_VDCP::kPreviewLast), 1);
    EXPECT_EQ(own.sim.Position(), 999);
    const size_t jogs = own.sim.CountOf(0x90, 0x07);
    ASSERT_EQ(source.PreviewJog(10), 1);
    EXPECT_EQ(own.sim.CountOf(0x90, 0x07), jogs) << "at the window's end already";
    ASSERT_EQ(source.PreviewJog(-1000), 1);
    EXPECT_EQ(own.sim.Position(), 0);
    ASSERT_EQ(source.PreviewGoto(5000), 1);
    EXPECT_EQ(own.sim.Position(), 999);
    {
        // A position that cannot be read: the jog goes by the frames asked, past the window.
        plat::ScopedTestClock clock(plat::GetTickCount() + 10000, devtest::kFileTime2020);
        own.sim.SetFaults(Refusing(), 1);
        const size_t sent = own.sim.Commands().size();
        EXPECT_EQ(devtest::RunAdvancing([&] { return source.PreviewJog(30); }), 1);
        const auto commands = own.sim.Commands();
        ASSERT_EQ(commands.size(), sent + 2);
        EXPECT_EQ(commands[sent].cmd2, 0x06) << "the position asked, refused";
        EXPECT_EQ(commands[sent + 1].cmd2, 0x07);
        EXPECT_EQ(own.sim.Position(), 999 + 30);
        ASSERT_EQ(source.PreviewGoto(CVideoSrc_VDCP::kPreviewLast), 1);
    }

    // Moving towards a window end that is the clip's: the server stops there itself.
    ASSERT_EQ(source.PreviewPlay(2.0, nullptr), 1);
    EXPECT_EQ(source.OnPreviewPlayStop(990), 0);
    ASSERT_EQ(source.PreviewStop(), 1);
    EXPECT_EQ(own.sim.CountOf(0x90, 0x00), 1u);
}

TEST_F(VdcpPreviewSourceTest, AMovingPreviewIsHeldAtTheEndOfItsWindow)
{
    SimLine own{kOwnPort};
    own.sim.AddClip("K1000", 1000);
    CVideoSrc_VDCP &source = Src("R1");
    ASSERT_EQ(source.DevOpen(), 1);
    ASSERT_EQ(source.PreviewCue("K1000", 100, 400, 0), 1);
    EXPECT_EQ(own.sim.CountOf(0x10, 0x01), 0u) << "options 5: no play before the still";
    EXPECT_EQ(own.sim.Position(), 100) << "the window's first frame";

    int32_t stop = -1;
    ASSERT_EQ(source.PreviewPlay(-0.5, nullptr), 1);
    EXPECT_EQ(source.CalcPreviewStopTime(200, &stop), 100 * 40 * 2 - 50);
    EXPECT_EQ(stop, 100);
    ASSERT_EQ(source.PreviewPlay(2.0, nullptr), 1);
    EXPECT_EQ(source.CalcPreviewStopTime(400, &stop), 99 * 20 - 50);
    EXPECT_EQ(stop, 499);
    EXPECT_EQ(source.OnPreviewPlayStop(300), 0) << "more than 2 s away: asked again later";

    const size_t stills = own.sim.CountOf(0x10, 0x04);
    ASSERT_EQ(source.OnPreviewPlayStop(480), 1);
    EXPECT_EQ(source.OnPreviewPlayStop(480), 0) << "one stop thread at a time";
    ASSERT_TRUE(devtest::Eventually([&] { return own.sim.Position() == 499; }, 3000));
    // The thread ends with the preview standing (no bound to stop at any more).
    ASSERT_TRUE(devtest::Eventually(
        [&] { return source.CalcPreviewStopTime(480, &stop) == 0 && stop == 0; }, 3000));
    EXPECT_EQ(own.sim.CountOf(0x10, 0x04), stills + 1);
    ASSERT_EQ(source.PreviewStill(), 1);
    EXPECT_EQ(own.sim.CountOf(0x10, 0x04), stills + 1) << "no longer moving";
}

namespace {

// The play-list statuses of the tasks.
struct PlayStatuses : CVideoPlayTaskReceiver {
    int OnStatus(int32_t, int32_t status, int32_t)
    {
        std::lock_guard<std::mutex> lk(lock);
        if (status != PLAYTASK_ERR_NOTIFY && (seen.empty() || seen.back() != status))
            seen.push_back(status);
        return 0;
    }
    bool Saw(int32_t status)
    {
        std::lock_guard<std::mutex> lk(lock);
        return std::find(seen.begin(), seen.end(), status) != seen.end();
    }
    std::mutex lock;
    std::vector<int32_t> seen;
};

} // namespace

TEST_F(VdcpPreviewSourceTest, ThePlayListCuesAndStartsATaskAndTakesItOffAirWhenTheChannelStops)
{
    devtest::ManualTime time;
    SimLine own{kOwnPort};
    own.sim.AddClip("K1000", 1000);
    CVideoSrc_VDCP &source = Src("R1");
    ASSERT_EQ(devtest::RunAdvancing([&] { return source.DevOpen(); }), 1);

    PlayStatuses statuses;
    CVideoPlayTask task;
    task.m_nTaskID = 7;
    task.m_strClipID = "K1000";
    task.m_nDUR = 1000;
    task.m_nStart = devtest::ManualTime::Now() + 10 * devtest::kSecond;
    task.SetCallBack(&statuses, &PlayStatuses::OnStatus);
    ASSERT_EQ(source.DevAddPlayTask(task), 1);

    ASSERT_TRUE(devtest::AdvanceUntil([&] { return own.sim.CountOf(0x10, 0x01) == 1; }, 10));
    EXPECT_TRUE(statuses.Saw(5));
    EXPECT_TRUE(statuses.Saw(PLAYTASK_CUED));
    // The sleep to the start counts whole milliseconds of the tick clock.
    EXPECT_GE(devtest::ManualTime::Now(), task.m_nStart - 2 * devtest::kMs);
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return source.GetPlayList().Active() == 7; }, 10));

    // While the channel plays the task stays on air.
    EXPECT_FALSE(
        devtest::AdvanceUntil([&] { return source.GetPlayList().Active() != 7; }, 10, 5000));

    // The channel stops: the list takes the task off air.
    ASSERT_EQ(devtest::RunAdvancing([&] { return source.DevStop(); }), 1);
    EXPECT_TRUE(devtest::AdvanceUntil([&] { return source.GetPlayList().Active() == 0; }, 10));
    source.DevClose();
}

// The server stops answering while a task is on air and the play list cues the next one: the
// close of the source (as at the end of a program) ends within a second of the manual clock,
// however long the cue's status polls and the EE mode of the close would wait for answers.
TEST_F(VdcpPreviewSourceTest, TheCloseOfASourceWhoseServerDiedDuringAPlayEndsWithinASecond)
{
    for (const char *id : {"R1", "E1"}) { // without and with the EE mode set at the close
        SCOPED_TRACE(id);
        devtest::ManualTime time;
        SimLine own{kOwnPort};
        own.sim.AddClip("K1000", 1000);
        CVideoSrc_VDCP &source = Src(id);
        ASSERT_EQ(devtest::RunAdvancing([&] { return source.DevOpen(); }), 1);
        PlayStatuses statuses;
        for (const int32_t taskId : {7, 8}) {
            CVideoPlayTask task;
            task.m_nTaskID = taskId;
            task.m_strClipID = "K1000";
            task.m_nDUR = 1000;
            task.m_nStart = devtest::ManualTime::Now() + (taskId - 6) * 10 * devtest::kSecond;
            if (taskId == 7) task.SetCallBack(&statuses, &PlayStatuses::OnStatus);
            ASSERT_EQ(source.DevAddPlayTask(task), 1);
        }
        // Task 7 is cued and goes on air; the server confirms no further cue, so the cue of
        // task 8 polls the status, and the server goes quiet.
        ASSERT_TRUE(devtest::AdvanceUntil([&] { return statuses.Saw(PLAYTASK_CUED); }, 10, 10000));
        own.sim.SetCueDelay(600000);
        ASSERT_TRUE(
            devtest::AdvanceUntil([&] { return own.sim.CountOf(0x10, 0x01) == 1; }, 10, 20000));
        const size_t polls = own.sim.CountOf(0x30, 0x05);
        ASSERT_TRUE(devtest::AdvanceUntil([&] { return own.sim.CountOf(0x30, 0x05) > polls + 1; },
                                          10, 10000));
        own.sim.SetFaults(Silent());
        const auto engine = source.GetVDCP(nullptr);
        ASSERT_NE(engine, nullptr);
        ASSERT_TRUE(devtest::AdvanceUntil([&] { return engine->GetFailCount() > 0; }, 10, 10000))
            << "the source has seen the server stop answering";

        const int64_t closeBegins = devtest::ManualTime::Now();
        auto closed = std::async(std::launch::async, [&] { return source.DevClose(); });
        const devtest::FinishStepping closeEnds(closed);
        ASSERT_TRUE(devtest::AdvanceUntil(
            [&] {
                return closed.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
            },
            10, 20000));
        EXPECT_LT(devtest::ManualTime::Now() - closeBegins, 1000 * devtest::kMs);
        EXPECT_EQ(closed.get(), 1);
    }
}
