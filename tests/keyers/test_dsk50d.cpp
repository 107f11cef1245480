// The DSK50D keyer over pseudo-terminals: the set-key frames of each task's logical key, the
// repeats and their spacing, the wait for the start, the replies that end a command (and the
// status that shows the key was not set), and ports opened per port number: keyers on one
// port share one protocol object, keyers on other ports open their own, and a line held by
// another protocol is not used.
#include "tests/keyers/KeyerDriverKit.h"

#include "devext/device/CSerial_RS232.h"
#include "drivers/switchers/keyers/CVideoAux_DSK50D.h"
#include "drivers/switchers/keyers/KeyerFrames.h"

#include <future>
#include <optional>

using namespace devtest;
using namespace keydrv;
using Model = kestsim::KeyerSim::Model;

namespace {

std::string DskSection(const char *name, int port, const std::string &more = "")
{
    return Section(name, {{"COM", std::to_string(port)},
                          {"KeyArray", "5,9"},
                          {"Logo", "1"},
                          {"Title", "2"},
                          {"nRetryTime", "2"},
                          {"nIntervalTime", "20"}}) +
           more;
}

Bytes Times(const Bytes &frame, int n)
{
    Bytes all;
    for (int i = 0; i < n; ++i) all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

} // namespace

TEST(Dsk50dKeyer, SendsTheCodeOfEachTasksLogicalKeyRepeatedly)
{
    DebugOn debug;
    KeyerLine line(kCom, 21, Model::Dsk50d);
    MountedSettings settings(DskSection("DSK", 21));
    LogCapture keyLog("#OVRA_KEY");
    LogCapture takeLog("LOG_AIR_SWITCH");
    CVideoAux_DSK50D keyer;
    ASSERT_TRUE(Init(keyer, "DSK"));
    EXPECT_EQ(keyer.GetDescription(), CString("DSK50D键混器"));
    ASSERT_EQ(keyer.DevOpen(), 1);
    EXPECT_EQ(keyer.GetDevStatus().nCode, DEVSTATUS_NORMAL);

    struct Case {
        const char *what;
        std::vector<tagVideoKeyTask> tasks;
        Bytes bytes;
        int result;
    };
    const std::vector<Case> cases{
        {"a title task: Title 2 is code 9",
         {Task(KEYTASK_FUNC_TITLE, 7, 1)},
         Times({0x12, 0x03, 0x01, 0x09, 0x01, 0x0A}, 2),
         1},
        {"a logo task off: Logo 1 is code 5",
         {Task(KEYTASK_FUNC_LOGO, 7, 0)},
         Times(keyframe::Dsk50dSetKey(5, false), 2),
         1},
        {"a clock task: its own Time key is 0", {Task(KEYTASK_FUNC_TIME, 1, 1)}, {}, 0},
        {"key 3 lies beyond KeyArray", {Task(0, 3, 1)}, {}, 0},
        {"a skipped task, then key 2",
         {Task(0, 0, 1), Task(0, 2, 1)},
         Times(keyframe::Dsk50dSetKey(9, true), 2),
         1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(keyer.DevTaskDirectTake(Group(c.tasks).Get()), c.result) << c.what;
        if (c.bytes.empty())
            EXPECT_FALSE(line.Peer().WaitForBytes(1, 100)) << c.what;
        else
            EXPECT_TRUE(line.Got(c.bytes)) << c.what;
    }
    EXPECT_TRUE(
        takeLog.Has("trace(CVideoAux_DSK50D::DevTaskDirectTake) SET KEY = 9; Up = 1 ; OK = 1"));
    EXPECT_EQ(keyLog.Count(), 0u) << "the DSK50D posts no key status";
}

TEST(Dsk50dKeyer, WaitsForTheStartAndSpacesTheRepeats)
{
    ManualTime time;
    KeyerLine line(kCom, 25, Model::Dsk50d);
    MountedSettings settings(DskSection("DSK", 25, "PutOffTime=500\r\n"));
    CVideoAux_DSK50D keyer;
    ASSERT_TRUE(Init(keyer, "DSK"));
    ASSERT_EQ(RunAdvancing([&] { return keyer.DevOpen(); }), 1);

    struct Case {
        const char *source;
        int64_t later;
    };
    for (const Case c : {Case{"AUTO", 500 * kMs}, Case{"GUI", 0}}) {
        line.Sim().ClearCommands();
        const int64_t start = ManualTime::Now() + kSecond;
        auto take = std::async(std::launch::async, [&] {
            return keyer.DevTaskDirectTake(Group({Task(0, 1, 1, start, c.source)}).Get());
        });
        const devtest::FinishStepping takeEnds(take);
        ASSERT_TRUE(AdvanceUntil([&] { return !line.Sim().Commands().empty(); })) << c.source;
        // The framework clock's sleep ends up to 5.7 us (57 units) before its target.
        EXPECT_GE(ManualTime::Now(), start + c.later - 57) << c.source;
        const uint32_t sent = plat::GetTickCount();
        EXPECT_TRUE(AdvanceUntil(
            [&] {
                return take.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
            },
            50, 600000));
        take.get();
        // nIntervalTime 20 is raised to 100: a pause after each of the two sends.
        EXPECT_GE(plat::TickDiff(plat::GetTickCount(), sent), 200) << c.source;
    }
}

// The sends that must succeed run on the real clock, the others on the manual one: a manual
// clock stepped through an exchange would let its reply wait run out on a loaded machine.
TEST(Dsk50dKeyer, AnyReplyBlockEndsASendUnlessItShowsTheKeyUnset)
{
    KeyerLine line(kCom, 26, Model::Dsk50d);
    MountedSettings settings(
        Section("DSK", {{"COM", "26"}, {"KeyArray", "2"}, {"nRetryTime", "1"}}));
    CVideoAux_DSK50D keyer;
    ASSERT_TRUE(Init(keyer, "DSK"));
    ASSERT_EQ(keyer.DevOpen(), 1);

    struct Case {
        const char *what;
        bool statusReplies;
        kestsim::Faults faults;
        int result;
        size_t sends; // 0: not counted
    };
    kestsim::Faults inPieces;
    inPieces.chunkSize = 1;
    inPieces.garbage = {0x55};
    const std::vector<Case> cases{
        {"an end block", false, {}, 1, 0},
        {"an end block in pieces after a stray byte", false, inPieces, 1, 0},
        {"a status showing the key set", true, {}, 1, 0},
        {"a status showing the key unset: three tries", true, Refusing(), 0, 3},
        {"silence: three tries", false, Silent(), 0, 3},
    };
    for (const Case &c : cases) {
        line.Sim().SetStatusReplies(c.statusReplies);
        line.Sim().SetFaults(c.faults);
        line.Sim().ClearCommands();
        const auto take = [&] { return keyer.DevTaskDirectTake(Group({Task(0, 1, 1)}).Get()); };
        std::optional<ManualTime> time;
        if (c.result == 0) time.emplace();
        EXPECT_EQ(time ? RunAdvancing(take) : take(), c.result) << c.what;
        if (c.sends) {
            EXPECT_EQ(line.Sim().Commands().size(), c.sends) << c.what;
        }
        EXPECT_EQ(line.Sim().KeyOn(2), c.result == 1) << c.what;
        line.Sim().SetKeyOn(2, false);
    }
}

TEST(Dsk50dKeyer, PortsOpenPerPortNumberAndCloseForTheNextKeyer)
{
    KeyerLine first(kCom, 22, Model::Dsk50d);
    KeyerLine second(kCom, 23, Model::Dsk50d);
    kestsim::PtyPair foreignPty;
    foreignPty.Bind(kCom, 24);
    MountedSettings settings(DskSection("DSKA", 22) + DskSection("DSKB", 23) +
                             DskSection("DSKC", 22) + DskSection("DSKD", 24));
    CVideoAux_DSK50D a, b, c, d;
    for (auto [keyer, name] : {std::pair{&a, "DSKA"}, {&b, "DSKB"}, {&c, "DSKC"}, {&d, "DSKD"}})
        ASSERT_TRUE(Init(*keyer, name)) << name;

    ASSERT_EQ(a.DevOpen(), 1);
    EXPECT_EQ(b.DevOpen(), 1) << "another port opens for itself";
    EXPECT_EQ(b.Protocol().DevIsOpen(), 1);
    EXPECT_EQ(c.DevOpen(), 1) << "the same port: A's object serves";
    EXPECT_EQ(c.Protocol().DevIsOpen(), 0);
    const auto logo = [] { return Group({Task(KEYTASK_FUNC_LOGO, 0, 1)}); };
    EXPECT_EQ(c.DevTaskDirectTake(logo().Get()), 1);
    EXPECT_TRUE(first.Got(Times(keyframe::Dsk50dSetKey(5, true), 2)));

    a.DevClose();
    EXPECT_EQ(c.DevIsOpen(), 0) << "closing A leaves no open object on the port";
    EXPECT_EQ(c.DevTaskDirectTake(logo().Get()), 0);
    EXPECT_EQ(c.DevOpen(), 1);
    EXPECT_EQ(c.Protocol().DevIsOpen(), 1) << "C now opens the port itself";
    EXPECT_EQ(a.DevOpen(), 1) << "and A shares it";
    EXPECT_EQ(a.DevTaskDirectTake(logo().Get()), 1);
    EXPECT_TRUE(first.Got(Times(keyframe::Dsk50dSetKey(5, true), 2)));

    OtherProtocol other(24, CSerial_RS232::GetClassID());
    ASSERT_EQ(other.DevOpen(), 1);
    EXPECT_EQ(d.DevOpen(), 0) << "a line another protocol holds is not a DSK50D's";
    EXPECT_EQ(d.GetDevStatus().nCode, DEVSTATUS_COM_OPEN_FAILED);
    EXPECT_EQ(d.DevTaskDirectTake(logo().Get()), 0);
}
