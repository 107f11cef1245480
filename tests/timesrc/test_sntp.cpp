// The network time client: timestamps and their calendar conversions, delay and offset from a
// reply's bytes, queries against a server on 127.0.0.1 (answer, silence until the time-out,
// nobody listening, unknown host), and the SNTP time source on top.
#include "tests/timesrc/TimeSourceTestKit.h"

#include "drivers/model/CTimeSource_SNTP.h"
#include "drivers/model/SntpClient.h"
#include "platform/Process.h"
#include "tests/LocalhostName.h"
#include "tests/sim/SntpSim.h"

using namespace timesrc;

namespace {

NtpTimestamp Seconds(double s)
{
    return NtpTimestamp{} + s;
}

} // namespace

TEST(NtpTimestamp, CalendarConversionsBothWays)
{
    NtpTimestamp t = NtpTimestamp::FromSystemTime(SystemTime(1900, 1, 1, 0, 0, 0, 0));
    EXPECT_EQ(t.seconds, 0u);
    EXPECT_EQ(t.fraction, 0u);
    EXPECT_EQ(NtpTimestamp::FromSystemTime(SystemTime(1970, 1, 1, 0, 0, 0, 0)).seconds,
              2208988800u);

    t = NtpTimestamp::FromSystemTime(SystemTime(2024, 2, 29, 23, 59, 58, 500));
    EXPECT_EQ(t.fraction, 1u << 31);
    const plat::SYSTEMTIME back = t.ToSystemTime();
    EXPECT_EQ(back.wYear, 2024);
    EXPECT_EQ(back.wMonth, 2);
    EXPECT_EQ(back.wDay, 29);
    EXPECT_EQ(back.wDayOfWeek, 4); // a Thursday
    EXPECT_EQ(back.wHour, 23);
    EXPECT_EQ(back.wMinute, 59);
    EXPECT_EQ(back.wSecond, 58);
    EXPECT_EQ(back.wMilliseconds, 500);
    // Every millisecond survives the round trip, the last half one included.
    for (int ms = 0; ms < 1000; ++ms)
        ASSERT_EQ(NtpTimestamp::FromSystemTime(SystemTime(2000, 1, 1, 0, 0, 0, ms))
                      .ToSystemTime()
                      .wMilliseconds,
                  ms);
    NtpTimestamp last;
    last.fraction = 0xFFFFFFFF;
    EXPECT_EQ(last.ToSystemTime().wMilliseconds, 999);
}

TEST(NtpTimestamp, ArithmeticAndWireOrder)
{
    const NtpTimestamp a = Seconds(10.75);
    EXPECT_EQ(a.seconds, 10u);
    EXPECT_EQ(a.fraction, 3u << 30);
    EXPECT_DOUBLE_EQ(Seconds(10.25) - a, -0.5);
    EXPECT_EQ((a + -0.25).fraction, 1u << 31);
    EXPECT_EQ((a + 0.5).seconds, 11u);
    uint8_t wire[8];
    NtpTimestamp{0x01020304, 0x05060708}.Write(wire);
    EXPECT_EQ(std::vector<uint8_t>(wire, wire + 8), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(NtpTimestamp::Read(wire).fraction, 0x05060708u);
}

TEST(SntpPackets, RequestAndReplyDecoding)
{
    const auto request = sntp::EncodeRequest(Seconds(5));
    EXPECT_EQ(request[0], 0x1B);
    EXPECT_EQ(request[43], 5);
    for (size_t i = 1; i < 40; ++i) ASSERT_EQ(request[i], 0) << i;

    uint8_t reply[sntp::kReplySize] = {};
    reply[0] = 0xDC; // leap indicator 3
    reply[1] = 2;
    Seconds(10.0).Write(reply + 24);
    Seconds(10.5).Write(reply + 32);
    Seconds(10.6).Write(reply + 40);
    SntpResult result;
    ASSERT_TRUE(sntp::DecodeReply(reply, 48, Seconds(10.2), result));
    EXPECT_EQ(result.leapIndicator, 3);
    EXPECT_EQ(result.stratum, 2);
    EXPECT_NEAR(result.delay, 0.1, 1e-6);
    EXPECT_NEAR(result.offset, 0.45, 1e-6);
    EXPECT_FALSE(sntp::DecodeReply(reply, 47, Seconds(10.2), result));
}

TEST(SntpClient, AServerAnswerGivesItsOffset)
{
    ManualTime time;
    kestsim::SntpSim server;
    ASSERT_TRUE(server.Valid());
    server.SetOffset(90 * kSecond + 250 * kMs);
    SntpResult result;
    ASSERT_EQ(CSntpClient().Query("127.0.0.1", server.Port(), result), 1);
    EXPECT_EQ(result.stratum, 2);
    EXPECT_NEAR(result.offset, 90.25, 0.002);
    EXPECT_NEAR(result.delay, 0.0, 0.002);
    EXPECT_EQ(server.Requests(), 1);
    if (!LocalhostInHostsFile()) GTEST_SKIP() << kNoLocalhost;
    EXPECT_EQ(CSntpClient().Query("localhost", server.Port(), result), 1);
}

TEST(SntpClient, SilenceTimesOutAfterFiveSeconds)
{
    ManualTime time;
    kestsim::SntpSim server;
    server.SetSilent(true);
    SntpResult result;
    plat::SetLastError(0);
    const uint32_t start = plat::GetTickCount();
    auto query = [&] {
        const int ok = CSntpClient().Query("127.0.0.1", server.Port(), result);
        return std::make_pair(ok, plat::GetLastError());
    };
    auto pending = std::async(std::launch::async, query);
    // Steps of 100 ms, each given time for the client's wait to look at the clock.
    while (pending.wait_for(std::chrono::milliseconds(60)) != std::future_status::ready)
        plat::TestClock::Advance(100);
    const auto [ok, error] = pending.get();
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(error, CSntpClient::kTimeoutError);
    EXPECT_GE(plat::TickElapsed(start), 5000u);
    EXPECT_LE(plat::TickElapsed(start), 5200u);
}

TEST(SntpClient, NobodyListeningOrAnUnknownHostFails)
{
    uint16_t closedPort;
    {
        kestsim::SntpSim gone;
        closedPort = gone.Port();
    }
    SntpResult result;
    // The refusal comes back at once; its empty buffer is no time.
    EXPECT_EQ(CSntpClient(2000).Query("127.0.0.1", closedPort, result), 0);
    EXPECT_EQ(CSntpClient(2000).Query("", closedPort, result), 0);
    // A name the resolver refuses without asking a name server.
    EXPECT_EQ(CSntpClient(2000).Query("no such host", closedPort, result), 0);
}

TEST(SntpTimeSource, SetsTheClockToTheServerTime)
{
    ManualTime time;
    kestsim::SntpSim server;
    server.SetOffset(20 * kSecond);
    MountedSettings settings(Section("Ntp", {{"Server", "127.0.0.1"}}));
    CTimeSource_SNTP source;
    source.InitInstance(nullptr, "Ntp");
    EXPECT_EQ(std::string(source.GetServer()), "127.0.0.1");
    source.SetServerPort(server.Port());
    DYNAMIC_TIME t{};
    ASSERT_EQ(source.GetStandardTime(t), 1);
    EXPECT_NEAR(static_cast<double>(t.time - plat::GetSystemTimeAsFileTime()), 20.0 * kSecond,
                20 * kMs);

    server.SetSilent(true);
    EXPECT_EQ(RunAdvancing([&] { return source.GetStandardTime(t); }), 0);
}
