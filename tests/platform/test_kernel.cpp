// Kernel services: the time source and its manual clock, events and waits on several
// objects, threads, the recursive lock, environment and library loading.
#include "platform/Process.h"
#include "platform/Sync.h"
#include "platform/Thread.h"
#include "platform/TimeConvert.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

using namespace plat;

namespace {

// Polls `cond` in real time for at most `ms`; for checks on other threads' progress.
template <class F> bool Eventually(F cond, int ms = 5000)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

TEST(TimeSource, TickArithmeticAcrossTheWrap)
{
    ScopedTestClock clock(0xFFFFFF00u);
    uint32_t before = GetTickCount();
    EXPECT_EQ(before, 0xFFFFFF00u);
    TestClock::Advance(0x200);
    uint32_t after = GetTickCount();
    EXPECT_EQ(after, 0x100u);
    EXPECT_EQ(TickDiff(after, before), 0x200);
    EXPECT_EQ(TickDiff(before, after), -0x200);
    EXPECT_EQ(TickElapsed(before), 0x200u);
}

TEST(TimeSource, ManualClockDrivesSleepAndTimedWaits)
{
    ScopedTestClock clock(5000);
    std::atomic<bool> slept{false};
    std::atomic<uint32_t> waitResult{0};
    Event never;
    std::thread sleeper([&] {
        Sleep(60000);
        slept = true;
    });
    std::thread waiter([&] { waitResult = never.Wait(30000); });
    ASSERT_TRUE(TestClock::WaitForTimedWaiters(2));
    TestClock::Advance(29999);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(slept.load());
    TestClock::Advance(1);
    waiter.join();
    EXPECT_EQ(waitResult.load(), WAIT_TIMEOUT);
    EXPECT_FALSE(slept.load());
    TestClock::Advance(30000);
    sleeper.join();
    EXPECT_TRUE(slept.load());
}

TEST(TimeSource, MonotonicTimeNeverGoesBackAcrossTheManualClock)
{
    uint64_t real = MonotonicNanos();
    TestClock::Install(1000);
    TestClock::Advance(3600 * 1000); // an hour ahead of the real clock
    uint64_t manual = MonotonicNanos();
    TestClock::Uninstall();
    EXPECT_GE(manual, real);
    EXPECT_GE(MonotonicNanos(), manual);
}

TEST(TimeSource, FileTimeAdvancesWithTheManualClock)
{
    const int64_t start = 133000000000000000LL;
    ScopedTestClock clock(1, start);
    TestClock::Advance(1500);
    EXPECT_EQ(GetSystemTimeAsFileTime(), start + 15000000);
}

TEST(Waits, SeveralObjectsReportTheFirstSignalledAndConsumeAutoReset)
{
    Event a(false, false), b(false, true), c(true, true);
    EXPECT_EQ(WaitForAny({&a, &b, &c}, 0), WAIT_OBJECT_0 + 1);
    EXPECT_FALSE(b.IsSet()); // auto-reset consumed
    EXPECT_EQ(WaitForAny({&a, &b, &c}, 0), WAIT_OBJECT_0 + 2);
    EXPECT_TRUE(c.IsSet()); // manual-reset stays set
    EXPECT_EQ(WaitForAll({&a, &c}, 0), WAIT_TIMEOUT);
    a.Set();
    EXPECT_EQ(WaitForAll({&a, &c}, 0), WAIT_OBJECT_0);
    EXPECT_FALSE(a.IsSet());
    Waitable empty;
    EXPECT_EQ(WaitForAny({&a, &empty}, 0), WAIT_FAILED);
}

TEST(Waits, WakeOnSetFromAnotherThreadAndOnThreadEnd)
{
    Event go;
    Thread t = Thread::Start([&] {
        go.Wait(INFINITE);
        return 7u;
    });
    ASSERT_TRUE(t.Valid());
    Event idle;
    EXPECT_EQ(WaitForAny({&idle, &t}, 50), WAIT_TIMEOUT);
    go.Set();
    EXPECT_EQ(WaitForAny({&idle, &t}, 5000), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(t.ExitCode(), 7u);
    EXPECT_FALSE(t.IsRunning());
}

TEST(Threads, GiveUpLetsTheThreadFinishOnJointlyOwnedState)
{
    struct Shared {
        Event release;
        std::atomic<int> touched{0};
    };
    auto shared = std::make_shared<Shared>();
    std::weak_ptr<Shared> watch = shared;
    Thread t = Thread::Start([s = shared] {
        s->release.Wait(INFINITE);
        s->touched = 1;
        return 0u;
    });
    EXPECT_FALSE(t.Join(20));
    EXPECT_EQ(t.ExitCode(), STILL_ACTIVE);
    t.GiveUp(42);
    EXPECT_EQ(t.ExitCode(), 42u);
    Event release = shared->release;
    shared.reset();
    t.Close();
    release.Set();
    // The thread ends on its own and frees the state it shared.
    EXPECT_TRUE(Eventually([&] { return watch.expired(); }));
}

// The bounded stop: its answer and the exit code it leaves, for a thread that ends when asked,
// one that ignores the stop past the bound, an empty handle and a thread stopping itself. The
// bound runs on the manual clock, stepped here.
TEST(Threads, StopWithinWaitsUpToTheBoundThenGivesUpWithTheCode)
{
    constexpr uint32_t kBound = 1000, kCode = 42, kOwn = 7;
    enum class Kind { EndsWhenAsked, IgnoresTheStop, Empty, StopsItself };
    struct Case {
        const char *what;
        Kind kind;
        bool ended;
        uint32_t exitCode;
    };
    const Case cases[] = {
        {"ends within the bound", Kind::EndsWhenAsked, true, kOwn},
        {"still runs at the bound", Kind::IgnoresTheStop, false, kCode},
        {"empty handle", Kind::Empty, true, 0},
        {"called on the thread itself", Kind::StopsItself, false, kCode},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ScopedTestClock clock;
        Event go(true, false), asked(true, false), letGo(true, false);
        std::atomic<int> result{-1};
        auto handle = std::make_shared<Thread>();
        if (c.kind != Kind::Empty) {
            *handle = Thread::Start([=, &result, kind = c.kind] {
                go.Wait(INFINITE); // the handle is in place
                if (kind == Kind::StopsItself) result = handle->StopWithin(kBound, kCode);
                (kind == Kind::EndsWhenAsked ? asked : letGo).Wait(INFINITE);
                return kOwn;
            });
            ASSERT_TRUE(handle->Valid());
            go.Set();
        }
        if (c.kind == Kind::EndsWhenAsked) asked.Set();
        std::thread stopper;
        if (c.kind != Kind::StopsItself)
            stopper = std::thread([&] { result = handle->StopWithin(kBound, kCode); });
        if (c.kind == Kind::IgnoresTheStop) {
            EXPECT_TRUE(TestClock::WaitForTimedWaiters(1));
            TestClock::Advance(kBound - 1);
            EXPECT_EQ(result.load(), -1) << "returned before the bound";
            TestClock::Advance(1);
        }
        EXPECT_TRUE(Eventually([&] { return result.load() != -1; }));
        if (stopper.joinable()) stopper.join();
        EXPECT_EQ(result.load(), c.ended ? 1 : 0);
        EXPECT_EQ(handle->ExitCode(), c.exitCode);
        letGo.Set();
        EXPECT_TRUE(Eventually([&] { return !handle->IsRunning(); }));
        EXPECT_EQ(handle->ExitCode(), c.exitCode) << "a given-up thread keeps the code";
    }
}

TEST(Threads, ExceptionEndsTheThreadNotTheProcess)
{
    std::string captured;
    auto old = SetDebugOutputSink([&](const char *t) { captured += t; });
    Thread t = Thread::Start([]() -> uint32_t { throw 1; });
    EXPECT_TRUE(t.Join(5000));
    SetDebugOutputSink(old);
    EXPECT_EQ(t.ExitCode(), 0xFFFFFFFFu);
    EXPECT_NE(captured.find("exception"), std::string::npos);
}

TEST(RecursiveLock, PassesOnWhenTheOwnerHasEndedButNeverWhileItLives)
{
    RecursiveLock lock;
    std::thread([&] { lock.Lock(); }).join(); // ends holding it
    EXPECT_TRUE(lock.TryLock());              // passed on at once
    lock.Unlock();

    Event held, release;
    std::thread owner([&] {
        lock.Lock();
        lock.Lock(); // recursive
        held.Set();
        release.Wait(INFINITE);
        lock.Unlock();
        lock.Unlock();
    });
    held.Wait(INFINITE);
    std::atomic<bool> got{false};
    std::thread contender([&] {
        lock.Lock();
        got = true;
        lock.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(got.load()); // a live owner keeps it
    release.Set();
    owner.join();
    contender.join();
    EXPECT_TRUE(got.load());
}

TEST(RecursiveLock, UnlockByANonOwnerIsIgnored)
{
    RecursiveLock lock;
    lock.Lock();
    std::thread([&] {
        lock.Unlock();
        EXPECT_FALSE(lock.TryLock());
    }).join();
    EXPECT_TRUE(lock.IsHeldByCurrentThread());
    lock.Unlock();
}

TEST(Process, EnvironmentAndProgramPaths)
{
    EXPECT_TRUE(SetEnv("KEST_TEST_VAR", "value 1"));
    std::string v;
    EXPECT_TRUE(GetEnv("KEST_TEST_VAR", &v));
    EXPECT_EQ(v, "value 1");
    bool listed = false;
    for (auto &kv : EnumEnv()) listed |= kv.first == "KEST_TEST_VAR" && kv.second == "value 1";
    EXPECT_TRUE(listed);
    EXPECT_TRUE(SetEnv("KEST_TEST_VAR", nullptr));
    EXPECT_FALSE(GetEnv("KEST_TEST_VAR", &v));
    EXPECT_FALSE(SetEnv("A=B", "x"));

    EXPECT_EQ(GetProgramFileName().substr(GetProgramFileName().rfind('/') + 1), "test_platform");
    auto args = GetCommandLineArgs();
    ASSERT_FALSE(args.empty());
    EXPECT_NE(args[0].find("test_platform"), std::string::npos);
}

TEST(Process, LoadLibraryByNameTriesTheProgramDirectory)
{
    // The platform library sits beside the test program.
    void *h = LoadLibrary("KestPlatform.dll");
    ASSERT_NE(h, nullptr);
    EXPECT_NE(GetProcAddress(h, "_ZN4plat12GetTickCountEv"), nullptr);
    EXPECT_TRUE(FreeLibrary(h));
    EXPECT_EQ(LoadLibrary("NoSuchLibraryAnywhere"), nullptr);
    EXPECT_NE(GetLastError(), 0u);
}

TEST(TimeConvert, BrokenDownTimeAndLocalZones)
{
    SYSTEMTIME st{};
    st.wYear = 2024;
    st.wMonth = 2;
    st.wDay = 29;
    st.wHour = 23;
    st.wMinute = 59;
    st.wSecond = 58;
    st.wMilliseconds = 999;
    int64_t ft = 0;
    ASSERT_TRUE(SystemTimeToFileTime(st, &ft));
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(ft, &back));
    EXPECT_EQ(back.wYear, 2024);
    EXPECT_EQ(back.wMonth, 2);
    EXPECT_EQ(back.wDay, 29);
    EXPECT_EQ(back.wDayOfWeek, 4); // a Thursday
    EXPECT_EQ(back.wMilliseconds, 999);
    st.wYear = 2023;
    EXPECT_FALSE(SystemTimeToFileTime(st, &ft)); // no 29 February

    SYSTEMTIME epoch{1970, 1, 0, 1, 0, 0, 0, 0};
    ASSERT_TRUE(SystemTimeToFileTime(epoch, &ft));
    EXPECT_EQ(ft, kFileTimeUnixEpoch);

    std::string oldTz;
    bool hadTz = GetEnv("TZ", &oldTz);
    SetEnv("TZ", "Asia/Shanghai");
    EXPECT_EQ(FileTimeToLocalFileTime(ft) - ft, 8 * 3600 * 10000000LL);
    EXPECT_EQ(LocalFileTimeToFileTime(FileTimeToLocalFileTime(ft)), ft);
    SetEnv("TZ", "UTC");
    EXPECT_EQ(FileTimeToLocalFileTime(ft), ft);
    SetEnv("TZ", hadTz ? oldTz.c_str() : nullptr);
}

TEST(AbsoluteWaits, RealClockWakesAtTheInstantNeverBefore)
{
    // Spans below and between whole ms catch a deadline rounded to ms.
    const struct {
        int64_t offsetUs;
        bool signalled;
        uint32_t result;
    } cases[] = {{-1000, false, WAIT_TIMEOUT}, {0, false, WAIT_TIMEOUT},
                 {300, false, WAIT_TIMEOUT},   {2500, false, WAIT_TIMEOUT},
                 {-1000, true, WAIT_OBJECT_0}, {2500, true, WAIT_OBJECT_0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.offsetUs);
        Event ev(false, c.signalled);
        const uint64_t deadline = MonotonicNanos() + c.offsetUs * 1000;
        EXPECT_EQ(ev.WaitUntil(deadline), c.result);
        if (!c.signalled) {
            EXPECT_GE(MonotonicNanos(), deadline);
        }
        const uint64_t sleepTo = MonotonicNanos() + c.offsetUs * 1000;
        SleepUntil(sleepTo);
        EXPECT_GE(MonotonicNanos(), sleepTo);
    }
}

TEST(AbsoluteWaits, ManualClockWakesTheWaiterOnlyOnceTheInstantIsReached)
{
    ScopedTestClock clock(1000);
    const uint64_t start = MonotonicNanos();
    Event stop;
    std::atomic<uint64_t> sleptUntil{0};
    std::atomic<uint32_t> waitResult{WAIT_FAILED};
    std::thread sleeper([&] {
        SleepUntil(start + 10'500'000);
        sleptUntil = MonotonicNanos();
    });
    std::thread waiter([&] { waitResult = stop.WaitUntil(start + 60'000'000); });
    ASSERT_TRUE(TestClock::WaitForSettled(2));
    TestClock::AdvanceNanos(10'499'999);
    ASSERT_TRUE(TestClock::WaitForSettled(2));
    EXPECT_EQ(TestClock::BlockedWaiters(), 2) << "half a ms short: nobody wakes";
    TestClock::AdvanceNanos(1);
    sleeper.join();
    EXPECT_EQ(sleptUntil.load(), start + 10'500'000);
    ASSERT_TRUE(TestClock::WaitForSettled(1));
    stop.Set();
    waiter.join();
    EXPECT_EQ(waitResult.load(), WAIT_OBJECT_0) << "the object ends the wait before the instant";
}
