// Changeover switches: their frames byte for byte, replies decoded from split and garbled
// input, the two serial protocols over a pseudo-terminal with a simulated switch (status,
// acknowledgements, queries, silence and retries), the mode travelling on each switch's own
// channel and the stray messages it must not act on, the share-bus posts and their Delay, the
// switch-overs on the switch's own thread (in order, the log thread free meanwhile, cut short
// by a stop), the configured switches of the serial drivers, and the manager handing out the
// interface.
#include "tests/model/DeviceTestKit.h"

#include "drivers/model/CSerialEchg.h"
#include "drivers/model/CVideoDevEchg.h"
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/EchgFrames.h"
#include "drivers/model/ShareBus.h"
#include "tests/Kest20/LogProbe.h"
#include "tests/kit/DecoderChunks.h"
#include "tests/kit/SimLine.h"
#include "tests/sim/ChangeoverSim.h"

#include "Kest20/KestLog.h"
#include "devext/device/CSerialDevA.h"
#include "devext/device/DeviceDescription.h"

#include <algorithm>
#include <future>
#include <optional>

using namespace devtest;
using kestsim::Bytes;
using kestsim::ChangeoverSim;
using Line = ChangeoverSim::Line;

namespace {

constexpr uint32_t kSoonMs = 5000;
const Bytes k422Main = {0x55, 0x00, 0xAA};
const Bytes k422Backup = {0x55, 0x0F, 0xAA};

Bytes Twice(const Bytes &frame)
{
    Bytes both = frame;
    both.insert(both.end(), frame.begin(), frame.end());
    return both;
}

Bytes Bytes3(const echg::Frame3 &frame)
{
    return Bytes(frame.begin(), frame.end());
}

using kestsim::Silent;

// Answers a byte at a time after `garbage`.
ChangeoverSim::Faults Garbled(Bytes garbage)
{
    ChangeoverSim::Faults faults;
    faults.garbage = std::move(garbage);
    faults.chunkSize = 1;
    faults.gapMs = 2;
    return faults;
}

// A port of the RS-422 board whose far end is a simulated changeover switch.
struct SimLine : kit::SimLine<ChangeoverSim> {
    SimLine(Line line, int port)
        : kit::SimLine<ChangeoverSim>(plat::SerialPortKind::SIO, port, line)
    {
    }
};

// The share-bus posts, with the tick at which each was made.
class ShareBus : public CLogReader {
public:
    ShareBus() : CLogReader("#OVRA_DEV_SHARE", LOG_MODE_EXACT, SubscribeLater{}) { Subscribe(); }
    ~ShareBus() override { Unsubscribe(); }
    int OnRecvLog(const char *, const char *text, const char *) override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_posts.emplace_back(text, plat::GetTickCount());
        return 1;
    }
    std::vector<std::pair<std::string, uint32_t>> Posts()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_posts;
    }
    size_t Count() { return Posts().size(); }
    bool WaitFor(size_t count)
    {
        return Eventually([&] { return Count() >= count; });
    }
    std::string Last() { return Posts().back().first; }

private:
    std::mutex m_lock;
    std::vector<std::pair<std::string, uint32_t>> m_posts;
};

const std::string kVirtualOn = "<Virtual = \"TRUE\">";
const std::string kVirtualOff = "<Virtual = \"FALSE\">";

int ChannelNumber(const CVideoDevEchg &device)
{
    return std::stoi(std::string(device.GetChannelName()).substr(13));
}

class DebugOn {
public:
    DebugOn() : m_previous(glSetDebugFlag(1)) {}
    ~DebugOn() { glSetDebugFlag(m_previous); }

private:
    int m_previous;
};

} // namespace

TEST(ChangeoverFrames, SwitchFramesByteForByte)
{
    EXPECT_EQ(Bytes3(echg::Encode422Switch(1)), k422Main);
    EXPECT_EQ(Bytes3(echg::Encode422Switch(2)), k422Backup);
    EXPECT_EQ(Bytes3(echg::Encode422Switch(3)), k422Backup) << "any other position is backup";
    EXPECT_EQ(Bytes3(echg::Encode485Switch(1)), (Bytes{0xAA, 0x05, 0x05}));
    EXPECT_EQ(Bytes3(echg::Encode485Switch(2)), (Bytes{0xAA, 0x0A, 0x0A}));
}

TEST(ChangeoverFrames, Rs422StatusOutOfSplitAndGarbledInput)
{
    // Garbage with a false head, a frame, a frame whose status is the head byte, a broken
    // frame, a frame.
    const Bytes input = {0x01, 0x55, 0x02, 0x55, 0x05, 0xAA, 0x55, 0x55,
                         0xAA, 0x55, 0x03, 0x04, 0x55, 0x0F, 0xAA};
    kit::ExpectInEveryChunking(
        "statuses among garbage", input, {"5", "85", "15"},
        [] { return echg::C422StatusDecoder(); },
        [](uint8_t status) { return std::to_string(status); });
}

TEST(ChangeoverFrames, Rs485RepliesOutOfSplitAndGarbledInput)
{
    using Reply = echg::C485ReplyDecoder::Reply;
    const auto show = [](const Reply &reply) {
        return reply.query
                   ? "answer " + std::to_string(reply.address) + " " + std::to_string(reply.state)
                   : std::string("ack");
    };
    const auto expecting = [](bool query) {
        return [query] {
            echg::C485ReplyDecoder decoder;
            decoder.ExpectQuery(query);
            return decoder;
        };
    };
    struct Case {
        const char *what;
        bool query;
        Bytes input;
        std::vector<std::string> want;
    };
    const std::vector<Case> cases{
        {"an acknowledgement after garbage", false, {0x13, 0x37, 0x00}, {"ack"}},
        {"an answer after garbage", true, {0x13, 0x37, 0x07, 0x07, 0x02, 0x02}, {"answer 7 2"}},
        {"pairs that differ are no answer", true, {0x07, 0x08, 0x02, 0x03}, {}},
        {"a zero byte is no acknowledgement of a query", true, {0x00, 0x05, 0x05}, {}},
    };
    for (const Case &c : cases)
        kit::ExpectInEveryChunking(c.what, c.input, c.want, expecting(c.query), show);

    echg::C485ReplyDecoder decoder;
    decoder.ExpectQuery(true);
    const Bytes half{0x07, 0x07};
    EXPECT_TRUE(decoder.Feed(half.data(), half.size()).empty());
    decoder.ExpectQuery(true);
    const Bytes answer{0x09, 0x09, 0x01, 0x01};
    const std::vector<Reply> replies = decoder.Feed(answer.data(), answer.size());
    ASSERT_EQ(replies.size(), 1u) << "a new request starts clean";
    EXPECT_EQ(replies[0].address, 9);
}

TEST(ChangeoverLine, Rs422CommandsAndStatus)
{
    SimLine line(Line::Rs422, 41);
    CSerialEchg422 port;
    ASSERT_EQ(port.Reopen(41), 1);
    EXPECT_EQ(port.GetSetting().nStopBits, COM_STOPBITS_TWO);

    line.Sim().SetFaults(Silent());
    EXPECT_EQ(port.DevSwitch(1), 0) << "no status has come";
    EXPECT_TRUE(line.Holds(Twice(k422Main)));
    EXPECT_EQ(port.GetChannelState(1), 1);

    // The status answer comes a byte at a time after garbage.
    line.Sim().SetFaults(Garbled({0x55, 0x01}));
    line.Peer().ClearReceived();
    port.DevSwitch(2);
    EXPECT_TRUE(line.Holds(Twice(k422Backup)));
    ASSERT_TRUE(Eventually([&] { return port.GetChannelState(1) == 2; }));
    for (int channel = 1; channel <= 8; ++channel)
        EXPECT_EQ(port.GetChannelState(channel), channel <= 4 ? 2 : 1) << channel;
    EXPECT_EQ(port.GetChannelState(0), 0);
    EXPECT_EQ(port.GetChannelState(9), 0);

    line.Sim().SetFaults(Silent());
    EXPECT_EQ(port.DevSwitch(2), 1) << "a status came within 2000 ms";
    line.Sim().SendStatus(0x81);
    EXPECT_TRUE(Eventually([&] { return port.GetChannelState(8) == 2; }));
    EXPECT_EQ(port.GetChannelState(2), 1);

    // Both switches to backup have reached the device before the count starts again.
    ASSERT_TRUE(line.Peer().WaitForBytes(2 * Twice(k422Backup).size(), kSoonMs));
    line.Peer().ClearReceived();
    EXPECT_EQ(port.DevSwitch2(1), 1);
    EXPECT_TRUE(line.Holds(Twice(k422Main)));
}

TEST(ChangeoverLine, Rs422StatusGoesStaleAfterTwoSeconds)
{
    ManualTime time;
    SimLine line(Line::Rs422, 42);
    line.Sim().SetFaults(Silent());
    CSerialEchg422 port;
    ASSERT_EQ(port.Reopen(42), 1);
    line.Sim().SendStatus(0x01);
    ASSERT_TRUE(Eventually([&] { return port.GetChannelState(1) == 2; }));
    EXPECT_EQ(RunAdvancing([&] { return port.DevSwitch(1); }), 1);
    plat::TestClock::Advance(2001);
    EXPECT_EQ(RunAdvancing([&] { return port.DevSwitch(1); }), 0);
    ASSERT_EQ(port.Reopen(42), 1);
    line.Sim().SendStatus(0x02);
    ASSERT_TRUE(Eventually([&] { return port.GetChannelState(2) == 2; }));
    ASSERT_EQ(port.Reopen(42), 1);
    EXPECT_EQ(RunAdvancing([&] { return port.DevSwitch(1); }), 0)
        << "a status of the line before does not count";
}

TEST(ChangeoverLine, Rs422SwitchThatCannotBeWrittenFailsWhateverTheStatus)
{
    SimLine line(Line::Rs422, 43);
    CSerialEchg422 port;
    ASSERT_EQ(port.Reopen(43), 1);
    line.Sim().SendStatus(0x01);
    ASSERT_TRUE(Eventually([&] { return port.GetChannelState(1) == 2; }));
    line.Peer().HangUp(); // every write to the line fails from now on
    EXPECT_EQ(port.DevSwitch(2), 0) << "the status is fresh, but the switch never left";
    EXPECT_EQ(port.DevSwitch2(2), 0);
}

TEST(ChangeoverLine, Rs485AcknowledgementsAndQueries)
{
    SimLine line(Line::Rs485, 43);
    CSerialEchg485 port;
    ASSERT_EQ(port.Reopen(43), 1);
    EXPECT_EQ(port.GetSetting().nStopBits, COM_STOPBITS_ONE);
    EXPECT_EQ(port.GetTries(), 1);
    EXPECT_EQ(port.DevSwitch(2), 1);
    EXPECT_TRUE(line.Holds({0xAA, 0x0A, 0x0A}));
    EXPECT_EQ(port.GetTries(), 3) << "three tries once the switch has answered";

    line.Sim().SetFaults(Garbled({0x13, 0x37}));
    EXPECT_EQ(port.DevQuery(), 1);
    EXPECT_EQ(port.GetAddress(), 7);
    EXPECT_EQ(port.GetState(), 2);
    EXPECT_EQ(line.Sim().Queries(), 1);

    line.Peer().ClearReceived();
    EXPECT_EQ(port.DevSwitch(1), 1);
    EXPECT_TRUE(line.Holds({0xAA, 0x05, 0x05}));
}

// A block without bytes, or with a length below 0, is no input: nothing is read from it.
TEST(ChangeoverLine, EmptyOrNegativeBlocksAreNoInput)
{
    uint8_t status[] = {0x55, 0x01, 0xAA};
    CSerialEchg422 rs422;
    CSerialEchg485 rs485;
    for (CSerialIO *port : {static_cast<CSerialIO *>(&rs422), static_cast<CSerialIO *>(&rs485)}) {
        pointer_t none{nullptr, 3};
        pointer_t negative{status, -1};
        pointer_t empty{status, 0};
        EXPECT_EQ(port->OnRecvData(0, none), 0);
        EXPECT_EQ(port->OnRecvData(0, negative), 0);
        EXPECT_EQ(port->OnRecvData(0, empty), 0);
    }
    EXPECT_EQ(rs422.GetChannelState(1), 1) << "no status was taken";
}

TEST(ChangeoverLine, Rs485SilenceAndBadAnswers)
{
    std::optional<ManualTime> time;
    SimLine line(Line::Rs485, 44);
    CSerialEchg485 port;
    ASSERT_EQ(port.Reopen(44), 1);
    line.Sim().SetFaults(Silent());
    time.emplace();
    EXPECT_EQ(RunAdvancing([&] { return port.DevSwitch(2); }), 0);
    EXPECT_TRUE(line.Holds({0xAA, 0x0A, 0x0A})) << "one try while the switch never answered";
    time.reset();

    line.Sim().SetFaults({});
    ASSERT_EQ(port.DevSwitch(1), 1);
    line.Sim().SetFaults(Silent());
    line.Peer().ClearReceived();
    time.emplace();
    EXPECT_EQ(RunAdvancing([&] { return port.DevSwitch(1); }), 0);
    const Bytes frame = {0xAA, 0x05, 0x05};
    Bytes threeTries = Twice(frame);
    threeTries.insert(threeTries.end(), frame.begin(), frame.end());
    EXPECT_TRUE(line.Holds(threeTries)) << "three tries once it has answered";

    // An answer whose pairs differ is no answer: the state stays as it was.
    kit::SimLine<kestsim::ScriptedPeer> garbled(plat::SerialPortKind::SIO, 45);
    garbled.Peer().When({0x55}, kestsim::Answer::Of({0x07, 0x08, 0x02, 0x03}));
    CSerialEchg485 other;
    ASSERT_EQ(other.Reopen(45), 1);
    EXPECT_EQ(RunAdvancing([&] { return other.DevQuery(); }), 0);
    EXPECT_EQ(other.GetAddress(), 0);
    EXPECT_EQ(other.GetState(), 0);
}

TEST(Changeover, ClassesAndTheInterface)
{
    for (iRtc *rtc : {CVideoDevEchg_422::GetClassID(), CVideoDevEchg_485::GetClassID(),
                      CVideoDevEchg_NPort::GetClassID()})
        EXPECT_TRUE(rtc->IsKindOf(CVideoDevEchg::GetClassID()));
    EXPECT_TRUE(CVideoDevEchg::GetClassID()->IsKindOf(CVideoAuxA::GetClassID()));
    EXPECT_STREQ(GetDeviceDescription("CVideoDevEchg"), "422倒换开关(基本)");
    EXPECT_STREQ(GetDeviceDescription("CVideoDevEchg_NPort"), "422倒换开关(NPort控制)");

    CVideoDevEchg_485 first;
    CVideoDevEchg_NPort second;
    EXPECT_EQ(ChannelNumber(second), ChannelNumber(first) + 1);
    EXPECT_EQ(std::string(first.GetChannelName()),
              "#LOG_DEV_PLAT" + std::to_string(ChannelNumber(first)));
    EXPECT_EQ(first.IsThisType("LVAUX_ECHG"), 1);
    EXPECT_EQ(first.DevOpen(), 1);

    void *object = &first;
    EXPECT_EQ(first.QueryInterface(&IVideoDevEchg::kIID, &object), 1);
    EXPECT_EQ(object, static_cast<IVideoDevEchg *>(&first));
    const IID other = {
        0x5C80D4FE, 0x025F, 0x4717, {0xA3, 0x26, 0x84, 0x56, 0xBA, 0xC6, 0xC6, 0x69}};
    EXPECT_EQ(first.QueryInterface(&other, &object), 0);
    EXPECT_EQ(object, nullptr);
}

TEST(Changeover, ModesTravelOnEachSwitchsOwnChannel)
{
    DebugOn debug;
    ShareBus share;
    LogCapture debugLog("LOG_AIR_SWITCH");
    CVideoDevEchg first, second;
    LogCapture channel(first.GetChannelName());

    EXPECT_EQ(first.DevSetMode(2), 1);
    EXPECT_EQ(channel.Lines(), std::vector<std::string>{"<Mode=\"2\">"});
    ASSERT_TRUE(share.WaitFor(1));
    EXPECT_EQ(share.Last(), kVirtualOn);
    EXPECT_EQ(first.DevGetMode(), 2);
    EXPECT_EQ(second.DevGetMode(), 0);
    EXPECT_EQ(debugLog.Lines(),
              (std::vector<std::string>{"DevSetMode", "Send Log for Share dev (echg)"}));

    // Any part of the process may post a mode on the channel.
    glReportLog(first.GetChannelName(), "<Mode=\"1\">", "");
    ASSERT_TRUE(share.WaitFor(2));
    EXPECT_EQ(share.Last(), kVirtualOff);
    EXPECT_EQ(first.DevGetMode(), 1);

    second.DevSetMode(1);
    ASSERT_TRUE(share.WaitFor(3));
    glReportLog(second.GetChannelName(), "<Other=\"1\">", "");
    second.DevSetMode(1);
    ASSERT_TRUE(share.WaitFor(4));
    EXPECT_EQ(share.Posts()[3].first, kVirtualOff) << "a text without a mode switches nothing";
    EXPECT_EQ(second.DevGetMode(), 1);
    EXPECT_EQ(first.DevGetMode(), 1);
}

TEST(ShareBusMessages, OnlyTheShareBusWithAVirtualIsRead)
{
    const struct {
        const char *type, *text;
        std::optional<bool> on;
    } virtuals[] = {
        {"#OVRA_DEV_SHARE", "<Virtual = \"TRUE\">", true},
        {"#ovra_dev_share", "<Virtual = \"FALSE\">", false},
        {"#OVRA_DEV_SHARE", "<Virtual = \"1\" Mode=\"2\">", true},
        {"", "<Virtual = \"TRUE\">", {}},
        {nullptr, "<Virtual = \"TRUE\">", {}},
        {"SHARE", "<Virtual = \"TRUE\">", {}},
        {"X#OVRA_DEV_SHARE", "<Virtual = \"TRUE\">", {}},
        {"#OVRA_DEV_SHARE", "", {}},
        {"#OVRA_DEV_SHARE", nullptr, {}},
        {"#OVRA_DEV_SHARE", "<Other = \"TRUE\">", {}},
        {"#OVRA_DEV_SHARE", "<Virtual = \"\">", {}},
        {"#OVRA_DEV_SHARE", "<Virtual = \"perhaps\">", {}},
    };
    for (const auto &row : virtuals)
        EXPECT_EQ(sharebus::ReadVirtual(row.type, row.text), row.on)
            << (row.type ? row.type : "null") << " " << (row.text ? row.text : "null");
}

TEST(Changeover, StrayMessagesSwitchNothing)
{
    ShareBus share;
    CVideoDevEchg device;
    const std::string channel = device.GetChannelName().GetString();
    const std::string number = channel.substr(13);
    std::string lower = channel;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    const struct {
        std::string type, text;
        bool switches;
    } rows[] = {
        {"", "<Mode=\"2\">", false}, // a message without a type reaches every pattern
        {number.substr(number.size() - 1), "<Mode=\"2\">", false},
        {"PLAT" + number, "<Mode=\"2\">", false},
        {channel, "", false},
        {channel, "1", false},
        {channel, "PLAT1", false},
        {channel, "<Other=\"2\">", false},
        {channel, "<Mode=\"\">", false},
        {channel, "<Mode=\"backup\">", false},
        {lower, "<Mode=\"2\">", true}, // types of a pattern compare without case
        {channel, "<Mode=\"2\">", true},
    };
    device.DevSetMode(1);
    ASSERT_TRUE(share.WaitFor(1));
    for (const auto &row : rows) {
        const size_t before = share.Count();
        glReportLog(row.type.c_str(), row.text.c_str(), "");
        // Whatever the stray did is announced before the main chain is announced again.
        device.DevSetMode(1);
        ASSERT_TRUE(share.WaitFor(before + (row.switches ? 2 : 1)));
        const auto posts = share.Posts();
        EXPECT_EQ(posts[before].first, row.switches ? kVirtualOn : kVirtualOff)
            << "type \"" << row.type << "\", text " << row.text;
        EXPECT_EQ(device.DevGetMode(), 1);
    }
}

namespace {

// Changeover switches whose switch-over waits on the manual clock: an NPort switch going to
// the main chain (its Delay) and an RS-485 switch that does not answer (its reply wait).
struct WaitingSwitch {
    const char *name;
    int mode;
    std::string settings;
    std::function<std::unique_ptr<CVideoDevEchg>()> make;
};

std::vector<WaitingSwitch> WaitingSwitches(int com)
{
    const std::string port = "<COM=\"" + std::to_string(com) + "\">";
    return {
        {"NPort", 1, Section("ECHG", {{"Delay", "1000"}}),
         [] { return std::make_unique<CVideoDevEchg_NPort>(); }},
        {"RS-485", 2, Section("ECHG", {{"Dev", "{\"SW\"}"}, {"Delay", "0"}, {"SW", port}}),
         [] { return std::make_unique<CVideoDevEchg_485>(); }},
    };
}

// One of them on its silent line, its mode set, until its switch-over waits.
struct SwitchingNow {
    SwitchingNow(const WaitingSwitch &row, int com)
        : settings(row.settings), line(Line::Rs485, com), device(row.make())
    {
        line.Sim().SetFaults(Silent());
    }
    bool Begin(const WaitingSwitch &row)
    {
        if (device->InitInstance("/etc/tvx/ECHG", "ECHG") != 1) return false;
        device->DevSetMode(row.mode);
        if (!Eventually([&] { return device->DevGetMode() == row.mode; })) return false;
        return row.mode == 1 || line.Peer().WaitForBytes(3, kSoonMs);
    }

    MountedSettings settings;
    SimLine line;
    ShareBus share;
    std::unique_ptr<CVideoDevEchg> device;
};

} // namespace

TEST(Changeover, ASwitchOverLeavesTheLogThreadFree)
{
    ManualTime time;
    for (const WaitingSwitch &row : WaitingSwitches(51)) {
        SCOPED_TRACE(row.name);
        LogProbe probe{"ECHG_TEST_PROBE", LOG_MODE_PATTERN};
        SwitchingNow now(row, 51);
        ASSERT_TRUE(now.Begin(row));
        glReportLog("ECHG_TEST_PROBE", "while switching", "");
        // (Real time: the probe's own wait would be on the manual clock.)
        EXPECT_TRUE(Eventually([&] { return probe.Count() == 1; }))
            << "the log thread waits meanwhile";
        EXPECT_EQ(now.share.Count(), 0u);
        ASSERT_TRUE(AdvanceUntil([&] { return now.share.Count() == 1; }));
        EXPECT_EQ(now.share.Last(), row.mode == 1 ? kVirtualOff : kVirtualOn);
    }
}

TEST(Changeover, SwitchOversRunInTheirOrder)
{
    ManualTime time;
    MountedSettings settings(Section("NP", {{"Delay", "1000"}}));
    ShareBus share;
    CVideoDevEchg_NPort device;
    ASSERT_EQ(device.InitInstance("/etc/tvx/NP", "NP"), 1);
    const uint32_t start = plat::GetTickCount();
    for (int mode : {1, 2, 1}) device.DevSetMode(mode);
    ASSERT_TRUE(AdvanceUntil([&] { return share.Count() == 3; }));
    const auto posts = share.Posts();
    EXPECT_EQ(posts[0].first, kVirtualOff);
    EXPECT_EQ(posts[1].first, kVirtualOn);
    EXPECT_EQ(posts[2].first, kVirtualOff);
    EXPECT_GE(plat::TickDiff(posts[0].second, start), 1000) << "the first waited its Delay";
    EXPECT_GE(plat::TickDiff(posts[2].second, posts[1].second), 1000) << "so did the third";
    EXPECT_EQ(device.DevGetMode(), 1);
}

TEST(Changeover, AStopCutsASwitchOverShort)
{
    ManualTime time;
    for (const bool destroy : {true, false}) {
        for (const WaitingSwitch &row : WaitingSwitches(52)) {
            SCOPED_TRACE(std::string(row.name) + (destroy ? ", destroyed" : ", closed"));
            SwitchingNow now(row, 52);
            ASSERT_TRUE(now.Begin(row));

            // The stop does not wait for the clock: the switch-over's waits end at once.
            auto stop = std::async(std::launch::async, [&] {
                if (destroy)
                    now.device.reset();
                else
                    now.device->DevClose();
            });
            FinishStepping<void> finish(stop);
            EXPECT_EQ(stop.wait_for(std::chrono::seconds(5)), std::future_status::ready);
            EXPECT_TRUE(now.share.WaitFor(1)) << "the switch-over is announced all the same";
            EXPECT_EQ(CSerialDevA::GetByPort(52), nullptr);
            AdvanceUntil(
                [&] { return stop.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
                50, 600000);
            stop.get();
            if (destroy) continue;

            // A mode after the close is switched again.
            now.device->DevSetMode(row.mode);
            ASSERT_TRUE(AdvanceUntil([&] { return now.share.Count() == 2; }));
        }
    }
}

TEST(Changeover, NPortAnnouncesTheMainChainAfterItsDelay)
{
    ManualTime time;
    MountedSettings settings(Section("NP", {{"Delay", "1500"}}));
    ShareBus share;
    CVideoDevEchg_NPort device;
    ASSERT_EQ(device.InitInstance("/etc/tvx/NP", "NP"), 1);

    const uint32_t backupAt = plat::GetTickCount();
    device.DevSetMode(2);
    ASSERT_TRUE(share.WaitFor(1)) << "the backup chain is announced at once";
    EXPECT_EQ(share.Posts()[0], std::make_pair(kVirtualOn, backupAt));

    device.DevSetMode(1);
    ASSERT_TRUE(Eventually([&] { return device.DevGetMode() == 1; }));
    const uint32_t mainAt = plat::GetTickCount();
    plat::TestClock::Advance(1490);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(share.Count(), 1u);
    ASSERT_TRUE(AdvanceUntil([&] { return share.Count() == 2; }, 5));
    EXPECT_EQ(share.Last(), kVirtualOff);
    EXPECT_GE(plat::TickDiff(share.Posts()[1].second, mainAt), 1500);
}

TEST(Changeover, ANegativeDelayIsNoPause)
{
    ManualTime time;
    MountedSettings settings(Section("NP", {{"Delay", "-5"}}));
    ShareBus share;
    CVideoDevEchg_NPort device;
    ASSERT_EQ(device.InitInstance("/etc/tvx/NP", "NP"), 1);
    device.DevSetMode(1);
    ASSERT_TRUE(share.WaitFor(1)) << "announced without the clock moving";
    EXPECT_EQ(share.Last(), kVirtualOff);
}

TEST(Changeover, DestroyingASwitchCutsItsDelayShort)
{
    MountedSettings settings(Section("NP", {{"Delay", "600000"}}));
    ShareBus share;
    auto device = std::make_unique<CVideoDevEchg_NPort>();
    ASSERT_EQ(device->InitInstance("/etc/tvx/NP", "NP"), 1);
    device->DevSetMode(1);
    ASSERT_TRUE(Eventually([&] { return device->DevGetMode() == 1; }));
    const auto start = std::chrono::steady_clock::now();
    device.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(share.WaitFor(1));
}

TEST(Changeover, Rs422DriverSwitchesTheEnabledSwitches)
{
    MountedSettings settings(Section("E422", {{"Dev", "{\"SW1\",\"\",\"SW2\",\"SW3\",\"SW4\"}"},
                                              {"Delay", "0"},
                                              {"SW1", "<COM=\"46\">"},
                                              {"SW2", "<COM=\"47\" Master=\"3\">"},
                                              {"SW3", "<COM=\"48\" enable=\"FALSE\">"},
                                              {"SW4", "<COM=\"49\" Master=\"2\" Slave=\"1\">"}}));
    SimLine sw1(Line::Rs422, 46), sw2(Line::Rs422, 47), sw3(Line::Rs422, 48), sw4(Line::Rs422, 49);
    ShareBus share;
    CVideoDevEchg_422 device;
    ASSERT_EQ(device.InitInstance("/etc/tvx/E422", "E422"), 1);

    device.DevSetMode(2);
    ASSERT_TRUE(share.WaitFor(1));
    EXPECT_EQ(share.Last(), kVirtualOn);
    EXPECT_TRUE(sw1.Holds(Twice(k422Backup)));
    EXPECT_TRUE(sw4.Holds(Twice(k422Main))) << "its slave position is 1";
    EXPECT_EQ(CSerialDevA::GetByPort(46), nullptr) << "the port is closed after the switching";

    for (SimLine *line : {&sw1, &sw4}) line->Peer().ClearReceived();
    device.DevSetMode(1);
    ASSERT_TRUE(share.WaitFor(2));
    EXPECT_EQ(share.Last(), kVirtualOff);
    EXPECT_TRUE(sw1.Holds(Twice(k422Main)));
    EXPECT_TRUE(sw4.Holds(Twice(k422Backup)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(sw2.Peer().Received().empty()) << "Master 3 is no position";
    EXPECT_TRUE(sw3.Peer().Received().empty()) << "disabled";
}

// A switch whose "COM" is no port number is on port 2, as one without it: its command never
// goes out on the line of the switch before it.
TEST(Changeover, ASwitchWhosePortNumberDoesNotFitIsOnTheDefaultPort)
{
    for (const char *com : {"70000", "-2"}) {
        MountedSettings settings(Section("E422", {{"Dev", "{\"SW1\",\"SW2\"}"},
                                                  {"Delay", "0"},
                                                  {"SW1", "<COM=\"51\">"},
                                                  {"SW2", std::string("<COM=\"") + com + "\">"}}));
        SimLine sw1(Line::Rs422, 51), fallback(Line::Rs422, 2);
        ShareBus share;
        CVideoDevEchg_422 device;
        ASSERT_EQ(device.InitInstance("/etc/tvx/E422", "E422"), 1);
        device.DevSetMode(2);
        ASSERT_TRUE(share.WaitFor(1)) << com;
        EXPECT_TRUE(fallback.Holds(Twice(k422Backup))) << com;
        EXPECT_TRUE(sw1.Holds(Twice(k422Backup))) << com;
    }
}

TEST(Changeover, Rs485DriverTakesItsPositionsFromTheDeviceSetting)
{
    MountedSettings settings(Section("E485", {{"Dev", "{\"SW\"}"},
                                              {"Master", "2"},
                                              {"Slave", "1"},
                                              {"Delay", "0"},
                                              {"SW", "<COM=\"50\">"}}));
    SimLine sw(Line::Rs485, 50);
    ShareBus share;
    CVideoDevEchg_485 device;
    ASSERT_EQ(device.InitInstance("/etc/tvx/E485", "E485"), 1);
    device.DevSetMode(2);
    ASSERT_TRUE(share.WaitFor(1));
    EXPECT_EQ(share.Last(), kVirtualOn);
    EXPECT_TRUE(sw.Holds({0xAA, 0x05, 0x05}));
    EXPECT_EQ(sw.Sim().Positions(), std::vector<int>{1});
}

TEST(Changeover, TheManagerHandsOutOnlyAChangeoverSwitch)
{
    const auto config = [](const char *aux) {
        return Section("DevMgr", {{"VideoAux", aux}}) +
               Section("PLAIN", {{"class", "CVideoAuxA"}, {"DeviceTypeId", "LVAUX_ECHG_X"}}) +
               Section("ECHG",
                       {{"class", "CVideoDevEchg_NPort"}, {"DeviceTypeId", "LVAUX_ECHG_N"}});
    };
    DeleteDevices cleanup({"PLAIN", "ECHG"});
    {
        MountedSettings settings(config("{\"PLAIN\",\"ECHG\"}"));
        CVideoDevMgr mgr;
        mgr.Initlization("/etc/tvx/DevMgr");
        EXPECT_EQ(mgr.GetVideoDevEchg(1), nullptr) << "the first LVAUX_ECHG is no switch";
    }
    MountedSettings settings(config("{\"ECHG\"}"));
    CVideoDevMgr mgr;
    mgr.Initlization("/etc/tvx/DevMgr");
    IVideoDevEchg *echg = mgr.GetVideoDevEchg(1);
    auto *device = dynamic_cast<CVideoDevEchg_NPort *>(mgr.GetVideoAuxDev("ECHG"));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(echg, static_cast<IVideoDevEchg *>(device));
}
