// Serial switch takes made on a task unit's thread: once the unit asks the thread to stop (or
// gives up its call) a take sends nothing, and a take waiting on the line (for a reply, or on
// the polled matrix for the poll to take the frame before it) ends at once, without the
// manual clock moving. A take napping in a switcher that the device manager closes or that is
// deleted wakes at once and leaves the switcher before any of it is destroyed (UBSan and ASan
// report a thread that runs on in a half-destroyed one).
#include "tests/switchers/SwitcherTestKit.h"
#include "tests/kit/SimLine.h"
#include "tests/sim/Aa2MatrixSim.h"
#include "tests/sim/TallySim.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/DeviceCalls.h"
#include "drivers/switchers/aa2/CVideoSwitch_MPLUS.h"
#include "drivers/switchers/binary/CVideoSwitch_BDS1602CP.h"
#include "drivers/switchers/binary/CVideoSwitch_ONYX.h"

#include "Kest20/InstanceRegistry.h"

#include <functional>
#include <future>
#include <memory>

using namespace devtest;
using namespace swtest;

namespace {

// A take on a thread bound to `unit`.
std::future<int> TakeOnUnit(CCallingUnit &unit, CVideoSwitchA &sw, int channel, int entry)
{
    return std::async(std::launch::async, [&unit, &sw, channel, entry] {
        CCallingUnit::Scope bound(&unit);
        return sw.DevDirectTake(channel, entry);
    });
}

template <class T> bool EndsSoon(std::future<T> &call)
{
    return call.wait_for(std::chrono::milliseconds(kSoonMs)) == std::future_status::ready;
}

// A BDS1602 on `port` that answered the open's query (a request has three tries from then on)
// and answers nothing after it.
struct SilentBds {
    explicit SilentBds(int port)
        : line(plat::SerialPortKind::SIO, port, kestsim::SwitcherSim::Model::Bds1602),
          settings(Section("BDS", {{"COM", std::to_string(port)}}))
    {
    }
    // Whether it opened.
    bool Open()
    {
        if (!Init(sw, "BDS")) return false;
        line.Sim().SetProgram(1);
        if (sw.DevOpen() != 1) return false;
        kestsim::Faults silent;
        silent.silent = true;
        line.Sim().SetFaults(silent);
        line.Peer().ClearReceived();
        return true;
    }

    Line line;
    MountedSettings settings;
    CVideoSwitch_BDS1602CP sw;
};

} // namespace

TEST(SwitchUnitStop, AThreadWhoseUnitStoppedSendsNothing)
{
    struct Case {
        const char *what;
        plat::SerialPortKind kind;
        kestsim::SwitcherSim::Model model;
        std::function<std::unique_ptr<CVideoSwitchA>()> make;
        bool givenUp; // the call given up, not the unit stopped
    };
    const auto bds = [] { return std::make_unique<CVideoSwitch_BDS1602CP>(); };
    const auto onyx = [] { return std::make_unique<CVideoSwitch_ONYX>(); };
    const Case cases[] = {
        {"a request (BDS1602), unit stopped", plat::SerialPortKind::SIO,
         kestsim::SwitcherSim::Model::Bds1602, bds, false},
        {"a request (BDS1602), call given up", plat::SerialPortKind::SIO,
         kestsim::SwitcherSim::Model::Bds1602, bds, true},
        {"a plain write (ONYX), unit stopped", plat::SerialPortKind::COM,
         kestsim::SwitcherSim::Model::Onyx, onyx, false},
    };
    // One port for every case: each case's device has closed it before the next.
    constexpr int kPort = 14;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ManualTime time;
        Line line(c.kind, kPort, c.model);
        MountedSettings settings(Section("SW", {{"COM", std::to_string(kPort)}}));
        const auto sw = c.make();
        ASSERT_TRUE(Init(*sw, "SW"));
        line.Sim().SetProgram(1); // what the BDS1602 is asked at open
        ASSERT_EQ(sw->DevOpen(), 1);
        line.Peer().ClearReceived();

        CCallingUnit unit;
        if (c.givenUp)
            unit.GiveUpCall(true);
        else
            unit.AskStop();
        auto take = TakeOnUnit(unit, *sw, 1, 2);
        const FinishStepping takeEnds(take);
        ASSERT_TRUE(EndsSoon(take)) << "no wait on the manual clock";
        EXPECT_EQ(take.get(), 0);
        EXPECT_FALSE(line.Peer().WaitForBytes(1, 200)) << "nothing went out";
        EXPECT_EQ(BaseEntries(*sw, 1).pgm, 0);
    }
}

// A take that waits for the line while another take awaits its reply: once its unit stops or
// gives up its call it ends without waiting for the line to be free, and sends nothing once
// the line is free (before, a given-up call sent its take three times after the other one).
TEST(SwitchUnitStop, ATakeGivenUpWhileItWaitsForTheLineSendsNothing)
{
    for (const bool givenUp : {true, false}) {
        SCOPED_TRACE(givenUp ? "call given up" : "unit stopped");
        ManualTime time;
        SilentBds bds(12);
        ASSERT_TRUE(bds.Open());
        auto &sw = bds.sw;
        auto &line = bds.line;

        // The first take holds the line, awaiting the reply that does not come.
        auto first = std::async(std::launch::async, [&] { return sw.DevDirectTake(1, 4); });
        const FinishStepping firstEnds(first);
        ASSERT_TRUE(AdvanceUntil([&] { return line.Peer().Received().size() >= 3; }, 1, 1000));
        const size_t frame = line.Peer().Received().size();

        CCallingUnit unit;
        auto queued = TakeOnUnit(unit, sw, 1, 5);
        const FinishStepping queuedEnds(queued);
        EXPECT_NE(queued.wait_for(std::chrono::milliseconds(100)), std::future_status::ready)
            << "it waits for the line";
        if (givenUp)
            unit.GiveUpCall(true);
        else
            unit.AskStop();
        EXPECT_TRUE(EndsSoon(queued)) << "the wait for the line ended at once";

        EXPECT_EQ(Settle(first), 0);
        EXPECT_EQ(Settle(queued), 0);
        EXPECT_EQ(line.Peer().Received().size(), 3 * frame) << "only the first take's tries";
        EXPECT_EQ(BaseEntries(sw, 1).pgm, 0);
    }
}

TEST(SwitchUnitStop, AStopEndsATakeThatWaitsOnTheLine)
{
    // The BDS1602 that does not answer: the take waits for its reply.
    {
        ManualTime time;
        SilentBds bds(50);
        ASSERT_TRUE(bds.Open());
        auto &sw = bds.sw;
        auto &line = bds.line;

        CCallingUnit unit;
        auto take = TakeOnUnit(unit, sw, 1, 4);
        const FinishStepping takeEnds(take);
        // A board port paces its writes on the clock.
        ASSERT_TRUE(AdvanceUntil([&] { return line.Peer().Received().size() >= 3; }, 1, 1000))
            << "the request went out";
        const size_t written = line.Peer().Received().size();
        unit.AskStop();
        ASSERT_TRUE(EndsSoon(take)) << "the reply wait ended with the stop";
        EXPECT_EQ(take.get(), 0);
        EXPECT_EQ(line.Peer().Received().size(), written) << "no further try";
        EXPECT_EQ(BaseEntries(sw, 1).pgm, 0);
    }
    // The polled matrix that does not poll, in the wait for the poll of its first try, and in
    // its second try, which waits for the poll to take the first try's frame.
    for (const bool secondTry : {false, true}) {
        SCOPED_TRACE(secondTry ? "second try" : "first try");
        ManualTime time;
        const int port = 60; // closed by the first case before the second
        kit::SimLine<kestsim::Aa2MatrixSim> line(plat::SerialPortKind::SIO, port,
                                                 kestsim::Aa2MatrixSim::Model::Aa2);
        MountedSettings settings(Section("MPO", {{"COM", std::to_string(port)}}));
        CVideoSwitch_MPLUS_O sw;
        ASSERT_TRUE(Init(sw, "MPO"));
        ASSERT_EQ(sw.DevOpen(), 1);
        if (secondTry) {
            // A take the matrix answers: from now on a request has three tries.
            auto first = std::async(std::launch::async, [&] { return sw.DevDirectTake(2, 5); });
            const FinishStepping firstEnds(first);
            ASSERT_TRUE(Eventually([&] { return sw.Protocol().HasPending(); }));
            ASSERT_TRUE(line.Sim().Poll());
            ASSERT_EQ(Settle(first), 1);
            line.Peer().ClearReceived();
        }

        CCallingUnit unit;
        auto take = TakeOnUnit(unit, sw, 1, 3);
        const FinishStepping takeEnds(take);
        ASSERT_TRUE(Eventually([&] { return sw.Protocol().HasPending(); }));
        if (secondTry) {
            // The first try's reply wait and the pause after it: the second try waits for the
            // poll to take the frame still pending.
            StepClock(CSerialSwitchIO::kReplyMs);
            StepClock(CSerialSwitchIO::kPauseMs);
            ASSERT_NE(take.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);
        }
        unit.AskStop();
        ASSERT_TRUE(EndsSoon(take)) << "the wait ended with the stop";
        EXPECT_EQ(take.get(), 0);
        EXPECT_FALSE(sw.Protocol().HasPending());
        ASSERT_TRUE(line.Sim().Poll());
        EXPECT_FALSE(line.Peer().WaitForBytes(1, 200)) << "nothing went out at the next poll";
        EXPECT_EQ(BaseEntries(sw, 1).pgm, 0);
    }
}

TEST(SwitchUnitStop, ATakeNappingInASwitcherThatIsClosedOrDeletedLeavesItFirst)
{
    enum class End { ManagerClose, Delete };
    struct Case {
        const char *what;
        End end;
    };
    const Case cases[] = {{"the manager closes it, then it is deleted", End::ManagerClose},
                          {"deleted while open", End::Delete}};
    constexpr int kPort = 13; // closed by each case before the next
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ManualTime time;
        kit::SimLine<kestsim::TallySim> line(plat::SerialPortKind::SIO, kPort,
                                             kestsim::TallySim::Model::Vm3000);
        // The second program output follows the first after a pause far longer than any bound.
        MountedSettings settings(Section("DevMgr", {{"VideoSwitch", "{\"VM\"}"}}) +
                                 Section("VM", {{"class", "CVideoSwitch_VM3000"},
                                                {"Com", std::to_string(kPort)},
                                                {"PGM", "1"},
                                                {"PGM_Second", "3"},
                                                {"IntervalTime_Second", "600000"}}));
        DeleteDevices cleanup{{"VM"}};
        CVideoDevMgr devMgr;
        devMgr.Initlization("/etc/tvx/DevMgr");
        tagDevStatus status;
        CVideoSwitchA *sw =
            RunAdvancing([&] { return devMgr.GetVideoSwitchDev("VM", 1, &status); });
        ASSERT_NE(sw, nullptr) << status.nCode << " " << status.szText;
        ASSERT_EQ(sw->DevPreset(2, 7), 1);

        CCallingUnit unit;
        auto take = std::async(std::launch::async, [&unit, sw] {
            CCallingUnit::Scope bound(&unit);
            CDeviceCall inDevice(sw);
            return sw->DevTake(2);
        });
        const FinishStepping takeEnds(take);
        ASSERT_TRUE(AdvanceUntil([&] { return line.Peer().Received().size() >= 9; }, 10, 1000));
        ASSERT_TRUE(line.Got("ZS001007\r"));
        StepClock(100); // the reply is in: the take naps before the second output
        ASSERT_NE(take.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);

        // With the clock standing, the nap ends with the close or the deletion.
        auto gone = std::async(std::launch::async, [&] {
            if (c.end == End::ManagerClose) devMgr.Finalization();
            sw->Suicide();
        });
        const FinishStepping goneEnds(gone);
        EXPECT_TRUE(EndsSoon(gone)) << "the end waited for the nap";
        ASSERT_TRUE(EndsSoon(take));
        EXPECT_FALSE(line.Peer().WaitForBytes(1, 200)) << "nothing went to the second output";
        EXPECT_EQ(glGetInstanceByName(CDeviceA::GetClassID(), "VM"), nullptr) << "deleted";
    }
}
