// The VDCP recorders against the simulator: claiming the encoder channel on a shared port,
// the record init that brings a busy encoder to idle first (or gives up), the record at a
// start time and its cancel, the status report, and the engine-based recorders with their
// command sets.
#include "drivers/model/CVideoRecA.h"
#include "tests/sources/VdcpTestKit.h"

#include "Kest20/InstanceRegistry.h"

#include <gtest/gtest.h>

#include <future>

using namespace vdcptest;

namespace {

constexpr int kPort = 33;
constexpr int kEnginePort = 34;

std::string Recorder(const char *name, const char *cls, int com, int encoder,
                     const char *extra = "Duplex")
{
    return devtest::Section(name, {{"class", cls},
                                   {"Com", std::to_string(com)},
                                   {"Encoder", std::to_string(encoder)},
                                   {"ComTimeout", "20000"},
                                   {extra, "0"}});
}

class VdcpRecTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.pty.Valid());
        ASSERT_TRUE(engineLine.pty.Valid());
        line.sim.SetFreeChannels({3, 4});
        engineLine.sim.SetFreeChannels({3});
    }

    CVideoRecA &Rec(const char *id)
    {
        auto *rec =
            dynamic_cast<CVideoRecA *>(glCreateComponent(id, "", CVideoRecA::GetClassID(), 0));
        EXPECT_NE(rec, nullptr) << id;
        if (rec->GetObjectStatus() < 3)
            rec->InitInstance((std::string("/etc/tvx/") + id).c_str(), id);
        return *rec;
    }
    static Bytes LastData(const VdcpSim &sim, uint8_t cmd2)
    {
        Bytes data;
        for (const auto &command : sim.Commands())
            if (command.cmd2 == cmd2) data = command.data;
        return data;
    }

    SimLine line{kPort};
    SimLine engineLine{kEnginePort};
    devtest::MountedSettings m_settings{
        Recorder("REC1", "CVideoRec_VDCP", kPort, 3) +
        Recorder("REC2", "CVideoRec_VDCP", kPort, 4) +
        Recorder("REC3", "CVideoRec_VDCP", kPort, 3) +
        Recorder("RECX", "CVideoRec_VDCPX", kEnginePort, 3) +
        Recorder("RECL", "CVideoRec_Leitch", kEnginePort, 3) +
        devtest::Section("RECD", {{"class", "CVideoRec_Dayang"}, {"Duplex", "1"}})};
    devtest::DeleteDevices m_cleanup{{"REC1", "REC2", "REC3", "RECX", "RECL", "RECD"}};
};

} // namespace

TEST_F(VdcpRecTest, TheFirstRecorderClaimsItsEncoderAndOnlyTheSameEncoderSharesThePort)
{
    CVideoRecA &first = Rec("REC1");
    EXPECT_EQ(first.GetTypeID(), CString("LVREC_ENC_VDCP"));
    ASSERT_EQ(first.DevOpen(), 1);
    const auto commands = line.sim.Commands();
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0].cmd2, 0x21) << "ClosePort of the encoder";
    EXPECT_EQ(commands[0].data, Bytes{3});
    EXPECT_EQ(commands[1].cmd2, 0x01);
    EXPECT_EQ(commands[1].data, (Bytes{3, 0}));
    EXPECT_EQ(commands[2].cmd2, 0x22);
    EXPECT_EQ(commands[3].cmd2, 0x05);
    EXPECT_EQ(std::string(first.GetDevName()), "DEV_VSRC3");
    EXPECT_EQ(first.GetDevStatus().nCode, 0);

    CVideoRecA &same = Rec("REC3");
    ASSERT_EQ(same.DevOpen(), 1) << "the port is not opened again";
    EXPECT_EQ(line.sim.CountOf(0x30, 0x01), 1u);
    CVideoRecA &other = Rec("REC2");
    EXPECT_EQ(other.DevOpen(), 0);
    EXPECT_EQ(std::string(other.GetDevStatus().szText), "Encoder port conflict");

    devtest::LogCapture report("#OVRA_STATUSDEV");
    ASSERT_EQ(same.DevRecInit("TAPE1", 250, 1), 1);
    ASSERT_EQ(same.DevRecord(nullptr), 1);
    EXPECT_EQ(first.DevTest(""), 1);
    EXPECT_TRUE(report.Has("<DEV=\"REC1\" ID=\"4\" MSG=\"录制中\">"));

    EXPECT_EQ(first.DevClose(), 1);
    EXPECT_EQ(std::string(first.GetDevName()), "DEV_VSRC_UNKNOWN");
    EXPECT_EQ(same.DevIsOpen(), 1) << "the second recorder takes the port itself";
    EXPECT_EQ(line.sim.CountOf(0x30, 0x01), 1u) << "without claiming its encoder again";
}

TEST_F(VdcpRecTest, ARefusedOrUnselectedEncoderFailsTheOpen)
{
    line.sim.SetFreeChannels({4});
    CVideoRecA &rec = Rec("REC1");
    EXPECT_EQ(rec.DevOpen(), 0);
    EXPECT_EQ(std::string(rec.GetDevStatus().szText), "Open device failed");
    line.sim.SetFreeChannels({3});
    line.sim.SetIgnoreSelect(true);
    CVideoRecA &again = Rec("REC3");
    EXPECT_EQ(again.DevOpen(), 0);
    EXPECT_EQ(std::string(again.GetDevStatus().szText), "Open Encoder Error");
}

TEST_F(VdcpRecTest, RecordInitCutsTheHoursAndWaitsForTheCueOnlyWhenAsked)
{
    CVideoRecA &rec = Rec("REC1");
    ASSERT_EQ(rec.DevOpen(), 1);
    timecode_t dur;
    dur.SetAsDetail(25, 0, 0, 0);
    auto start = Clock::now();
    ASSERT_EQ(rec.DevRecInit("TAPE1", dur, 1), 1);
    EXPECT_LT(MsSince(start), 350) << "no poll for the cued bit";
    EXPECT_EQ(LastData(line.sim, 0x23), (Bytes{'T', 'A', 'P', 'E', '1', 0, 0, 0, 0, 0, 0, 1}))
        << "01:00:00:00";
    CVideoRecA::tagClipStatus init;
    EXPECT_EQ(rec.DevGetInitClip(init), 5);
    EXPECT_EQ(init.strName, CString("TAPE1"));
    EXPECT_EQ(init.nDuration, 90000);

    line.sim.SetCueDelay(300);
    start = Clock::now();
    ASSERT_EQ(rec.DevRecInit("TAPE2", 100, 0), 1);
    EXPECT_GE(MsSince(start), 390) << "the cued bit came at the first poll";
    EXPECT_EQ(line.sim.Status1(), 0x81);

    ASSERT_EQ(rec.DevRecord(nullptr), 1);
    EXPECT_EQ(rec.DevGetInitClip(init), 0) << "the initialised clip is recording";
    timecode_t size;
    EXPECT_EQ(rec.DevGetClipSize("TAPE2", size), 100);
    EXPECT_EQ(rec.DevGetClipSize("NOTHERE", size), 0);
    EXPECT_EQ(line.sim.CountOf(0x30, 0x14), 1u) << "a clip the server denies is not sized";
    EXPECT_EQ(rec.DevDeleteClipID("TAPE2"), 1);
}

TEST_F(VdcpRecTest, ABusyEncoderIsStoppedAndGivenTenSecondsToBecomeIdle)
{
    CVideoRecA &rec = Rec("REC1");
    ASSERT_EQ(rec.DevOpen(), 1);
    ASSERT_EQ(rec.DevRecord(nullptr), 1); // recording: not idle
    devtest::ManualTime time;
    const uint32_t begin = plat::GetTickCount();
    EXPECT_EQ(devtest::RunAdvancing([&] { return rec.DevRecInit("TAPE1", 100, 1); }), 0);
    EXPECT_GE(plat::TickDiff(plat::GetTickCount(), begin), 10000);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x00), 1u);
    EXPECT_EQ(line.sim.CountOf(0x20, 0x23), 0u) << "no record init for a busy encoder";

    line.sim.SetStopIdleAfter(0);
    EXPECT_EQ(devtest::RunAdvancing([&] { return rec.DevRecInit("TAPE1", 100, 1); }), 1);
    EXPECT_EQ(line.sim.CountOf(0x20, 0x23), 1u);
}

TEST_F(VdcpRecTest, ARecordWaitsForItsStartAndAStopCancelsIt)
{
    CVideoRecA &rec = Rec("REC1");
    ASSERT_EQ(rec.DevOpen(), 1);
    devtest::ManualTime time;
    int64_t at = devtest::ManualTime::Now() + 5 * devtest::kSecond;
    auto record = std::async(std::launch::async, [&] { return rec.DevRecord(&at); });
    devtest::AdvanceUntil([] { return false; }, 50, 4900);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x02), 0u) << "too early";
    EXPECT_TRUE(devtest::AdvanceUntil([&] { return line.sim.CountOf(0x10, 0x02) == 1; }));
    EXPECT_GE(devtest::ManualTime::Now(), at - devtest::kMs);
    devtest::AdvanceUntil(
        [&] { return record.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; });
    EXPECT_EQ(record.get(), 1);

    at = devtest::ManualTime::Now() + 60 * devtest::kSecond;
    auto cancelled = std::async(std::launch::async, [&] { return rec.DevRecord(&at); });
    const devtest::FinishStepping cancelledEnds(cancelled);
    devtest::AdvanceUntil([] { return false; }, 50, 1000);
    ASSERT_EQ(rec.DevStop(), 1);
    EXPECT_EQ(cancelled.get(), 0);
    EXPECT_EQ(line.sim.CountOf(0x10, 0x02), 1u) << "the cancelled start recorded nothing";
}

TEST_F(VdcpRecTest, EngineRecordersClaimTheEncoderInTheirCommandSet)
{
    CVideoRecA &rec = Rec("RECX");
    EXPECT_EQ(rec.DevOpen(), 1);
    EXPECT_EQ(rec.GetDevStatus().nCode, 0);
    EXPECT_EQ(engineLine.sim.SelectedChannel(), 3);
    EXPECT_EQ(rec.DevIsOpen(), 1);
    ASSERT_EQ(rec.DevRecInit("TAPE1", 100, 1), 1);
    EXPECT_EQ(engineLine.sim.Commands().back().cmd1, 0x20);
    EXPECT_EQ(rec.DevClose(), 1);

    engineLine.sim.SetFreeChannels({3});
    CVideoRecA &leitch = Rec("RECL");
    ASSERT_EQ(devtest::Eventually(
                  [&] {
                      leitch.DevOpen();
                      return leitch.DevIsOpen() == 1;
                  },
                  6000),
              true)
        << "the next open attempt comes 5 s after the last";
    ASSERT_EQ(leitch.DevRecInit("TAPE1", 100, 1), 1);
    const auto last = engineLine.sim.Commands().back();
    EXPECT_EQ(last.cmd1, 0xA0) << "the NEW set";
    EXPECT_EQ(last.data[0], 5) << "a length-prefixed clip id";
    EXPECT_EQ(engineLine.sim.RecordClip(), "TAPE1");

    const size_t sent = engineLine.sim.Commands().size();
    EXPECT_EQ(Rec("RECD").DevTest(""), 1) << "a duplex recorder is not tested";
    EXPECT_EQ(engineLine.sim.Commands().size(), sent);
}
