// Log readers: handler and override forms, ending a subscription while a delivery runs or from
// inside it, and CLogMsg's queue thread.
#include "tests/Kest20/LogProbe.h"

#include "Kest20/CLogReader.h"
#include "Kest20/KestLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

TEST(LogReader, ServesItsHandlerUntilModifiedOrDestroyed)
{
    LogProbe handler;
    {
        CLogReader reader(&LogProbe::OnLog, &handler, "#log_reader_a", LOG_MODE_EXACT);
        glReportLog("#LOG_READER_A", "exact", "info");
        reader.Modify("LOG_READER_B", LOG_MODE_PATTERN);
        glReportLog("#LOG_READER_A", "old type", "");
        glReportLog("log_reader_b", "pattern", "");
        ASSERT_TRUE(handler.WaitFor(2));
    }
    LogProbe drain("LOG_READER_B", LOG_MODE_PATTERN);
    glReportLog("LOG_READER_B", "destroyed", "");
    ASSERT_TRUE(drain.WaitFor(1));
    EXPECT_EQ(handler.Texts(), (std::vector<std::string>{"exact", "pattern"}));
    EXPECT_EQ(handler.Entries()[0].info, "info");

    CLogReader unbound(&LogProbe::OnLog, nullptr, "LOG_READER_B", LOG_MODE_EXACT);
    EXPECT_EQ(unbound.OnRecvLog("LOG_READER_B", "x", ""), 0);
    EXPECT_EQ(CLogReader::static_On_ReceiveLog(nullptr, "LOG_READER_B", "x", ""), 0);

    struct Counting : CLogReader {
        Counting() : CLogReader("LOG_READER_OVR", LOG_MODE_EXACT, SubscribeLater{}) { Subscribe(); }
        int OnRecvLog(const char *, const char *text, const char *) override
        {
            texts.push_back(text);
            return 1;
        }
        std::vector<std::string> texts;
    } overriding;
    glReportLog("LOG_READER_OVR", "one", "");
    EXPECT_EQ(overriding.texts, std::vector<std::string>{"one"});
}

TEST(LogReader, AReaderWrittenToTheTypeAndModeConstructorIsSubscribedAtOnce)
{
    // A control program's reader: the constructor of the type and mode, an override, nothing
    // more.
    struct Program : LogProbe, CLogReader {
        Program(const char *type, int32_t mode) : CLogReader(type, mode) {}
        int OnRecvLog(const char *type, const char *text, const char *info) override
        {
            return OnLog(type, text, info);
        }
    };
    for (int32_t mode : {LOG_MODE_EXACT, LOG_MODE_PATTERN}) {
        const std::string type = "LOG_READER_PROGRAM_" + std::to_string(mode);
        Program reader(type.c_str(), mode);
        glReportLog(type.c_str(), "one", "");
        EXPECT_TRUE(reader.WaitFor(1, "one")) << "mode " << mode;
    }

    // Subscribed at once, a plain reader holds the lower index (in an emptied table): the
    // later unit of its type is not served.
    ExpectInChild([] {
        glCloseCodeMonitor();
        CLogReader plain("LOG_READER_PLAIN", LOG_MODE_EXACT);
        LogProbe later("LOG_READER_PLAIN", LOG_MODE_EXACT);
        EXPECT_EQ(later.Handle(), 1);
        glReportLog("LOG_READER_PLAIN", "first unit only", "");
        EXPECT_EQ(later.Count(), 0u);
    });
}

TEST(LogReader, AReaderIsNotCalledBeforeItIsWhole)
{
    struct Building : CLogReader {
        Building() : CLogReader("LOG_READER_WHOLE", LOG_MODE_EXACT, SubscribeLater{})
        {
            // Served at once on this thread when a subscription were made already.
            glReportLog("LOG_READER_WHOLE", "while building", "");
            whole = true;
            Subscribe();
        }
        ~Building() override { Unsubscribe(); }
        int OnRecvLog(const char *, const char *text, const char *) override
        {
            (whole ? texts : early).push_back(text);
            return 1;
        }
        bool whole = false;
        std::vector<std::string> texts, early;
    } reader;
    glReportLog("LOG_READER_WHOLE", "built", "");
    EXPECT_TRUE(reader.early.empty()) << reader.early.front();
    EXPECT_EQ(reader.texts, std::vector<std::string>{"built"});
}

TEST(LogReader, DestructionWaitsForADeliveryInProgress)
{
    struct Blocker {
        plat::Event entered, release{true};
        std::atomic<bool> finished{false};
        int OnLog(const char *, const char *, const char *)
        {
            entered.Set();
            release.Wait(5000);
            finished = true;
            return 1;
        }
    } blocker;
    auto reader =
        std::make_unique<CLogReader>(&Blocker::OnLog, &blocker, "LOG_READER_WAIT", LOG_MODE_EXACT);
    std::thread reporter([] { glReportLog("LOG_READER_WAIT", "slow", ""); });
    ASSERT_EQ(blocker.entered.Wait(5000), plat::WAIT_OBJECT_0);

    ExpectEndWaitsForTheCall([&] { reader.reset(); }, blocker.release, blocker.finished);
    reporter.join();
}

TEST(LogReader, AReaderMayEndItselfFromItsOwnHandler)
{
    // One destroys itself on the log thread, one moves itself on the reporting thread;
    // neither waits for its own call.
    struct SelfEnding : LogProbe {
        std::unique_ptr<CLogReader> reader;
        int End(const char *type, const char *text, const char *info)
        {
            reader.reset();
            return OnLog(type, text, info);
        }
        int Move(const char *type, const char *text, const char *info)
        {
            reader->Modify("LOG_READER_MOVED", LOG_MODE_EXACT);
            return OnLog(type, text, info);
        }
    } pattern, exact;
    pattern.reader = std::make_unique<CLogReader>(&SelfEnding::End, &pattern, "LOG_READER_SELF",
                                                  LOG_MODE_PATTERN);
    exact.reader =
        std::make_unique<CLogReader>(&SelfEnding::Move, &exact, "LOG_READER_SELF", LOG_MODE_EXACT);
    LogProbe drain("LOG_READER_SELF", LOG_MODE_PATTERN);
    glReportLog("LOG_READER_SELF", "end", "");
    glReportLog("LOG_READER_SELF", "later", "");
    ASSERT_TRUE(drain.WaitFor(2));
    EXPECT_EQ(pattern.Texts(), std::vector<std::string>{"end"});
    EXPECT_EQ(exact.Texts(), std::vector<std::string>{"end"});
}

TEST(LogMsg, HandsMessagesToItsOwnThreadInArrivalOrder)
{
    DebugOutput output;
    struct Failing : LogProbe {
        int OnLogOrFail(const char *type, const char *text, const char *info)
        {
            OnLog(type, text, info);
            if (std::string(text) == "5") throw std::runtime_error("handler failed");
            return 1;
        }
    } handler;
    CLogMsg queue(&Failing::OnLogOrFail, &handler, "LOG_MSG_ORDER");
    std::vector<std::string> expected;
    for (int i = 0; i < 50; ++i) {
        expected.push_back(std::to_string(i));
        EXPECT_EQ(queue.OnRecvLog("LOG_MSG_ORDER", expected.back().c_str(), ""), 1);
        expected.push_back(std::to_string(i) + "r");
        glReportLog("LOG_MSG_ORDER", expected.back().c_str(), "");
    }
    ASSERT_TRUE(handler.WaitFor(expected.size()));
    EXPECT_EQ(handler.Texts(), expected) << "a handler that throws does not end the queue";
    std::vector<LogProbe::Entry> got = handler.Entries();
    EXPECT_NE(got[0].thread, plat::GetCurrentThreadId());
    for (const LogProbe::Entry &entry : got) EXPECT_EQ(entry.thread, got[0].thread);
    EXPECT_EQ(output.Lines(),
              std::vector<std::string>{"Fatal Error Log(LOG_MSG_ORDER) Execute Stopped Info=5\n"});
}

TEST(LogMsg, StopDropsWhatIsQueuedAndALaterMessageStartsAgain)
{
    struct Stopping : LogProbe {
        CLogMsg *queue = nullptr;
        plat::Event release{true}, stopped;
        int OnFirst(const char *type, const char *text, const char *info)
        {
            OnLog(type, text, info);
            if (std::string(text) != "first") return 1;
            release.Wait(5000);
            EXPECT_EQ(queue->Stop(), 1);
            stopped.Set();
            return 1;
        }
    } handler;
    CLogMsg queue(&Stopping::OnFirst, &handler, "LOG_MSG_STOP");
    handler.queue = &queue;
    for (const char *text : {"first", "dropped", "dropped"}) glReportLog("LOG_MSG_STOP", text, "");
    handler.release.Set();
    ASSERT_EQ(handler.stopped.Wait(5000), plat::WAIT_OBJECT_0);
    glReportLog("LOG_MSG_STOP", "later", "");
    ASSERT_TRUE(handler.WaitFor(2));
    EXPECT_EQ(handler.Texts(), (std::vector<std::string>{"first", "later"}));
}
