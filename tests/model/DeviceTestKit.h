// What the device model tests share: the manual test clock with the framework clock on it from
// 2020-01-01 00:00:00 UTC, a settings file of the test's own mounted at "/etc/tvx", a capture
// of one log type, and a guard that deletes the devices a test created.
#pragma once

#include "tests/KestLib20/ScopedTimeZone.h"
#include "tests/kit/Capture.h"

#include "Kest20/CClock.h"
#include "Kest20/CCounter.h"
#include "Kest20/CLogReader.h"
#include "Kest20/InstanceRegistry.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CConfigFileAccessX.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <poll.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace devtest {

constexpr int64_t kFileTime2020 = 132223104000000000LL; // 2020-01-01 00:00:00 UTC
constexpr int64_t kSecond = 10000000;
constexpr int64_t kMs = 10000;

// Waits in real time until `condition` holds.
inline bool Eventually(const std::function<bool()> &condition, int ms = 5000)
{
    for (int waited = 0; waited < ms; ++waited) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}

// Bytes written to a pseudo-terminal reach its other end through a kernel work queue, a
// while later: in between, writer and reader both sleep and the process looks quiet. Polling
// the receiving end hands the pending bytes over at once and wakes its reader, so a poll of
// every terminal descriptor of the process makes bytes in flight show as a running reader.
inline void DeliverTerminalBytes()
{
    std::error_code error;
    for (const auto &fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        const std::string target = std::filesystem::read_symlink(fd.path(), linkError).string();
        if (linkError || (target != "/dev/ptmx" && target.rfind("/dev/pts/", 0) != 0)) continue;
        pollfd p{std::atoi(fd.path().filename().c_str()), POLLIN, 0};
        poll(&p, 1, 0);
    }
}

// Whether every other thread of this process sleeps (none runs or waits for the disk) and no
// thread the clock or an object woke is still to run: nothing happens until the clock moves or
// bytes arrive.
inline bool ProcessQuiet()
{
    if (!plat::TestClock::WaitForSettled(0, 0)) return false;
    DeliverTerminalBytes();
    const std::string self = std::to_string(gettid());
    std::error_code error;
    for (const auto &task : std::filesystem::directory_iterator("/proc/self/task", error)) {
        if (task.path().filename() == self) continue;
        std::ifstream stat(task.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue; // the thread has ended
        const size_t name = line.rfind(')');
        if (name == std::string::npos || name + 2 >= line.size()) continue;
        const char state = line[name + 2];
        if (state == 'R' || state == 'D') return false;
    }
    return true;
}

// Waits (at most `realMs` of real time) until the process is quiet twice in a row, or until
// `done` holds.
inline void WaitQuiet(uint32_t realMs, const std::function<bool()> &done = {})
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    int quiet = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (done && done()) return;
        quiet = ProcessQuiet() ? quiet + 1 : 0;
        if (quiet == 2) return;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

// Advances the manual clock by `stepMs` once the process is quiet, then waits until the
// threads the step woke have run and gone back to sleep, or until `done` holds; no step when
// `done` holds before it. Each wait for quiet lasts at most 2 s of real time, so no thread
// misses a step however loaded the machine, and a process that never quiets still moves on.
inline void StepClock(uint32_t stepMs, const std::function<bool()> &done = {})
{
    constexpr uint32_t kQuietBoundMs = 2000;
    WaitQuiet(kQuietBoundMs, done);
    // What the step was for has come meanwhile: the clock stays where it happened.
    if (done && done()) return;
    plat::TestClock::Advance(stepMs);
    WaitQuiet(kQuietBoundMs, done);
}

// Steps the manual clock `stepMs` at a time (see StepClock) until `done` holds or `maxMs`
// have passed. Whether it held.
inline bool AdvanceUntil(const std::function<bool()> &done, uint32_t stepMs = 50,
                         uint32_t maxMs = 20000)
{
    for (uint32_t advanced = 0; !done(); advanced += stepMs) {
        if (advanced >= maxMs) return false;
        StepClock(stepMs, done);
    }
    return true;
}

// Held beside a call running on another thread that needs the manual clock to move: when
// the test leaves before taking the result (a failed assertion), it steps the clock until the
// call has returned, so the future's wait in its destructor never lasts for ever.
template <class T> class FinishStepping {
public:
    explicit FinishStepping(std::future<T> &call) : m_call(call) {}
    ~FinishStepping()
    {
        if (!m_call.valid()) return;
        AdvanceUntil(
            [&] {
                return m_call.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
            },
            50, 600000);
    }
    FinishStepping(const FinishStepping &) = delete;
    FinishStepping &operator=(const FinishStepping &) = delete;

private:
    std::future<T> &m_call;
};

// Runs `call` on another thread while the manual clock advances until it has returned. Under
// load an exchange may time out on the manual clock and take longer: the clock goes on up to
// ten minutes, so the call always returns and the test never hangs on it.
template <class Call> auto RunAdvancing(Call call)
{
    auto result = std::async(std::launch::async, call);
    EXPECT_TRUE(AdvanceUntil(
        [&] { return result.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready; },
        50, 600000));
    return result.get();
}

// Runs `call` on another thread and steps the manual clock `stepMs` at a time, each step only
// once the call is blocked in a timed wait, so the manual time it takes does not depend on the
// machine's load. Returns the result and that manual time; a call still running after `maxMs`
// fails the test and is carried to its end.
template <class Call> auto RunStepping(Call call, uint32_t stepMs, uint32_t maxMs)
{
    plat::TestClock::WaitForSettled(0, 1000);
    const int idle = plat::TestClock::BlockedWaiters();
    const uint32_t start = plat::GetTickCount();
    auto result = std::async(std::launch::async, call);
    const auto returned = [&] {
        return result.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    };
    for (uint32_t stepped = 0; stepped < maxMs && !returned(); stepped += stepMs) {
        Eventually([&] { return returned() || plat::TestClock::WaitForSettled(idle + 1, 1); });
        if (!returned()) plat::TestClock::Advance(stepMs);
    }
    const uint32_t took = plat::TickElapsed(start);
    EXPECT_TRUE(Eventually(returned, 2000) || AdvanceUntil(returned, stepMs, 600000))
        << "still running after " << maxMs << " ms";
    return std::make_pair(result.get(), took);
}

// The manual clock for one test, started well past the machine's first seconds (a device's
// first open and check pass once their interval has passed since tick 0), and the framework
// clock on it.
// Tests of this program that start the manual clock elsewhere leave the framework counter's
// devices apart; they are brought together and the counter rebased, so that it runs on with
// the manual clock from where it stands.
class ManualTime {
public:
    ManualTime() : m_clock(plat::GetTickCount() + kTickLead, kFileTime2020)
    {
        CCounter *counter = glGetClock()->GetCounter();
        counter->SyncAllCounter();
        counter->SetRateOfAcc(1.0);
        glGetClock()->Reset(40, 1.0);
    }
    // The framework time now.
    static int64_t Now()
    {
        int64_t now = 0;
        glGetTimeEx(&now);
        return now;
    }

private:
    static constexpr uint32_t kTickLead = 10000000;
    ScopedTimeZone m_tz{"UTC"};
    plat::ScopedTestClock m_clock;
};

// A settings file mounted at "/etc/tvx" for the object's life; its provider is destroyed at the
// end, so tests never see each other's settings.
class MountedSettings {
public:
    explicit MountedSettings(const std::string &text)
    {
        std::string pattern = ::testing::TempDir() + "kest_model_XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd >= 0) close(fd);
        m_file = pattern;
        std::ofstream(m_file, std::ios::binary | std::ios::trunc) << text;
        m_provider = std::make_unique<CConfigFileAccessX>(m_file.c_str());
        m_provider->Mount("/etc/tvx");
    }
    ~MountedSettings()
    {
        m_provider.reset();
        std::filesystem::remove(m_file);
    }
    MountedSettings(const MountedSettings &) = delete;
    MountedSettings &operator=(const MountedSettings &) = delete;

private:
    std::string m_file;
    std::unique_ptr<CConfigFileAccessX> m_provider;
};

// "[name]" followed by "key=value" lines.
inline std::string Section(const std::string &name,
                           std::initializer_list<std::pair<std::string, std::string>> keys)
{
    std::string text = "[" + name + "]\r\n";
    for (const auto &[key, value] : keys) text += key + "=" + value + "\r\n";
    return text;
}

// The texts of one log type, taken on the reporting thread.
using kit::LogCapture;

// Waits (in real time) until the log thread has delivered every message reported before:
// a marker reported now reaches a pattern reader of its own once the thread is through them.
inline bool PatternReadersCaughtUp(int ms = 5000)
{
    struct Marker {
        static int Receive(void *got, const char *, const char *, const char *)
        {
            static_cast<std::atomic<bool> *>(got)->store(true);
            return 1;
        }
    };
    std::atomic<bool> got{false};
    const int handle =
        glRegisterLogProcessUnit("KEST_TEST_CAUGHT_UP", &Marker::Receive, &got, LOG_MODE_PATTERN);
    glReportLog("KEST_TEST_CAUGHT_UP", "", "");
    const bool caughtUp = Eventually([&] { return got.load(); }, ms);
    glUnregisterLogProcessUnit(handle);
    return caughtUp;
}

// Share-bus messages no device in virtual mode may act on, as {type, text}: no type and
// types that only end the channel's name (a pattern lets them through), and texts without a
// Virtual.
inline std::vector<std::pair<std::string, std::string>> StrayShareMessages()
{
    const std::string off = "<Virtual = \"FALSE\">";
    return {{"", off},
            {"SHARE", off},
            {"DEV_SHARE", off},
            {"#OVRA_DEV_SHARE", ""},
            {"#OVRA_DEV_SHARE", "1"},
            {"#OVRA_DEV_SHARE", "<Mode=\"1\">"},
            {"#OVRA_DEV_SHARE", "<Virtual = \"\">"},
            {"#OVRA_DEV_SHARE", "<Virtual = \"maybe\">"}};
}

// Reports each stray share-bus message and expects `unchanged` to hold once it has been
// delivered (a reader that acts on one may take a while: up to `ms` each); `again` puts the
// device back where it was after a failure.
inline void ExpectStrayShareMessagesIgnored(const std::function<bool()> &unchanged,
                                            const std::function<void()> &again = {}, int ms = 5000)
{
    for (const auto &[type, text] : StrayShareMessages()) {
        glReportLog(type.c_str(), text.c_str(), "");
        ASSERT_TRUE(PatternReadersCaughtUp(ms));
        EXPECT_TRUE(unchanged()) << "type \"" << type << "\", text " << text;
        if (again && !unchanged()) again();
    }
}

// Deletes, at the end of a test, every live device of the given names.
class DeleteDevices {
public:
    explicit DeleteDevices(std::vector<std::string> names) : m_names(std::move(names)) {}
    ~DeleteDevices()
    {
        CPtrArray objects;
        for (const std::string &name : m_names)
            if (CClassA *object = glGetInstanceByName(CClassA::GetClassID(), name.c_str()))
                objects.Add(object);
        glDeleteObjects(objects);
    }

private:
    std::vector<std::string> m_names;
};

} // namespace devtest
