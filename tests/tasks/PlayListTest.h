// Test fixture of the play list: the framework clock on the manual test clock from
// 2020-01-01 00:00:00 UTC, the list's log lines captured, a status-callback recorder and an
// owner that counts the steps its thread calls.
#pragma once

#include "drivers/model/CVideoPlayTaskList.h"

#include "tests/KestLib20/ScopedTimeZone.h"
#include "tests/kit/Capture.h"

#include "Kest20/CClock.h"
#include "Kest20/CLogReader.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace playlist_test {

constexpr int64_t kFileTime2020 = 132223104000000000LL; // 2020-01-01 00:00:00 UTC
constexpr int64_t kSecond = 10000000;
constexpr int32_t kFramesPerSecond = 25;

// The framework clock rises strictly, so the list reads it a few units past the test's start;
// tasks start half a millisecond past whole seconds, so that what the list computes from its
// reading comes out in whole frames and milliseconds.
constexpr int64_t kHalfMs = 5000;

// A task starting `startSeconds` after the test's start (negative: that long before).
inline CVideoPlayTask Task(int32_t id, const char *clip, int64_t startSeconds, int32_t durSeconds,
                           int32_t somFrames = 0)
{
    CVideoPlayTask task;
    task.m_nTaskID = id;
    task.m_strClipID = clip;
    task.m_nStart = kFileTime2020 + kHalfMs + startSeconds * kSecond;
    task.m_nDUR = durSeconds * kFramesPerSecond;
    task.m_nSOM = somFrames;
    return task;
}

inline std::vector<int32_t> Ids(CVideoPlayTaskList &list, int all = 0)
{
    CVideoPlayTaskArray tasks;
    list.GetTaskList(tasks, all);
    std::vector<int32_t> ids;
    for (const CVideoPlayTask &task : tasks) ids.push_back(task.m_nTaskID);
    return ids;
}

// Waits in real time until `condition` holds.
inline bool Eventually(const std::function<bool()> &condition, int ms = 5000)
{
    for (int waited = 0; waited < ms; ++waited) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
}

struct Call {
    int32_t id, status, extra;
    friend bool operator==(const Call &, const Call &) = default;
};

inline void PrintTo(const Call &c, std::ostream *os)
{
    *os << "(" << c.id << "," << c.status << "," << c.extra << ")";
}

// Records the status callbacks it receives; with a list to probe, also whether the list's
// lock was free during each callback (another thread can enter the list).
class Recorder : public CVideoPlayTaskReceiver {
public:
    int OnStatus(int32_t id, int32_t status, int32_t extra)
    {
        bool free = true;
        if (probe) {
            auto entered = std::async(std::launch::async, [this] { return probe->Active(); });
            free = entered.wait_for(std::chrono::seconds(2)) == std::future_status::ready;
        }
        std::lock_guard<std::mutex> lk(m_lock);
        if (!free) lockHeld = true;
        m_calls.push_back({id, status, extra});
        return 0;
    }
    std::vector<Call> Calls()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_calls;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_calls.clear();
    }
    // A task of `id` that reports here.
    CVideoPlayTask Task(int32_t id, const char *clip, int64_t startSeconds, int32_t durSeconds,
                        int32_t somFrames = 0)
    {
        CVideoPlayTask task = playlist_test::Task(id, clip, startSeconds, durSeconds, somFrames);
        task.SetCallBack(this, &Recorder::OnStatus);
        return task;
    }

    CVideoPlayTaskList *probe = nullptr;
    std::atomic<bool> lockHeld{false};

private:
    std::mutex m_lock;
    std::vector<Call> m_calls;
};

// An owner whose steps count their calls (after running the test's hook, if any).
class StubOwner : public IVideoPlayTaskOwner {
public:
    int OnTaskStartNewTask() override { return Step(onStart, starts); }
    int OnTaskCheckNextTask() override { return Step(nullptr, checks); }
    int OnTaskCheckTaskList() override { return Step(nullptr, listChecks); }
    int OnTaskStopCurrentTask() override { return Step(nullptr, stopChecks); }
    int OnTaskTracePgmTask() override { return Step(nullptr, traces); }
    int32_t GetPrepareTime() override { return prepareTime; }
    int32_t GetPlayBeforeTime() override { return playBeforeTime; }
    int32_t GetTaskPollInterval() override { return pollInterval; }

    std::function<void()> onStart; // set before the thread starts
    std::atomic<int> starts{0}, checks{0}, listChecks{0}, stopChecks{0}, traces{0};
    int32_t prepareTime = 2000, playBeforeTime = 1000, pollInterval = 10000;

private:
    static int Step(const std::function<void()> &hook, std::atomic<int> &count)
    {
        if (hook) hook();
        ++count;
        return 0;
    }
};

// The whole program runs on the manual clock, installed once at the tick it finds: the
// framework clock checks its counter against the tick count, and a tick count that went back
// between tests would hold the clock still. The log core's thread is started at once; it
// sits in a timed wait of its own whenever it is idle.
class ManualClockEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        plat::TestClock::Install(plat::GetTickCount(), kFileTime2020);
        glReportLog("LOG_PLAYTASK_TEST", "log thread started", "");
        Eventually([] { return plat::TestClock::TimedWaiters() > 0; });
        s_background = plat::TestClock::TimedWaiters();
    }
    void TearDown() override { plat::TestClock::Uninstall(); }

    // Threads of the framework that wait on the manual clock while idle.
    static inline int s_background = 0;
};

// Waits until one thread of the test, beside the framework's idle threads, sits in a timed
// wait on the manual clock.
inline bool OnlyTimedWaiter()
{
    return plat::TestClock::WaitForTimedWaiters(ManualClockEnvironment::s_background + 1);
}

// Waits until the thread has run `cycles` cycles in all and sits in its wait again.
inline bool CyclesDone(StubOwner &owner, int cycles)
{
    return Eventually([&] { return owner.traces >= cycles; }) && OnlyTimedWaiter();
}

// The thread's next cycle comes `ms` after its last one, not a millisecond earlier.
inline ::testing::AssertionResult NextCycleAfter(StubOwner &owner, uint32_t ms)
{
    const int done = owner.traces;
    plat::TestClock::Advance(ms - 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (owner.traces != done) return ::testing::AssertionFailure() << "a cycle came early";
    plat::TestClock::Advance(1);
    if (!CyclesDone(owner, done + 1)) return ::testing::AssertionFailure() << "no cycle came";
    return ::testing::AssertionSuccess();
}

class PlayListTest : public ::testing::Test {
protected:
    // Each test starts at 2020-01-01 00:00:00 UTC on the framework clock.
    void SetUp() override
    {
        plat::TestClock::SetFileTime(kFileTime2020);
        glGetClock()->Reset(40, 1.0);
        m_previousDebug = glSetDebugFlag(1);
    }
    void TearDown() override { glSetDebugFlag(m_previousDebug); }

    ScopedTimeZone m_tz{"UTC"};
    kit::LogCapture logs{"LOG_PLAYTASK"};
    int m_previousDebug = 0;
};

} // namespace playlist_test
