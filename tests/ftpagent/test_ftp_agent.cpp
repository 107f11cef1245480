// The FTP agent clip stores against a scripted agent (exact job state sequences, stepped on the
// test clock from the test thread) and against the agent on our FTP client between two real
// FTP servers (pyftpdlib and vsftpd): a copy, a copy that outlasts any bound but the store's,
// a removed job that stops its copy, and the cost of a clip list.
#include "tests/ftp/FtpPeerKit.h"
#include "tests/model/DeviceTestKit.h"

#include "Kest20/KestLog.h"
#include "drivers/sources/ftpagent/CFtpSiteAgent.h"
#include "drivers/sources/ftpagent/CVideoStore_FtpAgent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <future>
#include <thread>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace {

using devtest::Section;

// An agent that answers from a script and records what it was asked.
class ScriptedAgent : public IFtpAgent {
public:
    std::mutex lock;
    // The job states GetTaskProperty answers in turn; the last one repeats. "" fails the call.
    std::deque<std::string> states;
    std::string listing;
    std::map<std::string, double> sizes;
    int32_t ready = 1, alive = 1, eraseResult = 0, addResult = 0;
    int statusCalls = 0;
    std::vector<std::string> calls;

    int32_t AgentOpen(const CString &agent, int32_t, const CString &) override
    {
        return Note("AgentOpen " + std::string(agent));
    }
    int32_t AgentConnect(const CString &agent) override
    {
        return Note("AgentConnect " + std::string(agent));
    }
    int32_t AgentIsReady(int32_t &out) override
    {
        out = ready;
        return 0;
    }
    int32_t ListFiles(const CString &site, const CString &, CString &names) override
    {
        names = listing.c_str();
        return Note("ListFiles " + std::string(site));
    }
    int32_t EraseFile(const CString &site, const CString &file) override
    {
        Note("EraseFile " + std::string(site) + " " + std::string(file));
        return eraseResult;
    }
    int32_t RenameFile(const CString &site, const CString &from, const CString &to) override
    {
        return Note("RenameFile " + std::string(site) + " " + std::string(from) + " " +
                    std::string(to));
    }
    int32_t GetFileInfo(const CString &, const CString &file, double &size, int64_t &,
                        int32_t &) override
    {
        std::lock_guard<std::mutex> lk(lock);
        size = sizes[std::string(file)];
        return 0;
    }
    int32_t AddCopyTask(const CString &from, const CString &to, const CString &file,
                        int32_t &task) override
    {
        task = 7;
        Note("AddCopyTask " + std::string(from) + " " + std::string(to) + " " + std::string(file));
        return addResult;
    }
    int32_t RemoveTask(int32_t task, int32_t &) override
    {
        return Note("RemoveTask " + std::to_string(task));
    }
    int32_t GetTaskProperty(int32_t, const CString &, CString &value) override
    {
        std::lock_guard<std::mutex> lk(lock);
        ++statusCalls;
        const std::string state = states.empty() ? "" : states.front();
        if (states.size() > 1) states.pop_front();
        value = state.c_str();
        return state.empty() ? -1 : 0;
    }
    int32_t IsAlive(int32_t &out) override
    {
        out = alive;
        return 0;
    }

    int StatusCalls()
    {
        std::lock_guard<std::mutex> lk(lock);
        return statusCalls;
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lk(lock);
        return calls;
    }

private:
    int32_t Note(const std::string &call)
    {
        std::lock_guard<std::mutex> lk(lock);
        calls.push_back(call);
        return 0;
    }
};

struct Progress {
    std::mutex lock;
    std::vector<int> done;

    static void Report(void *context, int32_t done, int32_t total)
    {
        auto *self = static_cast<Progress *>(context);
        std::lock_guard<std::mutex> lk(self->lock);
        self->done.push_back(total == 100 ? done : -1);
    }
    CVideoStoreA::tagCopyCallBack Callback() { return {this, &Progress::Report}; }
};

class FtpAgentStoreTest : public ::testing::Test {
protected:
    FtpAgentStoreTest()
        : m_previousDebug(glSetDebugFlag(1)),
          m_previousFactory(ftpagent::RegisterFactory(ftpagent::kAgentClassId, [this] {
              ++made;
              return agent;
          }))
    {
    }
    ~FtpAgentStoreTest() override
    {
        ftpagent::RegisterFactory(ftpagent::kAgentClassId, m_previousFactory);
        glSetDebugFlag(m_previousDebug);
    }

    void Mount(const std::string &text)
    {
        m_settings = std::make_unique<devtest::MountedSettings>(text);
    }
    template <class T> T *Open(const char *name)
    {
        return dynamic_cast<T *>(CDeviceA::OpenDev(name, T::GetClassID()));
    }
    std::string Stores(const char *kind = "CVideoStore_FtpAgent")
    {
        return Section("GA", {{"class", kind},
                              {"FtpAgent", "agent1"},
                              {"FtpSite", "siteA"},
                              {"TransRate", "100000"}}) +
               Section("GB", {{"class", kind}, {"FtpSite", "siteB"}});
    }
    // Runs the far copy, stepping the clock one poll at a time whenever the store waits.
    int CopyStepping(CVideoStore_FtpAgent &store, const char *clip, Progress &progress)
    {
        return devtest::RunStepping(
                   [&] { return store.DevFarCopy(clip, "", "GB", progress.Callback()); },
                   CVideoStore_FtpAgent::kPollMs, 120000)
            .first;
    }

    devtest::ManualTime time;
    int m_previousDebug;
    std::shared_ptr<ScriptedAgent> agent = std::make_shared<ScriptedAgent>();
    int made = 0;
    ftpagent::Factory m_previousFactory;
    devtest::LogCapture log{"LOG_FTPDEBUG"};
    std::unique_ptr<devtest::MountedSettings> m_settings;
    devtest::DeleteDevices m_cleanup{{"GA", "GB", "GC"}};
};

TEST_F(FtpAgentStoreTest, JobStatesDecideTheCopyAndTheProgressEndsAt100)
{
    struct Case {
        std::deque<std::string> states;
        int alive;
        int result;
        int statusCalls;
    };
    const Case cases[] = {
        {{"UNPREPARED", "RUNNING", "RUNNING", "END"}, 1, 1, 4},
        {{"RUNNING", "ABORT"}, 1, 0, 2},
        {{"ERROR"}, 1, 0, 1},
        {{"RUNNING", ""}, 1, 0, 2}, // the state cannot be read
        {{"RUNNING"}, 0, 0, 0},     // the agent no longer works
        {{"UNPREPARED"}, 1, 0, 61}, // never started: given up once 60 s have passed
        {{"UNPREPARED", "UNPREPARED", "COPYING", "END"}, 1, 1, 4},
    };
    Mount(Stores());
    auto *store = Open<CVideoStore_FtpAgent>("GA");
    ASSERT_NE(store, nullptr);
    agent->listing = "NEWS;";
    agent->sizes["NEWS"] = 1000000;
    for (const Case &c : cases) {
        {
            std::lock_guard<std::mutex> lk(agent->lock);
            agent->states = c.states;
            agent->alive = c.alive;
            agent->statusCalls = 0;
            agent->calls.clear();
        }
        Progress progress;
        const uint32_t start = plat::GetTickCount();
        EXPECT_EQ(CopyStepping(*store, "NEWS", progress), c.result) << c.states.front();
        EXPECT_EQ(agent->statusCalls, c.statusCalls) << c.states.front();
        if (c.statusCalls == 61) {
            EXPECT_EQ(plat::TickElapsed(start), 60000u);
        }
        ASSERT_FALSE(progress.done.empty());
        EXPECT_EQ(progress.done.front(), 0);
        EXPECT_EQ(progress.done.back(), 100) << "whatever the outcome";
        const auto calls = agent->Calls();
        ASSERT_FALSE(calls.empty());
        EXPECT_EQ(calls.back(), "RemoveTask 7");
    }
    EXPECT_EQ(made, 1) << "the agent is made once and fetched from the table";
}

TEST_F(FtpAgentStoreTest, ProgressFollowsTheTransferRateAndIsHeldBelow100)
{
    Mount(Stores());
    auto *store = Open<CVideoStore_FtpAgent>("GA");
    ASSERT_NE(store, nullptr);
    // 1000000 bytes at 8 Mbit/s: 25 frames, expected 1000000 bytes at 100000 bytes/s: 10% a
    // second.
    agent->listing = "NEWS;EMPTY;";
    agent->sizes["NEWS"] = 1000000;
    agent->states = {"RUNNING", "RUNNING", "RUNNING", "RUNNING", "RUNNING", "RUNNING", "RUNNING",
                     "RUNNING", "RUNNING", "RUNNING", "RUNNING", "RUNNING", "END"};
    Progress progress;
    EXPECT_EQ(CopyStepping(*store, "NEWS", progress), 1);
    EXPECT_EQ(progress.done,
              (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 99, 99, 99, 100}));

    // A clip of no length is expected at 21474836480 bytes: its progress stays at 0.
    agent->states = {"RUNNING", "RUNNING", "END"};
    Progress empty;
    EXPECT_EQ(CopyStepping(*store, "EMPTY", empty), 1);
    EXPECT_EQ(empty.done, (std::vector<int>{0, 0, 0, 100}));
}

TEST_F(FtpAgentStoreTest, ClipListsSizesAndFileOperationsGoThroughTheAgent)
{
    Mount(Stores());
    auto *store = Open<CVideoStore_FtpAgent>("GA");
    ASSERT_NE(store, nullptr);
    agent->listing = "NEWS;A_VERY_LONG_CLIP_NAME;;LOST;";
    agent->sizes = {{"NEWS", 2000000}, {"A_VERY_LONG_CLIP_NAME", 1000000}};
    CStringArray ids;
    EXPECT_EQ(store->DevIDList(ids, 0, 100), 1);
    EXPECT_EQ(std::vector<std::string>(ids.begin(), ids.end()),
              (std::vector<std::string>{"NEWS", "A_VERY_LONG_CLI"}))
        << "names cut to the cache's field; an empty piece ends the list";
    EXPECT_EQ(store->DevGetClipSize("NEWS"), 50);
    EXPECT_EQ(store->DevGetClipSize("LOST"), 0);
    EXPECT_EQ(agent->calls.front(), "AgentOpen agent1");
    EXPECT_EQ(agent->calls[1], "AgentConnect agent1");

    EXPECT_EQ(store->DevRename("NEWS", "NEWS2"), 1);
    EXPECT_EQ(store->DevDelete("NEWS2", 0), 1);
    agent->eraseResult = -1;
    EXPECT_EQ(store->DevDelete("NEWS2", 0), 0);
    EXPECT_TRUE(log.Has("Begin EraseFile"));
    EXPECT_TRUE(log.Has("End Erase File"));
    EXPECT_EQ(store->DevCopy("NEWS", "X"), 1);

    EXPECT_EQ(store->DevTest(""), 1);
    agent->alive = 0;
    EXPECT_EQ(store->DevTest(""), 0);
    EXPECT_TRUE(log.Has("Begin FtpAgent Test"));
    EXPECT_TRUE(log.Has("End FtpAgent Test"));

    // A far copy of a clip the cache lacks loads the list first.
    agent->alive = 1;
    agent->listing = "NEWS;FRESH;";
    agent->states = {"END"};
    Progress progress;
    EXPECT_EQ(CopyStepping(*store, "FRESH", progress), 1);
    EXPECT_TRUE(log.Has("Begin Load Clip From FtpServer"));
    EXPECT_TRUE(log.Has("End of Load Clip From FtpServer"));
    EXPECT_TRUE(log.Has("Begin Add Copy Task to FtpAgent"));
    EXPECT_EQ(agent->Calls().back(), "RemoveTask 7");
    agent->addResult = -1;
    Progress refused;
    EXPECT_EQ(store->DevFarCopy("FRESH", "", "GB", refused.Callback()), 0);
    EXPECT_TRUE(refused.done.empty()) << "a refused job reports nothing";
    EXPECT_EQ(made, 1);

    // Closing forgets the agent; the next call makes it again.
    EXPECT_EQ(store->DevClose(), 1);
    EXPECT_EQ(store->DevIsOpen(), 1);
    EXPECT_EQ(made, 2);
}

TEST_F(FtpAgentStoreTest, AnAgentThatIsNotReadyIsNeverRegistered)
{
    Mount(Stores());
    auto *store = Open<CVideoStore_FtpAgent>("GA");
    ASSERT_NE(store, nullptr);
    agent->ready = 0;
    EXPECT_EQ(store->DevIsOpen(), 0);
    EXPECT_EQ(store->DevTest(""), 0);
    EXPECT_EQ(store->DevLoadTotalClip(), 0);
    EXPECT_EQ(store->DevFarCopy("NEWS", "", "GB", {}), 0);
    EXPECT_EQ(made, 5) << "each fetch tries again (the far copy loads the list first)";
}

TEST_F(FtpAgentStoreTest, TheXVariantTakesItsSitePairsPerDestination)
{
    Mount(Section("GA", {{"class", "CVideoStore_FtpAgentX"},
                         {"FtpSite", "siteA"},
                         {"FTP.1", "GB:up-down"},
                         {"FTP.15", "GC:-"}}) +
          Section("GB", {{"class", "CVideoStore_FtpAgentX"}, {"FtpSite", "siteB"}}) +
          Section("GC", {{"class", "CVideoStore_FtpAgentX"}, {"FtpSite", "siteC"}}) +
          Section("GD", {{"class", "CVideoStore_FtpAgent"}, {"FtpSite", "siteD"}}));
    devtest::DeleteDevices more{{"GD"}};
    auto *store = Open<CVideoStore_FtpAgentX>("GA");
    ASSERT_NE(store, nullptr);
    struct Case {
        const char *dest;
        int found;
        const char *source, *target;
    } cases[] = {
        {"GB", 1, "up", "down"},
        {"GC", 1, "siteA", "siteC"}, // empty sides: the two stores' own sites
        {"GD", 0, "siteA", ""},      // not of the X kind
        {"GNONE", 0, "siteA", ""},
    };
    for (const Case &c : cases) {
        CString source, target;
        EXPECT_EQ(store->ResolveSites("NEWS", c.dest, source, target), c.found) << c.dest;
        EXPECT_EQ(std::string(source), c.source) << c.dest;
        EXPECT_EQ(std::string(target), c.target) << c.dest;
    }
    // The plain kind takes the destination store's site.
    auto *plain = Open<CVideoStore_FtpAgent>("GD");
    ASSERT_NE(plain, nullptr);
    CString source, target;
    EXPECT_EQ(plain->ResolveSites("NEWS", "GB", source, target), 1);
    EXPECT_EQ(std::string(target), "siteB");
}

TEST(FtpAgentTable, CookiesAreUniqueAndRevokedOnce)
{
    auto first = std::make_shared<ScriptedAgent>();
    const uint32_t a = ftpagent::RegisterInterfaceInGlobal(first);
    const uint32_t b = ftpagent::RegisterInterfaceInGlobal(std::make_shared<ScriptedAgent>());
    EXPECT_NE(a, 0u);
    EXPECT_NE(a, b);
    EXPECT_EQ(ftpagent::GetInterfaceFromGlobal(a), first);
    EXPECT_TRUE(ftpagent::RevokeInterfaceFromGlobal(a));
    EXPECT_FALSE(ftpagent::RevokeInterfaceFromGlobal(a));
    EXPECT_EQ(ftpagent::GetInterfaceFromGlobal(a), nullptr);
    EXPECT_EQ(ftpagent::RegisterInterfaceInGlobal(nullptr), 0u);
    EXPECT_TRUE(ftpagent::RevokeInterfaceFromGlobal(b));
    EXPECT_EQ(ftpagent::CreateInstance("{00000000-0000-0000-0000-000000000000}"), nullptr);
    EXPECT_NE(ftpagent::CreateInstance("{43abf3e1-266c-49aa-82f0-457e16019e59}"), nullptr)
        << "class ids compare without case";
}

class FtpAgentPeerTest : public ::testing::TestWithParam<ftptest::Flavor> {
protected:
    std::string Sites(const ftptest::FtpServer &a, const ftptest::FtpServer &b)
    {
        return Section("EA",
                       {{"class", "CVideoStore_FtpAgent"}, {"FtpSite", "\"" + a.Url() + "\""}}) +
               Section("EB",
                       {{"class", "CVideoStore_FtpAgent"}, {"FtpSite", "\"" + b.Url() + "\""}});
    }
    static CVideoStore_FtpAgent *Store(const char *name)
    {
        return dynamic_cast<CVideoStore_FtpAgent *>(
            CDeviceA::OpenDev(name, CVideoStore_FtpAgent::GetClassID()));
    }
    devtest::DeleteDevices cleanup{{"EA", "EB"}};
};

// The agent on our FTP client copies a clip between two real FTP servers; the store polls
// it on the real clock, once a second.
TEST_P(FtpAgentPeerTest, AClipIsCopiedBetweenTwoServers)
{
    ftptest::TempTree source, target;
    source.File("NEWS", 300000);
    source.File("SPORT", 1000000);
    ftptest::FtpServer a(GetParam(), source.Root()), b(GetParam(), target.Root());
    ASSERT_NE(a.Port(), 0);
    ASSERT_NE(b.Port(), 0);
    devtest::MountedSettings settings(Sites(a, b));
    auto *store = Store("EA");
    ASSERT_NE(store, nullptr);
    CStringArray ids;
    store->DevIDList(ids, 0, 10);
    std::vector<std::string> names(ids.begin(), ids.end());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"NEWS", "SPORT"}));
    EXPECT_EQ(store->DevGetClipSize("SPORT"), 25);

    Progress progress;
    EXPECT_EQ(store->DevFarCopy("NEWS", "", "EB", progress.Callback()), 1);
    EXPECT_EQ(target.Size("NEWS"), 300000);
    EXPECT_EQ(progress.done.back(), 100);
    EXPECT_EQ(store->DevFarCopy("MISSING", "", "EB", Progress().Callback()), 0);

    EXPECT_EQ(store->DevRename("SPORT", "SPORT2"), 1);
    EXPECT_TRUE(source.Exists("SPORT2"));
    EXPECT_EQ(store->DevDelete("SPORT2", 0), 1);
    EXPECT_FALSE(source.Exists("SPORT2"));
    EXPECT_EQ(store->DevDelete("SPORT2", 0), 0);
}

// Every call reloads the clip list, as it should: one log-on and one listing a load, however
// many clips the site holds.
TEST_P(FtpAgentPeerTest, AClipListCostsOneListingWhateverTheClipCount)
{
    constexpr int kClips = 40;
    ftptest::TempTree source, target;
    for (int i = 0; i < kClips; ++i) source.File("C" + std::to_string(100 + i), 1000000);
    ftptest::FtpServer a(GetParam(), source.Root()), b(GetParam(), target.Root());
    ASSERT_NE(a.Port(), 0);
    devtest::MountedSettings settings(Sites(a, b));
    auto *store = Store("EA");
    ASSERT_NE(store, nullptr);
    for (int load = 0; load < 3; ++load) {
        const int lists = a.Count("LIST"), logOns = a.Count("USER");
        EXPECT_EQ(store->DevGetClipSize("C120"), 25) << load;
        EXPECT_EQ(a.Count("LIST") - lists, 1) << load;
        EXPECT_EQ(a.Count("USER") - logOns, 1) << load;
    }
    // A clip the site gained since is seen by the next load.
    source.File("LATE", 2000000);
    EXPECT_EQ(store->DevGetClipSize("LATE"), 50);
    CStringArray ids;
    store->DevIDList(ids, 0, 100);
    EXPECT_EQ(ids.GetSize(), kClips + 1);
}

// A copy through the agent takes as long as the transfer does: the store's own limit (two
// hours of polls) is the only bound, and progress goes on being reported. While data flows the
// framework clock runs forty times the real one, a second a step, so that the transfer's few
// real seconds are well over a minute of it: steps owed while this thread did not run are
// taken one by one, without a pause, until it has caught up.
TEST_P(FtpAgentPeerTest, ACopyLongerThanAnyReplyBoundRunsToItsEnd)
{
    constexpr int64_t kBytes = 300000;
    ftptest::TempTree source, target;
    source.File("LONG", kBytes);
    // 60 kB a second: five seconds of real time.
    ftptest::FtpServer a(GetParam(), source.Root(), {"--rate", "60000"}),
        b(GetParam(), target.Root());
    ASSERT_NE(a.Port(), 0);
    ASSERT_NE(b.Port(), 0);
    devtest::ManualTime time;
    devtest::MountedSettings settings(Sites(a, b));
    auto *store = Store("EA");
    ASSERT_NE(store, nullptr);
    ASSERT_EQ(devtest::RunAdvancing([&] { return store->DevGetClipSize("LONG"); }), 7);

    Progress progress;
    plat::TestClock::WaitForSettled(0, 1000);
    const int idle = plat::TestClock::BlockedWaiters();
    auto copy = std::async(std::launch::async, [&] {
        return store->DevFarCopy("LONG", "", "EB", progress.Callback());
    });
    devtest::FinishStepping<int> finish(copy);
    const auto returned = [&] {
        return copy.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    };
    constexpr int64_t kRate = 40; // framework ms a real ms, while data flows
    uint32_t stepped = 0;
    int64_t owedMs = 0;
    auto counted = std::chrono::steady_clock::now();
    while (!returned() && stepped < 3600000) {
        plat::TestClock::WaitForSettled(idle + 1, 100);
        const auto now = std::chrono::steady_clock::now();
        const int64_t size = target.Size("LONG");
        if (size > 0 && size < kBytes)
            owedMs += kRate *
                      std::chrono::duration_cast<std::chrono::milliseconds>(now - counted).count();
        counted = now;
        // While data flows only the copy's final reply and the store's polls are waited for:
        // a second a step, each one polled. Else small steps, so that no reply wait runs out.
        const uint32_t step = owedMs >= 1000 ? 1000 : 50;
        if (step == 1000) owedMs -= 1000;
        plat::TestClock::Advance(step);
        stepped += step;
        if (owedMs < 1000) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(returned());
    EXPECT_EQ(copy.get(), 1);
    EXPECT_GT(stepped, 60000u) << "the copy outlasted a minute of framework time";
    EXPECT_EQ(target.Size("LONG"), kBytes);
    std::lock_guard<std::mutex> lk(progress.lock);
    EXPECT_GT(progress.done.size(), 60u) << "reported once a second throughout";
    EXPECT_TRUE(std::is_sorted(progress.done.begin(), progress.done.end()));
    EXPECT_EQ(progress.done.back(), 100);
}

// A job the store gives up (its limit reached, or it goes) stops the copy on both servers.
TEST_P(FtpAgentPeerTest, ARemovedJobStopsItsCopy)
{
    ftptest::TempTree source, target;
    source.File("LONG", 2000000);
    ftptest::FtpServer a(GetParam(), source.Root(), {"--rate", "50000"}),
        b(GetParam(), target.Root());
    ASSERT_NE(a.Port(), 0);
    ASSERT_NE(b.Port(), 0);
    CFtpSiteAgent agent;
    int32_t task = 0;
    ASSERT_EQ(agent.AddCopyTask(a.Url().c_str(), b.Url().c_str(), "LONG", task), 0);
    ASSERT_TRUE(devtest::Eventually([&] { return target.Size("LONG") > 0; }, 20000));
    CString state;
    EXPECT_EQ(agent.GetTaskProperty(task, "status", state), 0);
    EXPECT_EQ(std::string(state), "RUNNING");
    int32_t result = 0;
    EXPECT_EQ(agent.RemoveTask(task, result), 0);
    EXPECT_NE(agent.GetTaskProperty(task, "status", state), 0);
    EXPECT_TRUE(devtest::Eventually([&] { return !target.Exists("LONG"); }, 15000))
        << "the copy was aborted and its part removed";
    EXPECT_EQ(b.Count("DELE"), 1);
    // vsftpd, as it ships, reads no command while its transfer runs: the abort is sent, but the
    // part goes over a connection made anew.
    if (GetParam() == ftptest::Flavor::kPyftpdlib) {
        EXPECT_EQ(b.Count("ABOR"), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpAgentPeerTest, ::testing::ValuesIn(ftptest::kFlavors),
                         [](const auto &info) { return ftptest::FlavorName(info.param); });

} // namespace
