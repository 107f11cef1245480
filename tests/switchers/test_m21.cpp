// The M21 and SATURN4000 over pseudo-terminals: the preamble before every frame, clamped and
// mapped sources, tries that grow after the first acknowledge, refusals and the switcher's own
// messages answered with 04, the M21's two-step take, keys and mixes, and the EX variants
// leaving the hardware alone while virtual.
#include "tests/switchers/ProductionTestKit.h"

#include "drivers/switchers/production/CVideoSwitch_M21.h"

using namespace devtest;
using namespace swtest;
using namespace prodtest;

namespace {

constexpr auto kSio = plat::SerialPortKind::SIO;

Bytes Preambled(Bytes frame)
{
    frame.insert(frame.begin(), {0x82, 0x80});
    return frame;
}

Bytes Select(uint8_t bus, uint8_t source)
{
    return m21frame::SelectSource(bus, source);
}

} // namespace

TEST(M21Line, TakesPresetsAndTransitions)
{
    SimLine line(kSio, 35, SimModel::M21);
    MountedSettings settings(Section("M21", {{"COM", "35"}}));
    CVideoSwitch_M21 sw;
    ASSERT_TRUE(Init(sw, "M21"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_M21"));
    ASSERT_EQ(sw.DevOpen(), 1);

    struct Case {
        const char *what;
        std::function<int()> call;
        Bytes frame;
    };
    const std::vector<Case> cases{
        {"direct take of 5",
         [&] { return sw.DevDirectTake(1, 5); },
         {0x02, 0x06, 0x7F, 0x01, 0x05, 0x05, 0x00, 0x00, 0x70}},
        {"direct take of 40 selects 16", [&] { return sw.DevDirectTake(1, 40); }, Select(1, 16)},
        {"preset of 0 selects 1", [&] { return sw.DevPreset(1, 0); }, Select(2, 1)},
        {"type 2", [&] { return sw.DevSetTransType(2); }, m21frame::TransType(2)},
        {"rate 3", [&] { return sw.DevSetTransRate(3); }, m21frame::TransRate(3)},
        {"key 8 on 80", [&] { return sw.DevKey(0x80, 8); }, m21frame::Key(m21frame::kM21, 0x80, 8)},
        {"mix 6 on 40", [&] { return sw.DevMix(0x40, 6); }, m21frame::Mix(m21frame::kM21, 0x40, 6)},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.call(), 1) << c.what;
        EXPECT_TRUE(line.Got(Preambled(c.frame))) << c.what;
    }
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{1, 16}));
    EXPECT_EQ(sw.Protocol().GetTransType(), 2);
    EXPECT_EQ(sw.Protocol().GetTransRate(), 3);

    // The take, then the preset selected on the program bus.
    EXPECT_EQ(sw.DevTake(1), 1);
    Bytes both = Preambled(m21frame::Take());
    const Bytes second = Preambled(Select(1, 1));
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_TRUE(line.Got(both));
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{16, 1}));

    EXPECT_EQ((std::vector<int>{sw.DevGetPGMBUS(), sw.DevGetPSTBUS(), sw.DevGetKey1(),
                                sw.DevGetKey2(), sw.DevGetMix1(), sw.DevGetMix2()}),
              (std::vector<int>{64, 128, 7, 8, 5, 6}));
}

TEST(M21Line, TriesGrowAfterTheFirstAcknowledge)
{
    ManualTime time;
    SimLine line(kSio, 36, SimModel::M21);
    MountedSettings settings(Section("M21", {{"COM", "36"}}));
    CVideoSwitch_M21 sw;
    ASSERT_TRUE(Init(sw, "M21"));
    ASSERT_EQ(RunAdvancing([&] { return sw.DevOpen(); }), 1);

    line.Sim().SetFaults(Silent());
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 2); }), 0);
    EXPECT_TRUE(line.Sim().WaitForCommands(1, kSoonMs));
    EXPECT_EQ(line.Sim().Commands().size(), 1u) << "never answered: one try";

    line.Sim().SetFaults({});
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 2); }), 1);
    line.Sim().ClearCommands();
    line.Sim().SetFaults(Silent());
    EXPECT_EQ(RunAdvancing([&] { return sw.DevPreset(1, 3); }), 0);
    EXPECT_TRUE(line.Sim().WaitForCommands(3, kSoonMs));
    const auto commands = line.Sim().Commands();
    ASSERT_EQ(commands.size(), 3u) << "answered once: three tries";
    for (const auto &c : commands) EXPECT_TRUE(c.preamble) << "every try has its preamble";
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{0, 2}));
}

TEST(M21Line, RefusalsAndTheSwitchersMessagesAreAnswered)
{
    SimLine line(kSio, 37, SimModel::M21);
    MountedSettings settings(Section("M21", {{"COM", "37"}}));
    CVideoSwitch_M21 sw;
    ASSERT_TRUE(Init(sw, "M21"));
    ASSERT_EQ(sw.DevOpen(), 1);
    ASSERT_EQ(sw.DevDirectTake(1, 4), 1);
    line.Peer().ClearReceived();

    line.Sim().SetFaults(Refusing(), 1);
    EXPECT_EQ(sw.DevDirectTake(1, 6), 0) << "08 wakes the request and fails it";
    Bytes expected = Preambled(Select(1, 6));
    expected.push_back(0x04);
    EXPECT_TRUE(line.Got(expected)) << "one try, and the refusal answered";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 4);

    // A message of the switcher in two pieces is answered once.
    const Bytes message = kestsim::M21SimFrame(0x10, {0x01, 0x02});
    ASSERT_TRUE(line.Peer().Send(Bytes(message.begin(), message.begin() + 3)));
    ASSERT_TRUE(line.Peer().Send(Bytes(message.begin() + 3, message.end())));
    EXPECT_TRUE(line.Got({0x04}));
    EXPECT_TRUE(Eventually([&] { return sw.Protocol().GetReported() == message; }));
}

TEST(Saturn4000Line, MappedSourcesAndItsOwnFrames)
{
    SimLine line(kSio, 38, SimModel::M21);
    MountedSettings settings(
        Section("SAT", {{"COM", "38"}, {"EnableEntryMap", "TRUE"}, {"SRC_3", "11"}}));
    CVideoSwitch_SATURN4000 sw;
    ASSERT_TRUE(Init(sw, "SAT"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MCS_SATUREN4000"));

    EXPECT_EQ(sw.DevDirectTake(1, 3), 1);
    EXPECT_TRUE(line.Got(Preambled(Select(1, 0x0B)))) << "source 3 goes out as 11";
    int entry = 0;
    EXPECT_EQ(sw.DevQueryPgmEntry(1, entry), 1);
    EXPECT_EQ(entry, 3);
    EXPECT_EQ(sw.DevPreset(1, 40), 1);
    EXPECT_TRUE(line.Got(Preambled(Select(2, 16)))) << "clamped, then mapped by default";

    EXPECT_EQ(sw.DevSetTransRate(2), 1);
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line.Got(Preambled(m21frame::Take()))) << "no rate frame; the take alone";
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{3, 16}));
    EXPECT_EQ(sw.DevKey(5, 5), 1);
    EXPECT_TRUE(line.Got(Preambled(m21frame::Key(m21frame::kSaturn4000, 0x80, 8))));
    EXPECT_EQ(sw.KeyOff(0x40, 7), 1);
    EXPECT_TRUE(line.Got(Preambled(m21frame::Key(m21frame::kSaturn4000, 0x40, 7, true))));
    EXPECT_EQ(sw.DevGetKey2(), 8);
}

TEST(M21ExLine, VirtualLeavesTheHardwareAlone)
{
    SimLine line(kSio, 39, SimModel::M21);
    MountedSettings settings(Section("M21X", {{"COM", "39"}, {"Virtual", "TRUE"}}) +
                             Section("SATX", {{"COM", "39"}, {"Virtual", "TRUE"}}));
    CVideoSwitch_M21EX m21;
    CVideoSwitch_SATURN4000EX saturn;
    ASSERT_TRUE(Init(m21, "M21X"));
    ASSERT_TRUE(Init(saturn, "SATX"));
    EXPECT_EQ(m21.GetDescription(), CString("视频切换(扩展协议SATUREN4000切换台)"));
    for (CVideoSwitchM21A *sw :
         {static_cast<CVideoSwitchM21A *>(&m21), static_cast<CVideoSwitchM21A *>(&saturn)}) {
        EXPECT_EQ(sw->DevOpen(), 1);
        EXPECT_EQ(sw->DevDirectTake(1, 9), 1);
        EXPECT_EQ(sw->DevPreset(1, 2), 1);
        EXPECT_EQ(sw->DevSetTransType(3), 1);
        EXPECT_EQ(sw->DevSetTransRate(2), 1);
        EXPECT_EQ(sw->DevTake(1), 1);
        EXPECT_EQ(BaseEntries(*sw, 1), (Entries{9, 2}));
        int type = 0, rate = 0;
        sw->DevQueryTransMode(type, rate);
        EXPECT_EQ(type, 3);
        EXPECT_EQ(rate, 2);
    }
    EXPECT_FALSE(line.Peer().WaitForBytes(1, 100)) << "nothing sent";

    m21.SetVirtual(false);
    EXPECT_EQ(m21.DevDirectTake(1, 5), 1);
    EXPECT_TRUE(line.Got(Preambled(Select(1, 5))));
}
