// The play-out road on VDCP sources and a line source with the process unit's threads, both
// manager variants, on the manual clock stepped by the test: a fault on one VDCP source while
// its task is being cued (a hang-up, silence, late answers, a cue never confirmed) never makes
// the task after it, on another source, late or passed over; the faulty task is passed over
// no later than the moment the next one must be prepared, and always with a flag; a variant-3
// manager brings it to its final status as it does a played task.
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/tasks/CVideoBroTaskMgr1.h"
#include "drivers/tasks/CVideoBroTaskMgr3.h"
#include "tests/sources/VdcpTestKit.h"

#include "Kest20/CClock.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <mutex>

using namespace vdcptest;

namespace {

constexpr int kPortA = 57, kPortB = 58;
constexpr int64_t kMs = devtest::kMs;
constexpr uint32_t kStepMs = 10; // each step of the manual clock

using Calls = TaskCalls;

// What goes wrong on the first source's line once its task is being cued.
struct FaultCase {
    const char *name;
    int variant;
    std::function<void(SimLine &)> fault;
};

std::vector<FaultCase> Cases()
{
    const std::pair<const char *, std::function<void(SimLine &)>> faults[] = {
        {"HangUp", [](SimLine &line) { line.sim.Peer().HangUp(); }},
        {"Silence", [](SimLine &line) { line.sim.SetFaults(Silent()); }},
        // Late by the manual clock, well past both tries of each exchange however long the
        // steps take in real time.
        {"LateAnswers",
         [](SimLine &line) {
             VdcpSim::Faults late = Late(1500);
             late.delayOnTicks = true;
             line.sim.SetFaults(late);
         }},
        {"CueNeverConfirmed", [](SimLine &line) { line.sim.SetCueDelay(600000); }},
    };
    std::vector<FaultCase> cases;
    for (const int variant : {1, 3})
        for (const auto &[name, fault] : faults) cases.push_back({name, variant, fault});
    return cases;
}

void PrintTo(const FaultCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string Name(const ::testing::TestParamInfo<FaultCase> &info)
{
    return std::string(info.param.name) + "Variant" + std::to_string(info.param.variant);
}

class VdcpRoadTest : public ::testing::TestWithParam<FaultCase> {
protected:
    VdcpRoadTest() { m_devices.Initlization("/etc/tvx/DevMgr"); }
    ~VdcpRoadTest() override
    {
        m_one.reset();
        m_three.reset();
        m_devices.Finalization();
    }

    tagVideoBroTask Task(int32_t id, const char *dev, int64_t startMs, int32_t frames)
    {
        return calls.Task(id, dev, "CLIP1", m_origin + startMs * kMs, frames);
    }
    int32_t Submit(std::vector<tagVideoBroTask> tasks)
    {
        std::vector<tagVideoBroTask *> list;
        for (tagVideoBroTask &task : tasks) list.push_back(&task);
        list.push_back(nullptr);
        if (GetParam().variant == 1) {
            m_one = std::make_unique<CVideoBroTaskMgr1>();
            return (*m_one)->Submit(list.data(), 0);
        }
        m_three = std::make_unique<CVideoBroTaskMgr3>();
        return (*m_three)->Submit(list.data(), tasks[0].TaskID);
    }

    devtest::ManualTime m_time;
    SimLine m_lineA{kPortA};
    SimLine m_lineB{kPortB};
    devtest::MountedSettings m_settings{RoadSettings(kPortA, kPortB)};
    CVideoDevMgr m_devices;
    devtest::DeleteDevices m_cleanup{kRoadSources};
    Calls calls;
    const int64_t m_origin = devtest::ManualTime::Now();
    std::unique_ptr<CVideoBroTaskMgr1> m_one;
    std::unique_ptr<CVideoBroTaskMgr3> m_three;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Faults, VdcpRoadTest, ::testing::ValuesIn(Cases()), Name);

TEST_P(VdcpRoadTest, AFaultWhileCueingPassesOverOnlyItsOwnTaskAndTheNextPlaysOnTime)
{
    ASSERT_TRUE(m_lineA.pty.Valid() && m_lineB.pty.Valid());
    // 1 plays on VDCP2 from 3 s; 2 on VDCP1 is cued while 1 is on air and meets the fault;
    // 3 on the line source follows 2, and 4 on VDCP2 follows 3.
    const std::vector<tagVideoBroTask> planned{
        Task(1, "VDCP2", 3000, 50), Task(2, "VDCP1", 5000, 50), Task(3, "LINE1", 7000, 50),
        Task(4, "VDCP2", 9000, 50)};
    ASSERT_EQ(Submit(planned), 1);
    bool faulted = false;
    const bool done = devtest::AdvanceUntil(
        [&] {
            // During the pause after the clip check: what follows is the cue.
            if (!faulted && calls.Count(2, BROTASK_CLIPCHECKING)) {
                GetParam().fault(m_lineA);
                faulted = true;
            }
            return calls.Count(4, BROTASK_BEGINPLAY) > 0;
        },
        kStepMs, 20000);
    ASSERT_TRUE(done) << calls.Dump(m_origin);

    // Variant 3 starts each task as the one before ends: the same times here, as each went on
    // air at its own.
    EXPECT_EQ(calls.Count(2, BROTASK_BEGINPLAY), 0) << calls.Dump(m_origin);
    EXPECT_NE(calls.Flags(2), 0) << "passed over with its flag" << calls.Dump(m_origin);
    const int64_t passed = calls.At(2, BROTASK_ENDPLAY);
    ASSERT_GT(passed, 0) << calls.Dump(m_origin);
    // The line source needs its PrepareTime (1 s) before the start of task 3; the clock moves
    // a step at a time.
    EXPECT_LE(passed, planned[2].Start - 1000 * kMs + kStepMs * kMs) << calls.Dump(m_origin);
    for (const int32_t id : {3, 4}) {
        const int64_t late = calls.At(id, BROTASK_BEGINPLAY) - planned[id - 1].Start;
        EXPECT_GE(late, -5 * kMs) << "task " << id << calls.Dump(m_origin);
        EXPECT_LT(late, 100 * kMs) << "task " << id << calls.Dump(m_origin);
        EXPECT_EQ(calls.Flags(id), 0) << "task " << id;
    }
    if (GetParam().variant == 3) {
        EXPECT_EQ(calls.Count(2, BROTASK_EJECTEND), 1) << "its final status, as a played task's";
    }
}
