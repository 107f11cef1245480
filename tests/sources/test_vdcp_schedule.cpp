// Schedules that go on, on the VDCP simulator with the process unit's threads and both manager
// variants (on the manual clock stepped by the test where times are checked): a task whose clip the
// server lacks and a task on a device the list does not have are passed over by the time the task
// after them must be prepared, and that one plays at its time; a server that hangs up and comes
// back on a new line at the same port plays the next task; a line that fails during the clip check
// flags the device, not the clip; a manager released while its cue thread waits in a source calls
// its host no more, and the source sends nothing more.
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/tasks/CVideoBroTaskMgr1.h"
#include "drivers/tasks/CVideoBroTaskMgr3.h"
#include "drivers/tasks/CVideoBroTaskTPU.h"
#include "drivers/tasks/IVideoBroTaskProcess.h"
#include "tests/sources/VdcpTestKit.h"

#include "Kest20/CClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>

using namespace vdcptest;

namespace {

constexpr int kPort = 45;
constexpr int64_t kMsUnits = devtest::kMs;
constexpr uint32_t kStepMs = 10; // each step of the manual clock

using Calls = TaskCalls;

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

std::string Settings()
{
    return devtest::Section("DevMgr", {{"VideoSrc", "{\"VDCP1\"}"}}) +
           devtest::Section("VDCP1", {{"class", "CVideoSrcX_VDCP"},
                                      {"Com", std::to_string(kPort)},
                                      {"Decoder", "1"},
                                      {"ComTimeout", "300"}});
}

// One manager of either variant behind one face.
struct AnyMgr {
    explicit AnyMgr(int variant)
    {
        if (variant == 1)
            one = std::make_unique<CVideoBroTaskMgr1>();
        else
            three = std::make_unique<CVideoBroTaskMgr3>();
    }
    IVideoBroTaskMgr &operator*() const
    {
        return one ? static_cast<IVideoBroTaskMgr &>(*one->operator->())
                   : static_cast<IVideoBroTaskMgr &>(*three->operator->());
    }
    int32_t Submit(const std::vector<tagVideoBroTask> &tasks)
    {
        std::vector<tagVideoBroTask> copies = tasks;
        std::vector<tagVideoBroTask *> list;
        for (tagVideoBroTask &task : copies) list.push_back(&task);
        list.push_back(nullptr);
        return one ? (*one)->Submit(list.data(), 0)
                   : (*three)->Submit(list.data(), tasks[0].TaskID);
    }
    // Releases the manager, as its host does.
    void Release()
    {
        one.reset();
        three.reset();
    }
    std::unique_ptr<CVideoBroTaskMgr1> one;
    std::unique_ptr<CVideoBroTaskMgr3> three;
};

class VdcpSchedule : public ::testing::Test {
protected:
    // `manual`: the manual clock from before the devices are made, so that no step of the
    // schedule depends on how fast the machine runs it.
    explicit VdcpSchedule(bool manual = false)
        : m_time(manual ? std::make_unique<devtest::ManualTime>() : nullptr)
    {
        m_devices.Initlization("/etc/tvx/DevMgr");
    }
    ~VdcpSchedule() override { m_devices.Finalization(); }
    void SetUp() override { ASSERT_TRUE(m_line->pty.Valid()); }

    tagVideoBroTask Task(int32_t id, const char *dev, const char *clip, int64_t startMs,
                         int32_t frames)
    {
        return calls.Task(id, dev, clip, m_origin + startMs * kMsUnits, frames);
    }

    std::unique_ptr<devtest::ManualTime> m_time;
    std::unique_ptr<SimLine> m_line = std::make_unique<SimLine>(kPort);
    std::unique_ptr<SimLine> m_again; // a new line at the same port
    devtest::MountedSettings m_settings{Settings()};
    CVideoDevMgr m_devices;
    devtest::DeleteDevices m_cleanup{{"VDCP1"}};
    Calls calls;
    const int64_t m_origin = Now();
};

class VdcpScheduleTest : public VdcpSchedule, public ::testing::WithParamInterface<int> {
protected:
    VdcpScheduleTest() : VdcpSchedule(true) {}
    // Steps the manual clock until `done` holds, at most `maxMs` of it.
    static bool StepUntil(const std::function<bool()> &done, uint32_t maxMs)
    {
        return devtest::AdvanceUntil(done, kStepMs, maxMs);
    }
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Variants, VdcpScheduleTest, ::testing::Values(1, 3));

TEST_P(VdcpScheduleTest, TasksThatCannotPlayArePassedOverInTimeForTheNextOneToPlayOnTime)
{
    constexpr int32_t kSlot = 25; // frames: 1 s
    const int64_t slot = kSlot * tagVideoBroTask::kUnitsPerFrame;
    // The source's PrepareTime and PlayBeforeTime: how long before its start a task on it
    // must be prepared.
    const int64_t lead = 3001 * kMsUnits;
    // The clip "MISSING" is not on the server; "GHOST" is not in the device list, and its slot
    // lasts until half a second before the last task.
    const std::vector<tagVideoBroTask> planned{
        Task(1, "VDCP1", "CLIP1", 2500, kSlot), Task(2, "VDCP1", "MISSING", 3500, kSlot),
        Task(3, "GHOST", "CLIP1", 4500, 3 * kSlot), Task(4, "VDCP1", "NEWS0100", 8000, 4 * kSlot)};
    AnyMgr mgr(GetParam());
    ASSERT_EQ(mgr.Submit(planned), 1);
    ASSERT_TRUE(StepUntil([&] { return calls.Count(4, BROTASK_BEGINPLAY) > 0; }, 15000))
        << calls.Dump(m_origin);

    // Variant 1 keeps each task's start; variant 3 starts each one when the one before ends.
    const int64_t firstOnAir = calls.At(1, BROTASK_BEGINPLAY);
    ASSERT_GT(firstOnAir, 0);
    const int64_t start3 = GetParam() == 1 ? planned[2].Start : firstOnAir + 2 * slot;
    const int64_t start4 = GetParam() == 1 ? planned[3].Start : start3 + 3 * slot;
    // Task 2 goes when its slot has ended: the task on GHOST needs no preparing. Task 3 goes
    // when task 4 must be prepared, or at once when it becomes the preset after that.
    const int64_t passedAt[] = {start3, std::max(start4 - lead, start3)};
    for (int32_t id : {2, 3}) {
        EXPECT_EQ(calls.Count(id, BROTASK_BEGINPLAY), 0) << "task " << id << " never plays";
        EXPECT_EQ(calls.Count(id, BROTASK_ENDPLAY), 1) << "task " << id << " is ended once";
        const int64_t passed = calls.At(id, BROTASK_ENDPLAY);
        EXPECT_GE(passed, passedAt[id - 2] - 5 * kMsUnits) << "task " << id << calls.Dump(m_origin);
        EXPECT_LT(passed, passedAt[id - 2] + 1100 * kMsUnits)
            << "task " << id << calls.Dump(m_origin);
    }
    EXPECT_EQ(calls.Flags(2) & (BROTASK_FLAG_CLIP | BROTASK_FLAG_DEVICE), BROTASK_FLAG_CLIP)
        << "the server said the clip is not there";
    EXPECT_EQ(calls.Flags(3), BROTASK_FLAG_DEVICE);

    const int64_t onAir = calls.At(4, BROTASK_BEGINPLAY);
    EXPECT_GT(onAir, calls.At(3, BROTASK_ENDPLAY));
    EXPECT_GE(onAir, start4 - 5 * kMsUnits) << "on time" << calls.Dump(m_origin);
    EXPECT_LT(onAir, start4 + 1000 * kMsUnits) << "on time" << calls.Dump(m_origin);
    EXPECT_EQ(calls.Flags(4), 0);
    EXPECT_EQ(m_line->sim.CountOf(0x10, 0x01), 2u) << "two PLAYs: tasks 1 and 4";
}

TEST_P(VdcpScheduleTest, AServerThatHangsUpIsOpenedAgainOnTheNewLineAndPlaysTheNextTask)
{
    AnyMgr mgr(GetParam());
    ASSERT_EQ(mgr.Submit({Task(1, "VDCP1", "CLIP1", 2000, 25)}), 1);
    ASSERT_TRUE(StepUntil([&] { return calls.Count(1, BROTASK_ENDPLAY) > 0; }, 10000));

    // The server goes; a new one comes on a new line at the same port number.
    m_line->sim.Peer().HangUp();
    m_again = std::make_unique<SimLine>(kPort);
    SimLine &again = *m_again;
    ASSERT_TRUE(again.pty.Valid());

    tagVideoBroTask due = Task(2, "VDCP1", "NEWS0100", 0, 25);
    due.Start = Now() + 9000 * kMsUnits;
    ASSERT_EQ(mgr.Submit({due}), 1);
    ASSERT_TRUE(StepUntil([&] { return calls.Count(2, BROTASK_BEGINPLAY) > 0; }, 15000));
    const int64_t onAir = calls.At(2, BROTASK_BEGINPLAY);
    EXPECT_GE(onAir, due.Start - 5 * kMsUnits) << "on time";
    EXPECT_LT(onAir, due.Start + 1000 * kMsUnits) << "on time";
    EXPECT_EQ(again.sim.CuedClip(), "NEWS0100") << "cued on the new line";
    EXPECT_EQ(again.sim.SelectedChannel(), 1) << "the channel claimed again";
    EXPECT_EQ(again.sim.CountOf(0x10, 0x01), 1u) << "played on the new line";
}

TEST_F(VdcpSchedule, ALineFaultDuringTheClipCheckFlagsTheDeviceNotTheClip)
{
    AnyMgr mgr(1);
    IVideoBroTaskMgr &m = *mgr;
    static_cast<CVideoBroTaskTPU &>(*m.GetTPU()).ShutDown();
    auto *device = m_devices.GetVideoDev("VDCP1", 1, nullptr);
    ASSERT_NE(device, nullptr);
    void *answer = nullptr;
    device->QueryInterface(&IID_IVideoBroTaskProcess, &answer);
    auto &source = *static_cast<IVideoBroTaskProcess *>(answer);

    const struct {
        const char *name;
        VdcpSim::Faults faults;
        const char *clip;
        int32_t flag;
    } cases[] = {
        {"silent", Silent(), "CLIP1", BROTASK_FLAG_DEVICE},
        {"refusing", Refusing(), "CLIP1", BROTASK_FLAG_DEVICE},
        {"corrupt", Corrupt(), "CLIP1", BROTASK_FLAG_DEVICE},
        {"missing clip", VdcpSim::Faults{}, "MISSING", BROTASK_FLAG_CLIP},
    };
    int32_t id = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        m.RemoveAllTask();
        m.AddTask(Task(++id, "VDCP1", c.clip, 60000, 250));
        ASSERT_EQ(device->DevOpen(), 1) << "the device check finds it open";
        m_line->sim.SetFaults(c.faults, 2); // both tries of the id request
        EXPECT_EQ(source.DevTaskCue(&m, 0), 0);
        m_line->sim.SetFaults(VdcpSim::Faults{});
        EXPECT_EQ(m.GetTaskFlag(id), c.flag);
        tagVideoBroTask task;
        m.GetTask(id, task);
        EXPECT_EQ(task.Status, BROTASK_CLIPCHKEND);
    }
}

TEST_F(VdcpSchedule, AReleasedManagerCallsItsHostNoMoreAndItsSourceSendsNothingMore)
{
    // The cue waits for the cued bit, asking the status every 400 ms for up to 6 s.
    m_line->sim.SetCueDelay(60000);
    AnyMgr mgr(1);
    ASSERT_EQ(mgr.Submit({Task(1, "VDCP1", "CLIP1", 60000, 250)}), 1);
    ASSERT_TRUE(devtest::Eventually([&] { return calls.Count(1, BROTASK_CUING) > 0; }, 10000));
    SleepMs(500);

    const auto begin = Clock::now();
    mgr.Release(); // gives the cue thread up after the stop's bound
    EXPECT_LT(MsSince(begin), 2500);
    const size_t sent = m_line->sim.Commands().size();
    const int64_t released = Now();
    SleepMs(1500); // several of the status polls the cue would send
    EXPECT_EQ(m_line->sim.Commands().size(), sent) << "nothing sent for a released manager";
    EXPECT_EQ(calls.CountSince(released), 0) << "no callback after the release";
}
