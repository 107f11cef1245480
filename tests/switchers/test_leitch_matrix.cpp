// The Leitch matrix drivers over pseudo-terminals with simulated matrices: the terminal
// protocol's lines byte for byte (preset and execute, take of the preset, the FFFF preset
// destination, the status character), the analogue keywords, and the Panacea line put out a
// character at a time, 10 ms apart on the manual clock; and the failures: a hung-up line, a
// port the board library does not hold, a missing put-character entry.
#include "tests/switchers/LeitchTestKit.h"

#include "drivers/switchers/leitch/CVideoSwitch_Leitch.h"
#include "drivers/switchers/leitch/CVideoSwitch_LeitchAnalog.h"
#include "drivers/switchers/leitch/CVideoSwitch_LeitchPanacea.h"

#include <future>
#include <thread>

using namespace devtest;
using namespace leitchtest;
using swtest::BaseEntries;
using swtest::Entries;
using swtest::Init;

namespace {

constexpr auto kCom = plat::SerialPortKind::COM;
constexpr auto kSio = plat::SerialPortKind::SIO;

} // namespace

TEST(LeitchLine, PresetExecuteAndTakesByteForByte)
{
    SimLine line(kCom, 80, Model::Terminal);
    MountedSettings settings(Section("LM", {{"COM", "80"}, {"PGM", "1"}, {"PST", "2"}}));
    LogCapture log("LOG_DEV");
    CVideoSwitch_Leitch sw;
    ASSERT_TRUE(Init(sw, "LM"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MATRIX_LEITCH"));
    EXPECT_EQ(sw.GetChannels(), 2);

    EXPECT_EQ(sw.DevDirectTake(1, 11), 1) << "the first take opens the device";
    EXPECT_TRUE(line.Got("@ X:0123456789/1,A\r"));
    EXPECT_EQ(sw.DevPreset(1, 5), 1);
    EXPECT_TRUE(line.Got("@ P:0123456789/2,4\r@ B:E\r"));
    EXPECT_EQ(sw.DevTake(2), 1) << "the channel is not used";
    EXPECT_TRUE(line.Got("@ X:0123456789/1,4\r"));
    EXPECT_EQ(sw.CrossPoint(7, 16), 1);
    EXPECT_TRUE(line.Got("@ X:0123456789/7,F\r"));
    EXPECT_EQ(BaseEntries(sw, 1), (Entries{0, 0})) << "the base's entries are left alone";
    EXPECT_EQ(sw.DevIsOpen(), 0) << "the manager reopens through activation";

    const std::pair<char, const char *> statuses[] = {
        {'7', "@ ? 7\r"}, {'A', "@ ?\r"}, {' ', "@ ? 0\r"}};
    for (const auto &[c, text] : statuses) {
        EXPECT_EQ(sw.Protocol().SendStatus(c), 1);
        EXPECT_TRUE(line.Got(text)) << c;
    }
    EXPECT_TRUE(Eventually([&] { return log.Has("DEV=Matrix;@ P:0123456789/2,4\r (Success) "); }));
    EXPECT_TRUE(Eventually([&] { return sw.Protocol().GetReplyCount() >= 1; }))
        << "the status lines the matrix answered are noted";
}

TEST(LeitchLine, PresetDestinationRules)
{
    SimLine line(kCom, 81, Model::Terminal);
    MountedSettings settings(Section("LNoPst", {{"COM", "81"}, {"PGM", "3"}}) +
                             Section("LSame", {{"COM", "81"}, {"PGM", "4"}, {"PST", "4"}}));
    {
        CVideoSwitch_Leitch sw;
        ASSERT_TRUE(Init(sw, "LNoPst"));
        EXPECT_EQ(sw.GetPresetDestination(), 0xFFFF) << "no key: the low 16 bits of -1";
        EXPECT_EQ(sw.DevPreset(1, 3), 0) << "no activation: the port is not open yet";
        ASSERT_EQ(sw.DevDirectTake(1, 1), 1);
        EXPECT_TRUE(line.Got("@ X:0123456789/3,0\r"));
        EXPECT_EQ(sw.DevPreset(1, 3), 1);
        EXPECT_TRUE(line.Got("@ P:0123456789/FFFF,2\r@ B:E\r"));
    }
    CVideoSwitch_Leitch same;
    ASSERT_TRUE(Init(same, "LSame"));
    ASSERT_EQ(same.DevDirectTake(1, 2), 1);
    EXPECT_TRUE(line.Got("@ X:0123456789/4,1\r"));
    EXPECT_EQ(same.DevPreset(1, 9), 0);
    EXPECT_EQ(same.GetPresetSource(), 8) << "kept even so";
    EXPECT_EQ(same.DevTake(1), 1);
    EXPECT_TRUE(line.Got("@ X:0123456789/4,8\r")) << "nothing went out for the preset";
}

TEST(LeitchLine, RepliesInPiecesAfterNoiseAndAHangUp)
{
    SimLine line(kCom, 82, Model::Terminal);
    MountedSettings settings(Section("LM", {{"COM", "82"}, {"PGM", "1"}, {"PST", "2"}}));
    LogCapture log("LOG_DEV");
    CVideoSwitch_Leitch sw;
    ASSERT_TRUE(Init(sw, "LM"));
    kestsim::Faults shaped;
    shaped.garbage = ToBytes("\r\n>");
    shaped.chunkSize = 3;
    shaped.gapMs = 5;
    line.Peer().SetFaults(shaped);
    ASSERT_EQ(sw.DevDirectTake(1, 3), 1);
    EXPECT_TRUE(Eventually([&] { return sw.Protocol().GetReplyCount() >= 1; }));
    EXPECT_TRUE(line.Got("@ X:0123456789/1,2\r"));

    kestsim::Faults hangUp;
    hangUp.hangUp = true;
    line.Peer().SetFaults(hangUp);
    EXPECT_EQ(sw.DevTake(1), 0) << "a write the line does not take fails";
    EXPECT_TRUE(Eventually([&] { return log.Has("DEV=Matrix;@ X:0123456789/1,0\r (Failed) "); }));
}

TEST(LeitchAnalogLine, KeywordCommandsAndTheirLogs)
{
    SimLine line(kSio, 30, Model::Analog);
    MountedSettings settings(Section("LA", {{"COM", "30"}}));
    LogCapture log("LOG_DEV");
    CVideoSwitch_Leitch_Analog sw;
    ASSERT_TRUE(Init(sw, "LA"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MATRIX_LEITCH"));

    EXPECT_EQ(sw.DevPreset(1, 4), 1);
    EXPECT_TRUE(line.Got("L0\rS4\r"));
    EXPECT_EQ(sw.DevTake(2), 1);
    EXPECT_TRUE(line.Got("D2\r"));
    EXPECT_EQ(sw.DevDirectTake(2, 5), 1);
    EXPECT_TRUE(line.Got("X0:5,2\r"));
    ASSERT_TRUE(line.Sim().WaitForCommands(4, swtest::kSoonMs));
    EXPECT_EQ(line.Sim().Commands()[3].source, 5) << "the matrix read the cross-point";
    EXPECT_EQ(BaseEntries(sw, 2), (Entries{0, 0}));
    for (const char *text :
         {"LeitchMatrix_Analog Level 0", "LeitchMatrix_Analog Source 4",
          "LeitchMatrix_Analog Destination 2", "LeitchMatrix_Analog XPoint S:5  D:2"})
        EXPECT_TRUE(Eventually([&] { return log.Has(text); })) << text;

    kestsim::Faults hangUp;
    hangUp.hangUp = true;
    line.Peer().SetFaults(hangUp);
    EXPECT_EQ(sw.DevTake(1), 0) << "the write's result";
}

namespace {

// Runs the call on another thread; whatever the test asserts, the clock goes on until the
// call has returned, so a failed step never leaves it asleep.
class Stepped {
public:
    template <class Call>
    explicit Stepped(Call call) : m_result(std::async(std::launch::async, call))
    {
    }
    ~Stepped()
    {
        AdvanceUntil([&] { return Ready(); }, 10, 600000);
    }
    bool Ready() const
    {
        return !m_result.valid() ||
               m_result.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    }
    int Get()
    {
        AdvanceUntil([&] { return Ready(); }, 10, 600000);
        return m_result.get();
    }

private:
    std::future<int> m_result;
};

} // namespace

TEST(LeitchPanaceaLine, OneCharacterEveryTenMilliseconds)
{
    NoComPort onlyBoard(31);
    SimLine line(kSio, 31, Model::Panacea);
    MountedSettings settings(Section("LP", {{"COM", "31"}, {"LEVEL", "1"}, {"PGM", "3"}}));
    LogCapture log("LOG_DEV");
    CVideoSwitch_LeitchPanacea sw;
    ASSERT_TRUE(Init(sw, "LP"));
    EXPECT_EQ(sw.GetTypeID(), CString("LVSWITCH_MATRIX_LEITCHPANACEA"));
    EXPECT_EQ(sw.GetChannels(), 4);
    ASSERT_EQ(sw.ActiveInstance(), 1);

    const std::string expected = "X 1:7,3\r";
    ManualTime time;
    const int waiters = plat::TestClock::TimedWaiters();
    Stepped take([&] { return sw.DevDirectTake(1, 7); });
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_TRUE(line.Peer().WaitForBytes(i + 1, swtest::kSoonMs)) << i;
        ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(waiters + 1)) << "pausing after " << i;
        plat::TestClock::Advance(9);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(line.Peer().Received().size(), i + 1) << "the next character waits 10 ms";
        plat::TestClock::Advance(1);
    }
    EXPECT_EQ(take.Get(), 1);
    EXPECT_TRUE(line.Got(expected));
    EXPECT_TRUE(Eventually([&] { return log.Has("DEV=Matrix;X 1:7,3\r (Success) "); }));
}

TEST(LeitchPanaceaLine, PresetAndTakeDestinations)
{
    NoComPort onlyBoard(32);
    SimLine line(kSio, 32, Model::Panacea);
    MountedSettings settings(Section("LP0", {{"COM", "32"}, {"PST", "0"}}) +
                             Section("LPn", {{"COM", "32"}, {"LEVEL", "2"}}) +
                             Section("LPd", {{"COM", "32"}, {"PGM", "5"}, {"PST", "6"}}));
    const auto run = [](auto call) { return RunAdvancing(call); };
    ManualTime time;
    {
        CVideoSwitch_LeitchPanacea sw;
        ASSERT_TRUE(Init(sw, "LP0"));
        EXPECT_EQ(sw.DevPreset(1, 9), 1) << "preset destination 0: kept only";
        EXPECT_EQ(sw.GetPresetSource(), 9);
        EXPECT_EQ(run([&] { return sw.DevTake(4); }), 1);
        EXPECT_TRUE(line.Got("X 0:9,4\r")) << "no program destination: the channel";
    }
    {
        CVideoSwitch_LeitchPanacea sw;
        ASSERT_TRUE(Init(sw, "LPn"));
        ASSERT_EQ(sw.ActiveInstance(), 1);
        EXPECT_EQ(run([&] { return sw.DevPreset(1, 5); }), 1);
        EXPECT_TRUE(line.Got("X 2:5,65535\r")) << "no PST key: the low 16 bits of -1";
    }
    CVideoSwitch_LeitchPanacea sw;
    ASSERT_TRUE(Init(sw, "LPd"));
    ASSERT_EQ(sw.ActiveInstance(), 1);
    EXPECT_EQ(run([&] { return sw.DevPreset(3, 12); }), 1);
    EXPECT_EQ(run([&] { return sw.DevTake(3); }), 1);
    EXPECT_EQ(run([&] { return sw.CrossPoint(2, 7); }), 1);
    EXPECT_TRUE(line.Got("X 0:12,6\rX 0:12,5\rX 0:2,7\r"));
    EXPECT_EQ(BaseEntries(sw, 3), (Entries{0, 0}));
}

TEST(LeitchPanaceaLine, CharactersThatDoNotGoOutFail)
{
    // A line open as a plain COM port is not the board library's: nothing goes out.
    auto com = swtest::ComLine(83);
    MountedSettings settings(Section("LPc", {{"COM", "83"}}));
    CVideoSwitch_LeitchPanacea sw;
    ASSERT_TRUE(Init(sw, "LPc"));
    ASSERT_EQ(sw.ActiveInstance(), 1);
    EXPECT_EQ(sw.DevDirectTake(1, 2), 0);
    EXPECT_TRUE(com->Peer().Received().empty());

    LogCapture log("LOG_DEV");
    CSerialIO_LeitchPanacea io;
    EXPECT_EQ(io.PutLine("X 0:1,1\r", nullptr), 0) << "no put-character entry";
    static int calls;
    calls = 0;
    const auto failsThird = [](int, int) { return ++calls == 3 ? -6 : 1; };
    {
        ManualTime time;
        EXPECT_EQ(RunAdvancing([&] { return io.PutLine("X 0:1,1\r", failsThird); }), 0);
    }
    EXPECT_EQ(calls, 3) << "the line stops at the failed character";
    EXPECT_EQ(log.Count(), 0u) << "and is not logged";
}
