// The end of the road: a station program destroys its task manager while a VDCP line has
// fallen silent in the middle of a task step, closes its devices and the application. The
// task threads that the manager's destroy gave up end within the device's reply wait, before
// the devices are closed and freed, and no thread of the system is alive a few seconds after
// CloseApplication. Each case runs in a process of its own (the close is for good), in real
// time; the process's threads are counted in /proc.
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/tasks/CVideoBroTaskMgr1.h"
#include "tests/sources/VdcpTestKit.h"

#include "Kest20/CClock.h"
#include "Kest20/KestApplication.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using namespace vdcptest;

namespace {

constexpr int kPort = 47;
constexpr int64_t kMs = devtest::kMs;
// How long after the close the process may still run threads of the system.
constexpr int kCloseBoundMs = 3000;

// The threads of this process: id and name.
std::vector<std::string> Threads()
{
    std::vector<std::string> names;
    DIR *dir = opendir("/proc/self/task");
    if (!dir) return names;
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        names.push_back(std::string(entry->d_name) + " " + name);
    }
    closedir(dir);
    return names;
}

struct Statuses {
    static int32_t OnStatus(void *self, int32_t id, int32_t status, int32_t)
    {
        auto *seen = static_cast<Statuses *>(self);
        if (status == BROTASK_BEGINPLAY) seen->onAir.store(id);
        if (status == BROTASK_CUING) seen->cuing.store(id);
        return 0;
    }
    std::atomic<int32_t> onAir{0}, cuing{0};
};

// Where the line falls silent: when the task step that is to be cut short has begun.
enum class Step {
    // A MAV70 checks the start of the task on air against the decoder's position, holding its
    // port while the cue of the next task waits for it: the line falls silent as the task goes
    // on air.
    StartCheckOfTheTaskOnAir,
    // A MAV70 stops its decoder just before the end of the task on air and polls its status
    // up to 30 times: the line falls silent once the stop has been answered.
    StopBeforeTheEnd,
    // A VDCP source cues the next task and polls for the cued bit: the cue is never confirmed
    // and the line falls silent during the polls.
    CueOfTheNextTask,
};

struct CloseCase {
    const char *name;
    const char *sourceClass;
    Step step;
};

// The whole program, in the child process: true when no thread but the simulator's is alive
// within kCloseBoundMs of CloseApplication.
bool RunAndClose(const CloseCase &c)
{
    SimLine line(kPort);
    line.sim.AddClip("LONG", 3000);
    if (c.step == Step::CueOfTheNextTask) line.sim.SetCueDelay(600000);
    const size_t baseline = Threads().size(); // the test's and the simulator's
    StartApplication("");
    {
        devtest::MountedSettings settings(
            devtest::Section("DevMgr", {{"VideoSrc", "{\"VDCP1\"}"}}) +
            devtest::Section("VDCP1", {{"class", c.sourceClass},
                                       {"Com", std::to_string(kPort)},
                                       {"Decoder", "1"},
                                       {"ComTimeout", "3000"}}));
        CVideoDevMgr devices;
        devices.Initlization("/etc/tvx/DevMgr");
        Statuses seen;
        auto mgr = std::make_unique<CVideoBroTaskMgr1>();
        int64_t now = 0;
        glGetTimeEx(&now);
        tagVideoBroTask first;
        first.TaskID = 1;
        first.Dev = "VDCP1";
        first.ID = "LONG";
        first.StartType = BROTASK_START_TIME;
        first.Start = now + 3000 * kMs;
        first.DUR = 50;
        first.pUserData = &seen;
        first.pfnCallBack = &Statuses::OnStatus;
        tagVideoBroTask second = first;
        second.TaskID = 2;
        second.Start = now + 12000 * kMs;
        tagVideoBroTask *list[] = {&first, &second, nullptr};
        if ((*mgr)->Submit(list, 0) != 1) return false;

        bool reached = false;
        if (c.step == Step::StartCheckOfTheTaskOnAir) {
            reached = devtest::Eventually([&] { return seen.onAir == 1; }, 15000);
        } else if (c.step == Step::StopBeforeTheEnd) {
            // The stop goes out 0.28 s before the end of the task on air.
            reached = line.sim.WaitForCount(0x10, 0x00, 1, 15000);
        } else {
            reached = devtest::Eventually([&] { return seen.cuing == 2; }, 15000);
        }
        if (!reached) {
            std::fprintf(stderr, "the step was never reached\n");
            return false;
        }
        line.sim.SetFaults(Silent());
        // A request of the step waits for its answer (3 s a try), longer than the manager's
        // destroy waits for its threads: it gives them up.
        SleepMs(700);
        mgr.reset();
        devices.Finalization();
    }
    CloseApplication(0);
    const auto closed = Clock::now();
    std::vector<std::string> live;
    while (MsSince(closed) < kCloseBoundMs) {
        live = Threads();
        if (live.size() <= baseline) return true;
        SleepMs(10);
    }
    std::fprintf(stderr, "%zu threads alive %d ms after the close (%zu before the start):\n",
                 live.size(), kCloseBoundMs, baseline);
    for (const std::string &thread : live) std::fprintf(stderr, "  %s\n", thread.c_str());
    return false;
}

class RoadCloseTest : public ::testing::TestWithParam<CloseCase> {};

void PrintTo(const CloseCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string Name(const ::testing::TestParamInfo<CloseCase> &info)
{
    return info.param.name;
}

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Cases, RoadCloseTest,
    ::testing::Values(
        CloseCase{"Mav70CheckingTheStartOfTheTaskOnAir", "CVideoSrcX_MAV70",
                  Step::StartCheckOfTheTaskOnAir},
        CloseCase{"Mav70StoppingBeforeTheEnd", "CVideoSrcX_MAV70", Step::StopBeforeTheEnd},
        CloseCase{"Mav70CueingTheNextTask", "CVideoSrcX_MAV70", Step::CueOfTheNextTask},
        CloseCase{"VdcpCueingTheNextTask", "CVideoSrcX_VDCP", Step::CueOfTheNextTask}),
    Name);

TEST_P(RoadCloseTest, NoThreadOutlivesTheCloseAfterALineFellSilentInATaskStep)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(RunAndClose(GetParam()) ? 0 : 1), ::testing::ExitedWithCode(0), "");
}
