// What the VDCP tests share: a board port whose line is a pseudo-terminal with the VDCP
// simulator at its far end, and real-time waits.
#pragma once

#include "tests/model/DeviceTestKit.h"
#include "tests/sim/VdcpSim.h"

#include <chrono>
#include <thread>

namespace vdcptest {

using kestsim::Bytes;
using kestsim::VdcpSim;
using Clock = std::chrono::steady_clock;

// Board port `port` on a pseudo-terminal, the simulator answering with clips "CLIP1" (250
// frames) and "NEWS0100" (1 minute).
struct SimLine {
    explicit SimLine(int port)
    {
        pty.Bind(plat::SerialPortKind::SIO, port);
        sim.AddClip("CLIP1", 250);
        sim.AddClip("NEWS0100", 1500);
    }
    kestsim::PtyPair pty;
    VdcpSim sim{pty};
};

// The simulator's faults, one kind at a time.
inline VdcpSim::Faults Silent()
{
    VdcpSim::Faults f;
    f.silent = true;
    return f;
}
inline VdcpSim::Faults Refusing()
{
    VdcpSim::Faults f;
    f.nak = true;
    return f;
}
inline VdcpSim::Faults Corrupt()
{
    VdcpSim::Faults f;
    f.badCheck = true;
    return f;
}
inline VdcpSim::Faults Late(uint32_t ms)
{
    VdcpSim::Faults f;
    f.delayMs = ms;
    return f;
}
// Garbage first, then the answer in pieces of two bytes.
inline VdcpSim::Faults Garbled()
{
    VdcpSim::Faults f;
    f.garbage = {0xFF, 0x80};
    f.chunkSize = 2;
    f.gapMs = 5;
    return f;
}

inline long MsSince(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

inline void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace vdcptest
