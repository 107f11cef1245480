// The VDCP clip store against the simulator: claiming its channel (and sharing the port with
// a store of the same channel only), the clip requests, the loader that fills the clip cache
// in the background, and the far copy that only reports progress.
#include "drivers/sources/vdcp/CVideoStore_VDCP.h"
#include "tests/sources/VdcpTestKit.h"

#include "Kest20/InstanceRegistry.h"

#include <gtest/gtest.h>

#include <future>

using namespace vdcptest;

namespace {

constexpr int kPort = 31;
constexpr int kUnboundPort = 32;

std::string Store(const char *name, int com, int channel)
{
    return devtest::Section(name, {{"class", "CVideoStore_VDCP"},
                                   {"Com", std::to_string(com)},
                                   {"Port", std::to_string(channel)},
                                   {"Load_Interval", "10"}});
}

class VdcpStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(line.pty.Valid()); }

    CVideoStore_VDCP &Of(const char *id)
    {
        auto *store = dynamic_cast<CVideoStore_VDCP *>(
            glCreateComponent(id, "", CVideoStoreA::GetClassID(), 0));
        EXPECT_NE(store, nullptr) << id;
        if (store->GetObjectStatus() < 3)
            store->InitInstance((std::string("/etc/tvx/") + id).c_str(), id);
        return *store;
    }
    std::string LastData(uint8_t cmd2) const
    {
        std::string data;
        for (const auto &command : line.sim.Commands())
            if (command.cmd2 == cmd2) data.assign(command.data.begin(), command.data.end());
        return data;
    }

    SimLine line{kPort};
    devtest::MountedSettings m_settings{Store("STORE1", kPort, 1) + Store("STORE2", kPort, 2) +
                                        Store("STORE3", kPort, 1) +
                                        Store("STOREX", kUnboundPort, 1)};
    devtest::DeleteDevices m_cleanup{{"STORE1", "STORE2", "STORE3", "STOREX"}};
};

} // namespace

TEST_F(VdcpStoreTest, TheStoreClaimsItsChannelAndSharesThePortForThatChannelOnly)
{
    CVideoStore_VDCP &first = Of("STORE1");
    EXPECT_EQ(first.GetTypeID(), CString("LVSTORE_BVS_VDCP"));
    EXPECT_EQ(first.GetDescription(), CString("视频存贮(基于VDCP协议的视频服务器)"));
    EXPECT_EQ(first.GetClipCache().GetValidSpan(), 4500);
    ASSERT_EQ(first.DevOpen(), 1);
    EXPECT_EQ(first.GetDevStatus().nCode, 0);
    EXPECT_EQ(line.sim.SelectedChannel(), 1);
    EXPECT_EQ(first.DevIsOpen(), 1);
    int32_t kind = 0;
    EXPECT_NE(first.GetVDCP(&kind), nullptr);
    EXPECT_EQ(kind, 7);

    CVideoStore_VDCP &same = Of("STORE3");
    EXPECT_EQ(same.DevOpen(), 1);
    EXPECT_EQ(same.GetVDCP(&kind), first.GetVDCP(nullptr)) << "shared by the first store";
    EXPECT_EQ(kind, 6);
    EXPECT_EQ(same.GetDevStatus().nCode, 0);
    EXPECT_EQ(same.DevGetClipSize("NEWS0100"), 1500);

    CVideoStore_VDCP &other = Of("STORE2");
    EXPECT_EQ(other.DevOpen(), 1) << "an open reports through the status only";
    EXPECT_EQ(other.GetDevStatus().nCode, 5);
    EXPECT_EQ(std::string(other.GetDevStatus().szText), "当前的端口不匹配");
    EXPECT_EQ(line.sim.CountOf(0x30, 0x01), 1u) << "the port was opened for one channel";

    CVideoStore_VDCP &unbound = Of("STOREX");
    EXPECT_EQ(unbound.DevOpen(), 1);
    EXPECT_EQ(std::string(unbound.GetDevStatus().szText), "设备打开错误");
    CStringArray ids;
    EXPECT_EQ(unbound.DevIDList(ids, 0, 10), 0);
    EXPECT_EQ(unbound.GetDevStatus().nCode, 3) << "no engine to be reached";
    EXPECT_EQ(unbound.DevCopy("CLIP1", "CLIP2"), 0);

    EXPECT_EQ(first.DevClose(), 1);
    EXPECT_EQ(first.DevIsOpen(), 0);
}

TEST_F(VdcpStoreTest, ARefusedOrUnselectedChannelFailsWithItsText)
{
    line.sim.SetFreeChannels({2});
    CVideoStore_VDCP &store = Of("STORE1");
    EXPECT_EQ(store.DevOpen(), 1);
    EXPECT_EQ(std::string(store.GetDevStatus().szText), "Open Port failed");
    EXPECT_EQ(store.GetVDCP(nullptr), nullptr) << "closed again; the next try comes 5 s later";

    line.sim.SetFreeChannels({2});
    line.sim.SetIgnoreSelect(true);
    CVideoStore_VDCP &other = Of("STORE2");
    EXPECT_EQ(other.DevOpen(), 1);
    EXPECT_EQ(std::string(other.GetDevStatus().szText), "Open Port Error");
}

TEST_F(VdcpStoreTest, ClipRequests)
{
    CVideoStore_VDCP &store = Of("STORE1");
    ASSERT_EQ(store.DevOpen(), 1);
    EXPECT_EQ(store.DevGetClipSize("CLIP1"), 250);
    EXPECT_EQ(store.DevGetClipSize("MISSING"), 0);

    ASSERT_EQ(store.DevRename("CLIP1", "NEWNAME1"), 1);
    EXPECT_EQ(LastData(0x1D), std::string("CLIP1\0\0\0NEWNAME1", 16));
    ASSERT_EQ(store.DevDelete("NEWS0100", 0), 1);
    EXPECT_EQ(store.DevGetClipSize("NEWS0100"), 0) << "gone from the server";

    const size_t sent = line.sim.Commands().size();
    EXPECT_EQ(store.DevCopy("CLIP1", "CLIP2"), 1);
    EXPECT_EQ(line.sim.Commands().size(), sent) << "a copy sends nothing";

    line.sim.AddClip("PROMO1", 100);
    line.sim.AddClip("PROMO2", 100);
    line.sim.SetIdsPerReply(1);
    CStringArray ids;
    EXPECT_EQ(store.DevIDList(ids, 5, 1), 2) << "a part more while no more than the limit";
    EXPECT_EQ(line.sim.CountOf(0x30, 0x02), 1u);
}

TEST_F(VdcpStoreTest, TheLoaderFillsTheCacheOnceAtATime)
{
    for (const char *clip : {"ZULU", "ALPHA", "MIKE"}) line.sim.AddClip(clip, 50);
    line.sim.SetIdsPerReply(2);
    CVideoStore_VDCP &store = Of("STORE1");
    ASSERT_EQ(store.DevOpen(), 1);
    CVideoClipCache &cache = store.GetClipCache();
    line.sim.SetFaults(Late(300), 1); // the system word comes late
    EXPECT_EQ(store.DevLoadTotalClip(), 1);
    EXPECT_EQ(cache.IsLoading(), 1);
    EXPECT_EQ(store.DevLoadTotalClip(), 1);
    ASSERT_TRUE(devtest::Eventually([&] { return cache.IsLoading() == 0; }));
    EXPECT_EQ(line.sim.CountOf(0x30, 0x10), 1u) << "one loader ran";
    EXPECT_EQ(line.sim.Commands().back().cmd2, 0x02) << "the list came in parts";
    ASSERT_EQ(cache.GetSize(), 5);
    CVideoClipCache::tagCLIP clip;
    ASSERT_EQ(cache.GetAt(0, clip), 1);
    EXPECT_STREQ(clip.szName, "ALPHA") << "sorted";
    EXPECT_EQ(cache.IsValid(), 1);

    const size_t sent = line.sim.Commands().size();
    EXPECT_EQ(store.DevLoadTotalClip(), 1);
    EXPECT_EQ(line.sim.Commands().size(), sent) << "valid: nothing asked";
}

TEST_F(VdcpStoreTest, ARefusedSystemWordStillLoadsTheList)
{
    CVideoStore_VDCP &store = Of("STORE1");
    ASSERT_EQ(store.DevOpen(), 1);
    CVideoClipCache &cache = store.GetClipCache();
    line.sim.SetFaults(Refusing(), 1); // the system word only
    EXPECT_EQ(store.DevLoadTotalClip(), 1);
    ASSERT_TRUE(devtest::Eventually([&] { return cache.IsLoading() == 0; }));
    EXPECT_EQ(line.sim.CountOf(0x30, 0x10), 1u);
    EXPECT_EQ(cache.GetSize(), 2) << "CLIP1 and NEWS0100";
    EXPECT_EQ(cache.IsValid(), 1);
}

TEST_F(VdcpStoreTest, ALoadThatBringsNothingLeavesNoLoadingMarkAndACloseStopsTheLoader)
{
    CVideoStore_VDCP &store = Of("STORE1");
    ASSERT_EQ(store.DevOpen(), 1);
    line.sim.SetFaults(Silent());
    EXPECT_EQ(store.DevLoadTotalClip(), 1);
    ASSERT_TRUE(devtest::Eventually([&] { return store.GetClipCache().IsLoading() == 0; }));
    EXPECT_EQ(store.GetClipCache().IsValid(), 0);

    EXPECT_EQ(store.DevLoadTotalClip(), 1);
    const auto start = Clock::now();
    EXPECT_EQ(store.DevClose(), 1);
    EXPECT_LT(MsSince(start), 1500) << "the close cut the exchange short";
    EXPECT_EQ(store.GetClipCache().IsLoading(), 0);
}

TEST_F(VdcpStoreTest, AFarCopyReportsTwentyStepsASecondApart)
{
    CVideoStore_VDCP &store = Of("STORE1");
    ASSERT_EQ(store.DevOpen(), 1);
    const size_t sent = line.sim.Commands().size();
    devtest::ManualTime time; // after the open: the copy finds the engine answering
    struct Progress {
        static void Report(void *self, int32_t done, int32_t total)
        {
            auto *me = static_cast<Progress *>(self);
            std::lock_guard<std::mutex> lk(me->lock);
            me->steps.push_back(done * 1000 + total);
            me->ticks.push_back(plat::GetTickCount());
        }
        std::mutex lock;
        std::vector<int32_t> steps;
        std::vector<uint32_t> ticks;
    } progress;
    CVideoStoreA::tagCopyCallBack callback;
    callback.pContext = &progress;
    callback.pfnProgress = &Progress::Report;
    const uint32_t begin = plat::GetTickCount();
    auto copy = std::async(std::launch::async,
                           [&] { return store.DevFarCopy("CLIP1", "", "FTP1", callback); });
    EXPECT_TRUE(devtest::AdvanceUntil(
        [&] { return copy.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
        50, 30000));
    EXPECT_EQ(copy.get(), 1);
    EXPECT_GE(plat::TickDiff(plat::GetTickCount(), begin), 20000);
    ASSERT_EQ(progress.steps.size(), 20u);
    EXPECT_EQ(progress.steps.front(), 100);
    EXPECT_EQ(progress.steps.back(), 95100);
    EXPECT_GE(plat::TickDiff(progress.ticks[19], progress.ticks[18]), 1000);
    EXPECT_EQ(line.sim.Commands().size(), sent) << "nothing sent for the copy";
}
