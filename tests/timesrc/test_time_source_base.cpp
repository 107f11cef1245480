// The adjustment of the time-source base: failures counted and posted from the alert threshold
// with one recovery message, the delta taken off the standard time, the hard set until the first
// success, the computer's clock set only within an hour, settings, and the GPS source's silence.
#include "tests/timesrc/TimeSourceTestKit.h"

#include "devext/device/CTimeSourceA.h"
#include "drivers/model/CTimeSource_GPS.h"

using namespace timesrc;

namespace {

// A source whose standard time the test sets: the clock's time plus an offset, or nothing.
class ScriptedSource : public CTimeSourceA {
public:
    explicit ScriptedSource(CClock *clock) : CTimeSourceA(clock), m_pClock(clock) {}
    int GetStandardTime(DYNAMIC_TIME &t) override
    {
        {
            std::lock_guard<std::mutex> lk(m_ticksLock);
            m_ticks.push_back(plat::GetTickCount());
        }
        if (!answers) return 0;
        m_pClock->GetTime(&t);
        t.time += offset;
        given = t;
        return 1;
    }
    // The tick count of each reading asked.
    std::vector<uint32_t> Readings()
    {
        std::lock_guard<std::mutex> lk(m_ticksLock);
        return m_ticks;
    }
    std::atomic<bool> answers{true};
    std::atomic<int64_t> offset{0};
    DYNAMIC_TIME given{};

private:
    CClock *m_pClock;
    std::mutex m_ticksLock;
    std::vector<uint32_t> m_ticks;
};

// A source that gives the clock's time 30 s ahead; its first reading, while `hold` is set,
// stays open until the source is stopped: an adjustment in progress.
class HeldSource : public CTimeSourceA {
public:
    static constexpr int64_t kOffset = 30 * kSecond;
    explicit HeldSource(CClock *clock) : CTimeSourceA(clock), m_pClock(clock) {}
    int GetStandardTime(DYNAMIC_TIME &t) override
    {
        if (hold.exchange(false)) {
            held = true;
            StopSignal().Wait(plat::INFINITE);
            return 0;
        }
        m_pClock->GetTime(&t);
        t.time += kOffset;
        return 1;
    }
    std::atomic<bool> hold{true};
    std::atomic<bool> held{false};

private:
    CClock *m_pClock;
};

struct BaseFixture : ::testing::Test {
    ManualTime time;
    CClock clock;
    LogCapture errors{"#LOG_ERROR"};
    LogCapture device{"#OVRA_DEV"};
};

std::string DeviceText(const char *dev, int id, const std::string &msg)
{
    return "<DEV=\"" + std::string(dev) + "\" ID=\"" + std::to_string(id) + "\" MSG=\"" + msg +
           "\">";
}

} // namespace

TEST_F(BaseFixture, FailuresArePostedFromTheThresholdAndTheRecoveryOnce)
{
    MountedSettings settings(Section("Clk", {{"AlertOnFailTimes", "3"}}));
    ScriptedSource source(&clock);
    ASSERT_EQ(source.InitInstance(nullptr, "Clk"), 1);
    source.answers = false;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(source.AdjustTask(nullptr), 1);
    EXPECT_EQ(errors.Count(), 4u);
    EXPECT_TRUE(errors.Has("Clk : GetStandardTime failure"));
    EXPECT_EQ(device.Lines(),
              std::vector<std::string>(2, DeviceText("Clock", 1, "时钟源获取失败")));
    EXPECT_EQ(source.IsLastReadFailed(), 1);

    source.answers = true;
    source.AdjustTask(nullptr);
    source.AdjustTask(nullptr);
    EXPECT_EQ(device.Lines().size(), 3u);
    EXPECT_EQ(device.Lines().back(), DeviceText("Clock", 0, "校时成功"));
    EXPECT_EQ(source.GetSuccessCount(), 2);
    EXPECT_EQ(source.GetFailureCount(), 0);
}

TEST_F(BaseFixture, TheDeltaSetsTheClockBehindTheSource)
{
    MountedSettings settings(Section("Clk", {{"Delta of StdTime", "500"}}));
    ScriptedSource source(&clock);
    source.InitInstance(nullptr, "Clk");
    source.offset = 30 * kSecond;
    ASSERT_EQ(source.AdjustTime(1), 1);
    DYNAMIC_TIME now{};
    clock.GetTime(&now);
    const int64_t expected = source.given.time - 5000000 + (now.counter - source.given.counter);
    EXPECT_EQ(now.time, expected);
    EXPECT_EQ(source.GetLastStdTime().time, source.given.time - 5000000);
}

TEST_F(BaseFixture, TheClockIsSetHardUntilTheFirstSuccess)
{
    ScriptedSource source(&clock);
    source.answers = false;
    source.AdjustTask(nullptr);
    // Still the first: 100 s away is set at once.
    source.answers = true;
    source.offset = 100 * kSecond;
    source.AdjustTask(nullptr);
    EXPECT_EQ(source.GetSuccessCount(), 1);
    // From now on the clock is only slewed, which refuses a jump of 100 s.
    source.AdjustTask(nullptr);
    EXPECT_EQ(source.GetSuccessCount(), 1);
    EXPECT_TRUE(errors.Has("SetTime failed"));
}

TEST_F(BaseFixture, TheComputerClockIsSetOnlyWithinAnHour)
{
    MountedSettings settings(Section("Clk", {{"SyncLocal", "TRUE"}}));
    ClockSetterRecorder setter;
    ScriptedSource source(&clock);
    source.InitInstance(nullptr, "Clk");

    source.offset = 59 * 60 * kSecond;
    ASSERT_EQ(source.AdjustTime(1), 1);
    ASSERT_EQ(setter.Sets().size(), 1u);
    EXPECT_NEAR(static_cast<double>(setter.Sets()[0] - source.given.time), 0.0, 1e4);
    EXPECT_TRUE(device.Has(DeviceText("Clock_Local", 0, "校正本地时钟成功")));

    source.offset = 61 * 60 * kSecond;
    ASSERT_EQ(source.AdjustTime(1), 1);
    EXPECT_EQ(setter.Sets().size(), 1u);
    const std::string last = device.Lines().back();
    EXPECT_EQ(last.rfind("<DEV=\"Clock_Local\" ID=\"2\" MSG=\"标准时钟为(", 0), 0u) << last;
    EXPECT_NE(last.find(")和本地时钟(2020-01-01 00:00:00)相差较大"), std::string::npos) << last;
}

TEST_F(BaseFixture, SettingsKeepTheirDefaultsWhenMissing)
{
    MountedSettings settings(Section("Clk", {{"Interval", "10"}}));
    ScriptedSource source(&clock);
    source.InitInstance(nullptr, "Clk");
    EXPECT_EQ(source.GetInterval(), 10);
    // The alert threshold is still 10: nine failures post nothing.
    source.answers = false;
    for (int i = 0; i < 9; ++i) source.AdjustTime(0);
    EXPECT_EQ(device.Count(), 0u);
    source.AdjustTime(0);
    EXPECT_EQ(device.Count(), 1u);
}

TEST_F(BaseFixture, AZeroOrNegativeIntervalAdjustsOncePerSecond)
{
    for (const char *interval : {"0", "-5"}) {
        SCOPED_TRACE(interval);
        MountedSettings settings(Section("Clk", {{"Interval", interval}}));
        ScriptedSource source(&clock);
        ASSERT_EQ(source.InitInstance(nullptr, "Clk"), 1);
        ASSERT_EQ(source.ActiveInstance(), 1);
        EXPECT_TRUE(AdvanceUntil([&] { return source.Readings().size() >= 4; }, 50, 10000));
        EXPECT_EQ(source.DeactiveInstance(0), 1);
        const std::vector<uint32_t> ticks = source.Readings();
        for (size_t i = 1; i < ticks.size(); ++i) {
            // The patrol thread looks for due tasks every 500 ms.
            EXPECT_GE(ticks[i] - ticks[i - 1], 1000u) << i;
            EXPECT_LE(ticks[i] - ticks[i - 1], 1600u) << i;
        }
    }
}

TEST_F(BaseFixture, TheBaseReadsTheComputerClockAndGpsGivesNothing)
{
    CTimeSourceA base(&clock);
    DYNAMIC_TIME t{};
    ASSERT_EQ(base.GetStandardTime(t), 1);
    EXPECT_EQ(t.time, plat::GetSystemTimeAsFileTime());
    CTimeSource_GPS gps;
    EXPECT_EQ(gps.GetStandardTime(t), 0);
    EXPECT_EQ(gps.AdjustTime(1), 0);
}

// A held source, active on the device patrol manager, in the middle of its first adjustment.
struct HeldFixture : BaseFixture {
    void SetUp() override
    {
        ASSERT_EQ(source.InitInstance(nullptr, "Clk"), 1);
        ASSERT_EQ(source.ActiveInstance(), 1);
        ASSERT_TRUE(Eventually([&] { return source.held.load(); }));
    }
    MountedSettings settings{Section("Clk", {{"Interval", "1"}})};
    HeldSource source{&clock};
};

TEST_F(HeldFixture, ASourceStoppedDuringAnAdjustmentAdjustsAgainOnceRestarted)
{
    ASSERT_EQ(source.DeactiveInstance(0), 1); // waits for the adjustment to end
    EXPECT_EQ(source.GetAdjustTask().GetStatus(), CTask::kWaiting);

    DYNAMIC_TIME before{};
    clock.GetTime(&before);
    ASSERT_EQ(source.ActiveInstance(), 1);
    ASSERT_TRUE(AdvanceUntil([&] { return source.GetSuccessCount() == 1; }, 100, 10000));
    DYNAMIC_TIME after{};
    clock.GetTime(&after);
    EXPECT_GE(after.time - before.time, HeldSource::kOffset) << "the clock was set ahead";
    EXPECT_EQ(source.DeactiveInstance(0), 1);
}

TEST_F(HeldFixture, ActivationThatCannotStartTheAdjustTaskFailsAndSaysSo)
{
    // The task is in its action: it is not taken again.
    EXPECT_EQ(source.OnActiveInstance(), 0);
    EXPECT_TRUE(errors.Has("Clk : adjust task not started"));
    EXPECT_EQ(source.DeactiveInstance(0), 1);
}
