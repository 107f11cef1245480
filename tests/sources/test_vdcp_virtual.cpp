// The operations of the VDCP video source in and out of the backup ("virtual") mode: while
// virtual every operation, preview included, gives the answer of the simulated source of the
// base and no frame reaches the server; out of virtual mode the operations that drive the
// channel reach it. A server without an EE mode refuses it in either mode.
#include "drivers/sources/vdcp/CVideoSrc_VDCP.h"
#include "tests/model/SourceOperationRows.h"
#include "tests/sources/VdcpTestKit.h"

#include <gtest/gtest.h>

using namespace vdcptest;
using namespace srctable;

namespace {

constexpr int kPort = 48;

std::string Settings(const char *eeMode)
{
    return devtest::Section("V1", {{"class", "CVideoSrc_VDCP"},
                                   {"Com", std::to_string(kPort)},
                                   {"Decoder", "1"},
                                   {"EModeType", eeMode},
                                   {"ComTimeout", "300"}});
}

class VdcpVirtual : public ::testing::Test {
protected:
    explicit VdcpVirtual(const char *eeMode = "LEITCH") : m_settings(Settings(eeMode))
    {
        line.sim.AddClip("TAPE", 1000);
        source.InitInstance("/etc/tvx/V1", "V1");
        source.GetPlayList().SetOwner(nullptr);
    }
    ~VdcpVirtual() override { source.DevClose(); }
    void SetUp() override
    {
        ASSERT_TRUE(line.pty.Valid());
        ASSERT_EQ(source.DevOpen(), 1);
        ASSERT_EQ(source.GetDevStatus().nCode, DEVSTATUS_NORMAL);
        ASSERT_EQ(line.sim.SelectedChannel(), 1);
    }

    // The frames the server has taken since the last call: a status request of the test's
    // own goes after them, so that all of them have arrived.
    size_t Taken()
    {
        const std::shared_ptr<ISerialVDCP> engine = source.GetVDCP(nullptr);
        EXPECT_NE(engine, nullptr);
        int32_t status1 = 0;
        if (engine) {
            EXPECT_EQ(engine->GetStatus(&status1, nullptr, nullptr, 0, nullptr), 1);
        }
        const auto commands = line.sim.Commands();
        EXPECT_FALSE(commands.empty());
        if (commands.empty()) return 0;
        EXPECT_EQ(commands.back().cmd1, 0x30) << "the test's own request comes last";
        EXPECT_EQ(commands.back().cmd2, 0x05);
        const size_t taken = commands.size() - 1 - m_seen;
        m_seen = commands.size();
        return taken;
    }

    SimLine line{kPort};
    devtest::MountedSettings m_settings;
    CVideoSrc_VDCP source;
    size_t m_seen = 0;
};

class VdcpWithoutEEMode : public VdcpVirtual {
protected:
    VdcpWithoutEEMode() : VdcpVirtual("") {}
};

// The base's open starts the simulated source afresh.
const std::vector<Row<CVideoSrc_VDCP>> kRows =
    Rows<CVideoSrc_VDCP>({{"DevCueEx", true},
                          {"DevCue", true},
                          {"DevPlay", true},
                          {"DevStop", true},
                          {"DevPause", true},
                          {"DevContinue", true},
                          {"DevStep", true},
                          {"DevEEMode", true},
                          {"DevJog", true},
                          {"DevJogEx", true},
                          {"DevShuttle", true},
                          {"DevEject", true},
                          {"DevGoto", true},
                          {"DevIDReq", true},
                          {"DevGetPosition", true},
                          {"DevGetClipSize", true},
                          {"DevCheckCompatibleOtherType", true},
                          {"PreviewGoto", true},
                          {"PreviewCue", true},
                          {"PreviewPlay", true},
                          {"PreviewStop", true},
                          {"PreviewGetPosition", true},
                          {"PreviewJog", true}},
                         {{"DevOpen",
                           [](CVideoSrc_VDCP &s, int64_t &) { return s.DevOpen(); },
                           {1, kNoOut, 0, DEVSTATUS_NORMAL}}});

class VdcpTable : public VdcpVirtual, public ::testing::WithParamInterface<Row<CVideoSrc_VDCP>> {};
class VdcpLineTable : public VdcpTable {};

} // namespace

TEST_P(VdcpTable, AVirtualSourceAnswersFromTheSimulatedSourceAndSendsNothing)
{
    MakeVirtual(source);
    Taken();
    EXPECT_EQ(Call(source, GetParam()), GetParam().whileVirtual);
    EXPECT_EQ(Taken(), 0u) << "nothing reaches the server";
}

TEST_P(VdcpLineTable, OutOfVirtualModeTheOperationsThatDriveTheChannelReachIt)
{
    Taken();
    int64_t out = kNoOut;
    GetParam().call(source, out);
    EXPECT_EQ(Taken() != 0, GetParam().reachesLine);
}

INSTANTIATE_TEST_SUITE_P(Operations, VdcpTable, ::testing::ValuesIn(kRows),
                         RowName<CVideoSrc_VDCP>);
// Out of virtual mode the test of the channel asks the server only after 3 s without an
// exchange, which real time decides: it is left out there.
INSTANTIATE_TEST_SUITE_P(Operations, VdcpLineTable, ::testing::ValuesIn(Except(kRows, "DevTest")),
                         RowName<CVideoSrc_VDCP>);

TEST_F(VdcpWithoutEEMode, TheEEModeIsRefusedInEitherModeAndNothingIsSent)
{
    Taken();
    EXPECT_EQ(source.DevEEMode(2), 0);
    EXPECT_EQ(Taken(), 0u);
    MakeVirtual(source);
    EXPECT_EQ(source.DevEEMode(2), 0);
    EXPECT_EQ(Taken(), 0u);
}
