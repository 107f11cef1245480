// A station closes its devices while a key task unit waits in a keyer for the start of a key
// task, or a switcher task unit waits in a switcher for the time of a take. The close ends
// the wait at once (the clock stands meanwhile), the device manager finds no task thread left
// in the devices, and nothing more reaches the closed device once the time has come.
#include "tests/keyers/KeyerTestKit.h"

#include "drivers/tasks/CVideoKeyTaskTMU.h"
#include "drivers/tasks/CVideoSwitchTaskTMU.h"
#include "drivers/tasks/IVideoKeyTaskTPU.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <ostream>
#include <vector>

using namespace keytest;

namespace {

// How long the close may take, in real time, with the clock standing.
constexpr auto kCloseBound = std::chrono::seconds(3);

enum class Unit { Key, Switch };

struct CloseCase {
    const char *name;
    Unit unit;
};

struct Statuses {
    static int32_t OnStatus(void *self, int32_t, int32_t status, int32_t param)
    {
        auto *seen = static_cast<Statuses *>(self);
        std::lock_guard<std::mutex> lk(seen->lock);
        seen->told.emplace_back(status, param);
        return 0;
    }
    bool Told(int32_t status, int32_t param)
    {
        std::lock_guard<std::mutex> lk(lock);
        for (const auto &[s, p] : told)
            if (s == status && p == param) return true;
        return false;
    }
    std::mutex lock;
    std::vector<std::pair<int32_t, int32_t>> told;
};

bool Fail(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    return false;
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
bool RunAndClose(const CloseCase &c)
{
    devtest::ManualTime time;
    const int previousDebug = glSetDebugFlag(1);
    bool passed = true;
    {
        PrivateSettings settings(Settings(false));
        devtest::LogCapture devLog("LOG_DEV");
        kit::LogCapture debugLog("#Log_debug", LOG_MODE_PATTERN);
        CVideoDevMgr devMgr;
        devtest::DeleteDevices cleanup{{"KEY1", "KEY2", "SW1"}};
        devMgr.Initlization("/etc/tvx/DevMgr");
        auto *sw = dynamic_cast<CStubSwitch *>(devMgr.GetVideoDev("SW1", 1, nullptr));
        if (!sw) return Fail("no switcher");
        const int64_t at = devtest::ManualTime::Now() + 3 * kSecond;

        CVideoKeyTaskTMU keys;
        CVideoSwitchTaskTMUPtr switches;
        Statuses seen;
        if (c.unit == Unit::Key) {
            // Due within 5 s: handed to the keyer at once, which waits for its start.
            keys->AddTask(KeyTask(1, "KEY1", at, 0, "", 6, 1));
            if (!Eventually([&] { return keys->GetTPU()->GetState() == KEYTPU_CALLING; }))
                return Fail("the keyer was never called");
        } else {
            tagVideoSwitchTask task;
            task.DevID = "SW1";
            task.Time = at;
            task.ChnID = 2;
            task.SrcID = 5;
            task.TransType = kSwitchTransCut;
            task.pUserData = &seen;
            task.pfnCallBack = &Statuses::OnStatus;
            switches->AddTask(task);
            // The haste preset goes by on the clock; then the unit waits for the take.
            if (!devtest::AdvanceUntil([&] { return seen.Told(SWITCHTASK_BEGINSWITCH, 5); }, 10,
                                       2000))
                return Fail("the take was never begun");
        }

        if (!CloseAtOnce(devMgr)) passed = Fail("the close waited for the unit");
        devtest::PatternReadersCaughtUp();
        if (devLog.Has("device KEY1 closed while a task thread is still in it") ||
            devLog.Has("device SW1 closed while a task thread is still in it"))
            passed = Fail("a task thread was still in a closed device");
        // The time comes: the closed device hears nothing.
        devtest::AdvanceUntil([] { return false; }, 50, 5000);
        devtest::PatternReadersCaughtUp();
        if (c.unit == Unit::Key) {
            if (debugLog.Has("nkey= 6,nop=1")) passed = Fail("the closed keyer took the key");
            if (keys->GetTPU()->GetState() != KEYTPU_IDLE) passed = Fail("the keyer is busy");
        } else {
            if (!sw->Cmds("take").empty()) passed = Fail("the closed switcher took");
            if (!seen.Told(SWITCHTASK_ERROR, SWITCHTASK_ERR_SWITCH))
                passed = Fail("the take's failure was not told");
        }
        devtest::RunAdvancing([&] {
            keys->GetTPU()->Stop();
            return switches->Stop();
        });
    }
    glSetDebugFlag(previousDebug);
    return passed;
}

class TaskCloseTest : public ::testing::TestWithParam<CloseCase> {};

void PrintTo(const CloseCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string Name(const ::testing::TestParamInfo<CloseCase> &info)
{
    return info.param.name;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Cases, TaskCloseTest,
                         ::testing::Values(CloseCase{"KeyTaskWaitingForItsStart", Unit::Key},
                                           CloseCase{"SwitchTaskWaitingForItsTake", Unit::Switch}),
                         Name);

TEST_P(TaskCloseTest, ACloseEndsTheWaitInTheDeviceAndNothingMoreRunsInIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(RunAndClose(GetParam()) ? 0 : 1), ::testing::ExitedWithCode(0), "");
}
