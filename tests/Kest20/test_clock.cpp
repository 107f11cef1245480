// The framework clock: slewing, refusals and hard sets, strictly rising readings, the
// agreement of the counter devices, and sleeping until an instant.
#include "Kest20/CClock.h"
#include "Kest20/CCounter.h"
#include "Kest20/CCounterDev.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr int64_t kSecond = 10000000;
constexpr int64_t kFileTime2020 = 132223104000000000LL;

// How far the clock moves while the manual clock moves `ms` on.
int64_t ClockMoves(CClock &clock, uint32_t ms)
{
    DYNAMIC_TIME before{}, after{};
    clock.GetTime(&before);
    plat::TestClock::Advance(ms);
    clock.GetTime(&after);
    return after.time - before.time;
}

// A device whose reading the test sets.
class HandDev : public CCounterDev {
public:
    explicit HandDev(std::shared_ptr<int64_t> value) : m_value(std::move(value)) {}
    int QueryCounter(int64_t *count) override
    {
        *count = *m_value;
        return 1;
    }

private:
    std::shared_ptr<int64_t> m_value;
};

struct HandCounter {
    HandCounter()
        : counter(Make(primary, &primaryDev), Make(fine, &fineDev), Make(third, &thirdDev))
    {
    }
    static std::unique_ptr<CCounterDev> Make(const std::shared_ptr<int64_t> &value,
                                             CCounterDev **raw)
    {
        auto dev = std::make_unique<HandDev>(value);
        *raw = dev.get();
        return dev;
    }
    void SetAll(int64_t v) { *primary = *fine = *third = v; }
    void AddAll(int64_t d)
    {
        *primary += d;
        *fine += d;
        *third += d;
    }
    std::shared_ptr<int64_t> primary = std::make_shared<int64_t>(0);
    std::shared_ptr<int64_t> fine = std::make_shared<int64_t>(0);
    std::shared_ptr<int64_t> third = std::make_shared<int64_t>(0);
    CCounterDev *primaryDev = nullptr, *fineDev = nullptr, *thirdDev = nullptr;
    CCounter counter;
};

} // namespace

TEST(Clock, SoftSetAheadRunsAtDoubleSpeedUntilAbsorbed)
{
    plat::ScopedTestClock manual(5000, kFileTime2020);
    CClock clock;
    DYNAMIC_TIME now{};
    clock.GetTime(&now);
    EXPECT_NEAR(static_cast<double>(now.time), static_cast<double>(kFileTime2020), 10);
    DYNAMIC_TIME target{now.time + 10 * kSecond, now.counter};
    ASSERT_EQ(clock.SetTime(&target, 0), 1);
    EXPECT_NEAR(ClockMoves(clock, 4000), 8 * kSecond, 10);
    EXPECT_NEAR(ClockMoves(clock, 4000), 8 * kSecond, 10);
    EXPECT_NEAR(ClockMoves(clock, 4000), 6 * kSecond, 10); // the last 2 s of the 10
    EXPECT_NEAR(ClockMoves(clock, 4000), 4 * kSecond, 10); // normal again
}

TEST(Clock, SoftSetBehindRunsAtQuarterSpeedNeverBackwards)
{
    plat::ScopedTestClock manual(5000, kFileTime2020);
    CClock clock;
    DYNAMIC_TIME now{};
    clock.GetTime(&now);
    DYNAMIC_TIME target{now.time - 10 * kSecond, now.counter};
    ASSERT_EQ(clock.SetTime(&target, 0), 1);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(ClockMoves(clock, 4000), kSecond, 10);
    EXPECT_NEAR(ClockMoves(clock, 4000), 3 * kSecond, 10); // the last 1 s of the 10
    EXPECT_NEAR(ClockMoves(clock, 4000), 4 * kSecond, 10);
}

TEST(Clock, SoftSetRefusalsAndHardSet)
{
    plat::ScopedTestClock manual(5000, kFileTime2020);
    CClock clock;
    DYNAMIC_TIME now{};
    clock.GetTime(&now);
    DYNAMIC_TIME target = now;
    target.time = now.time + 40 * kSecond;
    EXPECT_EQ(clock.SetTime(&target, 0), 0);
    target.time = now.time - 40 * kSecond;
    EXPECT_EQ(clock.SetTime(&target, 0), 0);
    target.time = now.time + 40 * kSecond - 1;
    EXPECT_EQ(clock.SetTime(&target, 0), 1);
    target.time = now.time + kSecond;
    EXPECT_EQ(clock.SetTime(&target, 0), 0); // a slew is pending

    // A hard set applies at once, whatever the distance, and clears the slew.
    DYNAMIC_TIME hard{kFileTime2020 + 3600 * kSecond, now.counter};
    EXPECT_EQ(clock.SetTime(&hard, 1), 1);
    DYNAMIC_TIME after{};
    clock.GetTime(&after);
    EXPECT_EQ(after.time, hard.time + (after.counter - hard.counter));
    EXPECT_NEAR(ClockMoves(clock, 1000), kSecond, 10);
    target = {after.time + kSecond, after.counter};
    EXPECT_EQ(clock.SetTime(&target, 0), 1);
    EXPECT_EQ(clock.SetTime(nullptr, 1), 0);

    // The counter reading for a clock time follows the base of the last reading.
    DYNAMIC_TIME base{};
    clock.GetTime(&base);
    EXPECT_EQ(clock.UCFileTimeToStdCounter(base.time + 5 * kSecond), base.counter + 5 * kSecond);
}

TEST(Clock, ReadingsRiseStrictly)
{
    for (bool manual : {false, true}) {
        std::unique_ptr<plat::ScopedTestClock> frozen;
        if (manual) frozen = std::make_unique<plat::ScopedTestClock>(plat::GetTickCount());
        int64_t c1 = 0, c2 = 0, t1 = 0, t2 = 0;
        ASSERT_EQ(glQueryStdCounter(&c1), 1);
        ASSERT_EQ(glQueryStdCounter(&c2), 1);
        EXPECT_GT(c2, c1);
        ASSERT_EQ(glGetTimeEx(&t1), 1);
        ASSERT_EQ(glGetTimeEx(&t2), 1);
        EXPECT_GT(t2, t1);
    }
    EXPECT_EQ(glGetClock(), glGetClock());
    EXPECT_NE(glGetClock(), nullptr);
    EXPECT_EQ(*glGetClock()->GetActivePtr(), glGetClock());
}

TEST(CounterDevices, AgreementPicksTheBestDeviceAndDriftResyncs)
{
    const int64_t base = 1000 * kSecond;
    HandCounter h;
    h.SetAll(base);
    EXPECT_EQ(h.counter.QueryCounter(), base);
    EXPECT_EQ(h.counter.FindGoodCounter(), h.primaryDev);

    // Within 0.1 s of the primary the fine device is taken as it reads.
    *h.fine += kSecond / 20;
    EXPECT_EQ(h.counter.QueryCounter(), base + kSecond / 20);

    // Past 0.1 s: the primary agrees with the system time, so every device follows the
    // primary; the counter does not go back meanwhile.
    *h.fine = base + kSecond / 5;
    *h.primary = *h.third = base + 10;
    EXPECT_EQ(h.counter.QueryCounter(), base + kSecond / 20 + 1);
    EXPECT_EQ(h.fineDev->GetOffset(), -(kSecond / 5 - 10));
    h.AddAll(kSecond);
    EXPECT_EQ(h.counter.QueryCounter(), base + 10 + kSecond);

    // The primary jumps; the fine device and the system time agree: the system time is the
    // best, and the refresh counts the switch and brings the primary back in line.
    *h.primary += 30 * kSecond;
    EXPECT_EQ(h.counter.FindGoodCounter(), h.thirdDev);
    EXPECT_EQ(h.counter.GetSwitchCount(), 0);
    EXPECT_EQ(h.counter.RefreshTask(nullptr), 1);
    EXPECT_EQ(h.counter.GetSwitchCount(), 1);
    EXPECT_TRUE(h.primaryDev->IsSync(*h.thirdDev, 1));
    h.AddAll(100);
    EXPECT_EQ(h.counter.QueryCounter(), base + 10 + kSecond + 100);

    // Agreement is tried up to 6.4 s; beyond, nothing agrees and the primary is taken.
    *h.third += 5 * kSecond;
    EXPECT_EQ(h.counter.FindGoodCounter(), h.primaryDev); // the primary agrees with the fine one
    *h.fine += 10 * kSecond;
    *h.third += 50 * kSecond;
    EXPECT_EQ(h.counter.FindGoodCounter(), h.primaryDev);
    *h.fine = *h.third - 6 * kSecond;
    EXPECT_EQ(h.counter.FindGoodCounter(), h.thirdDev);
}

TEST(CounterDevices, RateCarriesOnFromTheLastReading)
{
    HandCounter h;
    h.SetAll(1000 * kSecond);
    h.counter.QueryCounter();
    h.counter.SetRateOfAcc(0.5);
    EXPECT_EQ(h.counter.GetRateOfAcc(), 0.5);
    h.SetAll(1000 * kSecond + kSecond / 20);
    EXPECT_EQ(h.counter.QueryCounter(), 1000 * kSecond + kSecond / 40);
    h.counter.SetRateOfAcc(2.0);
    h.SetAll(1000 * kSecond + kSecond / 10);
    EXPECT_EQ(h.counter.QueryCounter(), 1000 * kSecond + kSecond / 40 + kSecond / 10);
}

TEST(CounterDevices, TickDeviceCarriesOnAcrossTheWrap)
{
    plat::ScopedTestClock manual(0xFFFFFF00u);
    CCounterDev_Tick tick;
    int64_t before = 0, after = 0;
    tick.QueryCounter(&before);
    plat::TestClock::Advance(0x200);
    tick.QueryCounter(&after);
    EXPECT_EQ(after - before, 0x200 * 10000LL);

    CCounterDev_RDTSC fine;
    CCounterDev_Time third;
    fine.Sync(third);
    EXPECT_TRUE(fine.IsSync(third, 1000));
    EXPECT_FALSE(fine.IsSync(tick, 1000));
}

TEST(CounterDevices, FineDeviceScalesItsStampsByTheRecordedFrequency)
{
    plat::ScopedTestClock manual(1000);
    CCounterDev_RDTSC fine;
    EXPECT_EQ(fine.GetFrequency(), CCounterDev_RDTSC::kStampFrequency);
    EXPECT_EQ(fine.TestFrequency(2000, false), CCounterDev_RDTSC::kStampFrequency);
    CCounterDev_Performance reference;
    int64_t a = 0, b = 0;
    // After some 74 days the stamps times 2^18 no longer fit 64 bits.
    for (const uint32_t step : {0u, 1000u, 0x7FFFFFFFu, 0x7FFFFFFFu, 0x7FFFFFFFu}) {
        plat::TestClock::Advance(step);
        fine.QueryCounter(&a);
        reference.QueryCounter(&b);
        EXPECT_EQ(a, b) << step;
    }
    // Stamps counted at twice the rate: the reading runs at half the pace.
    ASSERT_EQ(fine.SetFrequency(2 * CCounterDev_RDTSC::kStampFrequency), 1);
    fine.QueryCounter(&a);
    plat::TestClock::Advance(1000);
    fine.QueryCounter(&b);
    EXPECT_EQ(b - a, 500 * 10000LL);
    EXPECT_EQ(fine.SetFrequency(0), 0);
    EXPECT_EQ(fine.GetFrequency(), 2 * CCounterDev_RDTSC::kStampFrequency);
    // The heartbeat takes the known rate again.
    fine.OnHeartBeat();
    EXPECT_EQ(fine.GetFrequency(), CCounterDev_RDTSC::kStampFrequency);
}

TEST(ClockSleep, PastInstantReturnsAtOnce)
{
    // The process clock carries on across the manual clock at the same tick.
    plat::ScopedTestClock manual(plat::GetTickCount());
    int64_t now = 0;
    ASSERT_EQ(glGetTimeEx(&now), 1);
    auto slept =
        std::async(std::launch::async, [&] { return glSleepUntilSpecialTime(now - kSecond); });
    ASSERT_EQ(slept.wait_for(2s), std::future_status::ready);
    EXPECT_EQ(slept.get(), 1);
    int64_t counter = 0;
    glQueryStdCounter(&counter);
    EXPECT_EQ(glSleepUntilSpecialCount(counter), 1);
}

TEST(ClockSleep, WakesWhenTheClockReachesTheInstantOrTheStopComes)
{
    plat::ScopedTestClock manual(plat::GetTickCount());
    int64_t now = 0;
    glGetTimeEx(&now);
    plat::Event stop(true);
    std::atomic<int> reached{-1}, stopped{-1};
    std::thread sleeper([&] { reached = glSleepUntilSpecialTime(now + 5 * kSecond, stop); });
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1));
    plat::TestClock::Advance(4000);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(reached.load(), -1);
    plat::TestClock::Advance(1000);
    sleeper.join();
    EXPECT_EQ(reached.load(), 1);
    int64_t later = 0;
    glGetTimeEx(&later);
    EXPECT_GE(later, now + 5 * kSecond - 57);

    std::thread interrupted(
        [&] { stopped = glSleepUntilSpecialTime(later + 3600 * kSecond, stop); });
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1));
    stop.Set();
    interrupted.join();
    EXPECT_EQ(stopped.load(), 0);
}
