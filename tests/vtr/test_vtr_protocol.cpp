// The 9-pin protocol object against a simulated VTR: which reply completes an operation, the
// failure count and the emergency play when nothing answers, split and late replies, the
// status and position caches, positions that estimate themselves from the speed, the shuttle
// commands, the step, and the model name.
#include "drivers/sources/vtr/VtrProtocol.h"
#include "tests/vtr/VtrTestKit.h"

#include "drivers/model/DeviceCalls.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>

using namespace vtrtest;
using devtest::LogCapture;
using devtest::RunAdvancing;

namespace {

class VtrProtocolTest : public VtrLineTest {
protected:
    void SetUp() override
    {
        VtrLineTest::SetUp();
        line->SetPort(kComPort);
        ASSERT_EQ(line->Open(), 1);
    }
    ~VtrProtocolTest() override { line->Release(); }

    ISerialVTR *line = new CQuickVTR;
};

// A VTR line whose receive thread can be kept busy with one block, which it then drops, so
// that what the VTR sends meanwhile waits on the line.
class CBusyVTR : public CQuickVTR {
public:
    // A held delivery ends, and deliveries end before the gate goes.
    ~CBusyVTR() override
    {
        Unhold();
        DevClose();
    }

    void HoldNextBlock()
    {
        std::lock_guard<std::mutex> lk(m_gate);
        m_bHold = true;
        m_bHeld = false;
    }
    bool WaitHeld()
    {
        std::unique_lock<std::mutex> lk(m_gate);
        return m_changed.wait_for(lk, std::chrono::seconds(5), [this] { return m_bHeld; });
    }
    void Unhold()
    {
        std::lock_guard<std::mutex> lk(m_gate);
        m_bHold = false;
        m_changed.notify_all();
    }
    int OnRecvData(int port, pointer_t &data) override
    {
        std::unique_lock<std::mutex> lk(m_gate);
        if (!m_bHold || m_bHeld) {
            lk.unlock();
            return CQuickVTR::OnRecvData(port, data);
        }
        m_bHeld = true;
        m_changed.notify_all();
        m_changed.wait(lk, [this] { return !m_bHold; });
        return 0;
    }

private:
    std::mutex m_gate;
    std::condition_variable m_changed;
    bool m_bHold = false;
    bool m_bHeld = false;
};

// Bytes waiting on the line under test: those its receive thread has not taken yet.
int Waiting(kestsim::PtyPair &pty)
{
    pollfd p{pty.SlaveFd(), POLLIN, 0};
    poll(&p, 1, 0);
    int waiting = -1;
    ioctl(pty.SlaveFd(), FIONREAD, &waiting);
    return waiting;
}

} // namespace

TEST(VtrLine, TheLineIsARs422LineAt38400BaudOddParity)
{
    CSerialVTR line;
    const COM_SETTING setting = line.GetSetting();
    EXPECT_EQ(setting.nPort, 2);
    EXPECT_EQ(setting.nBaud, 38400);
    EXPECT_EQ(setting.nDataBits, 8);
    EXPECT_EQ(setting.nParity, COM_PARITY_ODD);
    EXPECT_EQ(setting.nStopBits, COM_STOPBITS_ONE);
    EXPECT_EQ(setting.nHalfTime, 80);
    EXPECT_EQ(line.GetOptions(), CSerialVTR::kOptionTimerModeSense);
    EXPECT_EQ(line.CueAndWait(0, 100, 6000), 1) << "nothing to wait for";
}

TEST_F(VtrProtocolTest, OnlyTheAwaitedReplyCompletesAnOperationAndSilenceCountsFailures)
{
    EXPECT_EQ(line->GetFailCount(), CSerialVTR::kNeverConnected);
    // A NAK or a reply with a bad checksum shows the VTR is there but fails the operation;
    // GetTimecode asks again up to its tries.
    struct Call {
        const char *name;
        std::function<int32_t()> call;
        size_t sent; // commands sent for one call
    };
    tagVTRStatus status;
    int32_t frames = 0, type = 0;
    char model[16];
    const Call calls[] = {
        {"Stop", [&] { return line->Stop(); }, 1},
        {"StandbyOn", [&] { return line->StandbyOn(); }, 1},
        {"CueUpWithData", [&] { return line->CueUpWithData(100); }, 1},
        {"SetTimeMode", [&] { return line->SetTimeMode(1); }, 1},
        {"ResetTimer", [&] { return line->ResetTimer(); }, 1},
        {"Shuttle", [&] { return line->Shuttle(1.0); }, 1},
        {"GetStatus", [&] { return line->GetStatus(&status, 0); }, 1},
        {"GetDeviceType", [&] { return line->GetDeviceType(&type, model, sizeof(model)); }, 1},
        {"GetTimecode", [&] { return line->GetTimecode(2, &frames, 0); }, 10},
    };
    for (const bool nak : {true, false}) {
        vtr.SetNak(nak);
        vtr.SetBadChecksum(!nak);
        status = tagVTRStatus();
        for (const Call &c : calls) {
            vtr.ClearCommands();
            EXPECT_EQ(c.call(), 0) << c.name << (nak ? " NAK" : " bad checksum");
            EXPECT_EQ(vtr.Commands().size(), c.sent) << c.name;
            EXPECT_EQ(line->IsConnected(), 1) << c.name;
        }
        EXPECT_TRUE(status.Test(0, 0) && status.Test(0, 5)) << "read as no tape";
        EXPECT_FALSE(status.Test(1, 0)) << "nothing of the error byte taken";
        EXPECT_EQ(type, 0);
    }
    vtr.SetBadChecksum(false);
    // A refused TIMER MODE SENSE leaves the mode as it was.
    plat::TestClock::Advance(5000);
    vtr.SetNak(true);
    EXPECT_EQ(line->GetTimeMode(), CSerialVTR::kTimeModeTimer);
    vtr.SetNak(false);
    ASSERT_EQ(line->SetTimeMode(2), 1);
    plat::TestClock::Advance(5000);
    vtr.SetNak(true);
    EXPECT_EQ(line->GetTimeMode(), CSerialVTR::kTimeModeTimecode);
    EXPECT_EQ(vtr.Count(0x60, 0x36), 2u);
    vtr.SetNak(false);

    vtr.SetSilent(true);
    EXPECT_EQ(RunAdvancing([&] { return line->Stop(); }), 0);
    EXPECT_EQ(RunAdvancing([&] { return line->Eject(); }), 0);
    EXPECT_EQ(line->GetFailCount(), 2);
    EXPECT_EQ(line->IsConnected(), 0);
    vtr.SetSilent(false);
    EXPECT_EQ(line->Stop(), 1);
    EXPECT_EQ(line->GetFailCount(), 0);

    line->Close();
    EXPECT_EQ(line->GetFailCount(), CSerialVTR::kNeverConnected);
    EXPECT_EQ(line->IsOpen(), 0);
}

// On a task unit's thread: once the unit stops (or gives its call up) nothing is sent, and a
// stop while a command waits for the VTR's reply ends the wait at once; neither counts as a
// failure of the VTR.
TEST_F(VtrProtocolTest, AUnitThreadThatIsToStopSendsNothingAndItsReplyWaitEnds)
{
    ASSERT_EQ(line->Stop(), 1);
    const size_t commands = vtr.Commands().size();
    const int32_t fails = line->GetFailCount();
    const auto onUnit = [&](CCallingUnit &unit) {
        return std::async(std::launch::async, [&] {
            CCallingUnit::Scope bound(&unit);
            return line->Stop();
        });
    };
    for (const bool givenUp : {false, true}) {
        CCallingUnit unit;
        givenUp ? unit.GiveUpCall(true) : unit.AskStop();
        auto call = onUnit(unit);
        ASSERT_EQ(call.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_EQ(call.get(), 0);
        // PLAY sent nothing either, so it falls back to nothing: no emergency play.
        auto play = std::async(std::launch::async, [&] {
            CCallingUnit::Scope bound(&unit);
            return line->Play();
        });
        const devtest::FinishStepping playEnds(play);
        ASSERT_EQ(play.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_EQ(play.get(), 0);
    }
    EXPECT_EQ(vtr.Commands().size(), commands) << "nothing was sent";

    vtr.SetSilent(true);
    CCallingUnit unit;
    auto call = onUnit(unit);
    const devtest::FinishStepping ends(call);
    ASSERT_TRUE(devtest::Eventually([&] { return vtr.Commands().size() > commands; }));
    unit.AskStop();
    ASSERT_EQ(call.wait_for(std::chrono::seconds(5)), std::future_status::ready)
        << "the reply wait ended with the stop, the clock standing";
    EXPECT_EQ(call.get(), 0);
    EXPECT_EQ(line->GetFailCount(), fails);
}

TEST_F(VtrProtocolTest, RepliesSplitLateOrAfterGarbageAreGathered)
{
    vtr.SetPosition(25 * 61 + 3);
    vtr.SetSplit(1, 5);
    int32_t frames = 0;
    EXPECT_EQ(line->GetTimecode(2, &frames, 0), 1);
    EXPECT_EQ(frames, 25 * 61 + 3);
    vtr.SetSplit(0, 0);
    vtr.SetDelay(300);
    EXPECT_EQ(line->Stop(), 1) << "the reply wait runs on the test clock";
}

// PLAY that nothing answers falls back to the emergency play; PLAY refused (no tape, local
// mode) is heard: it fails and nothing more is sent.
TEST_F(VtrProtocolTest, PlayUnansweredFallsBackToTheEmergencyPlayAndPlayRefusedSendsNothingMore)
{
    LogCapture log("LOG_BETACAM");
    vtr.SetSilent(true);
    EXPECT_EQ(RunAdvancing([&] { return line->Play(); }), 0);
    EXPECT_TRUE(log.Has("Emg play"));
    // The last PLAY may still be on the line when Play returns.
    EXPECT_TRUE(devtest::Eventually([&] { return vtr.Count(0x20, 0x01) == 3u; }, 2000))
        << "after the reopen PLAY goes out twice more";
    EXPECT_EQ(line->IsOpen(), 1) << "the line is open again";

    vtr.SetSilent(false);
    log.Clear();
    vtr.ClearCommands();
    vtr.SetNak(true);
    EXPECT_EQ(RunAdvancing([&] { return line->Play(); }), 0);
    vtr.SetNak(false);
    ASSERT_EQ(line->Stop(), 1) << "whatever Play sent came before";
    const auto commands = vtr.Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_TRUE(commands[0].Is(0x20, 0x01));
    EXPECT_TRUE(commands[1].Is(0x20, 0x00));
    EXPECT_FALSE(log.Has("Emg play"));

    EXPECT_EQ(line->Play(), 1);
    EXPECT_FALSE(log.Has("Emg play"));
}

TEST_F(VtrProtocolTest, PositionsDecodeCheckAndRunOnFromTheSpeed)
{
    vtr.SetPosition(13 * 90000);
    int32_t frames = 0;
    ASSERT_EQ(line->GetTimecode(2, &frames, 0), 1);
    EXPECT_EQ(frames, -990000);
    EXPECT_EQ(vtr.Commands().back().data, Bytes{0x01}) << "time code asked";

    vtr.SetPosition(1000);
    vtr.SetBadTimecodes(2);
    ASSERT_EQ(line->GetTimecode(1, &frames, 0), 1);
    EXPECT_EQ(frames, 1000);
    EXPECT_EQ(vtr.Count(0x61, 0x0C), 4u) << "two readings out of range asked again";
    EXPECT_EQ(vtr.Commands().back().data, Bytes{0x04}) << "the timer asked";
    vtr.SetBadTimecodes(10);
    EXPECT_EQ(line->GetTimecode(1, &frames, 0), 0);

    // Drop-frame, colour-frame, field and binary-group flags beside the digits.
    vtr.SetTimecodeFlags(true);
    vtr.SetPosition(90000 * 11 + 1500 * 59 + 25 * 59 + 24);
    ASSERT_EQ(line->GetTimecode(2, &frames, 0), 1);
    EXPECT_EQ(frames, 90000 * 11 + 1500 * 59 + 25 * 59 + 24);
    vtr.SetTimecodeFlags(false);

    // A fresh reading is estimated from the speed within the cache interval.
    vtr.ClearCommands();
    ASSERT_EQ(line->GetStatus(nullptr, 0), 1);
    ASSERT_EQ(line->Play(), 1);
    ASSERT_EQ(line->GetTimecode(1, &frames, 0), 1);
    const int32_t read = frames;
    plat::TestClock::Advance(1000);
    ASSERT_EQ(line->GetTimecode(1, &frames, 1), 1);
    EXPECT_EQ(frames, read + 25) << "one second at play speed";
    plat::TestClock::Advance(1000);
    vtr.ClearCommands();
    line->GetTimecode(1, &frames, 1);
    EXPECT_EQ(vtr.Count(0x61, 0x0C), 1u) << "the cache has run out";
}

TEST_F(VtrProtocolTest, WithoutATapeTransportSucceedsButThePositionStands)
{
    vtr.SetTape(false);
    tagVTRStatus status;
    ASSERT_EQ(line->GetStatus(&status, 0), 1);
    EXPECT_FALSE(status.HasTape());
    EXPECT_EQ(line->Play(), 1);
    int32_t frames = 0, later = 0;
    ASSERT_EQ(line->GetTimecode(2, &frames, 0), 1);
    plat::TestClock::Advance(1500);
    line->GetTimecode(2, &later, 1);
    EXPECT_EQ(later, frames);
}

TEST_F(VtrProtocolTest, StatusIsCachedAndANoReplyReadsAsNoTape)
{
    tagVTRStatus status;
    ASSERT_EQ(line->GetStatus(&status, 0), 1);
    EXPECT_EQ(vtr.Commands().back().data, Bytes{0x09});
    EXPECT_TRUE(status.HasTape());
    EXPECT_TRUE(status.Test(1, 5)) << "stopped";
    plat::TestClock::Advance(3900);
    vtr.ClearCommands();
    EXPECT_EQ(line->GetStatus(&status, 1), 1);
    EXPECT_EQ(vtr.Commands().size(), 0u);
    plat::TestClock::Advance(100);
    EXPECT_EQ(line->GetStatus(&status, 1), 1);
    EXPECT_EQ(vtr.Count(0x61, 0x20), 1u);

    vtr.SetSilent(true);
    EXPECT_EQ(RunAdvancing([&] { return line->GetStatus(&status, 0); }), 0);
    EXPECT_TRUE(status.Test(0, 0) && status.Test(0, 5));
    EXPECT_EQ(RunAdvancing([&] { return line->IsReady(""); }), 0);
}

TEST_F(VtrProtocolTest, ShuttleSpeedsPickTheCommand)
{
    struct Case {
        double speed;
        uint8_t cmd1, cmd2;
        Bytes data;
    };
    for (const Case &c :
         {Case{0.0, 0x21, 0x23, {0x00}}, Case{30.0, 0x21, 0x13, {111}},
          Case{-1.0, 0x21, 0x23, {64}}, Case{30.5, 0x20, 0x10, {}}, Case{-31.0, 0x20, 0x20, {}}}) {
        vtr.ClearCommands();
        EXPECT_EQ(line->Shuttle(c.speed), 1);
        ASSERT_EQ(vtr.Commands().size(), 1u);
        EXPECT_TRUE(vtr.Commands()[0].Is(c.cmd1, c.cmd2)) << c.speed;
        EXPECT_EQ(vtr.Commands()[0].data, c.data) << c.speed;
    }
}

TEST_F(VtrProtocolTest, StepCuesFromAStablePositionAndIntervalsKeepTheirBounds)
{
    vtr.SetPosition(500);
    EXPECT_EQ(line->Step(-10), 1);
    const auto commands = vtr.Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_TRUE(commands.front().Is(0x20, 0x00));
    EXPECT_TRUE(commands.back().Is(0x24, 0x31));
    EXPECT_EQ(commands.back().data, (Bytes{0x15, 0x19, 0x00, 0x00})) << "frame 490";

    line->SetInterval("status", 500);
    line->SetInterval("STATUS", 1000);
    line->GetStatus(nullptr, 0);
    plat::TestClock::Advance(1000);
    vtr.ClearCommands();
    line->GetStatus(nullptr, 1);
    EXPECT_EQ(vtr.Count(0x61, 0x20), 1u) << "1000 ms taken, 500 refused";
}

TEST_F(VtrProtocolTest, TheModelAndTheTimeMode)
{
    vtr.SetModel(0x2F, 0x2D);
    int32_t type = 0;
    char name[8];
    EXPECT_EQ(line->GetDeviceType(&type, name, sizeof(name)), 1);
    EXPECT_EQ(type, 0x202D) << "the low nibble of the first byte is cleared";
    EXPECT_STREQ(name, "BVW-95P") << "cut to the room given";

    EXPECT_EQ(line->SetTimeMode(2), 1);
    EXPECT_EQ(vtr.Commands().back().data, Bytes{0x00});
    EXPECT_EQ(line->GetTimeMode(), 2) << "set just now";
    plat::TestClock::Advance(5000);
    EXPECT_EQ(line->GetTimeMode(), 1) << "the sense says CTL";
    line->ClearOptions(CSerialVTR::kOptionTimerModeSense);
    line->SetTimeMode(2);
    plat::TestClock::Advance(5000);
    vtr.ClearCommands();
    EXPECT_EQ(line->GetTimeMode(), 2);
    EXPECT_EQ(vtr.Count(0x60, 0x36), 0u);
}

TEST_F(VtrProtocolTest, AFailedWriteFailsAtOnceWithoutCountingAFailure)
{
    ASSERT_EQ(line->Stop(), 1);
    vtr.Peer().HangUp(); // every write to the line fails from now on
    tagVTRStatus status;
    int32_t frames = 0, type = 0;
    char model[16];
    struct Call {
        const char *name;
        std::function<int32_t()> call;
    };
    const Call calls[] = {
        {"Stop", [&] { return line->Stop(); }},
        {"Shuttle", [&] { return line->Shuttle(2.0); }},
        {"CueUpWithData", [&] { return line->CueUpWithData(100); }},
        {"SetTimeMode", [&] { return line->SetTimeMode(2); }},
        {"GetStatus", [&] { return line->GetStatus(&status, 0); }},
        {"GetTimecode", [&] { return line->GetTimecode(2, &frames, 0); }},
        {"GetDeviceType", [&] { return line->GetDeviceType(&type, model, sizeof(model)); }},
    };
    for (const Call &c : calls) {
        const auto [result, took] = devtest::RunStepping(c.call, 50, 1000);
        EXPECT_EQ(result, 0) << c.name;
        EXPECT_LT(took, 1000u) << c.name << ": no reply wait";
        // No failure is counted; the line that hung up closed its port, so the VTR counts as
        // not connected until it is opened again.
        EXPECT_EQ(line->GetFailCount(), CSerialVTR::kNeverConnected) << c.name;
    }
}

// Late ACKs of earlier commands (the emergency play's, say) that the receive thread takes up
// only after the next command went out answer nothing of it: each command, refused in turn,
// fails on its own NAK, which comes a little later, and PLAY sends nothing more; a command
// answered takes its own ACK.
TEST_F(VtrProtocolTest, LateAcknowledgementsOfEarlierCommandsAnswerNoLaterOne)
{
    line->Close();
    const Bytes ack{0x10, 0x01, 0x11};
    struct Case {
        const char *name;
        uint8_t cmd1, cmd2;
        std::function<int32_t(ISerialVTR &)> call;
        bool refused;
    };
    const Case cases[] = {
        {"STOP", 0x20, 0x00, [](ISerialVTR &l) { return l.Stop(); }, true},
        {"EJECT", 0x20, 0x0F, [](ISerialVTR &l) { return l.Eject(); }, true},
        {"STANDBY ON", 0x20, 0x05, [](ISerialVTR &l) { return l.StandbyOn(); }, true},
        {"CUE UP WITH DATA", 0x24, 0x31, [](ISerialVTR &l) { return l.CueUpWithData(875); }, true},
        {"TIMER MODE SELECT", 0x41, 0x36, [](ISerialVTR &l) { return l.SetTimeMode(1); }, true},
        {"PLAY", 0x20, 0x01, [](ISerialVTR &l) { return l.Play(); }, true},
        {"STOP answered", 0x20, 0x00, [](ISerialVTR &l) { return l.Stop(); }, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const auto busy = std::make_unique<CBusyVTR>();
        busy->SetPort(kComPort);
        ASSERT_EQ(busy->Open(), 1);
        ASSERT_EQ(busy->Stop(), 1);
        vtr.SetRefused(c.cmd1, c.cmd2, c.refused);
        busy->HoldNextBlock();
        ASSERT_TRUE(vtr.Peer().Send(ack));
        ASSERT_TRUE(busy->WaitHeld()) << "the receive thread is busy with the first late ACK";
        ASSERT_TRUE(vtr.Peer().Send(ack));
        ASSERT_TRUE(devtest::Eventually([&] { return Waiting(pty) >= 3; }))
            << "the second waits on the line";
        vtr.ClearCommands();
        // The command's own answer 200 ms after it, on the test clock.
        vtr.Peer().ChangeFaults([](kestsim::Faults &f) {
            f.delayMs = 200;
            f.delayOnTicks = true;
        });

        auto call = std::async(std::launch::async, [&] { return c.call(*busy); });
        const devtest::FinishStepping ends(call);
        ASSERT_TRUE(vtr.WaitFor(c.cmd1, c.cmd2)) << "the command went out";
        busy->Unhold();
        ASSERT_TRUE(devtest::Eventually([&] { return Waiting(pty) == 0; }))
            << "the second late ACK taken up";
        ASSERT_TRUE(devtest::AdvanceUntil(
            [&] {
                return call.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
            },
            50, 900))
            << "its own answer came within the reply wait";
        EXPECT_EQ(call.get(), c.refused ? 0 : 1);
        EXPECT_EQ(busy->GetFailCount(), 0) << "answered";
        vtr.SetRefused(c.cmd1, c.cmd2, false);
        vtr.Peer().ChangeFaults([](kestsim::Faults &f) { f.delayMs = 0; });
        // On a moving clock: an answer still delayed goes before STOP's.
        ASSERT_EQ(devtest::RunAdvancing([&] { return busy->Stop(); }), 1);
        const auto commands = vtr.Commands();
        ASSERT_EQ(commands.size(), 2u) << "nothing between the command and the STOP after it";
        EXPECT_TRUE(commands[0].Is(c.cmd1, c.cmd2));
        busy->Close();
    }
}
