// The GPI card class over the simulated card: channel numbering, opening and closing, the
// driver's codes, and the receive thread's debounce.
#include "tests/gpi/GpiTestKit.h"

#include "gpi/CGPICard_PinioTech.h"

#include <cstdlib>
#include <filesystem>

using namespace gpitest;

namespace {

// "/etc/dev/GPIReceive" for the object's life.
class ReceiveSettings {
public:
    explicit ReceiveSettings(const std::string &keys)
    {
        std::string pattern = ::testing::TempDir() + "kest_gpi_XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd >= 0) close(fd);
        m_file = pattern;
        std::ofstream(m_file, std::ios::binary | std::ios::trunc) << "[GPIReceive]\r\n" << keys;
        m_provider = std::make_unique<CConfigFileAccessX>(m_file.c_str());
        m_provider->Mount("/etc/dev");
    }
    ~ReceiveSettings()
    {
        m_provider.reset();
        std::filesystem::remove(m_file);
    }

private:
    std::string m_file;
    std::unique_ptr<CConfigFileAccessX> m_provider;
};

// The framework times at which one log text of "LOG_DEV" was posted.
class TimedCapture : public CLogReader {
public:
    explicit TimedCapture(std::string text)
        : CLogReader("LOG_DEV", LOG_MODE_EXACT, SubscribeLater{}), m_text(text)
    {
        Subscribe();
    }
    ~TimedCapture() override { Unsubscribe(); }
    int OnRecvLog(const char *, const char *text, const char *) override
    {
        if (m_text != text) return 0;
        std::lock_guard<std::mutex> lk(m_lock);
        m_times.push_back(GpiTest::Now());
        return 1;
    }
    std::vector<int64_t> Times()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_times;
    }

private:
    std::string m_text;
    std::mutex m_lock;
    std::vector<int64_t> m_times;
};

// Exact readers of one type: only the first one registered is served, so a test holds one.
class GpiCardTest : public GpiTest {};

} // namespace

TEST_F(GpiCardTest, ChannelsMapToBitsOfPortsAndReadBack)
{
    CGPICard_PinioTech card;
    ASSERT_EQ(card.SetChannelState(9, 5), 1); // any nonzero state writes 1
    EXPECT_EQ(DioSim_GetOutput(0, 1, 1), 1);
    uint16_t state = 0;
    ASSERT_EQ(card.GetChannelState(9, state), 1);
    EXPECT_EQ(state, 1);
    ASSERT_EQ(card.SetChannelState(9, 0), 1);
    EXPECT_EQ(DioSim_GetOutput(0, 1, 1), 0);

    ASSERT_EQ(card.SetChannelState(11, 1), 1);
    EXPECT_EQ(DioSim_GetOutput(0, 1, 3), 1);
    uint16_t byte = 0;
    EXPECT_EQ(card.GetCurrentByteState(1, byte), 0u);
    EXPECT_EQ(byte, 0x08);

    // Reads take the input lines, not the outputs.
    DioSim_SetInput(0, 3, 0, 1);
    DioSim_SetInput(0, 3, 6, 1);
    ASSERT_EQ(card.ReadChannelState(3, byte), 1);
    EXPECT_EQ(byte, 0x41);
    ASSERT_EQ(card.ReadChannelState(3, 6, state), 1);
    EXPECT_EQ(state, 1);
    ASSERT_EQ(card.ReadChannelState(1, 3, state), 1);
    EXPECT_EQ(state, 0);

    EXPECT_EQ(card.WriteByte(2, 0x0F, 0xA5), 0u);
    EXPECT_EQ(card.GetCurrentByteState(2, byte), 0u);
    EXPECT_EQ(byte, 0x05);
}

TEST_F(GpiCardTest, PortCallsNeitherOpenTheCardNorForgetTheirLastError)
{
    CGPICard_PinioTech card;
    EXPECT_EQ(card.WriteBit(0, 0, 1), DRV_ERR_INVALID_HANDLE);
    EXPECT_FALSE(card.IsOpen());
    EXPECT_EQ(card.GetLastError(), DRV_ERR_INVALID_HANDLE);
    ASSERT_EQ(card.OpenDevice(), 1);
    EXPECT_EQ(card.WriteBit(0, 0, 1), 0u);
    EXPECT_EQ(card.GetLastError(), DRV_ERR_INVALID_HANDLE); // success keeps the last failure
    uint16_t value = 0;
    EXPECT_EQ(card.ReadPortByte(DRV_PORTS, value), DRV_ERR_INVALID_PORT);
    EXPECT_EQ(card.GetLastError(), DRV_ERR_INVALID_PORT);
    EXPECT_EQ(card.SetChannelState(DRV_PORTS * 8, 1), 0);
    EXPECT_STREQ(CGPICard_PinioTech::GetErrorMessage(DRV_ERR_INVALID_PORT), "Invalid port number");
}

TEST_F(GpiCardTest, OpenAndCloseFollowTheDriver)
{
    devtest::LogCapture log("LOG_DEV");
    CGPICard_PinioTech card;
    EXPECT_EQ(card.CloseDevice(), 1); // not open
    ASSERT_EQ(card.OpenDevice(), 1);
    EXPECT_EQ(card.OpenDevice(), 1);
    EXPECT_EQ(DioSim_OpenHandles(), 1u);

    DioSim_Fail(DIOSIM_CLOSE, DRV_ERR_DEVICE_FAULT);
    EXPECT_EQ(card.CloseDevice(), 0);
    EXPECT_TRUE(card.IsOpen());
    DioSim_Fail(DIOSIM_CLOSE, 0);
    EXPECT_EQ(card.CloseDevice(), 1);
    EXPECT_FALSE(card.IsOpen());
    EXPECT_EQ(DioSim_OpenHandles(), 0u);

    DioSim_Fail(DIOSIM_OPEN, DRV_ERR_DEVICE_FAULT);
    EXPECT_EQ(card.OpenDevice(), 0);
    EXPECT_TRUE(log.Has("DEV=GPI;Open Device Fail"));

    // Two objects hold handles of their own; the destructor closes its card.
    DioSim_Fail(DIOSIM_OPEN, 0);
    {
        CGPICard_PinioTech other;
        ASSERT_EQ(card.OpenDevice(), 1);
        ASSERT_EQ(other.OpenDevice(), 1);
        EXPECT_EQ(DioSim_OpenHandles(), 2u);
    }
    EXPECT_EQ(DioSim_OpenHandles(), 1u);
}

TEST_F(GpiCardTest, CopiesShareTheOpenCard)
{
    CGPICard_PinioTech card;
    ASSERT_EQ(card.OpenDevice(), 1);
    CGPICard_PinioTech copy(card);
    EXPECT_TRUE(copy.IsOpen());
    EXPECT_EQ(copy.WriteBit(0, 2, 1), 0u);
    EXPECT_EQ(DioSim_GetOutput(0, 0, 2), 1);
    EXPECT_EQ(DioSim_OpenHandles(), 1u);
}

// The card list is kept once loaded, so these run in a fresh process of their own.
TEST(GpiCardList, WithoutACardEveryOpenFailsAndTheListIsAskedForAgain)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            devtest::LogCapture log("LOG_DEV");
            DioSim_Reset(0);
            CGPICard_PinioTech card;
            int failures = card.OpenDevice() + card.OpenDevice();
            failures += log.Lines() != std::vector<std::string>(2, "DEV=GPI;GetDeviceNumber fail");
            DioSim_Reset(2);
            DioSim_Fail(DIOSIM_GETLIST, DRV_ERR_DEVICE_FAULT);
            failures += card.OpenDevice();
            failures += !log.Has("DEV=GPI;GetDeviceList fail");
            DioSim_Fail(DIOSIM_GETLIST, 0);
            failures += card.OpenDevice() != 1;
            std::exit(failures);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(GpiCardTest, ReceiveThreadLogsALineAtMostOnceEveryThreeSeconds)
{
    ReceiveSettings settings("nChannel=9\r\n");
    TimedCapture log(" Dev = GPI ");
    CGPICard_PinioTech card, driver;
    const int waiters = plat::TestClock::TimedWaiters();
    ASSERT_EQ(card.Start(), 1);
    EXPECT_EQ(card.Start(), 0);
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(waiters + 1));

    // The line toggles every second, half-way between polls.
    const int64_t start = Now();
    for (int second = 0; second < 10; ++second) {
        plat::TestClock::Advance(500);
        driver.SetChannelState(9, second % 2 == 0 ? 1 : 0);
        plat::TestClock::Advance(500);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(waiters + 1));
        if (second == 0) {
            ASSERT_TRUE(devtest::Eventually([&] { return log.Times().size() == 1; }));
        }
    }
    const std::vector<int64_t> seen = log.Times();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_LE(seen[0] - start, devtest::kSecond + 100 * devtest::kMs); // the first at once
    for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i] - seen[i - 1], 3 * devtest::kSecond);
    EXPECT_LE(seen.size(), 3u);

    EXPECT_EQ(devtest::RunAdvancing([&] { return card.Stop(); }), 1);
}

TEST_F(GpiCardTest, StopWithoutAThreadPausesTwoSeconds)
{
    CGPICard_PinioTech card;
    const uint32_t before = plat::GetTickCount();
    EXPECT_EQ(devtest::RunAdvancing([&] { return card.Stop(); }), 1);
    EXPECT_GE(plat::TickElapsed(before), 2000u);
}

TEST_F(GpiCardTest, ReceiveThreadEndsWhenTheCardOrItsEventFails)
{
    devtest::LogCapture log("LOG_DEV");
    ReceiveSettings settings("Interrupt=TRUE\r\n");
    CGPICard_PinioTech card;
    DioSim_Fail(DIOSIM_EVENT, DRV_ERR_EVENT_TYPE);
    ASSERT_EQ(card.Start(), 1);
    ASSERT_TRUE(devtest::Eventually([&] { return log.Has(" Dev = GPI InvalidEventType"); }));
    EXPECT_EQ(devtest::RunAdvancing([&] { return card.Stop(); }), 1);

    DioSim_Reset(1);
    DioSim_Fail(DIOSIM_OPEN, DRV_ERR_DEVICE_FAULT);
    CGPICard_PinioTech closed;
    ASSERT_EQ(closed.Start(), 1);
    ASSERT_TRUE(devtest::Eventually([&] { return log.Has("Dev=GPI Open failed"); }));
    EXPECT_EQ(devtest::RunAdvancing([&] { return closed.Stop(); }), 1);
}

TEST_F(GpiCardTest, ReceiveThreadPausesAfterAFailedEventWait)
{
    ReceiveSettings settings("Interrupt=TRUE\r\n");
    CGPICard_PinioTech card;
    DioSim_Fail(DIOSIM_CHECK, DRV_ERR_DEVICE_FAULT);
    ASSERT_EQ(card.Start(), 1);
    ASSERT_TRUE(devtest::AdvanceUntil([] { return DioSim_Calls(DIOSIM_CHECK) >= 1; }, 100));
    const uint32_t before = DioSim_Calls(DIOSIM_CHECK);
    for (int i = 0; i < 30; ++i) devtest::StepClock(100);
    // A wait that fails at once is followed by the rest of its second: some four in three.
    EXPECT_LE(DioSim_Calls(DIOSIM_CHECK) - before, 4u);
    EXPECT_EQ(devtest::RunAdvancing([&] { return card.Stop(); }), 1);
}
