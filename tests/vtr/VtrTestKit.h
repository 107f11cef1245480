// What the VTR tests share: the manual clock with the framework clock on it, a pseudo-terminal
// line bound to a port number with a simulated VTR on its far end, captured log lines, and a
// call run on a thread of its own while the test moves the manual clock.
#pragma once

#include "drivers/sources/vtr/VtrProtocol.h"
#include "tests/kit/SimLine.h"
#include "tests/model/DeviceTestKit.h"
#include "tests/sim/VtrSim.h"

#include "Kest20/KestLog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace vtrtest {

using devtest::kMs;
using devtest::kSecond;
using kestsim::Bytes;

constexpr int kComPort = 41;
constexpr int kBoardPort = 42;

// The protocol object without the pause between writes that its line settings ask for, so that
// exchanges follow each other without the manual clock moving. It counts the commands written
// and answered, so that a test moves the clock only while no answer is on its way (an answer
// takes real time, and the reply wait runs on the manual clock).
class CQuickVTR : public CSerialVTR {
public:
    CQuickVTR()
    {
        Line line = GetLine();
        line.last = 0;
        SetLine(line);
    }
    // Deliveries end before the counters they update go.
    ~CQuickVTR() override { DevClose(); }

    int DevWrite(const char *data, int length) override
    {
        {
            std::lock_guard<std::mutex> lk(m_gate);
            ++m_written;
        }
        return CSerialVTR::DevWrite(data, length);
    }
    int OnRecvData(int port, pointer_t &data) override
    {
        std::lock_guard<std::mutex> lk(m_gate);
        const int answered = CSerialVTR::OnRecvData(port, data);
        if (answered) m_answered = m_written;
        return answered;
    }
    // Every command written has had its answer.
    bool Answered()
    {
        std::lock_guard<std::mutex> lk(m_gate);
        return m_answered >= m_written;
    }
    // Advances the manual clock once every command written has its answer, waiting for that
    // at most `realMs` in real time (a silent VTR never answers).
    void Advance(uint32_t ms, uint32_t realMs = 300)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
        while (!Answered() && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        plat::TestClock::Advance(ms);
    }

private:
    std::mutex m_gate;
    uint64_t m_written = 0;
    uint64_t m_answered = 0;
};

// A Betacam source of class `Source` whose VTR exchanges need no clock movement between writes.
template <class Source> class Quick : public Source {
public:
    Quick()
    {
        this->m_pVTR->Release();
        this->m_pVTR = m_quick = new CQuickVTR;
    }
    CQuickVTR &Line() { return *m_quick; }

private:
    CQuickVTR *m_quick;
};

// A call on a thread of its own, for calls that sleep on the manual clock.
template <class R> class Background {
public:
    template <class F> explicit Background(F call) : m_result(std::async(std::launch::async, call))
    {
    }
    // A call a failed test left sleeping is let run to its end on the clock.
    ~Background()
    {
        for (int i = 0; i < 10000 && m_result.valid() && !Done(1); ++i)
            plat::TestClock::Advance(1000);
        if (m_result.valid()) m_result.wait();
    }
    // Whether the call has returned, waiting up to `realMs` in real time.
    bool Done(uint32_t realMs = 0) const
    {
        return m_result.wait_for(std::chrono::milliseconds(realMs)) == std::future_status::ready;
    }
    R Result() { return m_result.get(); }

private:
    std::future<R> m_result;
};

// Real time for a woken thread to get on to its next wait or command.
inline void LetRun(uint32_t ms = 20)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Waits (in real time, at most 5 s) until a thread beyond the `baseline` number sleeps on the
// manual clock and has for 10 ms in a row while `quiet` holds (no answer on its way): then
// the thread under test has reached a sleep of its own rather than a reply wait just ended.
// A thread the clock has woken and that has not run yet does not count as asleep. False at
// once when `ended` holds (the call under test has returned and will not sleep again).
inline bool Sleeping(int baseline, const std::function<bool()> &quiet = {},
                     const std::function<bool()> &ended = {})
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (int stable = 0; stable < 10;) {
        if (std::chrono::steady_clock::now() >= until || (ended && ended())) return false;
        const bool asleep = plat::TestClock::BlockedWaiters() > baseline && (!quiet || quiet());
        stable = asleep ? stable + 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// The manual clock, the debug log on, and a line with a simulated VTR on COM kComPort.
class VtrLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.Valid());
        m_debug = glSetDebugFlag(1);
    }
    void TearDown() override { glSetDebugFlag(m_debug); }

    static int64_t Now() { return devtest::ManualTime::Now(); }

    devtest::ManualTime time;
    kit::SimLine<kestsim::VtrSim> farEnd{plat::SerialPortKind::COM, kComPort};
    kestsim::PtyPair &pty = farEnd.Pty();
    kestsim::VtrSim &vtr = farEnd.Sim();

private:
    int m_debug = 0;
};

} // namespace vtrtest
