// The play-out road when a VDCP server stops answering while the process unit needs its
// threads for tasks on other sources, both manager variants, on the manual clock stepped by
// the test: a server that goes silent as the task after its program goes on air (its pause
// waits out two replies of 1 s) and a server silent inside a cue while a line task must be
// cued. Tasks on the healthy sources go on air at their times without a flag; only the task
// on the silent server is passed over, with its own flag.
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/tasks/CVideoBroTaskMgr1.h"
#include "drivers/tasks/CVideoBroTaskMgr3.h"
#include "tests/sources/VdcpTestKit.h"

#include "Kest20/CClock.h"
#include "Kest20/KestLog.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace vdcptest;

namespace {

constexpr int kPortA = 53, kPortB = 54;
constexpr int64_t kMs = devtest::kMs;
constexpr uint32_t kStepMs = 10; // each step of the manual clock

class SilentServerTest : public ::testing::TestWithParam<int> {
protected:
    SilentServerTest() { m_devices.Initlization("/etc/tvx/DevMgr"); }
    ~SilentServerTest() override
    {
        m_one.reset();
        m_three.reset();
        m_devices.Finalization();
        glSetDebugFlag(m_previousDebug);
    }

    tagVideoBroTask Task(int32_t id, const char *dev, int64_t startMs, int32_t frames)
    {
        return calls.Task(id, dev, "CLIP1", m_origin + startMs * kMs, frames);
    }
    void Submit(std::vector<tagVideoBroTask> tasks)
    {
        ASSERT_TRUE(m_lineA.pty.Valid() && m_lineB.pty.Valid());
        m_planned = tasks;
        std::vector<tagVideoBroTask *> list;
        for (tagVideoBroTask &task : tasks) list.push_back(&task);
        list.push_back(nullptr);
        if (GetParam() == 1) {
            m_one = std::make_unique<CVideoBroTaskMgr1>();
            ASSERT_EQ((*m_one)->Submit(list.data(), 0), 1);
        } else {
            // Each task starts as the one before ends, as they are planned here.
            m_three = std::make_unique<CVideoBroTaskMgr3>();
            ASSERT_EQ((*m_three)->Submit(list.data(), tasks[0].TaskID), 1);
        }
    }
    // Steps the clock until the last task is on air, silencing VDCP1 once `when` holds.
    void Run(const std::function<bool()> &when)
    {
        bool silenced = false;
        const int32_t last = m_planned.back().TaskID;
        ASSERT_TRUE(devtest::AdvanceUntil(
            [&] {
                if (!silenced && when()) {
                    m_lineA.sim.SetFaults(Silent());
                    silenced = true;
                }
                return calls.Count(last, BROTASK_BEGINPLAY) > 0;
            },
            kStepMs, 20000))
            << calls.Dump(m_origin);
    }
    // Task `id`, on a healthy source, went on air at its start and was never flagged.
    void ExpectOnTime(int32_t id)
    {
        const int64_t late = calls.At(id, BROTASK_BEGINPLAY) - m_planned[id - 1].Start;
        EXPECT_GE(late, -5 * kMs) << "task " << id << "\n" << calls.Dump(m_origin);
        EXPECT_LT(late, 100 * kMs) << "task " << id << "\n" << calls.Dump(m_origin);
        EXPECT_EQ(calls.Flags(id), 0) << "task " << id << "\n" << calls.Dump(m_origin);
    }
    // Task `id`, on the silent server, was passed over with a flag no later than the moment
    // the next task, on the line source, had to be prepared: its start (as it went on air;
    // variant 3 starts each task as the one before ends) less the line's PrepareTime.
    void ExpectPassedOver(int32_t id)
    {
        EXPECT_EQ(calls.Count(id, BROTASK_BEGINPLAY), 0) << calls.Dump(m_origin);
        EXPECT_NE(calls.Flags(id), 0) << "its own flag\n" << calls.Dump(m_origin);
        const int64_t passed = calls.At(id, BROTASK_ENDPLAY);
        EXPECT_GT(passed, 0) << calls.Dump(m_origin);
        const int64_t prepare = calls.At(id + 1, BROTASK_BEGINPLAY) - 1000 * kMs;
        EXPECT_LE(passed, prepare + 2 * kStepMs * kMs) << calls.Dump(m_origin);
        if (GetParam() == 3) {
            EXPECT_EQ(calls.Count(id, BROTASK_EJECTEND), 1);
        }
    }

    devtest::ManualTime m_time;
    int m_previousDebug = glSetDebugFlag(1);
    SimLine m_lineA{kPortA};
    SimLine m_lineB{kPortB};
    // The usual second for each reply, so that one exchange with a silent server lasts two
    // seconds; VDCP2 answers throughout.
    devtest::MountedSettings m_settings{RoadSettings(kPortA, kPortB, 1000)};
    CVideoDevMgr m_devices;
    devtest::DeleteDevices m_cleanup{kRoadSources};
    devtest::LogCapture m_tpuLog{"LOG_AIR_TPU"};
    TaskCalls calls;
    const int64_t m_origin = devtest::ManualTime::Now();
    std::vector<tagVideoBroTask> m_planned;
    std::unique_ptr<CVideoBroTaskMgr1> m_one;
    std::unique_ptr<CVideoBroTaskMgr3> m_three;
};

std::string Name(const ::testing::TestParamInfo<int> &info)
{
    return "Variant" + std::to_string(info.param);
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Variants, SilentServerTest, ::testing::Values(1, 3), Name);

// 1 plays on VDCP1; its server is silent by the time 2 (on the line source) replaces it on
// air, so the pause of VDCP1 gets no answer. 3 on VDCP2 starts 1 s after 2, 4 on VDCP1 meets
// the silence, 5 on the line source follows it.
TEST_P(SilentServerTest, APauseOfTheReplacedProgramHoldsUpNoStart)
{
    Submit({Task(1, "VDCP1", 3000, 50), Task(2, "LINE1", 5000, 25), Task(3, "VDCP2", 6000, 50),
            Task(4, "VDCP1", 8000, 25), Task(5, "LINE1", 9000, 25)});
    Run([&] { return calls.Count(2, BROTASK_ENDCUE) > 0; });
    for (const int32_t id : {1, 2, 3, 5}) ExpectOnTime(id);
    ExpectPassedOver(4);
    EXPECT_TRUE(devtest::Eventually([&] {
        for (const std::string &line : m_tpuLog.Lines())
            if (line.find("still the last aired pgm,(id=CLIP1 dev=VDCP1)") != std::string::npos)
                return true;
        return false;
    })) << "VDCP1 was to be paused when 2 replaced it";
}

// 2 on VDCP1 is being cued when its server goes silent (after the clip check); it is passed
// over at its start, which is when 3, on the line source, must be prepared.
TEST_P(SilentServerTest, ACueInsideASilentServerHoldsUpNoCueOnAnotherSource)
{
    Submit({Task(1, "VDCP2", 3000, 50), Task(2, "VDCP1", 5000, 25), Task(3, "LINE1", 6000, 50),
            Task(4, "VDCP2", 8000, 25)});
    Run([&] { return calls.Count(2, BROTASK_CLIPCHECKING) > 0; });
    for (const int32_t id : {1, 3, 4}) ExpectOnTime(id);
    ExpectPassedOver(2);
    // The line task was cued from the moment 2 was passed over, within its PrepareTime.
    EXPECT_LE(calls.At(3, BROTASK_ENDCUE), m_planned[2].Start - 400 * kMs) << calls.Dump(m_origin);
}
