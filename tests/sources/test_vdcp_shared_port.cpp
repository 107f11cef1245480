// The shared VDCP channel port: the route to the object that holds the port open, the
// spacing of open attempts, the state texts, and the counter of a variable play.
#include "drivers/sources/vdcp/CSerialIO_VDCP_SHARED.h"
#include "tests/sources/VdcpTestKit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

using namespace vdcptest;

TEST(VdcpSharedPort, DevicesOnOnePortGoThroughTheObjectThatHoldsItOpen)
{
    constexpr int kPort = 45;
    SimLine line(kPort);
    ASSERT_TRUE(line.pty.Valid());
    CSerialIO_VDCP_SHARED first, second;
    first.SetPortNumber(kPort);
    second.SetPortNumber(kPort);
    ASSERT_EQ(first.GetActivePort().get(), &first);
    ASSERT_EQ(second.GetActivePort().get(), &first);
    EXPECT_FALSE(second.DevIsOpen());
    ASSERT_EQ(second.GetActivePort()->CueWithData("NEWS0100XYZ", 0, 100, 0), 1);
    EXPECT_EQ(line.sim.CuedClip(), "NEWS0100") << "clip ids are cut to 8 bytes";
    EXPECT_EQ(first.GetCuedClip().strName, "NEWS0100XYZ");

    ASSERT_EQ(first.VariablePlay(0.5), 1);
    EXPECT_DOUBLE_EQ(first.GetCounterSpeed(), 10);
    for (const double speed : {-0.5, 0.0}) {
        ASSERT_EQ(first.VariablePlay(speed), 1);
        EXPECT_DOUBLE_EQ(first.GetCounterSpeed(), -10);
    }
}

TEST(VdcpSharedPort, OpenAttemptsAreSpacedByFiveSeconds)
{
    constexpr int kPort = 46;
    plat::ScopedTestClock clock(plat::GetTickCount() + 1000, devtest::kFileTime2020);
    CSerialIO_VDCP_SHARED port;
    port.SetPortNumber(kPort);
    EXPECT_EQ(port.GetActivePort(), nullptr) << "no line yet";
    SimLine line(kPort);
    plat::TestClock::Advance(4999);
    EXPECT_EQ(port.GetActivePort(), nullptr) << "too soon to try again";
    plat::TestClock::Advance(1);
    EXPECT_EQ(port.GetActivePort().get(), &port);
}

TEST(VdcpSharedPort, StateTexts)
{
    EXPECT_EQ(CSerialIO_VDCP_SHARED::GetStateText(0x84, 0), CString("预卷好 播放中"));
    EXPECT_EQ(CSerialIO_VDCP_SHARED::GetStateText(0x09, 1), CString("空闲 停止　"));
    EXPECT_EQ(CSerialIO_VDCP_SHARED::GetStateText(0x04, 1), CString("录制中"));
    EXPECT_EQ(CSerialIO_VDCP_SHARED::GetStateText(0x72, 0), CString("预卷中 Jog Shuttle 端口忙 "));
}

// A device that sends through another device's open port object: that device's end while a cue
// waits for the cued state ends the wait within a second of the manual clock (the port it
// polls has closed), and frees nothing the wait uses.
TEST(VdcpSharedPort, TheOwnersEndDuringACueWaitFreesNothingTheWaitUses)
{
    constexpr int kPort = 47;
    devtest::ManualTime time;
    SimLine line(kPort);
    line.sim.SetCueDelay(600000); // not cued while the test runs
    auto first = std::make_unique<CSerialIO_VDCP_SHARED>();
    CSerialIO_VDCP_SHARED second;
    first->SetPortNumber(kPort);
    second.SetPortNumber(kPort);
    ASSERT_TRUE(devtest::RunAdvancing([&] { return first->GetActivePort() != nullptr; }));
    auto cue = std::async(std::launch::async, [&] {
        const auto route = second.GetActivePort();
        return route ? route->CueWithData("CLIP1", 0, 100, 6000) : -1;
    });
    const auto ready = [](auto &call) {
        return call.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    };
    // The cue went through the first object and its wait asks for the status.
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return line.sim.CountOf(0x30, 0x05) > 0; }));
    const int64_t endBegins = devtest::ManualTime::Now();
    auto gone = std::async(std::launch::async, [&] { first.reset(); });
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return ready(gone) && ready(cue); }, 50, 10000));
    EXPECT_LT(devtest::ManualTime::Now() - endBegins, 1000 * devtest::kMs);
    EXPECT_EQ(cue.get(), 0);
}
