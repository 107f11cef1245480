// The VDCP protocol engine against the simulator on a board port: what goes on the wire in
// both command sets, tries and the unanswered count on silence, refusals and corrupt replies,
// a late reply, the status cache and the cued-bit wait, the id list in parts, positions and
// the counter, how engines on one port share it, failed writes, and writes without a gap.
#include "drivers/sources/vdcp/CSerialIO_VDCP_SHARED.h"
#include "drivers/sources/vdcp/CVDCP.h"
#include "drivers/model/DeviceCalls.h"
#include "tests/sources/VdcpTestKit.h"

#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>

using namespace vdcptest;

namespace {

class VdcpEngineTest : public ::testing::Test {
protected:
    static constexpr int kPort = 41;
    void SetUp() override
    {
        ASSERT_TRUE(line.pty.Valid());
        engine.SetReplyWait(300);
        engine.SetPort(kPort, 1);
    }
    // The engine open with NEWS0100 cued at frame 100, its position read.
    void CueAt100()
    {
        ASSERT_EQ(engine.Open(), 1);
        ASSERT_EQ(engine.CueWithData("NEWS0100", 100, 1000, 0), 1);
        int32_t frames = -1;
        ASSERT_EQ(engine.GetPosition(&frames, 0, nullptr), 1);
        ASSERT_EQ(frames, 100);
    }
    std::string Data(size_t index) const
    {
        const auto commands = line.sim.Commands();
        if (index >= commands.size()) return {};
        return std::string(commands[index].data.begin(), commands[index].data.end());
    }

    SimLine line{kPort};
    CVDCP engine;
};

} // namespace

TEST_F(VdcpEngineTest, OpeningAsksTheStatusAndCommandsGoOutInEitherSet)
{
    // On the manual clock, stepped only while the process is quiet: a reply the loaded machine
    // is slow to carry still comes within the reply wait.
    plat::ScopedTestClock clock(plat::GetTickCount() + 1000, devtest::kFileTime2020);
    const auto run = [](auto call) { return devtest::RunAdvancing(call); };
    EXPECT_EQ(engine.GetFailCount(), 255);
    EXPECT_EQ(engine.IsOpen(), 0);
    ASSERT_EQ(run([&] { return engine.Open(); }), 1);
    EXPECT_EQ(engine.GetFailCount(), 0);
    EXPECT_EQ(line.sim.CountOf(0x30, 0x05), 1u);

    EXPECT_EQ(run([&] { return engine.PlayCue("NEWS0100XY", 0); }), 1)
        << "the first 8 bytes name a known clip";
    EXPECT_EQ(Data(1), std::string("NEWS0100"));
    ASSERT_EQ(run([&] { return engine.PlayCue("CLIP1", 0); }), 1);
    EXPECT_EQ(Data(2), std::string("CLIP1\0\0\0", 8));
    ASSERT_EQ(run([&] { return engine.Play(); }), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x01), 1u);

    engine.SelectCommandSet("NEW");
    EXPECT_EQ(engine.GetCommandSet(), 'N');
    ASSERT_EQ(run([&] { return engine.CueWithData("NEWS0100", 25, 100, 0); }), 1);
    const auto last = line.sim.Commands().back();
    EXPECT_EQ(last.cmd1, 0xA0);
    EXPECT_EQ(last.data.size(), 17u) << "length byte, 8 characters, two time codes";
    EXPECT_EQ(last.data[0], 8);
    EXPECT_EQ(line.sim.CuedClip(), "NEWS0100");

    EXPECT_EQ(run([&] { return engine.Close(); }), 1);
    EXPECT_EQ(engine.GetFailCount(), 255);
    EXPECT_EQ(run([&] { return engine.Play(); }), 0) << "nothing is sent on a closed port";
}

TEST_F(VdcpEngineTest, ExchangesFollowEachOtherWithoutATurnaroundGap)
{
    // On a stopped clock a gap between writes never passes: the exchanges end only if the
    // port writes each frame at once.
    plat::ScopedTestClock clock;
    auto exchanges = std::async(std::launch::async, [&] {
        int ok = engine.Open();
        for (int i = 0; i < 3; ++i) ok &= engine.Play();
        return ok;
    });
    const bool atOnce = exchanges.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    for (int i = 0; i < 100 && !atOnce; ++i)
        if (exchanges.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            plat::TestClock::Advance(50);
    EXPECT_TRUE(atOnce) << "a write waited for a turnaround gap";
    EXPECT_EQ(exchanges.get(), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x01), 3u);
}

TEST_F(VdcpEngineTest, SilenceIsTriedTwiceARefusalOnceAndCorruptRepliesAreRefusals)
{
    ASSERT_EQ(engine.Open(), 1);
    line.sim.SetFaults(Silent());
    auto start = Clock::now();
    EXPECT_EQ(engine.Stop(), 0);
    EXPECT_GE(MsSince(start), 600) << "two reply waits of 300 ms and a pause";
    EXPECT_EQ(line.sim.CountOf(0x10, 0x00), 2u);
    EXPECT_EQ(engine.GetFailCount(), 2);
    EXPECT_EQ(engine.IsOpen(), 0);
    EXPECT_EQ(engine.SelectPort(0), 0);
    EXPECT_EQ(line.sim.CountOf(0x20, 0x22), 1u) << "port commands are tried once";
    EXPECT_EQ(engine.GetFailCount(), 3);

    line.sim.SetFaults(Refusing());
    EXPECT_EQ(engine.Stop(), 0);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x00), 3u) << "a refusal is not tried again";
    EXPECT_EQ(engine.GetFailCount(), 0) << "but it is an answer";

    devtest::LogCapture devLog("LOG_DEV");
    line.sim.SetFaults(Corrupt());
    int32_t status1 = 0;
    EXPECT_EQ(engine.GetStatus(&status1, nullptr, nullptr, 0, nullptr), 0);
    EXPECT_TRUE(devLog.Has("DEV=VDCP;Recv invalid vdcp data from COM"));

    line.sim.SetFaults(Garbled());
    EXPECT_EQ(engine.GetStatus(&status1, nullptr, nullptr, 0, nullptr), 1)
        << "garbage first and a reply in pieces";
    EXPECT_EQ(status1, line.sim.Status1());
}

// On a task unit's thread, a stop while a command waits for the server's reply ends the wait
// at once (the clock standing), tries nothing more and counts no failure of the server.
TEST_F(VdcpEngineTest, AStopEndsAnExchangeWaitingOnAUnitThread)
{
    devtest::ManualTime time;
    ASSERT_EQ(devtest::RunAdvancing([&] { return engine.Open(); }), 1);
    line.sim.SetFaults(Silent());
    const int32_t fails = engine.GetFailCount();
    CCallingUnit unit;
    auto stop = std::async(std::launch::async, [&] {
        CCallingUnit::Scope bound(&unit);
        return engine.Stop();
    });
    const devtest::FinishStepping ends(stop);
    // A board port paces its writes on the clock.
    ASSERT_TRUE(devtest::AdvanceUntil([&] { return line.sim.CountOf(0x10, 0x00) == 1; }, 1, 1000));
    unit.AskStop();
    ASSERT_EQ(stop.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(stop.get(), 0);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x00), 1u) << "no second try";
    EXPECT_EQ(engine.GetFailCount(), fails);
}

TEST_F(VdcpEngineTest, ALateReplyNeverAnswersTheNextExchange)
{
    ASSERT_EQ(engine.Open(), 1);
    line.sim.SetFaults(Late(450), 1);
    EXPECT_EQ(engine.SelectPort(2), 0);
    SleepMs(300); // the late acknowledgement arrives meanwhile
    int32_t status2 = 0;
    ASSERT_EQ(engine.GetStatus(nullptr, &status2, nullptr, 0, nullptr), 1);
    EXPECT_EQ(status2, 2) << "answered by the status reply, not the stray acknowledgement";
}

TEST_F(VdcpEngineTest, TheStatusCacheAndTheWaitForTheCuedBit)
{
    ASSERT_EQ(engine.Open(), 1);
    int32_t status1 = 0, since = -1;
    EXPECT_EQ(engine.GetStatus(&status1, nullptr, nullptr, 60000, &since), 1);
    EXPECT_EQ(line.sim.CountOf(0x30, 0x05), 1u) << "young enough: from the cache";
    EXPECT_GE(since, 0);

    line.sim.SetCueDelay(2000);
    auto start = Clock::now();
    EXPECT_EQ(engine.PlayCue("CLIP1", 300), 0);
    EXPECT_GE(MsSince(start), 400);
    EXPECT_EQ(line.sim.CountOf(0x30, 0x05), 2u) << "one look, 400 ms after the call";

    // Options bit 0 gives up on a nonzero extended status; without it the wait goes on.
    line.sim.SetCueDelay(900);
    line.sim.SetExtended(0x010000);
    EXPECT_EQ(engine.GetOptions(), 5);
    EXPECT_EQ(engine.CueWithData("CLIP1", 0, 250, 3000), 0);
    EXPECT_EQ(engine.GetCuedClip().strName, "") << "not cued";
    engine.SetOptions(4);
    ASSERT_EQ(engine.CueWithData("CLIP1", 0, 250, 3000), 1);
    EXPECT_EQ(engine.GetStatus(&status1, nullptr, nullptr, 0, nullptr), 1);
    EXPECT_EQ(status1, 0x81);
    EXPECT_EQ(engine.GetCuedClip().strName, "CLIP1");

    ASSERT_EQ(engine.Play(), 1);
    EXPECT_EQ(engine.GetCuedClip().strName, "") << "the cued clip went on air";
    EXPECT_EQ(engine.GetCurrentClip().strName, "CLIP1");
}

TEST_F(VdcpEngineTest, PositionsGotoAndTheCounter)
{
    ASSERT_NO_FATAL_FAILURE(CueAt100());
    int32_t frames = -1;
    ASSERT_EQ(engine.Goto(100), 1);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x07), 0u) << "there already";
    ASSERT_EQ(engine.Goto(300), 1);
    EXPECT_EQ(line.sim.Commands().back().data, (Bytes{0, 0, 0, 200}));
    EXPECT_EQ(line.sim.Position(), 300);
    ASSERT_EQ(engine.Jog(-5), 1);
    EXPECT_EQ(line.sim.Commands().back().data, (Bytes{0xFB}));
    EXPECT_EQ(engine.GetPosition(&frames, 60000, nullptr), 1);
    EXPECT_EQ(frames, 295) << "from the counter, moved by the jog";

    ASSERT_EQ(engine.VariablePlay(1.5), 1);
    EXPECT_DOUBLE_EQ(engine.GetCounterSpeed(), 0.5);
    EXPECT_EQ(line.sim.Commands().back().data, (Bytes{0x01, 0x80, 0x00}));

    timecode_t size;
    ASSERT_EQ(engine.GetIdSize("NEWS0100", size), 1);
    EXPECT_EQ(size, 1500);
    EXPECT_EQ(engine.GetIdSize("MISSING", size), 0);
    int32_t present = -1;
    EXPECT_EQ(engine.IdRequest("CLIP1", &present), 1);
    EXPECT_EQ(present, 1);
    timecode_t time;
    ASSERT_EQ(engine.GetSystemTime(time), 1);
    EXPECT_EQ(time, 36000);
    int32_t word = 0;
    ASSERT_EQ(engine.GetSystemWord(&word), 1);
    EXPECT_EQ(word, 0x1234);
}

TEST_F(VdcpEngineTest, TheIdListComesInPartsUpToTheLimit)
{
    for (int i = 2; i <= 5; ++i) line.sim.AddClip("C" + std::to_string(i), 25);
    line.sim.SetIdsPerReply(2);
    ASSERT_EQ(engine.Open(), 1);
    CStringArray names;
    names.Add("OLD");
    ASSERT_EQ(engine.GetIdList(names, 0, 100), 1);
    ASSERT_EQ(names.GetSize(), 6);
    EXPECT_STREQ(names[0], "CLIP1");
    EXPECT_STREQ(names[5], "C5");
    EXPECT_EQ(line.sim.CountOf(0x30, 0x02), 2u);

    ASSERT_EQ(engine.GetIdList(names, 0, 1), 1);
    EXPECT_EQ(names.GetSize(), 2) << "the limit is passed: no more asked";
    EXPECT_EQ(line.sim.CountOf(0x30, 0x02), 2u);
}

TEST_F(VdcpEngineTest, EnginesOnOnePortShareTheOpenOneByItsShareMode)
{
    std::shared_ptr<ISerialVDCP> itf;
    int32_t kind = 0;
    ASSERT_EQ(engine.GetSharedPort(itf, &kind), 1);
    EXPECT_EQ(itf.get(), static_cast<ISerialVDCP *>(&engine));
    EXPECT_EQ(kind, 7);

    CVDCP second;
    second.SetPort(kPort, 2);
    const struct {
        int32_t mode;
        int32_t result;
        int32_t kind;
    } cases[] = {{3, 1, 6}, {2, 1, 7}, {1, 0, 0}};
    for (const auto &c : cases) {
        engine.SetShareMode(c.mode);
        itf = nullptr;
        kind = -1;
        EXPECT_EQ(second.GetSharedPort(itf, &kind), c.result) << c.mode;
        EXPECT_EQ(itf.get(), c.result ? static_cast<ISerialVDCP *>(&engine) : nullptr) << c.mode;
        EXPECT_EQ(kind, c.kind) << c.mode;
    }
    // Taken over: the first engine gives its channel and its port up.
    engine.SetShareMode(4);
    ASSERT_EQ(second.GetSharedPort(itf, &kind), 1);
    EXPECT_EQ(itf.get(), static_cast<ISerialVDCP *>(&second));
    EXPECT_EQ(line.sim.CountOf(0x20, 0x21), 1u);
    EXPECT_EQ(line.sim.Commands().back().data, (Bytes{1})) << "ClosePort of the own channel";
    EXPECT_FALSE(engine.DevIsOpen());
    EXPECT_EQ(engine.GetFailCount(), 255);

    // Another kind of protocol object on the port: no sharing.
    second.Close();
    CSerialIO_VDCP_SHARED other;
    other.SetPortNumber(kPort);
    ASSERT_EQ(other.GetActivePort().get(), &other);
    itf = nullptr;
    EXPECT_EQ(engine.GetSharedPort(itf, &kind), 0);
    EXPECT_EQ(itf, nullptr);
}

TEST_F(VdcpEngineTest, APortNumberThatDoesNotFitLeavesTheOpenLineAlone)
{
    ASSERT_EQ(engine.Open(), 1);
    for (const int32_t port : {65536, -1, 70000 + kPort}) {
        EXPECT_EQ(engine.SetPortNumber(port), 0) << port;
        EXPECT_EQ(engine.GetPortNumber(), kPort) << port;
        EXPECT_EQ(engine.IsOpen(), 1) << port << ": not closed";
    }
    EXPECT_EQ(engine.SetPortNumber(kPort), 1) << "the same number: nothing to do";
    EXPECT_EQ(engine.IsOpen(), 1);
    EXPECT_EQ(engine.SetPortNumber(kPort + 1), 1);
    EXPECT_EQ(engine.DevIsOpen(), 0) << "the port held was the old number's";
    EXPECT_EQ(engine.GetFailCount(), 255);

    // The sources read their port key through the serial base: a new number read so lets go
    // of the port held all the same.
    ASSERT_EQ(engine.SetPortNumber(kPort), 1);
    ASSERT_EQ(engine.Open(), 1);
    devtest::MountedSettings settings(
        devtest::Section("VDCP", {{"Com", std::to_string(kPort + 1)}}));
    CSerialIO &base = engine;
    EXPECT_EQ(base.ReadPortKey("/etc/tvx/VDCP", "Com"), 1);
    EXPECT_EQ(engine.DevIsOpen(), 0) << "the port held was the old number's";
}

TEST_F(VdcpEngineTest, TestAsksOnlyOnAQuietLine)
{
    ASSERT_EQ(engine.Open(), 1);
    EXPECT_EQ(engine.Test(), 1);
    EXPECT_EQ(line.sim.CountOf(0x30, 0x05), 1u) << "the open's exchange was just now";
    plat::ScopedTestClock clock(plat::GetTickCount() + 1000, devtest::kFileTime2020);
    plat::TestClock::Advance(3000);
    EXPECT_EQ(engine.Test(), 1);
    EXPECT_EQ(line.sim.CountOf(0x30, 0x05), 2u);
    line.sim.SetFaults(Silent());
    plat::TestClock::Advance(3000);
    auto test = std::async(std::launch::async, [&] { return engine.Test(); });
    EXPECT_TRUE(devtest::AdvanceUntil(
        [&] { return test.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(test.get(), 0);
    EXPECT_EQ(engine.GetFailCount(), 2);
}

TEST_F(VdcpEngineTest, APositionFromTheCounterStandsWithoutTheStatusAndTheCuedWaitGivesUp)
{
    ASSERT_NO_FATAL_FAILURE(CueAt100());
    int32_t frames = -1;
    // From here every exchange runs on the manual clock (the line's pause between writes too).
    plat::ScopedTestClock clock(plat::GetTickCount() + 1000, devtest::kFileTime2020);

    // The status has gone stale and is asked again, unanswered: the counter still answers.
    line.sim.SetFaults(Silent());
    plat::TestClock::Advance(3000);
    const size_t asked = line.sim.CountOf(0x30, 0x05);
    frames = -1;
    EXPECT_EQ(devtest::RunAdvancing([&] { return engine.GetPosition(&frames, 60000, nullptr); }),
              1);
    EXPECT_EQ(frames, 100);
    // The simulator takes the frames on a thread of its own.
    EXPECT_TRUE(devtest::Eventually([&] { return line.sim.CountOf(0x30, 0x05) == asked + 2; }))
        << "the status was asked, twice";
    EXPECT_EQ(engine.GetFailCount(), 2);
    EXPECT_EQ(line.sim.CountOf(0x30, 0x06), 1u) << "the position was not";

    // The wait for the cued bit gives up once six tries in a row have gone unanswered, long
    // before its time-out: the two above and two looks of two tries each, 400 ms apart.
    const uint32_t before = plat::GetTickCount();
    EXPECT_EQ(devtest::RunAdvancing([&] { return engine.WaitStatus(0x80, 600000); }), 0);
    EXPECT_EQ(engine.GetFailCount(), 6);
    EXPECT_TRUE(devtest::Eventually([&] { return line.sim.CountOf(0x30, 0x05) == asked + 2 + 4; }));
    EXPECT_LT(plat::TickDiff(plat::GetTickCount(), before), 60000);
}

TEST_F(VdcpEngineTest, AFailedWriteFailsAtOnceWithoutATryMore)
{
    ASSERT_EQ(engine.Open(), 1);
    line.sim.Peer().HangUp(); // every write to the line fails from now on
    int32_t value = 0;
    struct Call {
        const char *name;
        std::function<int32_t()> call;
    };
    const Call calls[] = {
        {"Stop", [&] { return engine.Stop(); }},
        {"CueWithData", [&] { return engine.CueWithData("CLIP1", 0, 100, 0); }},
        {"GetStatus", [&] { return engine.GetStatus(&value, nullptr, nullptr, 0, nullptr); }},
        {"GetPosition", [&] { return engine.GetPosition(&value, 0, nullptr); }},
        {"SelectPort", [&] { return engine.SelectPort(1); }},
        {"IdRequest", [&] { return engine.IdRequest("CLIP1", &value); }},
    };
    for (const Call &c : calls) {
        const auto start = Clock::now();
        EXPECT_EQ(c.call(), 0) << c.name;
        EXPECT_LT(MsSince(start), 250) << c.name << ": neither a reply wait nor a second try";
        EXPECT_EQ(engine.GetFailCount(), 0) << c.name;
    }
}
