// The network time source against the network object of this program: finding the time
// server by URL through the kernel, reading its framework time with the counter
// corrected by half the round trip, and finding the server again after it went away.
#include "NetObjectKit.h"

#include "Kest20/CClock.h"
#include "drivers/model/CTimeSource_Net.h"
#include "tests/Kest20/FakeSettings.h"

#include <gtest/gtest.h>

using namespace nettest;

namespace {

// A network time source initialised from "/etc/tvx/NetClock" with the keys given.
struct NetClock {
    explicit NetClock(const Keys &keys)
    {
        FakeSettings settings;
        for (const auto &[key, value] : keys) settings.Set("/etc/tvx/NetClock", key, value);
        EXPECT_EQ(source.InitInstance(nullptr, "NetClock"), 1);
    }
    CTimeSource_Net source;
};

} // namespace

TEST(NetTimeSource, ReadsTheServersFrameworkTime)
{
    ActiveNet net;
    NetClock clock(Keys{{"Timer Server", "kest://any/TimeServ"}});
    EXPECT_FALSE(clock.source.IsReady());

    DYNAMIC_TIME before{}, after{}, read{};
    glGetTimeEx(&before);
    ASSERT_EQ(clock.source.GetStandardTime(read), 1);
    glGetTimeEx(&after);
    EXPECT_TRUE(clock.source.IsReady());
    EXPECT_EQ(clock.source.GetServerAddr(), net.Addr());
    EXPECT_GE(read.time, before.time);
    EXPECT_LE(read.time, after.time);
    // Taken before the reply came back: at least 10 units and half a round trip before now.
    EXPECT_LE(read.counter, after.counter - 10);
    EXPECT_GE(read.counter, before.counter - (after.counter - before.counter));
}

TEST(NetTimeSource, WithoutAServerItGivesNoTime)
{
    ActiveNet net;
    {
        // No process of the time servers' group.
        NetClock clock(Keys{{"Group", "Kest;NoSuchGroup"}});
        EXPECT_EQ(clock.source.SetTimerServer(nullptr), 0);
        DYNAMIC_TIME read{};
        EXPECT_EQ(clock.source.GetStandardTime(read), 0);
    }
    NetClock clock(Keys{{"Timer Server", "not a url"}});
    EXPECT_EQ(clock.source.SetTimerServer(nullptr), 0);
    EXPECT_EQ(clock.source.SetTimerServer("kest://any/NoSuchServer"), 0);
    EXPECT_FALSE(clock.source.IsReady());
    EXPECT_EQ(clock.source.GetServerText(), "kest://any/NoSuchServer");
}

TEST(NetTimeSource, AServerThatWentAwayIsFoundAgain)
{
    NetClock clock(Keys{{"Timer Server", "kest://any/TimeServ"}});
    DYNAMIC_TIME read{};
    uint16_t otherPort = 0;
    {
        ActiveNet net;
        ASSERT_EQ(clock.source.GetStandardTime(read), 1);
        otherPort = FreePort(SOCK_DGRAM); // not the port the first one holds
    }
    ActiveNet other(Keys{{"Default Port", std::to_string(otherPort)}});
    // The old address no longer answers: the reading fails and the server is dropped.
    EXPECT_EQ(clock.source.GetStandardTime(read), 0);
    EXPECT_FALSE(clock.source.IsReady());
    EXPECT_EQ(clock.source.GetStandardTime(read), 1);
    EXPECT_EQ(clock.source.GetServerAddr(), other.Addr());
}
