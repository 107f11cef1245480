// What the robot tests share: a simulated robot on a board port over a pseudo-terminal, a
// robot whose line writes without the half-duplex pause, and a capture of the robot's
// status channel.
#pragma once

#include "drivers/sources/robot/CTapeRobot.h"
#include "tests/kit/SimLine.h"
#include "tests/model/DeviceTestKit.h"
#include "tests/sim/RobotSim.h"

#include <gtest/gtest.h>

namespace robottest {

constexpr int kRobotPort = 43;

class CQuickRobotLine : public CSerialTapeRobot {
public:
    CQuickRobotLine()
    {
        Line line = GetLine();
        line.port = kRobotPort;
        line.last = 0;
        SetLine(line);
    }
};

// Two present columns (1 and 7, the latter a load-port slot in row A) and two cassettes.
inline void StockShelf(kestsim::RobotSim &sim)
{
    sim.SetPresence(0x41);
    sim.SetShelf("A01", "NEWS0001");
    sim.SetShelf("B07", "AD000042");
}

class RobotLineTest : public ::testing::Test {
protected:
    kit::SimLine<kestsim::RobotSim> farEnd{plat::SerialPortKind::SIO, kRobotPort};
    kestsim::PtyPair &pty = farEnd.Pty();
    kestsim::RobotSim &sim = farEnd.Sim();
    devtest::LogCapture status{CTapeRobot::kStatusChannel};
};

} // namespace robottest
