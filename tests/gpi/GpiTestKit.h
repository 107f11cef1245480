// What the GPI tests share: the simulated card reset for each test, the manual clock with the
// framework clock on it, a record of the card's output writes with their framework times, and
// the debugger output captured.
#pragma once

#include "tests/model/DeviceTestKit.h"

#include "gpi/adsapi/DioSim.h"

#include "Kest20/KestLog.h"
#include "platform/Process.h"

#include <mutex>
#include <string>
#include <vector>

namespace gpitest {

// One output line that changed: where, to what, and when (framework time).
struct LineChange {
    uint16_t port;
    uint16_t bit;
    int level;
    int64_t at;
};

// Records every output line change of card 0 while it lives.
class OutputRecorder {
public:
    OutputRecorder() { DioSim_SetWriteHook(&OutputRecorder::OnWrite, this); }
    ~OutputRecorder() { DioSim_SetWriteHook(nullptr, nullptr); }
    OutputRecorder(const OutputRecorder &) = delete;
    OutputRecorder &operator=(const OutputRecorder &) = delete;

    std::vector<LineChange> Changes()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_changes;
    }

private:
    static void OnWrite(void *self, uint16_t, uint16_t port, uint8_t before, uint8_t after)
    {
        auto *recorder = static_cast<OutputRecorder *>(self);
        std::lock_guard<std::mutex> lk(recorder->m_lock);
        for (uint16_t bit = 0; bit < 8; ++bit)
            if (((before ^ after) >> bit) & 1)
                recorder->m_changes.push_back(
                    {port, bit, (after >> bit) & 1, devtest::ManualTime::Now()});
    }

    std::mutex m_lock;
    std::vector<LineChange> m_changes;
};

// The debugger output while it lives.
// Runs `call` on another thread and moves the manual clock on by `step` ms whenever that
// thread (or another) is waiting on it, never while it runs, so that under load the clock
// does not run ahead of the call.
template <class Call> auto RunStepping(Call call, uint32_t step = 10)
{
    const int idle = plat::TestClock::TimedWaiters();
    auto result = std::async(std::launch::async, call);
    uint32_t advanced = 0;
    while (result.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready &&
           advanced < 120000) {
        if (plat::TestClock::TimedWaiters() > idle) {
            plat::TestClock::Advance(step);
            advanced += step;
        }
    }
    EXPECT_LT(advanced, 120000u);
    return result.get();
}

// One card installed and every line low; the manual clock from 2020-01-01.
class GpiTest : public ::testing::Test {
protected:
    GpiTest() { DioSim_Reset(1); }
    ~GpiTest() override { DioSim_Reset(1); }

public:
    static int64_t Now() { return devtest::ManualTime::Now(); }

protected:
    devtest::ManualTime m_time;
};

} // namespace gpitest
