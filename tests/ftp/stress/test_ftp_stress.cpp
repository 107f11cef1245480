// The pooled Pinnacle store's main connection is shared by every operation of the store:
// two threads delete clip directories (each delete a walk of CWD, LIST, DELE, CWD .., RMD)
// while a third reloads the clip list, against real FTP servers. Every delete must remove
// its own directory and every load must see the clip that stays.
#include "tests/ftp/FtpPeerKit.h"
#include "tests/model/DeviceTestKit.h"

#include "drivers/sources/ftp/CVideoStore_PinFtpX.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using devtest::Section;
using ftptest::Flavor;
using ftptest::FtpServer;
using ftptest::TempTree;

class PinFtpXStress : public ::testing::TestWithParam<Flavor> {};

TEST_P(PinFtpXStress, DeletesAndLoadsOnTheSharedConnectionEachKeepTheirDirectory)
{
    constexpr int kClips = 12;
    TempTree tree;
    tree.File("KEEP/header", 500);
    tree.File("KEEP/ft", 1000);
    for (int i = 0; i < kClips; ++i) {
        tree.File("D" + std::to_string(i) + "/header", 10);
        tree.File("D" + std::to_string(i) + "/ft", 20);
    }
    FtpServer server(GetParam(), tree.Root());
    ASSERT_NE(server.Port(), 0) << "the FTP server did not start";
    devtest::MountedSettings settings(
        Section("XS", {{"class", "CVideoStore_PinFtpX"},
                       {"ftp.1", "{\"Server=" + server.Url() + "\",\"UsingRMD=FALSE\"}"},
                       {"BitRate", "8000"}})); // a directory's own listed size has frames
    devtest::DeleteDevices cleanup{{"XS"}};
    auto *store = dynamic_cast<CVideoStore_PinFtpX *>(
        CDeviceA::OpenDev("XS", CVideoStore_PinFtpX::GetClassID()));
    ASSERT_NE(store, nullptr);
    ASSERT_GT(store->DevGetClipSize("KEEP"), 0);

    std::atomic<int> deleting{2}, failedDeletes{0}, loads{0}, lostKeep{0};
    const auto deleter = [&](int first) {
        for (int i = first; i < kClips; i += 2)
            if (store->DevDelete(("D" + std::to_string(i)).c_str(), 0) != 1) ++failedDeletes;
        --deleting;
    };
    std::thread a(deleter, 0), b(deleter, 1);
    std::thread loader([&] {
        while (deleting.load() > 0) {
            store->GetClipCache().SetLastLoadTime(0);
            if (store->DevGetClipSize("KEEP") <= 0) ++lostKeep;
            ++loads;
        }
    });
    a.join();
    b.join();
    loader.join();
    EXPECT_EQ(failedDeletes.load(), 0);
    EXPECT_EQ(lostKeep.load(), 0) << "of " << loads.load() << " loads";
    for (int i = 0; i < kClips; ++i) EXPECT_FALSE(tree.Exists("D" + std::to_string(i))) << i;
    EXPECT_TRUE(tree.Exists("KEEP/ft"));
}

INSTANTIATE_TEST_SUITE_P(Servers, PinFtpXStress, ::testing::ValuesIn(ftptest::kFlavors),
                         [](const auto &info) { return ftptest::FlavorName(info.param); });

} // namespace
