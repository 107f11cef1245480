// The station clocks as time sources: serial clocks over pseudo-terminals with a simulated clock
// (enough frames, too few, garbage, the kept line and its failure), the raw-block log, creation
// by class name, and the clock card through a simulated driver (filtering, bad readings, missing
// driver or card).
#include "tests/timesrc/TimeSourceTestKit.h"

#include "drivers/model/CTimeSource_CCTV.h"
#include "drivers/model/CTimeSource_CCTV_TJ.h"
#include "drivers/model/ClockCard.h"
#include "tests/kit/SimLine.h"
#include "tests/sim/ClockSim.h"

#include <map>

using namespace timesrc;
using kestsim::ClockSim;

namespace {

constexpr int kPort = 5;

struct SerialClockFixture : ::testing::Test {
    ManualTime time;
};

// The seconds a frame of the simulator's default start can stand for.
bool IsSimSecond(int64_t t, int seconds)
{
    const int64_t base = LocalFileTime(2024, 6, 15, 10, 30, 45, 20);
    return t >= base && t < base + seconds * kSecond && (t - base) % kSecond == 0;
}

} // namespace

TEST_F(SerialClockFixture, ABoardClockGivesItsTimeFromFourFrames)
{
    MountedSettings settings(Section("ClockZ", {{"COM", std::to_string(kPort)}}));
    LogCapture raw("LOG_DEV");
    CTimeSource_CCTV_Z3400 source;
    source.InitInstance(nullptr, "ClockZ");
    EXPECT_EQ(source.GetBaud(), 4800);

    kit::SimLine<ClockSim> station(plat::SerialPortKind::SIO, kPort, ClockSim::Model::Z3400);
    station.Sim().Run({}, 200);
    DYNAMIC_TIME t{};
    EXPECT_EQ(RunWaiting([&] { return source.GetStandardTime(t); }, 1000), 1);
    EXPECT_TRUE(IsSimSecond(t.time, 200));
    EXPECT_TRUE(raw.Has("<DEV=Z3400;R=AA_01_24_06_15_06_10_30_45_>") ||
                raw.Count() > 0); // the first blocks may go before the line opens
    for (const std::string &line : raw.Lines())
        EXPECT_EQ(line.rfind("<DEV=Z3400;R=AA_01_24_06_", 0), 0u) << line;
}

TEST_F(SerialClockFixture, EachBoardModelReadsItsFramesAfterGarbage)
{
    MountedSettings settings(
        Section("ClockC", {{"COM", std::to_string(kPort)}, {"COM_Baud", "19200"}}));
    const std::vector<std::pair<ClockSim::Model, std::function<CTimeSource_CCTV_Serial *()>>>
        models = {
            {ClockSim::Model::SY, [] { return new CTimeSource_CCTV_SY; }},
            {ClockSim::Model::KHC3400, [] { return new CTimeSource_CCTV_KHC3400; }},
            {ClockSim::Model::ST3100, [] { return new CTimeSource_CCTV_ST3100; }},
            {ClockSim::Model::TVZ3100, [] { return new CTimeSource_CCTV_TVZ3100; }},
        };
    for (const auto &[model, make] : models) {
        std::unique_ptr<CTimeSource_CCTV_Serial> source(make());
        source->InitInstance(nullptr, "ClockC");
        kit::SimLine<ClockSim> station(plat::SerialPortKind::SIO, kPort, model);
        // TVZ3100 blocks must come whole: its garbage is no part of them.
        const bool whole = model == ClockSim::Model::TVZ3100;
        station.Sim().Run({}, 200, 60, whole ? kestsim::Bytes{} : kestsim::Bytes{0x13, 0x00});
        DYNAMIC_TIME t{};
        EXPECT_EQ(RunWaiting([&] { return source->GetStandardTime(t); }, 1000), 1)
            << static_cast<int>(model);
        if (model == ClockSim::Model::SY) {
            // The time of day on the framework clock's date, whole seconds.
            EXPECT_EQ(t.time % kSecond, 0);
            EXPECT_GE(t.time, LocalFileTime(2020, 1, 1, 10, 30, 45, 0));
        } else {
            EXPECT_TRUE(IsSimSecond(t.time, 200)) << static_cast<int>(model);
        }
    }
}

TEST_F(SerialClockFixture, TwoFramesAreNotEnough)
{
    MountedSettings settings(Section("ClockZ", {{"COM", std::to_string(kPort)}}));
    CTimeSource_CCTV_Z3400 source;
    source.InitInstance(nullptr, "ClockZ");
    kit::SimLine<ClockSim> station(plat::SerialPortKind::SIO, kPort, ClockSim::Model::Z3400);
    DYNAMIC_TIME t{};
    auto result = std::async(std::launch::async, [&] { return source.GetStandardTime(t); });
    const devtest::FinishStepping resultEnds(result);
    // Past the rest before the open, then two frames, then silence until the rounds run out.
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1));
    plat::TestClock::Advance(1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    station.Sim().Run({}, 2);
    station.Sim().Join();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const uint32_t start = plat::GetTickCount();
    EXPECT_EQ(RunWaiting([&] { return result.get(); }, 4000), 0);
    EXPECT_GE(plat::TickElapsed(start), 13u * 4000u);
    EXPECT_TRUE(IsSimSecond(t.time, 2)); // the last frame taken
}

TEST_F(SerialClockFixture, AKeptLineStaysOpenAndReportsAPortThatWillNotOpen)
{
    MountedSettings settings(Section("ClockB", {{"COM", std::to_string(kPort)}}));
    LogCapture devLog("#LOG_DEV");
    CTimeSource_CCTV_BJSX source;
    source.InitInstance(nullptr, "ClockB");
    DYNAMIC_TIME t{};
    // No line behind COM5 yet.
    {
        EnvValue unbound("KEST_COM5", "/nonexistent/tty");
        EXPECT_EQ(RunWaiting([&] { return source.GetStandardTime(t); }, 1000), 0);
    }
    EXPECT_TRUE(devLog.Has("ClockB : GetDev failure"));

    kit::SimLine<ClockSim> station(plat::SerialPortKind::COM, kPort, ClockSim::Model::BJSX);
    station.Sim().Run({}, 400);
    EXPECT_EQ(RunWaiting([&] { return source.GetStandardTime(t); }, 1000), 1);
    // The hour, minute and second are the clock's, the date the computer's.
    EXPECT_EQ(CFileTime(t.time).GetAsDate().GetTime(), LocalFileTime(2020, 1, 1, 0, 0, 0, 0));
    // The second reading finds the line open: no rest before it.
    const uint32_t before = plat::GetTickCount();
    EXPECT_EQ(RunWaiting([&] { return source.GetStandardTime(t); }, 1000, 1000), 1);
    EXPECT_LT(plat::TickElapsed(before), 1000u);
    // An hour on, the line is closed and opened again.
    plat::TestClock::Advance(CTimeSource_CCTV_Serial::kReopenMs);
    EXPECT_EQ(RunWaiting([&] { return source.GetStandardTime(t); }, 1000), 1);
    EXPECT_GE(plat::TickElapsed(before), CTimeSource_CCTV_Serial::kReopenMs + 2000);
}

TEST(StationClocks, EveryClockIsCreatedByClassNameAsATimeSource)
{
    ManualTime time;
    for (const char *name :
         {"CTimeSource_CCTV_SY", "CTimeSource_CCTV_Z3400", "CTimeSource_CCTV_KHC3400",
          "CTimeSource_CCTV_BJSX", "CTimeSource_CCTV_MCG", "CTimeSource_CCTV_ST3100",
          "CTimeSource_CCTV_TVZ3100", "CTimeSource_CCTV_TJ", "CTimeSource_SNTP",
          "CTimeSource_GPS"}) {
        iRtc *rtc = iRtc::vFind(name, iRtc::FIND_CLASSNAME);
        ASSERT_NE(rtc, nullptr) << name;
        EXPECT_TRUE(rtc->IsKindOf(CTimeSourceA::GetClassID())) << name;
        void *object = rtc->CreateInstance(nullptr);
        ASSERT_NE(object, nullptr) << name;
        EXPECT_EQ(rtc->DeleteInstance(object), 1);
    }
}

namespace {

// A clock card behind a simulated driver: registers 0 to 3 hold frames, seconds, minutes and
// hours in BCD, latched by writing 0xFF to register 0; the time runs with the manual tick.
class SimCardDriver : public IClockCardDriver {
public:
    int Open(bool write) override
    {
        if (!installed) return -1;
        return write ? 2 : 1;
    }
    int IoControl(int handle, uint32_t code, const void *in, size_t inSize, void *out,
                  size_t outSize) override
    {
        const auto *bytes = static_cast<const uint8_t *>(in);
        const uint32_t reg = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | bytes[3] << 24;
        std::lock_guard<std::mutex> lk(lock);
        if (code == kWriteCode && handle == 2 && inSize == 5) {
            if (reg == 0 && bytes[4] == 0xFF) Latch();
            return 1;
        }
        if (code != kReadCode || handle != 1 || inSize != 4 || outSize != 1) return 0;
        ++reads;
        *static_cast<uint8_t *>(out) =
            !present ? 0xFF : (override_.count(reg) ? override_[reg] : latched[reg % 4]);
        return 1;
    }
    void Close(int) override {}

    void Latch()
    {
        const int64_t frames = startFrames + plat::TickElapsed(startTick) * 25 / 1000;
        const int64_t f = frames % 25, s = frames / 25 % 60, m = frames / 1500 % 60,
                      h = frames / 90000 % 24;
        const auto bcd = [](int64_t v) { return static_cast<uint8_t>(v / 10 << 4 | v % 10); };
        latched = {bcd(f), bcd(s), bcd(m), bcd(h)};
    }

    std::mutex lock;
    bool installed = true;
    bool present = true;
    std::map<uint32_t, uint8_t> override_;
    int reads = 0;
    int64_t startFrames = (10 * 3600 + 30 * 60 + 45) * 25;
    uint32_t startTick = plat::GetTickCount();
    std::array<uint8_t, 4> latched{};
};

struct CardFixture : ::testing::Test {
    CardFixture() { previous = glReplaceClockCardDriver(card); }
    ~CardFixture() override { glReplaceClockCardDriver(previous); }
    ManualTime time;
    std::shared_ptr<SimCardDriver> card = std::make_shared<SimCardDriver>();
    std::shared_ptr<IClockCardDriver> previous;
    LogCapture devLog{"LOG_DEV"};
};

} // namespace

TEST_F(CardFixture, TheCardTimeOfDayLandsOnTheClockDateWithDelta)
{
    MountedSettings settings(
        Section("TJ", {{"Start Level", "9"}, {"Std Level", "7"}, {"Delta", "200"}}));
    CTimeSource_CCTV_TJ source;
    source.InitInstance(nullptr, "TJ");
    EXPECT_EQ(source.GetStartLevel(), 4);
    EXPECT_EQ(source.GetStdLevel(), 4);

    MountedSettings level2(Section("TJ2", {}));
    CTimeSource_CCTV_TJ defaults;
    defaults.InitInstance(nullptr, "TJ2");
    DYNAMIC_TIME t{};
    card->startTick = plat::GetTickCount();
    ASSERT_EQ(RunWaiting([&] { return defaults.GetStandardTime(t); }, 2, 1), 1);
    // The filtered value stands for the moment the reading ended; 10:30:45 plus what passed,
    // plus the default delta of 300 ms.
    const int64_t elapsedFrames = plat::TickElapsed(card->startTick) * 25 / 1000;
    const int64_t expected =
        LocalFileTime(2020, 1, 1, 10, 30, 45, 0) + elapsedFrames * 40 * kMs + 300 * kMs;
    EXPECT_NEAR(static_cast<double>(t.time), static_cast<double>(expected), 2 * 40 * kMs);
    EXPECT_EQ(defaults.GetReadCount(), 1);
}

TEST_F(CardFixture, BadReadingsAreRefused)
{
    CClockCard card0(card);
    ASSERT_TRUE(card0.Open());
    timecode_t tc;
    EXPECT_TRUE(card0.ReadTimecode(tc));
    card->override_[0] = 0x25; // frame 25
    EXPECT_FALSE(card0.ReadTimecode(tc));
    card->override_ = {{2, 0x60}}; // minute 60
    EXPECT_FALSE(card0.ReadTimecode(tc));
    card->override_ = {{1, 0x1A}}; // not a decimal digit
    EXPECT_FALSE(card0.ReadTimecode(tc));
}

TEST(ClockCardFilter, AgreeingReadingsWinAndScatteredOnesFail)
{
    ManualTime time;
    // Level 1: twelve readings, one far out; the agreeing upper half wins.
    std::vector<int32_t> readings = {1000, 1001, 1000, 1002, 5000, 1001,
                                     1000, 1001, 1002, 1000, 1001, 1000};
    size_t next = 0;
    timecode_t result;
    auto reader = [&](timecode_t &tc) {
        tc = readings[next++ % readings.size()];
        return true;
    };
    EXPECT_TRUE(RunWaiting([&] { return FilteredTimecode(1, reader, result); }, 2, 1));
    EXPECT_GE(result.nFrames, 1000);
    EXPECT_LE(result.nFrames, 1002 + 2);
    // Readings that never agree within 10 frames fail, as does a reader that keeps failing.
    for (size_t i = 0; i < readings.size(); ++i) readings[i] = static_cast<int32_t>(i * 100);
    EXPECT_FALSE(RunWaiting([&] { return FilteredTimecode(1, reader, result); }, 2, 1));
    auto failing = [](timecode_t &) { return false; };
    EXPECT_FALSE(RunWaiting([&] { return FilteredTimecode(1, failing, result); }, 2, 1));
}

TEST_F(CardFixture, AMissingDriverOrCardIsLoggedAndGivesNoTime)
{
    CTimeSource_CCTV_TJ source;
    DYNAMIC_TIME t{};
    card->installed = false;
    EXPECT_EQ(source.GetStandardTime(t), 0);
    EXPECT_TRUE(devLog.Has("DEV=CLOCK;CCTV(TJ) Clock Driver not installed"));
    card->installed = true;
    card->present = false;
    EXPECT_EQ(source.GetStandardTime(t), 0);
    EXPECT_TRUE(devLog.Has("DEV=CLOCK;CCTV(TJ) Card not installed"));
    EXPECT_EQ(card->reads, 3 + 50);
}
