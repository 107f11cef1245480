// A station closes its devices while the broadcast process unit's start thread waits in a
// play-out source for the start of its cued preset (a timed start, or the operator's take of a
// triggered one). The close ends the wait at once (the clock stands meanwhile), the device
// manager finds no task thread left in the source, and once the start time has come (or the
// take has been sent) nothing has reached the server after the close and nothing went on air.
// Each case runs in a process of its own, as the close is for good. A thread that is to give
// up (the source closed under its call, or its unit stopping) opens no source of any family
// again and sends nothing on its line.
#include "tests/sources/VdcpTestKit.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/CVideoSrcA.h"
#include "drivers/model/DeviceCalls.h"
#include "drivers/tasks/CVideoBroTaskMgr1.h"
#include "drivers/tasks/IVideoBroTaskTPU.h"

#include "Kest20/ComponentA.h"
#include "devext/device/CSerialIO.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <ostream>
#include <string>

using namespace vdcptest;

namespace {

constexpr int kPort = 21;
constexpr int64_t kMs = devtest::kMs;
// How long the close may take, in real time, with the clock standing.
constexpr auto kCloseBound = std::chrono::seconds(3);

struct SourceCase {
    const char *name;
    const char *cls;
    bool triggered; // started by a take sent after the close, else due 10 s ahead
    bool onLine;    // the source talks to the server
};

bool Fail(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    return false;
}

std::string Settings(const SourceCase &c)
{
    std::string text = devtest::Section("DevMgr", {{"VideoSrc", "{\"SRC1\"}"}});
    if (c.onLine)
        return text + devtest::Section("SRC1", {{"class", c.cls},
                                                {"Com", std::to_string(kPort)},
                                                {"Decoder", "1"},
                                                {"ComTimeout", "300"}});
    return text + devtest::Section("SRC1", {{"class", c.cls}});
}

// Closes the devices of `devMgr` with the clock standing: true when the close ends in time
// (else the clock runs until it ends).
bool CloseAtOnce(CVideoDevMgr &devMgr)
{
    auto closed = std::async(std::launch::async, [&] { devMgr.Finalization(); });
    if (closed.wait_for(kCloseBound) == std::future_status::ready) return true;
    devtest::AdvanceUntil(
        [&] { return closed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 1000,
        120000);
    return false;
}

// The whole case, in the child process.
bool RunAndClose(const SourceCase &c)
{
    devtest::ManualTime time;
    bool passed = true;
    SimLine line(kPort);
    if (!line.pty.Valid()) return Fail("no line");
    devtest::MountedSettings settings(Settings(c));
    devtest::LogCapture devLog("LOG_DEV");
    CVideoDevMgr devMgr;
    devtest::DeleteDevices cleanup{{"SRC1"}};
    devMgr.Initlization("/etc/tvx/DevMgr");
    TaskCalls calls;
    auto mgr = std::make_unique<CVideoBroTaskMgr1>();
    IVideoBroTaskTPU *tpu = (*mgr)->GetTPU();

    tagVideoBroTask task =
        calls.Task(1, "SRC1", "CLIP1", devtest::ManualTime::Now() + 10000 * kMs, 250);
    if (c.triggered) task.StartType = BROTASK_START_TRIGGER;
    (*mgr)->AddTask(task);
    // Cued, and the start thread waiting in the source.
    if (!devtest::AdvanceUntil(
            [&] {
                return calls.Count(1, BROTASK_ENDCUE) > 0 &&
                       tpu->GetUnitState(TPU_UNIT_NEW) == TPU_UNIT_BUSY;
            },
            10, 5000))
        return Fail("the start never waited in the source");

    const size_t heard = line.sim.Commands().size();
    if (!CloseAtOnce(devMgr)) passed = Fail("the close waited for the start thread");
    devtest::PatternReadersCaughtUp();
    if (devLog.Has("device SRC1 closed while a task thread is still in it"))
        passed = Fail("the start thread was still in the closed source");
    // The operator takes, the start time comes: the closed source plays nothing.
    if (c.triggered) tpu->SendUnitMsg(TPU_UNIT_NEW, TPU_CMD_PLAY_NOW, TPU_FROM_TAKE);
    devtest::AdvanceUntil([] { return false; }, 50, 15000);
    if (line.sim.Commands().size() != heard) passed = Fail("the server heard the closed source");
    if (calls.Count(1, BROTASK_BEGINPLAY) != 0) passed = Fail("the closed source went on air");
    devtest::RunAdvancing([&] { mgr.reset(); });
    return passed;
}

class SourceCloseTest : public ::testing::TestWithParam<SourceCase> {};

void PrintTo(const SourceCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string Name(const ::testing::TestParamInfo<SourceCase> &info)
{
    return info.param.name;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Cases, SourceCloseTest,
    ::testing::Values(SourceCase{"VdcpTimedStart", "CVideoSrcX_VDCP", false, true},
                      SourceCase{"VdcpTriggeredStart", "CVideoSrcX_VDCP", true, true},
                      SourceCase{"Mav70TimedStart", "CVideoSrcX_MAV70", false, true},
                      SourceCase{"LineTimedStart", "CVideoSrcX_Line", false, false}),
    Name);

TEST_P(SourceCloseTest, ACloseEndsTheWaitBeforeThePlayAndTheClosedSourcePlaysNothing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(RunAndClose(GetParam()) ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST(SourceOpenTest, AThreadThatIsToGiveUpOpensNoSourceAgainAndSendsNothing)
{
    const struct {
        const char *cls;
        plat::SerialPortKind kind;
        int port;
    } sources[] = {
        {"CVideoSrcX_VDCP", plat::SerialPortKind::SIO, 22},
        {"CVideoSrcX_MAV70", plat::SerialPortKind::SIO, 23},
        {"CVideoSrc_VDCP", plat::SerialPortKind::SIO, 24},
        {"CVideoSrc_BetaCamX", plat::SerialPortKind::COM, 25},
        {"CVideoSrc_UVW", plat::SerialPortKind::SIO, 26},
        {"CVideoSrcX_Line", plat::SerialPortKind::SIO, 27},
        {"CVideoSrc_Line", plat::SerialPortKind::SIO, 28},
    };
    enum class Why { ClosedUnderTheCall, UnitStopping };
    for (const auto &source : sources)
        for (const Why why : {Why::ClosedUnderTheCall, Why::UnitStopping}) {
            SCOPED_TRACE(std::string(source.cls) + (why == Why::ClosedUnderTheCall
                                                        ? ", closed under the call"
                                                        : ", its unit stopping"));
            kit::SimLine<kestsim::ScriptedPeer> far(source.kind, source.port);
            ASSERT_TRUE(far.Pty().Valid());
            devtest::MountedSettings settings(devtest::Section(
                "SRC1", {{"class", source.cls}, {"Com", std::to_string(source.port)}}));
            devtest::DeleteDevices cleanup{{"SRC1"}};
            // Created and initialised from its setting, never opened.
            auto *src = dynamic_cast<CVideoSrcA *>(
                glCreateComponent("SRC1", "", CVideoSrcA::GetClassID(), 0));
            ASSERT_NE(src, nullptr);
            if (src->GetObjectStatus() < OBJ_INITIALISED)
                src->InitInstance("/etc/tvx/SRC1", "SRC1");

            // A task unit's thread in a call into the source, or a play list's between calls.
            CCallingUnit unit;
            CCallingUnit::Scope bound(&unit);
            if (why == Why::ClosedUnderTheCall) {
                CDeviceCall inDevice(src);
                src->DevClose();
                CDeviceWait::EndIn(src);
                EXPECT_EQ(src->DevOpen(), 0);
            } else {
                unit.AskStop();
                EXPECT_EQ(src->DevOpen(), 0);
            }
            EXPECT_FALSE(CSerialIO::GetByActivePort(source.port)) << "the line is open";
            EXPECT_FALSE(far.Peer().WaitForBytes(1, 300)) << "the line heard the source";
        }
}
