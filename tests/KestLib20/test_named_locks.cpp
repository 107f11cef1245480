// Named locks: one holder a name (without case) while other names go on, recursion on the
// holding thread, and a circle of two threads refused instead of waited for.
#include "KestLib20/CNamedLocks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <optional>
#include <thread>

namespace {

constexpr auto kBound = std::chrono::seconds(10);

TEST(NamedLocks, OneHolderANameWithoutCaseWhileOtherNamesGoOn)
{
    CNamedLocks locks;
    std::optional<CNamedLocks::Hold> held;
    held.emplace(locks, "Vtr1");
    ASSERT_TRUE(held->Held());
    {
        CNamedLocks::Hold again(locks, "VTR1");
        EXPECT_TRUE(again.Held()) << "the holding thread takes it again";
    }
    auto other = std::async(std::launch::async, [&] {
        CNamedLocks::Hold hold(locks, "vtr2");
        return hold.Held();
    });
    ASSERT_EQ(other.wait_for(kBound), std::future_status::ready) << "another name waits";
    EXPECT_TRUE(other.get());

    std::atomic<bool> taken{false};
    auto same = std::async(std::launch::async, [&] {
        CNamedLocks::Hold hold(locks, "vtr1");
        taken = true;
        return hold.Held();
    });
    EXPECT_EQ(same.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    EXPECT_FALSE(taken) << "the same name in another case waits for the holder";
    held.reset();
    ASSERT_EQ(same.wait_for(kBound), std::future_status::ready);
    EXPECT_TRUE(same.get());
}

TEST(NamedLocks, TheHoldThatWouldCloseACircleIsRefused)
{
    // Each thread holds one name and then asks for the other's: whichever asks second would
    // wait for a thread that waits for it, and is told instead.
    CNamedLocks locks;
    std::promise<void> aHolds, bHolds;
    std::atomic<int> refused{0};
    auto a = std::async(std::launch::async, [&] {
        CNamedLocks::Hold x(locks, "X");
        aHolds.set_value();
        bHolds.get_future().wait();
        CNamedLocks::Hold y(locks, "Y");
        refused += !y.Held();
    });
    aHolds.get_future().wait();
    auto b = std::async(std::launch::async, [&] {
        CNamedLocks::Hold y(locks, "y");
        bHolds.set_value();
        CNamedLocks::Hold x(locks, "x");
        refused += !x.Held();
    });
    ASSERT_EQ(a.wait_for(kBound), std::future_status::ready) << "the circle hangs";
    ASSERT_EQ(b.wait_for(kBound), std::future_status::ready) << "the circle hangs";
    EXPECT_EQ(refused, 1);
    CNamedLocks::Hold after(locks, "X");
    EXPECT_TRUE(after.Held()) << "both names free again";
}

} // namespace
