// The switcher base: preset, take and direct take on the entries of every channel, the
// channels outside the matrix, resizing the matrix, the settings, the share bus with Exchange
// on and off, and takes from many threads.
#include "tests/model/DeviceTestKit.h"

#include "drivers/model/CVideoSwitchA.h"

#include "Kest20/KestLog.h"

#include <atomic>
#include <thread>

using namespace devtest;

namespace {

struct Entries {
    int pst = -1;
    int pgm = -1;
    bool operator==(const Entries &) const = default;
};

Entries Query(CVideoSwitchA &sw, int channel)
{
    Entries e;
    sw.DevQueryPstEntry(channel, e.pst);
    sw.DevQueryPgmEntry(channel, e.pgm);
    return e;
}

// A driver that counts what the share bus hands its OnSetVirtual slot.
class CCountingSwitch : public CVideoSwitchA {
public:
    using CVideoSwitchA::OnRecvSetVirtualMsg;
    int OnSetVirtual(int32_t on) override
    {
        ++calls;
        return CVideoSwitchA::OnSetVirtual(on);
    }
    std::atomic<int> calls{0};
};

} // namespace

TEST(SwitchBase, PresetTakeAndDirectTakeKeepTheEntries)
{
    CVideoSwitchA sw;
    EXPECT_EQ(sw.GetDescription(), CString("视频切换设备"));
    EXPECT_EQ(sw.GetSources(), 16);
    EXPECT_EQ(sw.GetChannels(), 16);

    EXPECT_EQ(sw.DevPreset(1, 5), 1);
    EXPECT_EQ(sw.DevTake(1), 1);
    EXPECT_EQ(Query(sw, 1), (Entries{0, 5})) << "PST gets the former program entry";
    EXPECT_EQ(sw.DevTake2(1), 1);
    EXPECT_EQ(Query(sw, 1), (Entries{5, 0}));
    EXPECT_EQ(sw.DevDirectTake(1, 9), 1);
    EXPECT_EQ(Query(sw, 1), (Entries{5, 9})) << "a direct take leaves the preset";
    EXPECT_EQ(Query(sw, 2), (Entries{0, 0})) << "channels are apart";

    // Channels run from 0 to the channel count.
    EXPECT_EQ(sw.DevPreset(0, 3), 1);
    EXPECT_EQ(sw.DevDirectTake(16, 4), 1);
    EXPECT_EQ(Query(sw, 0), (Entries{3, 0}));
    EXPECT_EQ(Query(sw, 16), (Entries{0, 4}));

    EXPECT_EQ(sw.DevSetTransType(2), 1);
    EXPECT_EQ(sw.DevSetTransRate(3), 1);
    int type = 0, rate = 0;
    EXPECT_EQ(sw.DevQueryTransMode(type, rate), 1);
    EXPECT_EQ(std::make_pair(type, rate), std::make_pair(2, 3));
}

TEST(SwitchBase, ChannelsOutsideTheMatrixAreRefusedAndTouchNothing)
{
    CVideoSwitchA sw;
    sw.SetMatrix(8, 2);
    sw.DevPreset(2, 7);
    for (int channel : {-1, 3, 1000000}) {
        EXPECT_EQ(sw.DevPreset(channel, 1), 0) << channel;
        EXPECT_EQ(sw.DevDirectTake(channel, 1), 0) << channel;
        EXPECT_EQ(sw.DevTake(channel), 0) << channel;
        int entry = 42;
        EXPECT_EQ(sw.DevQueryPgmEntry(channel, entry), 0);
        EXPECT_EQ(sw.DevQueryPstEntry(channel, entry), 0);
        EXPECT_EQ(entry, 42);
    }
    EXPECT_EQ(Query(sw, 2), (Entries{7, 0}));
}

TEST(SwitchBase, SetMatrixHoldsItsValuesAndKeepsTheEntries)
{
    CVideoSwitchA sw;
    sw.DevDirectTake(1, 6);
    sw.DevPreset(16, 2);
    EXPECT_EQ(sw.SetMatrix(0, 0), 1);
    EXPECT_EQ(sw.GetSources(), 4);
    EXPECT_EQ(sw.GetChannels(), 1);
    EXPECT_EQ(Query(sw, 1), (Entries{0, 6})) << "entries of channels still there are kept";
    EXPECT_EQ(sw.DevPreset(2, 1), 0) << "entries hold channels 0 and 1 only";

    sw.SetMatrix(-3, 20);
    EXPECT_EQ(sw.GetSources(), 4);
    EXPECT_EQ(Query(sw, 16), (Entries{0, 0})) << "channels that come back start at 0";
    EXPECT_EQ(Query(sw, 20), (Entries{0, 0}));

    sw.SetMatrix(64, 0x7FFFFFFF);
    EXPECT_EQ(sw.GetChannels(), CVideoSwitchA::kMaxChannels);
    EXPECT_EQ(sw.DevPreset(CVideoSwitchA::kMaxChannels, 3), 1);
}

TEST(SwitchBase, SettingsAndTheShareBus)
{
    MountedSettings settings(
        Section("ON",
                {{"Exchange", "TRUE"}, {"Source", "32"}, {"Channel", "4"}, {"DelayTime", "80"}}) +
        Section("OFF", {{"Virtual", "TRUE"}, {"Source", "0"}, {"Channel", "0"}}));
    CCountingSwitch on, off;
    ASSERT_EQ(on.InitInstance("/etc/tvx/ON", "ON"), 1);
    ASSERT_EQ(off.InitInstance("/etc/tvx/OFF", "OFF"), 1);
    EXPECT_EQ(on.GetSources(), 32);
    EXPECT_EQ(on.GetChannels(), 4);
    EXPECT_EQ(on.GetDelayTime(), 80);
    EXPECT_TRUE(on.IsExchange());
    EXPECT_EQ(off.GetSources(), 4);
    EXPECT_EQ(off.GetChannels(), 1);
    EXPECT_FALSE(off.IsVirtual()) << "without Exchange a switcher is never virtual";

    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"TRUE\">", "");
    EXPECT_TRUE(Eventually([&] { return on.IsVirtual(); }));
    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"FALSE\">", "");
    EXPECT_TRUE(Eventually([&] { return on.calls >= 2 && !on.IsVirtual(); }));
    EXPECT_EQ(off.calls, 0);
    EXPECT_FALSE(off.IsVirtual());
}

TEST(SwitchBase, StrayShareMessagesLeaveVirtualModeAlone)
{
    MountedSettings settings(Section("ON", {{"Exchange", "TRUE"}, {"Virtual", "TRUE"}}));
    CCountingSwitch sw;
    ASSERT_EQ(sw.InitInstance("/etc/tvx/ON", "ON"), 1);
    ExpectStrayShareMessagesIgnored([&] { return sw.IsVirtual(); });
    EXPECT_EQ(sw.calls, 0);
    EXPECT_EQ(sw.OnRecvSetVirtualMsg("#OVRA_DEV_SHARE", "<Other = \"1\">", ""), 0);
    glReportLog("#OVRA_DEV_SHARE", "<Virtual = \"FALSE\">", "");
    EXPECT_TRUE(Eventually([&] { return sw.calls == 1 && !sw.IsVirtual(); }));
}

TEST(SwitchBase, TakesFromManyThreadsLoseNoEntry)
{
    CVideoSwitchA sw;
    sw.DevDirectTake(3, 1);
    sw.DevPreset(3, 2);
    std::vector<std::thread> takers;
    for (int t = 0; t < 6; ++t)
        takers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) sw.DevTake(3);
        });
    std::thread resizer([&] {
        for (int i = 0; i < 200; ++i) sw.SetMatrix(16, 16 + i % 2);
    });
    for (auto &t : takers) t.join();
    resizer.join();
    const Entries e = Query(sw, 3);
    EXPECT_EQ(e.pst + e.pgm, 3) << "the two entries are still 1 and 2";
    EXPECT_NE(e.pst, e.pgm);
}
