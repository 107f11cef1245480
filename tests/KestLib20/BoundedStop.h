// Test helper: a stop that must wait for its bound on the manual clock, no less and no more.
#pragma once

#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

// Runs `stop` on a thread of its own once it waits on the manual clock, and checks that it has
// not returned when the clock has moved `boundMs` - 1 on, but returns at `boundMs`.
inline ::testing::AssertionResult EndsAtTheBound(const std::function<void()> &stop,
                                                 uint32_t boundMs)
{
    std::atomic<bool> done{false};
    std::thread stopper([&] {
        stop();
        done = true;
    });
    bool waited = plat::TestClock::WaitForTimedWaiters(1);
    plat::TestClock::Advance(boundMs - 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    bool early = done.load();
    plat::TestClock::Advance(1);
    stopper.join();
    if (!waited) return ::testing::AssertionFailure() << "the stop never waited";
    if (early) return ::testing::AssertionFailure() << "the stop ended before its bound";
    return ::testing::AssertionSuccess();
}
