// Test helpers of the log: a recorder of messages (as a log unit of its own or as a reader's
// handler object), a collector of the debugger output, and a runner for checks that must not
// change the test program's own log core.
#pragma once

#include "Kest20/KestLog.h"
#include "platform/Process.h"
#include "platform/Sync.h"
#include "platform/Thread.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class LogProbe {
public:
    struct Entry {
        std::string type, text, info;
        uint32_t thread;
    };

    LogProbe() = default;
    LogProbe(const char *name, int32_t mode)
        : m_handle(glRegisterLogProcessUnit(name, &Receive, this, mode))
    {
    }
    ~LogProbe()
    {
        if (m_handle >= 0) glUnregisterLogProcessUnit(m_handle);
    }
    LogProbe(const LogProbe &) = delete;
    LogProbe &operator=(const LogProbe &) = delete;

    int Handle() const { return m_handle; }

    // Records the message with the calling thread: 1.
    int OnLog(const char *type, const char *text, const char *info)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_entries.push_back({type, text, info, plat::GetCurrentThreadId()});
        }
        m_arrived.Set();
        return 1;
    }

    std::vector<Entry> Entries() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries;
    }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const Entry &entry : Entries()) texts.push_back(entry.text);
        return texts;
    }
    size_t Count() const { return Entries().size(); }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.clear();
    }

    // True once `count` messages (or, with a text, a message of that text) have come; gives
    // up after `ms` of real time.
    bool WaitFor(size_t count, const char *text = nullptr, uint32_t ms = 5000) const
    {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            std::vector<std::string> texts = Texts();
            if (texts.size() >= count &&
                (!text || std::find(texts.begin(), texts.end(), text) != texts.end()))
                return true;
            if (std::chrono::steady_clock::now() >= deadline) return false;
            m_arrived.Wait(10);
        }
    }

private:
    static int Receive(void *self, const char *type, const char *text, const char *info)
    {
        return static_cast<LogProbe *>(self)->OnLog(type, text, info);
    }

    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
    plat::Event m_arrived;
    int m_handle = -1;
};

// Collects the debugger output while it lives.
class DebugOutput {
public:
    DebugOutput()
        : m_previous(plat::SetDebugOutputSink([this](const char *text) {
              std::lock_guard<std::mutex> lock(m_mutex);
              m_lines.push_back(text);
          }))
    {
    }
    ~DebugOutput() { plat::SetDebugOutputSink(m_previous); }
    std::vector<std::string> Lines()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
    plat::DebugOutputSink m_previous;
};

// Runs `end` (the end of a subscription) on a thread of its own while a call into the unit is
// held: `end` must return only after `release` has let the call go on to set `finished`.
inline void ExpectEndWaitsForTheCall(const std::function<void()> &end, const plat::Event &release,
                                     const std::atomic<bool> &finished)
{
    plat::Event ended(true);
    std::atomic<bool> finishedFirst{false};
    std::thread ender([&] {
        end();
        finishedFirst = finished.load();
        ended.Set();
    });
    EXPECT_NE(ended.Wait(100), plat::WAIT_OBJECT_0) << "must wait for the call";
    release.Set();
    EXPECT_EQ(ended.Wait(5000), plat::WAIT_OBJECT_0);
    ender.join();
    EXPECT_TRUE(finishedFirst);
}

// Runs `body` in a child process (the parent's log core stays as it is) and expects every
// check made in it to pass; the child's failures are written to its standard error.
inline void ExpectInChild(const std::function<void()> &body)
{
    auto run = [&] {
        ::testing::TestPartResultArray results;
        {
            ::testing::ScopedFakeTestPartResultReporter reporter(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ALL_THREADS, &results);
            body();
        }
        int failures = 0;
        for (int i = 0; i < results.size(); ++i) {
            const ::testing::TestPartResult &result = results.GetTestPartResult(i);
            if (!result.failed()) continue;
            ++failures;
            fprintf(stderr, "%s:%d: %s\n", result.file_name() ? result.file_name() : "",
                    result.line_number(), result.message());
        }
        return failures;
    };
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(_exit(run() ? 1 : 0), ::testing::ExitedWithCode(0), "");
}
