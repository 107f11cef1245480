// The play-position counter, the tick-interval gate and the rate estimator, on the manual
// test clock.
#include "drivers/model/CPlayCounter.h"
#include "drivers/model/CRateEstimator.h"
#include "drivers/model/TickInterval.h"

#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {
constexpr int64_t kFrames250 = 250 * CPlayCounter::kUnitsPerFrame; // 100 000 000 units
}

TEST(PlayCounter, RunsAtItsSpeed)
{
    plat::ScopedTestClock clock;
    CPlayCounter counter;
    EXPECT_EQ(counter.GetTimecode(), 0);
    counter.Set(kFrames250, 1.0);
    plat::TestClock::Advance(1000);
    EXPECT_EQ(counter.GetTimecode(), 275);

    counter.SetSpeed(0);
    plat::TestClock::Advance(5000);
    EXPECT_EQ(counter.GetTimecode(), 275) << "stopped";

    counter.SetSpeed(2.0);
    plat::TestClock::Advance(1000);
    EXPECT_EQ(counter.GetTimecode(), 325);
    counter.SetSpeed(-1.0);
    plat::TestClock::Advance(2000);
    EXPECT_EQ(counter.GetTimecode(), 275) << "reverse";
    counter.SetSpeed(1e-15);
    plat::TestClock::Advance(1000000);
    EXPECT_EQ(counter.GetTimecode(), 275) << "a speed within 1e-14 of 0 is stopped";
}

TEST(PlayCounter, PositionChangesKeepTheSpeed)
{
    plat::ScopedTestClock clock;
    CPlayCounter counter;
    counter.Set(kFrames250, 0);
    plat::TestClock::Advance(3000);
    EXPECT_EQ(counter.GetTimecode(), 250);

    counter.SetSpeed(1.0);
    counter.SetPosition(0);
    plat::TestClock::Advance(400);
    EXPECT_EQ(counter.GetTimecode(), 10);
    counter.AddPosition(-20 * CPlayCounter::kUnitsPerFrame);
    EXPECT_EQ(counter.GetTimecode(), -10) << "a negative position reads as such";
    EXPECT_EQ(counter.GetSpeed(), 1.0);
}

TEST(PlayCounter, SharedBetweenThreads)
{
    plat::ScopedTestClock clock;
    CPlayCounter counter;
    counter.Set(0, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&counter, t] {
            for (int i = 0; i < 1000; ++i) {
                if (t % 2)
                    counter.AddPosition(CPlayCounter::kUnitsPerFrame);
                else
                    counter.SetSpeed(0);
                (void)counter.GetTimecode();
            }
        });
    for (auto &thread : threads) thread.join();
    EXPECT_EQ(counter.GetTimecode(), 2000) << "no update lost";
}

TEST(TickInterval, PassesOncePerIntervalAcrossTheWrap)
{
    plat::ScopedTestClock clock(0xFFFFFFFFu - 2000);
    uint32_t last = 0;
    EXPECT_EQ(IsTickIntervalElapsed(last, 5000), 1) << "a last of 0 passes";
    EXPECT_EQ(last, plat::GetTickCount());
    plat::TestClock::Advance(900);
    EXPECT_EQ(IsTickIntervalElapsed(last, 5000), 0);
    plat::TestClock::Advance(4099); // across the wrap, 1 ms short
    EXPECT_LT(plat::GetTickCount(), 10000u);
    EXPECT_EQ(IsTickIntervalElapsed(last, 5000), 0);
    plat::TestClock::Advance(1);
    EXPECT_EQ(IsTickIntervalElapsed(last, 5000), 1);
    EXPECT_EQ(IsTickIntervalElapsed(last, 5000), 0);
}

TEST(RateEstimator, LearnsTheRateFromTwoReadings)
{
    plat::ScopedTestClock clock(50000);
    CRateEstimator estimator;
    int32_t value = 0;
    EXPECT_EQ(estimator.Estimate(value), 0);
    estimator.Feed(0);
    EXPECT_EQ(estimator.GetState(), CRateEstimator::FIRST_READING);
    plat::TestClock::Advance(2000);
    estimator.Feed(2000);
    EXPECT_EQ(estimator.GetState(), CRateEstimator::RATE_KNOWN);
    EXPECT_EQ(estimator.GetRate(), 1000);
    plat::TestClock::Advance(500);
    EXPECT_EQ(estimator.Estimate(value), 1);
    EXPECT_EQ(value, 2500);

    plat::TestClock::Advance(10000); // the hold time since the last reading
    EXPECT_EQ(estimator.Estimate(value), 0);
    EXPECT_EQ(estimator.GetState(), CRateEstimator::IDLE);
}

TEST(RateEstimator, CloseReadingsWaitForASettledRate)
{
    plat::ScopedTestClock clock(50000);
    CRateEstimator estimator;
    estimator.Feed(100);
    plat::TestClock::Advance(200);
    estimator.Feed(5000); // too close to give a rate
    EXPECT_EQ(estimator.GetState(), CRateEstimator::FIRST_READING);
    plat::TestClock::Advance(400); // 600 ms: a rate of 500/s is not trusted yet
    estimator.Feed(400);
    EXPECT_EQ(estimator.GetState(), CRateEstimator::FIRST_READING);
    estimator.Feed(100 + 3000); // 3000 in 600 ms: fast enough to trust
    EXPECT_EQ(estimator.GetState(), CRateEstimator::RATE_KNOWN);
    EXPECT_EQ(estimator.GetRate(), 5000);
}
