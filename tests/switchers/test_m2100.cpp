// The M2100 over pseudo-terminals: the packets of takes, presets and transitions, the check at
// open, acknowledged and refused sets with reply checking on and off, queries that wait for
// their reply (also in pieces), the key mask, and the pool that gives the switcher and a
// keyer on one line one control object, freed when the last user gives it back.
#include "tests/switchers/ProductionTestKit.h"

#include "drivers/switchers/keyers/CVideoAux_M2100.h"
#include "drivers/switchers/production/CVideoSwitch_M2100.h"

using namespace devtest;
using namespace swtest;
using namespace prodtest;

namespace {

constexpr auto kSio = plat::SerialPortKind::SIO;

Bytes SetPacket(const Bytes &commands)
{
    return m2100::Packet(m2100::Block(m2100::kSet, commands));
}

Bytes QueryPacket(const Bytes &commands)
{
    return m2100::Packet(m2100::Block(m2100::kQuery, commands));
}

std::string M2100Section(const char *name, int port, bool retCheck, const char *extra = "")
{
    return Section(name, {{"Com", std::to_string(port)},
                          {"RetCheck", retCheck ? "1" : "0"},
                          {"Channel", "2"},
                          {"SetTransType", "TRUE"},
                          {"SetTransRate", "TRUE"}}) +
           extra;
}

} // namespace

TEST(M2100Line, OperationsSendTheirPackets)
{
    SimLine line(kSio, 30, SimModel::M2100);
    MountedSettings settings(M2100Section("M2100", 30, false));
    CVideoSwitch_M2100 sw;
    ASSERT_TRUE(Init(sw, "M2100"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_M2100"));
    EXPECT_EQ(sw.GetSources(), 32);

    ASSERT_EQ(sw.DevOpen(), 1);
    EXPECT_TRUE(line.Got(QueryPacket({0x0D}))) << "the check queries the status";
    EXPECT_EQ(sw.DevIsOpen(), 1);
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_NORMAL);

    struct Case {
        const char *what;
        std::function<int()> call;
        Bytes packet;
    };
    const std::vector<Case> cases{
        {"direct take of 40 on channel 2", [&] { return sw.DevDirectTake(2, 40); },
         SetPacket({0x06, 0x00, 0x3E, 0x20, 0x00})},
        {"direct take of 0 on channel 1", [&] { return sw.DevDirectTake(1, 0); },
         SetPacket({0x06, 0x00, 0x3D, 0x01, 0x00})},
        {"preset of 7", [&] { return sw.DevPreset(1, 7); },
         [] {
             Bytes both = SetPacket({0x01, 0x01});
             const Bytes select = SetPacket({0x06, 0x00, 0x3E, 0x07, 0x00});
             both.insert(both.end(), select.begin(), select.end());
             return both;
         }()},
        {"take", [&] { return sw.DevTake(1); }, SetPacket({0x01, 0x01, 0x02, 0x03})},
        {"type 4", [&] { return sw.DevSetTransType(4); }, SetPacket({0x03, 0x04})},
        {"type 9 goes out as 1", [&] { return sw.DevSetTransType(9); }, SetPacket({0x03, 0x01})},
        {"rate 3 goes out as 1", [&] { return sw.DevSetTransRate(3); },
         SetPacket({0x04, 0x01, 0x00, 0x00})},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.call(), 1) << c.what;
        EXPECT_TRUE(line.Got(c.packet)) << c.what;
    }
    EXPECT_EQ(line.Sim().BusSource(0x3E), 7);
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{1, 7}));
    EXPECT_EQ(BaseEntries(sw, 2).pgm, 32);
    int entry = 0;
    EXPECT_EQ(sw.DevQueryPgmEntry(2, entry), 1);
    EXPECT_EQ(entry, 7) << "channel 1's entry whatever channel is asked";
}

TEST(M2100Line, ReplyCheckingDecidesWhatASetNeeds)
{
    ManualTime time;
    SimLine line(kSio, 31, SimModel::M2100);
    MountedSettings settings(M2100Section("OFF", 31, false) + M2100Section("ON", 32, true));
    CVideoSwitch_M2100 off;
    ASSERT_TRUE(Init(off, "OFF"));
    ASSERT_EQ(RunAdvancing([&] { return off.DevOpen(); }), 1);
    line.Sim().SetFaults(Silent());
    EXPECT_EQ(RunAdvancing([&] { return off.DevDirectTake(1, 3); }), 1)
        << "reply checking off: written is done";

    SimLine checked(kSio, 32, SimModel::M2100);
    CVideoSwitch_M2100 on;
    ASSERT_TRUE(Init(on, "ON"));
    ASSERT_EQ(RunAdvancing([&] { return on.DevOpen(); }), 1);
    EXPECT_EQ(RunAdvancing([&] { return on.DevDirectTake(1, 3); }), 1) << "acknowledged";
    checked.Sim().SetFaults(Refusing(), 1);
    EXPECT_EQ(RunAdvancing([&] { return on.DevDirectTake(1, 5); }), 0) << "05 refuses";
    EXPECT_EQ(BaseEntries(on, 1).pgm, 3);
    checked.Sim().SetFaults(Silent());
    EXPECT_EQ(RunAdvancing([&] { return on.DevPreset(1, 5); }), 0) << "unanswered";
    EXPECT_EQ(BaseEntries(on, 1).pst, 0);
}

TEST(M2100Line, QueriesGatherTheirReplyFromPieces)
{
    SimLine line(kSio, 33, SimModel::M2100);
    MountedSettings settings(M2100Section("M2100", 33, false));
    CVideoSwitch_M2100 sw;
    ASSERT_TRUE(Init(sw, "M2100"));
    ASSERT_EQ(sw.DevOpen(), 1);
    const auto control = CM2100Pool::Get().Acquire(33);
    ASSERT_EQ(sw.DevDirectTake(2, 9), 1);
    for (const size_t piece : {size_t{1}, size_t{4}}) {
        line.Sim().SetFaults(InPieces(piece));
        int source = 0;
        EXPECT_EQ(control->QuerySource(0x3E, source), 1) << piece;
        EXPECT_EQ(source, 9) << piece;
    }
    line.Sim().SetFaults({});
    line.Sim().SetStatus(0);
    EXPECT_EQ(sw.DevTest(""), 1) << "locked matters only with RetCheck";
    CM2100Pool::Get().Release(33);
}

TEST(M2100Line, UnansweredQueriesGiveNoValue)
{
    ManualTime time;
    SimLine line(kSio, 28, SimModel::M2100);
    MountedSettings settings(M2100Section("OFF", 28, false) + M2100Section("ON", 28, true));
    CVideoSwitch_M2100 sw;
    ASSERT_TRUE(Init(sw, "OFF"));
    ASSERT_EQ(RunAdvancing([&] { return sw.DevOpen(); }), 1);
    const auto control = CM2100Pool::Get().Acquire(28);
    // With reply checking off a query still waits: no reply, no value.
    line.Sim().SetFaults(Silent());
    int mask = -7;
    EXPECT_EQ(RunAdvancing([&] { return control->QueryKeyMask(mask); }), 0);
    EXPECT_EQ(mask, -7);
    EXPECT_EQ(RunAdvancing([&] { return sw.DevTest(""); }), 0);
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_RUN_FAILED);
    CM2100Pool::Get().Release(28);
    sw.DevClose();

    line.Sim().SetFaults({});
    line.Sim().SetStatus(0);
    CVideoSwitch_M2100 locked;
    ASSERT_TRUE(Init(locked, "ON"));
    EXPECT_EQ(RunAdvancing([&] { return locked.DevTest(""); }), 0);
    EXPECT_EQ(locked.GetDevStatus().GetText(), CString("Device Locked"));
}

// A device test that the switcher answers reports status 0 with its 1, also when a refused
// take has just left the line's last result at 0.
TEST(M2100Line, AnAnsweredTestAfterARefusedTakeReportsStatus0)
{
    SimLine line(kSio, 16, SimModel::M2100);
    MountedSettings settings(M2100Section("M2100", 16, true));
    CVideoSwitch_M2100 sw;
    ASSERT_TRUE(Init(sw, "M2100"));
    ASSERT_EQ(sw.DevOpen(), 1);
    line.Sim().SetFaults(Refusing(), 1);
    EXPECT_EQ(sw.DevDirectTake(1, 5), 0);
    EXPECT_EQ(sw.DevTest(""), 1);
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_NORMAL);
}

TEST(M2100Line, KeyMask)
{
    SimLine line(kSio, 34, SimModel::M2100);
    MountedSettings settings(M2100Section("M2100", 34, true));
    CVideoSwitch_M2100 sw;
    ASSERT_TRUE(Init(sw, "M2100"));
    ASSERT_EQ(sw.DevOpen(), 1);
    const auto control = CM2100Pool::Get().Acquire(34);
    line.Peer().ClearReceived();

    line.Sim().SetKeyMask(0x01);
    control->SetContinuous(true);
    EXPECT_EQ(control->SetOneKey(3, 1), 1);
    Bytes expected = QueryPacket({0x0C});
    Bytes set = SetPacket({0x01, 0x02, 0x0B, 0x05, 0x01, 0x02, 0x02, 0x03});
    expected.insert(expected.end(), set.begin(), set.end());
    EXPECT_TRUE(line.Got(expected));
    EXPECT_EQ(line.Sim().KeyMask(), 0x05);
    EXPECT_EQ(control->SetOneKey(3, 1), 1) << "no change";
    EXPECT_TRUE(line.Got(QueryPacket({0x0C}))) << "nothing sent but the query";

    control->SetContinuous(false);
    EXPECT_EQ(control->SetKeys({{1, 0}, {2, 1}}), 1);
    expected = QueryPacket({0x0C});
    for (const Bytes &packet :
         {SetPacket({0x01, 0x02, 0x0B, 0x06}), SetPacket({0x01, 0x02, 0x02, 0x03})})
        expected.insert(expected.end(), packet.begin(), packet.end());
    EXPECT_TRUE(line.Got(expected)) << "the mask, then the take of the keys";
    EXPECT_EQ(control->GetState().keyMask, std::optional<uint8_t>(0x06));
    CM2100Pool::Get().Release(34);
}

TEST(M2100Pool, SwitcherAndKeyerShareOneControlObject)
{
    SimLine line(kSio, 29, SimModel::M2100);
    MountedSettings settings(M2100Section("SWA", 29, false) + M2100Section("SWB", 29, false));
    auto first = std::make_unique<CVideoSwitch_M2100>();
    CVideoSwitch_M2100 second;
    ASSERT_TRUE(Init(*first, "SWA"));
    ASSERT_TRUE(Init(second, "SWB"));
    ASSERT_EQ(first->DevOpen(), 1);
    ASSERT_EQ(second.DevOpen(), 1);
    // The keyer takes the line's control object as the switchers do.
    const auto keyer = CM2100Pool::Get().Acquire(29);
    EXPECT_EQ(CM2100Pool::Get().UseCount(29), 3);
    EXPECT_EQ(line.Sim().Commands().size(), 1u) << "the line was checked once";

    first->DevClose();
    EXPECT_EQ(CM2100Pool::Get().UseCount(29), 2);
    {
        // A switcher that turned virtual while open still gives its object back at its end.
        CVideoSwitch_M2100 third;
        ASSERT_TRUE(Init(third, "SWA"));
        ASSERT_EQ(third.DevOpen(), 1);
        EXPECT_EQ(CM2100Pool::Get().UseCount(29), 3);
        third.OnSetVirtual(1);
        EXPECT_EQ(third.DevDirectTake(1, 6), 1);
        EXPECT_EQ(BaseEntries(third, 1).pgm, 6);
    }
    EXPECT_EQ(CM2100Pool::Get().UseCount(29), 2);
    EXPECT_EQ(line.Sim().Commands().size(), 1u) << "nothing sent while virtual";
    EXPECT_EQ(keyer->IsOpen(), 1) << "closing one leaves the line open for the others";
    EXPECT_EQ(second.DevDirectTake(1, 4), 1);
    first.reset();
    second.DevClose();
    second.DevClose();
    EXPECT_EQ(CM2100Pool::Get().UseCount(29), 1) << "a second close gives nothing back";
    CM2100Pool::Get().Release(29);
    EXPECT_EQ(CM2100Pool::Get().UseCount(29), 0) << "out of the pool";
    EXPECT_EQ(CSerialIO::GetByActivePort(29), nullptr) << "closed and freed";
}

// A close from another thread while a request waits for its answer (here the close that gives
// the pool the line's last use back): the request ends, and nothing it uses is freed under it.
TEST(M2100Pool, ACloseDuringARequestFreesNothingTheRequestUses)
{
    SimLine line(kSio, 27, SimModel::M2100);
    MountedSettings settings(M2100Section("SW", 27, true) +
                             Section("KEY", {{"COM", "27"}, {"RetCheck", "1"}}));
    line.Sim().SetFaults(Late(100));
    CVideoSwitch_M2100 sw;
    CVideoAux_M2100 keyer;
    ASSERT_TRUE(Init(sw, "SW"));
    ASSERT_TRUE(Init(keyer, "KEY"));
    struct Case {
        const char *what;
        CDeviceA &device;
        std::function<int()> request;
        size_t packets; // the packets sent once the request is inside its wait
    };
    const Case cases[] = {
        {"a switcher's take", sw, [&] { return sw.DevDirectTake(1, 5); }, 2},
        {"a keyer's check", keyer, [&] { return keyer.DevTest(""); }, 1},
    };
    for (const Case &c : cases) {
        for (int round = 0; round < 5; ++round) {
            line.Sim().ClearCommands();
            auto request = std::async(std::launch::async, c.request);
            // The check at the open, then (for the take) the take itself, unanswered as yet.
            ASSERT_TRUE(line.Sim().WaitForCommands(c.packets, kSoonMs)) << c.what;
            c.device.DevClose();
            EXPECT_EQ(CM2100Pool::Get().UseCount(27), 0) << c.what;
            EXPECT_EQ(request.wait_for(std::chrono::seconds(10)), std::future_status::ready)
                << c.what;
            request.get();
        }
    }
}
