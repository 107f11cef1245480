// The TTV9920 over a pseudo-terminal: the link test at open, the frames of each operation,
// acknowledged, refused, unanswered and split replies, and queries that keep the entries.
#include "tests/switchers/ProductionTestKit.h"

#include "drivers/switchers/production/CVideoSwitch_TTV9920.h"

using namespace devtest;
using namespace swtest;
using namespace prodtest;

namespace {

constexpr auto kCom = plat::SerialPortKind::COM;

} // namespace

TEST(Ttv9920Line, OperationsSendTheirFramesAndKeepTheEntries)
{
    SimLine line(kCom, 131, SimModel::Ttv9920);
    MountedSettings settings(Section("TTV", {{"Com", "131"}}));
    CVideoSwitch_TTV9920 sw;
    ASSERT_TRUE(Init(sw, "TTV"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_TTV9920"));

    ASSERT_EQ(sw.DevOpen(), 1);
    EXPECT_TRUE(line.Got({0x00, 0x30, 0x00, 0x30})) << "the link test";
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_NORMAL);

    struct Case {
        const char *what;
        std::function<int()> call;
        Bytes frame;
    };
    const std::vector<Case> cases{
        {"direct take of 7, not clamped",
         [&] { return sw.DevDirectTake(1, 7); },
         {0x03, 0x01, 0xC1, 0x07}},
        {"preset of 20", [&] { return sw.DevPreset(1, 20); }, {0x03, 0x01, 0xC2, 0x14}},
        {"transition rate 25",
         [&] { return sw.DevSetTransRate(25); },
         {0x05, 0x01, 0xCC, 0xA0, 0x02, 0x05}},
        {"transition rate 125",
         [&] { return sw.DevSetTransRate(125); },
         {0x05, 0x01, 0xCC, 0xA1, 0x02, 0x05}},
        {"transition type 3", [&] { return sw.DevSetTransType(3); }, {0x03, 0x01, 0xCA, 0x03}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.call(), 1) << c.what;
        EXPECT_TRUE(line.Got(c.frame)) << c.what;
    }
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{20, 7}));
    int type = 0, rate = 0;
    sw.CVideoSwitchA::DevQueryTransMode(type, rate);
    EXPECT_EQ(type, 3);
    EXPECT_EQ(rate, 125);

    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line.Got({0x03, 0x01, 0xC6, 0x4A})) << "the take is sent once";
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{7, 20})) << "swapped once";
    EXPECT_EQ(sw.DevQueryTransMode(type, rate), 0) << "the switch reports no transition";
}

TEST(Ttv9920Line, QueriesKeepWhatTheSwitchReports)
{
    SimLine line(kCom, 132, SimModel::Ttv9920);
    MountedSettings settings(Section("TTV", {{"Com", "132"}}));
    CVideoSwitch_TTV9920 sw;
    ASSERT_TRUE(Init(sw, "TTV"));
    ASSERT_EQ(sw.DevOpen(), 1);
    line.Peer().ClearReceived();

    line.Sim().SetEntries(12, 4);
    // Whole, in one-byte pieces 20 ms apart, and in pieces of two.
    for (const size_t piece : {size_t{0}, size_t{1}, size_t{2}}) {
        line.Sim().SetFaults(InPieces(piece));
        int pgm = 0, pst = 0;
        EXPECT_EQ(sw.DevQueryPgmEntry(1, pgm), 1) << piece;
        EXPECT_EQ(pgm, 12) << piece;
        EXPECT_EQ(sw.DevQueryPstEntry(1, pst), 1) << piece;
        EXPECT_EQ(pst, 4) << piece;
        EXPECT_TRUE(line.Got({0x02, 0x01, 0x41, 0x02, 0x01, 0x42})) << piece;
        EXPECT_EQ(BaseEntries(sw, 1), (Entries{4, 12})) << "kept for the channel";
    }
    line.Sim().SetFaults(Refusing());
    int pgm = -5;
    EXPECT_EQ(sw.DevQueryPgmEntry(1, pgm), 0) << "a refusal is no data reply";
    EXPECT_EQ(pgm, -5);
}

TEST(Ttv9920Line, RefusedAndUnansweredCommandsLeaveTheEntries)
{
    SimLine line(kCom, 133, SimModel::Ttv9920);
    MountedSettings settings(Section("TTV", {{"Com", "133"}}));
    CVideoSwitch_TTV9920 sw;
    ASSERT_TRUE(Init(sw, "TTV"));
    ASSERT_EQ(sw.DevOpen(), 1);
    ASSERT_EQ(sw.DevDirectTake(1, 2), 1);
    line.Peer().ClearReceived();

    line.Sim().SetFaults(Refusing());
    EXPECT_EQ(sw.DevDirectTake(1, 9), 0) << "01 00 refuses";
    EXPECT_TRUE(line.Got({0x03, 0x01, 0xC1, 0x09})) << "one try";

    ManualTime time;
    line.Sim().SetFaults(Silent());
    EXPECT_EQ(RunAdvancing([&] { return sw.DevTake(1); }), 0);
    EXPECT_TRUE(line.Got({0x03, 0x01, 0xC6, 0x4A})) << "one try";
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{0, 2}));
}

TEST(Ttv9920Line, FailedLinkTestClosesThePort)
{
    ManualTime time;
    SimLine line(kCom, 134, SimModel::Ttv9920);
    line.Sim().SetFaults(Refusing());
    MountedSettings settings(Section("TTV", {{"Com", "134"}}));
    CVideoSwitch_TTV9920 sw;
    ASSERT_TRUE(Init(sw, "TTV"));
    EXPECT_EQ(RunAdvancing([&] { return sw.DevOpen(); }), 0);
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_RUN_FAILED);
    EXPECT_EQ(sw.GetDevStatus().GetText(), CString("Open device failed"));
    EXPECT_EQ(CSerialIO::GetByActivePort(134), nullptr) << "the port is closed again";
}
