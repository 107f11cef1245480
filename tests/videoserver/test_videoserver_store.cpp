// The video-server clip store over the simulated video-server library: the library start with
// its contact name, the open throttle, listings longer than one chunk, the idle test, and far
// copies that finish, lose their status call past 90% or below, and stall until terminated.
#include "tests/model/DeviceTestKit.h"

#include "drivers/sources/videoserver/CVideoStore_Pinnacle.h"
#include "drivers/sources/videoserver/HpvsLibrary.h"
#include "platform/FindProc.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

using devtest::Section;

// The simulation's own entry points, from the library the store loads.
struct Sim {
    decltype(&hpvsSimReset) reset = nullptr;
    decltype(&hpvsSimAddClip) addClip = nullptr;
    decltype(&hpvsSimClipFrames) clipFrames = nullptr;
    decltype(&hpvsSimSetCopy) setCopy = nullptr;
    decltype(&hpvsSimFailNext) failNext = nullptr;
    decltype(&hpvsSimCalls) calls = nullptr;
    decltype(&hpvsSimContact) contact = nullptr;
    decltype(&hpvsSimInitialised) initialised = nullptr;

    static const Sim &Get()
    {
        static const Sim sim = [] {
            Sim s;
            void *library = plat::LoadLibrary(hpvs::kLibraryName);
            plat::FindProc(library, "hpvsSimReset", &s.reset);
            plat::FindProc(library, "hpvsSimAddClip", &s.addClip);
            plat::FindProc(library, "hpvsSimClipFrames", &s.clipFrames);
            plat::FindProc(library, "hpvsSimSetCopy", &s.setCopy);
            plat::FindProc(library, "hpvsSimFailNext", &s.failNext);
            plat::FindProc(library, "hpvsSimCalls", &s.calls);
            plat::FindProc(library, "hpvsSimContact", &s.contact);
            plat::FindProc(library, "hpvsSimInitialised", &s.initialised);
            return s;
        }();
        return sim;
    }
};

struct Progress {
    std::mutex lock;
    std::vector<int> done;

    static void Report(void *context, int32_t done, int32_t)
    {
        auto *self = static_cast<Progress *>(context);
        std::lock_guard<std::mutex> lk(self->lock);
        self->done.push_back(done);
    }
    CVideoStoreA::tagCopyCallBack Callback() { return {this, &Progress::Report}; }
};

class PinnacleStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(sim.reset, nullptr) << "the simulated library is not beside the test";
        sim.reset();
        sim.addClip("N1", "NEWS", 90000 + 1500 * 2 + 25 * 3 + 4); // 01:02:03:04
        sim.addClip("N1", "EMPTY", 0);
        sim.addClip("N2", nullptr, 0);
    }
    void Mount(const std::string &extra = "")
    {
        m_settings = std::make_unique<devtest::MountedSettings>(
            Section("PA", {{"class", "CVideoStore_Pinnacle"},
                           {"Node", "N1"},
                           {"Connection", "connA"},
                           {"HpvsContact", "vs-main"}}) +
            Section("PB",
                    {{"class", "CVideoStore_Pinnacle"}, {"Node", "N2"}, {"Connection", "connB"}}) +
            Section("PX", {{"class", "CVideoStoreA"}}) + extra);
    }
    CVideoStore_Pinnacle *Open(const char *name)
    {
        return dynamic_cast<CVideoStore_Pinnacle *>(
            CDeviceA::OpenDev(name, CVideoStore_Pinnacle::GetClassID()));
    }
    // Runs the copy, stepping the clock one poll at a time whenever the store waits.
    int CopyStepping(CVideoStore_Pinnacle &source, const char *clip, Progress &progress)
    {
        return devtest::RunStepping(
                   [&] { return source.DevFarCopy(clip, clip, "PB", progress.Callback()); },
                   CPinnacleConn::kPollMs, 400 * CPinnacleConn::kPollMs)
            .first;
    }

    devtest::ManualTime time;
    const Sim &sim = Sim::Get();
    devtest::LogCapture log{"LOG_TASK"};
    std::unique_ptr<devtest::MountedSettings> m_settings;
    devtest::DeleteDevices m_cleanup{{"PA", "PB", "PX"}};
};

TEST_F(PinnacleStoreTest, TheLibraryStartsWithTheContactAndOpensAreThrottled)
{
    Mount();
    auto *store = Open("PA"); // activation opens it
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(sim.initialised(), 1);
    EXPECT_EQ(std::string(sim.contact()), "vs-main");
    EXPECT_EQ(store->DevIsOpen(), 1);
    EXPECT_TRUE(log.Has("$$$ *connA* CPinnacleConn::Open  打开连接成功"));

    // Another open within 3000 ms fails at once, without asking the library.
    const int created = sim.calls("hpvsCreateConn");
    EXPECT_EQ(store->DevOpen(), 0);
    EXPECT_EQ(sim.calls("hpvsCreateConn"), created);
    EXPECT_EQ(store->DevIsOpen(), 0) << "the re-open closed it first";
    plat::TestClock::Advance(2999);
    EXPECT_EQ(store->DevClipExist("NEWS", 0), 0);
    EXPECT_EQ(sim.calls("hpvsCreateConn"), created);
    plat::TestClock::Advance(1);
    sim.failNext("hpvsCreateConn", 1);
    EXPECT_EQ(store->DevOpen(), 0);
    EXPECT_EQ(sim.calls("hpvsCreateConn"), created + 1);
    EXPECT_TRUE(log.Has("$$$ *connA* CPinnacleConn::Open  打开连接失败"));
    plat::TestClock::Advance(3000);
    EXPECT_EQ(store->DevGetClipSize("NEWS"), 93079) << "an operation opens a closed connection";
    EXPECT_EQ(sim.calls("hpvsInit"), 1) << "started once";

    // The last connection to go shuts the library down.
    CPtrArray objects;
    objects.Add(store);
    glDeleteObjects(objects);
    EXPECT_EQ(sim.initialised(), 0);
    EXPECT_TRUE(log.Has("$$$ * CPinnacleConn::HP_vsShutdown 关闭API Ret:0 ."));
}

TEST_F(PinnacleStoreTest, ClipsAreListedMeasuredRenamedAndDeleted)
{
    for (int i = 0; i < 150; ++i) sim.addClip("N1", ("C" + std::to_string(1000 + i)).c_str(), 25);
    Mount();
    auto *store = Open("PA");
    ASSERT_NE(store, nullptr);
    CStringArray ids;
    EXPECT_EQ(store->DevIDList(ids, 0, 10), 152) << "three chunks of up to 64";
    EXPECT_EQ(sim.calls("hpvsNextMedia"), 2);
    EXPECT_EQ(std::string(ids[151]), "NEWS");
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), 152u) << "each name once";

    struct Case {
        const char *clip;
        int size, exists;
    } sizes[] = {{"NEWS", 93079, 1}, {"EMPTY", 0, 0}, {"C1000", 25, 1}};
    for (const Case &c : sizes) {
        EXPECT_EQ(store->DevGetClipSize(c.clip), c.size) << c.clip;
        EXPECT_EQ(store->DevClipExist(c.clip, 0), c.exists) << c.clip;
    }
    EXPECT_EQ(store->DevRename("NEWS", "NEWS2"), 1);
    EXPECT_EQ(sim.clipFrames("N1", "NEWS2"), 93079);
    EXPECT_EQ(store->DevDelete("NEWS2", 0), 1);
    EXPECT_EQ(sim.clipFrames("N1", "NEWS2"), -1);
    EXPECT_EQ(store->DevCopy("EMPTY", "X"), 0);

    // A failed call closes the connection; the next operation opens it again after 3 s.
    EXPECT_EQ(store->DevIsOpen(), 1);
    EXPECT_EQ(store->DevDelete("NEWS2", 0), 0);
    EXPECT_EQ(store->DevIsOpen(), 0);
    EXPECT_EQ(store->DevGetClipSize("EMPTY"), 0);
    plat::TestClock::Advance(3000);
    EXPECT_EQ(store->DevGetClipSize("C1001"), 25);
    EXPECT_EQ(store->DevIsOpen(), 1);

    // A chunk that fails ends the list with what came before it.
    sim.failNext("hpvsNextMedia", 1);
    EXPECT_EQ(store->DevIDList(ids, 0, 10), 64);
    EXPECT_EQ(store->DevIsOpen(), 0);
}

TEST_F(PinnacleStoreTest, TheNeedTestKeyTakesTheBoolWords)
{
    struct Case {
        const char *word;
        int probes;
    } cases[] = {{"TRUE", 1}, {"ENABLE", 1}, {"1", 1}, {"FALSE", 0}, {"DISABLE", 0}, {"0", 0}};
    for (const Case &c : cases) {
        devtest::DeleteDevices gone{{"PA"}};
        Mount(Section("Ovra_Device", {{"PinConnNeedTest", c.word}}));
        auto *store = Open("PA");
        ASSERT_NE(store, nullptr) << c.word;
        const int probes = sim.calls("hpvsListNodes");
        plat::TestClock::Advance(60000);
        EXPECT_EQ(store->DevTest(""), 1) << c.word;
        EXPECT_EQ(sim.calls("hpvsListNodes") - probes, c.probes) << c.word;
        plat::TestClock::Advance(3000);
    }
}

TEST_F(PinnacleStoreTest, ACopyIsCheckedUnderItsDestinationName)
{
    Mount();
    auto *source = Open("PA");
    ASSERT_NE(source, nullptr);
    ASSERT_NE(Open("PB"), nullptr);
    struct Case {
        double step, failAt;
        int result;
    } cases[] = {{25, 1000, 1}, {5, 100, 1}}; // done; lost past 90% with the copy there
    for (const Case &c : cases) {
        sim.setCopy(c.step, 100, c.failAt);
        plat::TestClock::Advance(3000);
        source->DevOpen();
        Progress progress;
        const int result =
            devtest::RunStepping(
                [&] { return source->DevFarCopy("NEWS", "NEWSCOPY", "PB", progress.Callback()); },
                CPinnacleConn::kPollMs, 400 * CPinnacleConn::kPollMs)
                .first;
        EXPECT_EQ(result, c.result) << c.failAt;
        EXPECT_EQ(sim.clipFrames("N2", "NEWSCOPY"), 93079) << c.failAt;
        EXPECT_EQ(sim.clipFrames("N2", "NEWS"), -1) << c.failAt;
        Open("PB")->DevDelete("NEWSCOPY", 0);
    }
}

TEST_F(PinnacleStoreTest, TheIdleTestProbesOnlyBetweenItsBounds)
{
    Mount(Section("Ovra_Device", {{"PinConnNeedTest", "1"}, {"PinConnTimeOut", "5000"}}));
    auto *store = Open("PA");
    ASSERT_NE(store, nullptr);
    struct Case {
        uint32_t idleMs;
        bool probeFails;
        int result, probes, open;
    } cases[] = {
        {9999, false, 1, 0, 1},   // too soon to probe
        {60000, false, 1, 1, 1},  // probed
        {60000, true, 0, 1, 0},   // the probe failed: closed
        {660000, false, 0, 0, 0}, // idle 11 minutes: closed without a probe
    };
    for (const Case &c : cases) {
        plat::TestClock::Advance(3000);
        ASSERT_EQ(store->DevOpen(), 1);
        const int probes = sim.calls("hpvsListNodes");
        if (c.probeFails) sim.failNext("hpvsListNodes", 1);
        plat::TestClock::Advance(c.idleMs);
        EXPECT_EQ(store->DevTest(""), c.result) << c.idleMs;
        EXPECT_EQ(sim.calls("hpvsListNodes") - probes, c.probes) << c.idleMs;
        EXPECT_EQ(store->DevIsOpen(), c.open) << c.idleMs;
    }
    // Without a connection there is nothing to test.
    EXPECT_EQ(store->DevTest(""), 1);
}

TEST_F(PinnacleStoreTest, FarCopiesEndAsTheirStatusSays)
{
    Mount();
    auto *source = Open("PA");
    auto *dest = Open("PB");
    ASSERT_NE(source, nullptr);
    ASSERT_NE(dest, nullptr);
    source->DevClose();
    plat::TestClock::Advance(3000);
    Progress unopened;
    EXPECT_EQ(source->DevFarCopy("NEWS", "NEWS", "PB", unopened.Callback()), 0);
    EXPECT_TRUE(log.Has("$$$ #NEWS# DevFarCopy m_Handle == 0 "));
    EXPECT_TRUE(unopened.done.empty());
    EXPECT_EQ(source->DevIsOpen(), 1) << "it opened for the next time";

    struct Case {
        const char *clip;
        double step, stallAt, failAt;
        int result;
        const char *line;
    } cases[] = {
        {"NEWS", 10, 100, 1000, 1, "$$$ ##Copy Done NEWS# Ret:0 CPinnacleConn::CopyMediaFrom."},
        // Lost at 100 after 95: done when the clip has a length at the destination.
        {"NEWS", 5, 100, 100, 1, "$$$  NEWS CPinnacleConn::CopyMediaFrom  nPercentDone > 90"},
        {"EMPTY", 5, 100, 100, 0, "$$$  EMPTY CPinnacleConn::CopyMediaFrom  nPercentDone > 90"},
        {"NEWS", 10, 100, 60, 0, "$$$  NEWS CPinnacleConn::CopyMediaFrom  nPercentDone < 90"},
        {"NEWS", 20, 40, 1000, 0,
         "$$$ ## Terminate Copy Process NEWS# Ret:0 CPinnacleConn::CopyMediaFrom."},
    };
    for (const Case &c : cases) {
        sim.setCopy(c.step, c.stallAt, c.failAt);
        sim.addClip("N2", nullptr, 0);
        const int polls = sim.calls("hpvsCmdStatus");
        const int terminates = sim.calls("hpvsTerminateCmd");
        // A connection the last copy closed opens again after 3 s.
        plat::TestClock::Advance(3000);
        Progress progress;
        log.Clear();
        EXPECT_EQ(CopyStepping(*source, c.clip, progress), c.result) << c.line;
        EXPECT_TRUE(log.Has(c.line)) << c.line;
        if (c.stallAt < 100) {
            // 2 polls to reach 40, then 300 more without progress.
            EXPECT_EQ(sim.calls("hpvsCmdStatus") - polls, 302);
            EXPECT_EQ(sim.calls("hpvsTerminateCmd") - terminates, 1);
            EXPECT_EQ(progress.done.back(), 40);
        } else if (c.failAt > 100) {
            EXPECT_EQ(progress.done, (std::vector<int>{10, 20, 30, 40, 50, 60, 70, 80, 90}));
        }
        // Clean up the destination for the next case.
        for (const char *clip : {"NEWS", "EMPTY"})
            if (sim.clipFrames("N2", clip) >= 0) dest->DevDelete(clip, 0);
    }

    // The destination must be a live store of this kind.
    plat::TestClock::Advance(3000);
    source->DevOpen();
    EXPECT_EQ(source->DevFarCopy("NEWS", "NEWS", "PX", {}), 0);
    EXPECT_EQ(source->DevFarCopy("NEWS", "NEWS", "NOSUCH", {}), 0);
}

} // namespace
