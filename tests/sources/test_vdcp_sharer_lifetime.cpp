// A device's engine that another device shares, deleted or closed by its owner on one thread
// while the sharer is inside a request through it on another: the sharer's request ends (cut
// short by the close, or unanswered), its next operations find the engine still there, and
// the last release frees it. Bounded rounds against the simulator, under ASan and TSan.
#include "drivers/sources/vdcp/CVDCP.h"
#include "tests/sources/VdcpTestKit.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

using namespace vdcptest;

namespace {

constexpr int kPort = 47;
constexpr uint32_t kReplyMs = 2000; // a request that lasts seconds unless cut short
constexpr int kRounds = 8;

enum class OwnerDoes { Deletes, Closes };

struct SharerCase {
    const char *name;
    OwnerDoes owner;
};

class VdcpSharerLifetimeTest : public ::testing::TestWithParam<SharerCase> {
protected:
    void SetUp() override { ASSERT_TRUE(line.pty.Valid()); }
    SimLine line{kPort};
};

TEST_P(VdcpSharerLifetimeTest, TheSharedEngineOutlivesItsOwnersRelease)
{
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        line.sim.SetFaults({});
        // Jointly owned, as a device owns its engine.
        auto owner = std::make_shared<CVDCP>();
        owner->SetReplyWait(kReplyMs);
        owner->SetPort(kPort, 1);
        ASSERT_EQ(owner->Open(), 1);
        const auto sharer = std::make_shared<CVDCP>();
        sharer->SetPort(kPort, 1);
        int32_t kind = 0;
        std::shared_ptr<ISerialVDCP> route;
        ASSERT_EQ(sharer->GetSharedPort(route, &kind), 1);
        ASSERT_EQ(route.get(), static_cast<ISerialVDCP *>(owner.get()));
        ASSERT_EQ(kind, 6) << "shared for its channel";

        // The server goes quiet: the sharer's status request waits for its reply.
        line.sim.SetFaults(Silent());
        const size_t asked = line.sim.CountOf(0x30, 0x05);
        std::promise<void> released;
        auto sharing = std::async(std::launch::async, [&, route = std::move(route)]() mutable {
            const int first = route->GetStatus(nullptr, nullptr, nullptr, 0, nullptr);
            released.get_future().wait_for(std::chrono::milliseconds(3 * kReplyMs));
            // The engine is still there to ask, though no longer on the line.
            const int afterwards = route->IsOpen();
            route.reset();
            return std::make_pair(first, afterwards);
        });
        EXPECT_TRUE(line.sim.WaitForCount(0x30, 0x05, asked + 1, kReplyMs));
        const auto started = Clock::now();
        // A device lets its engine go as it is deleted: closed, then released.
        owner->Close();
        if (GetParam().owner == OwnerDoes::Deletes) owner.reset();
        released.set_value();
        ASSERT_EQ(sharing.wait_for(std::chrono::milliseconds(3 * kReplyMs)),
                  std::future_status::ready);
        const auto [first, afterwards] = sharing.get();
        EXPECT_EQ(first, 0) << "unanswered or cut short";
        EXPECT_EQ(afterwards, 0);
        EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(2 * kReplyMs))
            << "the close cut the request short";
    }
}

INSTANTIATE_TEST_SUITE_P(Owner, VdcpSharerLifetimeTest,
                         ::testing::Values(SharerCase{"Deletes", OwnerDoes::Deletes},
                                           SharerCase{"Closes", OwnerDoes::Closes}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
