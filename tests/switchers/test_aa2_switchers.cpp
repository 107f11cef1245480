// The AA2-framed matrix drivers over pseudo-terminals: the switch and query frames of VRS1620,
// MPLUS and the polled MPLUS_O with their entries; acknowledgements and replies in pieces and
// after stray bytes; a reply whose check does not hold and a refusal, which fail at once; the
// tries before and after the first answer; and the polled kind, which sends only when polled.
#include "tests/switchers/SwitcherTestKit.h"
#include "tests/sim/Aa2MatrixSim.h"

#include "drivers/switchers/aa2/CVideoSwitch_MPLUS.h"

#include <algorithm>
#include <future>
#include <string>

using namespace devtest;
using namespace swtest;
using Model = kestsim::Aa2MatrixSim::Model;

namespace {

// SOH, the text, EOT.
Bytes Raw(const std::string &text)
{
    // Built in one go: growing a one-byte vector by the text makes GCC 12 warn of a copy past
    // its end (-Warray-bounds) where none happens.
    Bytes frame(text.size() + 2, 0x01);
    std::copy(text.begin(), text.end(), frame.begin() + 1);
    frame.back() = 0x04;
    return frame;
}

// SOH, the text and its check, EOT.
Bytes Framed(const std::string &text)
{
    unsigned x = 0;
    for (unsigned char c : text) x ^= c;
    const char check[] = {static_cast<char>('0' + (x >> 4)), "0123456789ABCDEF"[x & 0x0F], 0};
    return Raw(text + check);
}

Bytes Times(const Bytes &bytes, int n)
{
    Bytes all;
    for (int i = 0; i < n; ++i) all.insert(all.end(), bytes.begin(), bytes.end());
    return all;
}

// A port of `kind` whose far end is a simulated AA2 matrix.
using Aa2Line = kit::SimLine<kestsim::Aa2MatrixSim>;

kestsim::Faults With(bool kestsim::Faults::*knob)
{
    kestsim::Faults faults;
    faults.*knob = true;
    return faults;
}

const Bytes kQueryOutput1 = Raw("QDN015A");

} // namespace

TEST(Aa2Matrix, Vrs1620SwitchesPresetsAndQueries)
{
    Aa2Line line(plat::SerialPortKind::SIO, 30, Model::Vrs1620);
    MountedSettings settings(Section("VRS", {{"COM", "30"}, {"PST", "3"}, {"PGM", "0"}}));
    CVideoSwitch_VRS1620 sw;
    ASSERT_TRUE(Init(sw, "VRS"));
    EXPECT_EQ(sw.GetTypeID(), CString(CDeviceA::kUnknownType));
    ASSERT_EQ(sw.DevOpen(), 1);
    EXPECT_EQ(sw.GetDevStatus().nCode, DEVSTATUS_NORMAL);

    EXPECT_EQ(sw.DevDirectTake(2, 5), 1);
    EXPECT_TRUE(line.Got(Raw("AS01N0104T0C"))) << "output before input";
    EXPECT_EQ(BaseEntries(sw, 2).pgm, 5);
    EXPECT_EQ(sw.DevDirectTake(20, 30), 1);
    EXPECT_TRUE(line.Got(Framed("AS01N0F0FT"))) << "entry and channel held to the matrix";
    EXPECT_EQ(BaseEntries(sw, 16).pgm, 16);

    EXPECT_EQ(sw.DevPreset(1, 7), 1);
    EXPECT_TRUE(line.Got(Framed("AS01N0306T"))) << "routed to the preset output";
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_TRUE(line.Got(Framed("AS01N0006T"))) << "to the program output";
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{0, 7}));

    line.Sim().SetInput(1, 0x0B);
    int entry = 0;
    EXPECT_EQ(sw.DevQueryPgmEntry(2, entry), 1);
    EXPECT_TRUE(line.Got(kQueryOutput1));
    EXPECT_EQ(entry, 12);
    EXPECT_EQ(BaseEntries(sw, 2).pgm, 12) << "kept as the program entry";
    EXPECT_EQ(sw.DevTest(""), 1);
}

TEST(Aa2Matrix, RepliesAreGatheredFromPiecesAndAfterStrayBytes)
{
    // The reply wait runs on the manual clock, which stands while a reply's pieces are on the
    // wire: pieces a loaded machine carries late still make one reply.
    ManualTime time;
    Aa2Line line(plat::SerialPortKind::SIO, 31, Model::Vrs1620);
    MountedSettings settings(Section("VRS", {{"COM", "31"}}));
    CVideoSwitch_VRS1620 sw;
    ASSERT_TRUE(Init(sw, "VRS"));
    ASSERT_EQ(sw.DevOpen(), 1);

    // SOH as the stray head: a frame that another cuts off.
    for (const auto &c : SplitAndStrayReplies('x', 0x01)) {
        line.Peer().SetFaults(c.faults);
        line.Sim().SetInput(1, 6);
        int entry = 0;
        EXPECT_EQ(RunAdvancing([&] { return sw.DevQueryPgmEntry(2, entry); }), 1) << c.what;
        EXPECT_EQ(entry, 7) << c.what;
        EXPECT_TRUE(line.Got(kQueryOutput1)) << c.what << ": one try";
        EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(2, 3); }), 1) << c.what << ": an ACK";
        EXPECT_TRUE(line.Got(Framed("AS01N0102T"))) << c.what;
    }
}

TEST(Aa2Matrix, BadCheckAndRefusalFailAtOnce)
{
    Aa2Line line(plat::SerialPortKind::SIO, 32, Model::Vrs1620);
    MountedSettings settings(Section("VRS", {{"COM", "32"}}));
    CVideoSwitch_VRS1620 sw;
    ASSERT_TRUE(Init(sw, "VRS"));
    ASSERT_EQ(sw.DevDirectTake(1, 4), 1);
    ASSERT_TRUE(line.Got(Framed("AS01N0003T")));
    ASSERT_EQ(sw.Protocol().GetTries(), 3) << "answered once: three tries from now on";

    struct Case {
        const char *what;
        kestsim::Faults faults;
    } cases[] = {{"a reply whose check does not hold", With(&kestsim::Faults::badCheck)},
                 {"NAK", With(&kestsim::Faults::nak)}};
    for (const auto &c : cases) {
        line.Peer().SetFaults(c.faults);
        line.Sim().SetInput(0, 9);
        int entry = 0;
        EXPECT_EQ(sw.DevQueryPgmEntry(1, entry), 1) << c.what;
        EXPECT_EQ(entry, 4) << c.what << ": the base's entry";
        EXPECT_TRUE(line.Got(Framed("QDN00"))) << c.what << ": no further try";
        EXPECT_EQ(BaseEntries(sw, 1).pgm, 4) << c.what;
    }
    line.Peer().SetFaults(With(&kestsim::Faults::nak));
    EXPECT_EQ(sw.DevDirectTake(1, 2), 0);
    EXPECT_TRUE(line.Got(Framed("AS01N0001T")));
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 4);
}

TEST(Aa2Matrix, OneTryUntilTheMatrixHasAnsweredThenThree)
{
    ManualTime time;
    Aa2Line line(plat::SerialPortKind::SIO, 33, Model::Vrs1620);
    MountedSettings settings(Section("VRS", {{"COM", "33"}}));
    CVideoSwitch_VRS1620 sw;
    ASSERT_TRUE(Init(sw, "VRS"));
    ASSERT_EQ(sw.DevOpen(), 1);
    const Bytes take = Framed("AS01N0000T");

    line.Peer().SetFaults(With(&kestsim::Faults::silent));
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 1); }), 0);
    EXPECT_TRUE(line.Got(take)) << "one try";
    line.Peer().SetFaults({});
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 1); }), 1);
    EXPECT_TRUE(line.Got(take));
    line.Peer().SetFaults(With(&kestsim::Faults::silent));
    const uint32_t before = plat::GetTickCount();
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 1); }), 0);
    EXPECT_GE(plat::TickDiff(plat::GetTickCount(), before), 3 * 500 + 2 * 50);
    EXPECT_TRUE(line.Got(Times(take, 3)));
}

TEST(Aa2Matrix, PolledMatrixGetsTheFrameWhenItPolls)
{
    ManualTime time;
    Aa2Line line(plat::SerialPortKind::SIO, 34, Model::Aa2);
    MountedSettings settings(Section("MPO", {{"COM", "34"}}));
    CVideoSwitch_MPLUS_O sw;
    ASSERT_TRUE(Init(sw, "MPO"));
    ASSERT_EQ(sw.DevOpen(), 1);

    auto take = std::async(std::launch::async, [&] { return sw.DevDirectTake(2, 5); });
    const devtest::FinishStepping takeEnds(take);
    ASSERT_TRUE(Eventually([&] { return sw.Protocol().HasPending(); }));
    EXPECT_TRUE(line.Peer().Received().empty()) << "nothing goes out before the poll";
    ASSERT_TRUE(line.Sim().Poll());
    EXPECT_EQ(Settle(take), 1);
    EXPECT_TRUE(line.Got(Raw("AS01N0401T0C"))) << "input before output";
    EXPECT_FALSE(sw.Protocol().HasPending());
    EXPECT_EQ(BaseEntries(sw, 2).pgm, 5);

    line.Sim().SetInput(1, 0x0B);
    int entry = 0;
    auto query = std::async(std::launch::async, [&] { return sw.DevQueryPgmEntry(2, entry); });
    const devtest::FinishStepping queryEnds(query);
    ASSERT_TRUE(Eventually([&] { return sw.Protocol().HasPending(); }));
    ASSERT_TRUE(line.Sim().Poll());
    EXPECT_EQ(Settle(query), 1);
    EXPECT_EQ(entry, 12);
    EXPECT_TRUE(line.Got(kQueryOutput1));

    // A matrix that never polls fails the take.
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 1); }), 0);
    EXPECT_TRUE(line.Peer().Received().empty());
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 0);
}

// A take that fails because the matrix does not poll leaves nothing queued: the matrix's next
// poll gets nothing, at no time anybody chose.
TEST(Aa2Matrix, AFailedPolledTakeLeavesNothingQueued)
{
    ManualTime time;
    Aa2Line line(plat::SerialPortKind::SIO, 46, Model::Aa2);
    MountedSettings settings(Section("MPO", {{"COM", "46"}}));
    CVideoSwitch_MPLUS_O sw;
    ASSERT_TRUE(Init(sw, "MPO"));
    ASSERT_EQ(sw.DevOpen(), 1);
    EXPECT_EQ(RunAdvancing([&] { return sw.DevDirectTake(1, 3); }), 0);
    EXPECT_FALSE(sw.Protocol().HasPending());
    ASSERT_TRUE(line.Sim().Poll());
    EXPECT_FALSE(line.Peer().WaitForBytes(1, 200)) << "nothing went out at the poll";
    EXPECT_EQ(BaseEntries(sw, 1).pgm, 0);
}

TEST(Aa2Matrix, MplusFixedChannel)
{
    Aa2Line line(plat::SerialPortKind::COM, 85, Model::Vrs1620);
    MountedSettings settings(Section("MP", {{"COM", "85"}, {"Channel", "3"}}) +
                             Section("NOPORT", {{"COM", "99"}}));
    CVideoSwitch_MPLUS sw;
    ASSERT_TRUE(Init(sw, "MP"));
    EXPECT_EQ(sw.GetFixedChannel(), 3);
    EXPECT_EQ(sw.DevPreset(5, 40), 1);
    EXPECT_EQ(BaseEntries(sw, 3).pst, 16) << "kept on the fixed channel, held; nothing sent";
    EXPECT_EQ(sw.DevTake(7), 1);
    EXPECT_TRUE(line.Got(Framed("AS01N020FT"))) << "output 3 whatever the channel";
    EXPECT_EQ(BaseEntries(sw, 3).pgm, 16);
    EXPECT_EQ(sw.DevDirectTake(2, 5), 1);
    EXPECT_TRUE(line.Got(Framed("AS01N0104T"))) << "a direct take goes to the channel given";

    line.Sim().SetInput(2, 1);
    int entry = 0;
    EXPECT_EQ(sw.DevQueryPgmEntry(9, entry), 1);
    EXPECT_TRUE(line.Got(Framed("QDN02")));
    EXPECT_EQ(entry, 2);

    CVideoSwitch_MPLUS closed;
    ASSERT_TRUE(Init(closed, "NOPORT"));
    const int status = closed.GetDevStatus().nCode;
    EXPECT_EQ(closed.DevOpen(), 0);
    EXPECT_EQ(closed.GetDevStatus().nCode, status) << "a failed open leaves the status";
    EXPECT_EQ(closed.DevDirectTake(1, 1), 0);
}
