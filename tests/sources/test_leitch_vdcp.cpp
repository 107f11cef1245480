// The Leitch VDCP dialect against the simulator: the port object's status request and id list
// in NEW form, the store over it (renames not sent, the loader), and the recorder that takes a
// port another device holds as it is and turns EE mode off once after its own open.
#include "drivers/model/CVideoRecA.h"
#include "drivers/sources/vdcp/CSerialIO_VDCP_LEITCH.h"
#include "drivers/sources/vdcp/CVideoStore_VDCP_LEITCH.h"
#include "tests/sources/VdcpTestKit.h"

#include "Kest20/InstanceRegistry.h"

#include <gtest/gtest.h>

using namespace vdcptest;

namespace {

constexpr int kPort = 35;
constexpr int kRecPort = 36;

class LeitchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(line.pty.Valid());
        ASSERT_TRUE(recLine.pty.Valid());
        line.sim.SetNewFormIdList(true);
        recLine.sim.SetFreeChannels({3});
    }
    template <class T> T &Make(const char *id)
    {
        auto *device = dynamic_cast<T *>(glCreateComponent(id, "", T::GetClassID(), 0));
        EXPECT_NE(device, nullptr) << id;
        if (device->GetObjectStatus() < 3)
            device->InitInstance((std::string("/etc/tvx/") + id).c_str(), id);
        return *device;
    }

    SimLine line{kPort};
    SimLine recLine{kRecPort};
    devtest::MountedSettings m_settings{
        devtest::Section(
            "LSTORE",
            {{"class", "CVideoStore_VDCP_LEITCH"}, {"Com", std::to_string(kPort)}, {"Port", "1"}}) +
        devtest::Section("LREC1", {{"class", "CVideoRec_VDCP_Leitch"},
                                   {"Com", std::to_string(kPort)},
                                   {"Encoder", "3"}}) +
        devtest::Section("LREC2", {{"class", "CVideoRec_VDCP_Leitch"},
                                   {"Com", std::to_string(kRecPort)},
                                   {"Encoder", "3"},
                                   {"ComTimeout", "500"}})};
    devtest::DeleteDevices m_cleanup{{"LSTORE", "LREC1", "LREC2"}};
};

} // namespace

TEST(LeitchIdList, LengthPrefixedIdsEmptyOnesSkippedAndACutLastOne)
{
    const Bytes frame =
        VdcpSim::Frame(0xB0, 0x91, {0, 0, 2, 'A', '1', 0, 5, 'C', 'L', 'I', 'P', '7', 4, 'X'});
    vdcp::Reply reply;
    reply.nKind = vdcp::kStx;
    reply.nLength = static_cast<int32_t>(frame.size());
    std::copy(frame.begin(), frame.end(), reply.bytes.begin());
    CStringArray names;
    ASSERT_TRUE(vdcp::ParseNewIdList(reply, names));
    ASSERT_EQ(names.GetSize(), 3);
    EXPECT_EQ(names[0], CString("A1"));
    EXPECT_EQ(names[1], CString("CLIP7"));
    EXPECT_EQ(names[2], CString("X"));
}

TEST_F(LeitchTest, ThePortAsksTwoStatusBytesAndFollowsAShuttleWithItsCounter)
{
    CSerialIO_VDCP_LEITCH port;
    port.SetPortNumber(kPort);
    ASSERT_EQ(port.GetActivePort().get(), &port);
    ASSERT_EQ(port.Open(), 1);
    EXPECT_EQ(line.sim.Commands().back().cmd1, 0xB0);
    EXPECT_EQ(line.sim.Commands().back().data, Bytes{0x01}) << "the first status bytes only";
    ASSERT_EQ(port.VariablePlay(-0.5), 1);
    EXPECT_DOUBLE_EQ(port.GetCounterSpeed(), -10.0);
    ASSERT_EQ(port.DeleteId("CLIP1"), 1);
    const auto last = line.sim.Commands().back();
    EXPECT_EQ(last.cmd1, 0xA0);
    EXPECT_EQ(last.data, (Bytes{5, 'C', 'L', 'I', 'P', '1'}));
}

TEST_F(LeitchTest, TheStoreSendsNoRenamesAndLoadsTheListInOneReply)
{
    line.sim.AddClip("A1", 25);
    line.sim.AddClip("", 0);
    line.sim.AddClip("CLIP7", 25);
    auto &store = Make<CVideoStore_VDCP_LEITCH>("LSTORE");
    ASSERT_EQ(store.DevOpen(), 1);
    EXPECT_EQ(line.sim.SelectedChannel(), 1);
    const size_t sent = line.sim.Commands().size();
    EXPECT_EQ(store.DevRename("CLIP1", "CLIP2"), 1);
    EXPECT_EQ(line.sim.Commands().size(), sent);

    CStringArray ids;
    EXPECT_EQ(store.DevIDList(ids, 0, 1), 4) << "the limit has no effect";
    EXPECT_EQ(store.DevGetClipSize("NEWS0100"), 1500);

    CVideoClipCache &cache = store.GetClipCache();
    EXPECT_EQ(store.DevLoadTotalClip(), 1);
    // The loader marks the cache valid, then ends its loading mark.
    ASSERT_TRUE(devtest::Eventually([&] { return cache.IsValid() == 1 && !cache.IsLoading(); }));
    EXPECT_EQ(cache.GetSize(), 4);
    EXPECT_EQ(line.sim.CountOf(0xB0, 0x11), 2u);
}

TEST_F(LeitchTest, ARefusedSystemWordStillLoadsTheList)
{
    auto &store = Make<CVideoStore_VDCP_LEITCH>("LSTORE");
    ASSERT_EQ(store.DevOpen(), 1);
    CVideoClipCache &cache = store.GetClipCache();
    line.sim.SetFaults(Refusing(), 1); // the system word only: its limit has no effect anyway
    EXPECT_EQ(store.DevLoadTotalClip(), 1);
    ASSERT_TRUE(devtest::Eventually([&] { return !cache.IsLoading(); }));
    EXPECT_EQ(line.sim.CountOf(0xB0, 0x11), 1u);
    EXPECT_EQ(cache.GetSize(), 2) << "CLIP1 and NEWS0100";
}

TEST_F(LeitchTest, ARecorderOnAHeldPortChecksTheEncoderAndItsOwnOpenTurnsEEModeOff)
{
    auto &store = Make<CVideoStore_VDCP_LEITCH>("LSTORE");
    ASSERT_EQ(store.DevOpen(), 1);
    auto &held = Make<CVideoRecA>("LREC1");
    EXPECT_EQ(held.DevOpen(), 0);
    EXPECT_EQ(std::string(held.GetDevStatus().szText), "Encoder port conflict");
    EXPECT_EQ(line.sim.CountOf(0xA0, 0x21), 0u) << "the held port is not reopened";

    auto &own = Make<CVideoRecA>("LREC2");
    ASSERT_EQ(own.DevOpen(), 1);
    EXPECT_EQ(recLine.sim.CountOf(0x90, 0x0A), 1u);
    EXPECT_EQ(recLine.sim.Commands().back().data, Bytes{0});
    ASSERT_EQ(own.DevClose(), 1);
    devtest::ManualTime time; // well past the 5 s spacing of open attempts
    ASSERT_EQ(devtest::RunAdvancing([&] { return own.DevOpen(); }), 1);
    EXPECT_EQ(recLine.sim.CountOf(0x90, 0x0A), 1u) << "once in the recorder's life";

    devtest::LogCapture report("#OVRA_STATUSDEV");
    // The Leitch turnaround gap runs on the manual clock.
    EXPECT_EQ(devtest::RunAdvancing([&] { return own.DevTest(""); }), 1);
    EXPECT_TRUE(report.Has("<DEV=\"LREC2\" ID=\"1\" MSG=\"空闲 \">"));
}
