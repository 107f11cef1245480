// The log core: exact and pattern units, the pattern rule, the unit table, the debug log,
// failing handlers, many reporters, and closing the core.
#include "tests/Kest20/LogProbe.h"

#include "Kest20/KestCore.h"
#include "Kest20/KestLog.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Every message reported before this returns has been through the log thread.
void Drain(const LogProbe &pattern, const char *type)
{
    ASSERT_EQ(glReportLog(type, "drain", ""), 1);
    ASSERT_TRUE(pattern.WaitFor(1, "drain"));
}

// Texts "<thread * each + i>" arrived in order i for each thread.
void ExpectEachThreadInOrder(const std::vector<std::string> &texts, int threads, int each)
{
    std::vector<int> last(threads, -1);
    for (const std::string &text : texts) {
        int n = std::stoi(text);
        EXPECT_GT(n % each, last[n / each]) << "each thread's messages stay in order";
        last[n / each] = n % each;
    }
}

// A pattern unit whose handler waits until it is released.
struct Stuck {
    plat::Event entered, release{true};
    static int Serve(void *self, const char *, const char *, const char *)
    {
        static_cast<Stuck *>(self)->entered.Set();
        static_cast<Stuck *>(self)->release.Wait(plat::INFINITE);
        return 1;
    }
};

} // namespace

TEST(LogCore, ExactTypesReachTheFirstUnitOnTheReportingThreadAndOnlyInUpperCase)
{
    LogProbe lower("#log_core_exact", LOG_MODE_EXACT); // registered upper-cased
    EXPECT_EQ(glReportLog("#LOG_CORE_EXACT", "one", nullptr), 1);
    EXPECT_EQ(glReportLog("#log_core_exact", "lower", "i"), 1);
    std::vector<LogProbe::Entry> got = lower.Entries();
    ASSERT_EQ(got.size(), 1u) << "served at once, and a lower-case type reaches no exact unit";
    EXPECT_EQ(got[0].info, "") << "null info counts as empty";
    EXPECT_EQ(got[0].thread, plat::GetCurrentThreadId());

    LogProbe another("#LOG_CORE_EXACT", LOG_MODE_EXACT);
    glReportLog("#LOG_CORE_EXACT", "two", "");
    bool lowerFirst = lower.Handle() < another.Handle();
    EXPECT_EQ((lowerFirst ? lower : another).Texts().back(), "two");
    EXPECT_EQ((lowerFirst ? another : lower).Count(), lowerFirst ? 0u : 1u)
        << "only the unit of the lower index is served";

    std::string name(200, 'N');
    LogProbe cut(name.c_str(), LOG_MODE_EXACT);
    glReportLog(name.c_str(), "whole", "");
    glReportLog(name.substr(0, 127).c_str(), "cut", "");
    EXPECT_EQ(cut.Texts(), std::vector<std::string>{"cut"}) << "names keep 127 characters";
}

TEST(LogCore, PatternsAreServedInReportOrderOnTheLogThread)
{
    LogProbe listed("other x_core_pat", LOG_MODE_PATTERN); // an entry ending with the type
    LogProbe everything("*", LOG_MODE_PATTERN);
    LogProbe empty("", LOG_MODE_PATTERN);

    std::vector<std::string> expected;
    for (int i = 0; i < 20; ++i) {
        expected.push_back(std::to_string(i));
        glReportLog("Core_Pat", expected.back().c_str(), "");
    }
    Drain(listed, "CORE_PAT");
    expected.push_back("drain");
    EXPECT_EQ(listed.Texts(), expected);
    EXPECT_TRUE(everything.WaitFor(21) && empty.WaitFor(21));
    std::vector<LogProbe::Entry> got = listed.Entries();
    EXPECT_NE(got[0].thread, plat::GetCurrentThreadId());
    for (const LogProbe::Entry &entry : got) EXPECT_EQ(entry.thread, got[0].thread);
}

TEST(LogCore, EachMessageOfARunOfTypesIsMatchedByItsOwnType)
{
    LogProbe onlyA("LOG_CORE_RUN_A", LOG_MODE_PATTERN);
    LogProbe drain("LOG_CORE_RUN_END", LOG_MODE_PATTERN);
    for (const char *type : {"LOG_CORE_RUN_A", "LOG_CORE_RUN_B", "log_core_run_a", "LOG_CORE_RUN_B",
                             "LOG_CORE_RUN_B", "LOG_CORE_RUN_A"})
        glReportLog(type, type, "");
    Drain(drain, "LOG_CORE_RUN_END");
    EXPECT_EQ(onlyA.Texts(),
              (std::vector<std::string>{"LOG_CORE_RUN_A", "log_core_run_a", "LOG_CORE_RUN_A"}));
}

TEST(LogCore, PatternRule)
{
    EXPECT_TRUE(glLogRexExpression("TYPE", nullptr));
    EXPECT_TRUE(glLogRexExpression(nullptr, "OTHER"));
    EXPECT_TRUE(glLogRexExpression("TYPE", "*ANYTHING"));
    EXPECT_TRUE(glLogRexExpression("Type", "OTHER type"));
    EXPECT_TRUE(glLogRexExpression("TYPE", "A:B?PRETYPE;C"));
    EXPECT_FALSE(glLogRexExpression("TYPE", "TYPES"));
    EXPECT_FALSE(glLogRexExpression("TYPE", "TY PE"));
    // "\x81\x41" is one two-byte character whose second byte is "A": no entry ends with "A".
    EXPECT_FALSE(glLogRexExpression("A", "\x81\x41"));
    EXPECT_TRUE(glLogRexExpression("\x81\x41", "X\x81\x41"));
}

TEST(LogCore, FreedIndexesAreReusedOnceEach)
{
    ExpectInChild([] {
        auto fn = [](void *, const char *, const char *, const char *) { return 1; };
        int a = glRegisterLogProcessUnit("A", fn, nullptr, LOG_MODE_EXACT);
        EXPECT_EQ(a, 0);
        EXPECT_EQ(glRegisterLogProcessUnit("B", fn, nullptr, LOG_MODE_EXACT), 1);
        EXPECT_EQ(glUnregisterLogProcessUnit(a), 1);
        EXPECT_EQ(glUnregisterLogProcessUnit(a), 1) << "a second time is ignored";
        EXPECT_EQ(glUnregisterLogProcessUnit(-1), 1);
        EXPECT_EQ(glRegisterLogProcessUnit("C", fn, nullptr, LOG_MODE_EXACT), a);
        EXPECT_EQ(glRegisterLogProcessUnit("D", fn, nullptr, LOG_MODE_EXACT), 2)
            << "the index was freed once, so it is handed out once";
    });
}

TEST(LogCore, DebugLogIsSilentWhileTheFlagIsOffAndCutsItsText)
{
    LogProbe probe("LOG_CORE_DBG", LOG_MODE_EXACT);
    int previous = glSetDebugFlag(0);
    EXPECT_EQ(glReportDbg("LOG_CORE_DBG", "%s", "quiet"), 0);
    glSetDebugFlag(1);
    EXPECT_EQ(glReportDbg("LOG_CORE_DBG", "(%8s) %d", "dev", 7), 1);
    // 254 single bytes and a two-byte character: the cut at 255 keeps the character whole.
    EXPECT_EQ(glReportDbg("LOG_CORE_DBG", "%s%s", std::string(254, 'x').c_str(), "\xD6\xD0"), 1);
    EXPECT_EQ(glReportDbg("LOG_CORE_DBG", "%s", std::string(300, 'y').c_str()), 1);
    glSetDebugFlag(previous);

    EXPECT_EQ(probe.Texts(), (std::vector<std::string>{"(     dev) 7", std::string(254, 'x'),
                                                       std::string(255, 'y')}));
    // "P<thread, at least 4 digits> @hh:mm:ss<milliseconds in 5 places>"
    std::string info = probe.Entries()[0].info;
    unsigned thread = 0;
    int hour = 99, minute = 99, second = 99, ms = 9999;
    ASSERT_EQ(sscanf(info.c_str(), "P%u @%2d:%2d:%2d%5d", &thread, &hour, &minute, &second, &ms),
              5);
    EXPECT_EQ(thread, plat::GetCurrentThreadId());
    EXPECT_EQ(info.size(), std::max<size_t>(std::to_string(thread).size(), 4) + 16) << info;
    EXPECT_TRUE(hour < 24 && minute < 60 && second < 60 && ms < 1000) << info;
}

TEST(LogCore, ThrowingHandlersAreReportedAndServingGoesOn)
{
    DebugOutput output;
    auto thrower = [](void *, const char *, const char *, const char *) -> int {
        throw std::runtime_error("handler failed");
    };
    // Two failing pattern units: the one served second shows that the walk went on.
    std::vector<int> handles = {
        glRegisterLogProcessUnit("LOG_CORE_THROW", thrower, nullptr, LOG_MODE_EXACT),
        glRegisterLogProcessUnit("LOG_CORE_THROW", thrower, &output, LOG_MODE_PATTERN),
        glRegisterLogProcessUnit("LOG_CORE_THROW", thrower, &output, LOG_MODE_PATTERN),
    };
    LogProbe drain("LOG_CORE_THROW_DRAIN", LOG_MODE_PATTERN);
    EXPECT_EQ(glReportLog("LOG_CORE_THROW", "text", "info"), 1);
    EXPECT_EQ(glReportLog("LOG_CORE_THROW", "again", "info"), 1);
    Drain(drain, "LOG_CORE_THROW_DRAIN");
    for (int handle : handles) glUnregisterLogProcessUnit(handle);

    std::vector<std::string> expected;
    for (const char *text : {"text", "again"}) {
        expected.push_back(
            "Fatal Error Log2(LOG_CORE_THROW) Execute Stopped Info=" + std::string(text) + "\n");
        for (int i = 0; i < 2; ++i)
            expected.push_back(
                "Fatal Error Log(LOG_CORE_THROW) Execute Stopped Info=" + std::string(text) + "\n");
    }
    std::vector<std::string> lines = output.Lines();
    std::sort(lines.begin(), lines.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
}

TEST(LogCore, ManyThreadsReportAtOnce)
{
    constexpr int kThreads = 8, kEach = 200;
    LogProbe exact("LOG_CORE_MANY", LOG_MODE_EXACT);
    LogProbe pattern("LOG_CORE_MANY", LOG_MODE_PATTERN);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kEach; ++i)
                glReportLog("LOG_CORE_MANY", std::to_string(t * kEach + i).c_str(), "");
        });
    for (std::thread &thread : threads) thread.join();

    EXPECT_EQ(exact.Count(), size_t{kThreads * kEach});
    ASSERT_TRUE(pattern.WaitFor(kThreads * kEach));
    ExpectEachThreadInOrder(pattern.Texts(), kThreads, kEach);
}

TEST(LogCore, CloseDropsQueuedMessagesAndEmptiesTheTable)
{
    ExpectInChild([] {
        // On its first message: waits until more is queued, then closes the core from the
        // log thread itself.
        struct Closer : Stuck {
            plat::Event closed;
            static int Serve(void *self, const char *type, const char *text, const char *info)
            {
                Stuck::Serve(self, type, text, info);
                EXPECT_EQ(glCloseCodeMonitor(), 1);
                static_cast<Closer *>(self)->closed.Set();
                return 1;
            }
        } closer;
        LogProbe old("LOG_CORE_CLOSE", LOG_MODE_PATTERN);
        glRegisterLogProcessUnit("LOG_CORE_CLOSE", &Closer::Serve, &closer, LOG_MODE_PATTERN);
        glReportLog("LOG_CORE_CLOSE", "first", "");
        glReportLog("LOG_CORE_CLOSE", "queued", "");
        closer.release.Set();
        ASSERT_EQ(closer.closed.Wait(5000), plat::WAIT_OBJECT_0);

        LogProbe fresh("LOG_CORE_CLOSE", LOG_MODE_PATTERN);
        EXPECT_EQ(fresh.Handle(), 0) << "an empty table starts again at 0";
        EXPECT_EQ(glReportLog("LOG_CORE_CLOSE", "later", ""), 1) << "the thread starts again";
        ASSERT_TRUE(fresh.WaitFor(1));
        EXPECT_EQ(old.Texts(), std::vector<std::string>{"first"});
        EXPECT_EQ(fresh.Texts(), std::vector<std::string>{"later"});
    });
}

TEST(LogCore, ShutdownGivesUpAStuckLogThreadAndEndsLogging)
{
    ExpectInChild([] {
        Stuck *stuck = new Stuck; // left to the given-up thread, which may outlive the child
        glRegisterLogProcessUnit("LOG_CORE_SHUT", &Stuck::Serve, stuck, LOG_MODE_PATTERN);
        LogProbe exact("LOG_CORE_SHUT", LOG_MODE_EXACT);
        glReportLog("LOG_CORE_SHUT", "stuck", "");
        ASSERT_EQ(stuck->entered.Wait(5000), plat::WAIT_OBJECT_0);

        // Reporters race the shutdown; none of them may touch a core that is gone.
        std::atomic<bool> stop{false};
        std::vector<std::thread> reporters;
        for (int t = 0; t < 4; ++t)
            reporters.emplace_back([&] {
                while (!stop) glReportLog("LOG_CORE_SHUT", "racing", "");
            });
        plat::ScopedTestClock clock;
        std::thread closer([] { glCoreShutDown(); });
        // The stop waits for the stuck thread only as long as its bound.
        ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1));
        plat::TestClock::Advance(1000);
        closer.join();
        stop = true;
        for (std::thread &reporter : reporters) reporter.join();

        size_t seen = exact.Count();
        EXPECT_EQ(glReportLog("LOG_CORE_SHUT", "after", ""), 0);
        EXPECT_EQ(glRegisterLogProcessUnit("LOG_CORE_SHUT", &Stuck::Serve, stuck, 1), 0);
        EXPECT_EQ(glCloseCodeMonitor(), 0);
        EXPECT_EQ(exact.Count(), seen);
        stuck->release.Set();
    });
}

TEST(LogCore, UnregisteringWaitsForACallInProgress)
{
    struct Case {
        const char *what;
        int32_t mode;
        bool nested;       // the call first reports a message served by another unit
        bool tableChanges; // units are registered while the call runs
    };
    const Case cases[] = {
        {"exact", LOG_MODE_EXACT, false, false},
        {"exact, table changed during the call", LOG_MODE_EXACT, false, true},
        {"exact, after a nested call has ended", LOG_MODE_EXACT, true, false},
        {"pattern, on the log thread", LOG_MODE_PATTERN, false, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        struct Slow {
            plat::Event entered, release{true};
            std::atomic<bool> finished{false};
            bool nested = false;
            static int Serve(void *self, const char *, const char *, const char *)
            {
                auto *slow = static_cast<Slow *>(self);
                if (slow->nested) glReportLog("LOG_CORE_INNER", "inner", "");
                slow->entered.Set();
                slow->release.Wait(5000);
                slow->finished = true;
                return 1;
            }
        } slow;
        slow.nested = c.nested;
        LogProbe inner("LOG_CORE_INNER", LOG_MODE_EXACT);
        const int handle = glRegisterLogProcessUnit("LOG_CORE_SLOW", &Slow::Serve, &slow, c.mode);
        std::thread reporter([] { glReportLog("LOG_CORE_SLOW", "slow", ""); });
        ASSERT_EQ(slow.entered.Wait(5000), plat::WAIT_OBJECT_0);
        EXPECT_EQ(inner.Count(), c.nested ? 1u : 0u);
        std::vector<std::unique_ptr<LogProbe>> others;
        for (int i = 0; c.tableChanges && i < 3; ++i)
            others.push_back(std::make_unique<LogProbe>("LOG_CORE_OTHER", c.mode));

        ExpectEndWaitsForTheCall([&] { glUnregisterLogProcessUnit(handle); }, slow.release,
                                 slow.finished);
        reporter.join();
    }
}

TEST(LogCore, ReportsRacingChangesOfTheTableAreEachServedOnce)
{
    constexpr int kThreads = 4, kEach = 2000;
    LogProbe exact("LOG_CORE_RACE", LOG_MODE_EXACT);
    LogProbe pattern("LOG_CORE_RACE", LOG_MODE_PATTERN);
    std::atomic<int> reporting{kThreads};
    // Registers and unregisters units of other types, of both modes, all along.
    std::thread changer([&] {
        auto none = [](void *, const char *, const char *, const char *) { return 1; };
        while (reporting > 0) {
            int a = glRegisterLogProcessUnit("LOG_CORE_CHURN", none, &reporting, LOG_MODE_EXACT);
            int b = glRegisterLogProcessUnit("LOG_CORE_CHURN", none, &reporting, LOG_MODE_PATTERN);
            glUnregisterLogProcessUnit(a);
            glUnregisterLogProcessUnit(b);
        }
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &reporting] {
            for (int i = 0; i < kEach; ++i)
                glReportLog("LOG_CORE_RACE", std::to_string(t * kEach + i).c_str(), "");
            --reporting;
        });
    for (std::thread &thread : threads) thread.join();
    changer.join();

    EXPECT_EQ(exact.Count(), size_t{kThreads * kEach});
    ASSERT_TRUE(pattern.WaitFor(kThreads * kEach));
    EXPECT_EQ(pattern.Count(), size_t{kThreads * kEach}) << "none twice";
    ExpectEachThreadInOrder(pattern.Texts(), kThreads, kEach);
}

TEST(LogCore, QueuedMessagesOfAnySizeArriveWholeAndInOrder)
{
    // Around and beyond the size in which the queue keeps its messages.
    const size_t sizes[] = {0, 1, 200, 65000, 65536, 70000, 300000, 3};
    LogProbe pattern("LOG_CORE_SIZES", LOG_MODE_PATTERN);
    std::vector<std::string> texts;
    for (size_t i = 0; i < std::size(sizes); ++i) {
        texts.push_back(std::string(sizes[i], static_cast<char>('a' + i)));
        glReportLog("LOG_CORE_SIZES", texts.back().c_str(), std::to_string(i).c_str());
    }
    ASSERT_TRUE(pattern.WaitFor(texts.size()));
    std::vector<LogProbe::Entry> got = pattern.Entries();
    ASSERT_EQ(got.size(), texts.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].type, "LOG_CORE_SIZES");
        EXPECT_EQ(got[i].text, texts[i]) << "message " << i << " of " << sizes[i] << " bytes";
        EXPECT_EQ(got[i].info, std::to_string(i));
    }
}
