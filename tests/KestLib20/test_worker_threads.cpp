// Worker thread objects (stop within one sleep, give-up after the bound, the calling thread's
// view through tagThreadAPI) and the message thread (order, start on demand, stop).
#include "BoundedStop.h"
#include "KestLib20/CBasicMsgThrd.h"
#include "KestLib20/KestWin32Thread.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

bool EndsSoon(const std::atomic<bool> &flag)
{
    for (int i = 0; i < 1000 && !flag.load(); ++i) std::this_thread::sleep_for(5ms);
    return flag.load();
}

// What a thread procedure saw.
struct ProcLog {
    std::atomic<int> stopCalls{0};
    std::atomic<int> giveUpCalls{0};
    std::atomic<int> sleeps{0};
    std::atomic<bool> ended{false};
    std::atomic<int> endOfThreadAfter{-1};
    plat::Event entered{true};
    plat::Event release{true};
};

void Note(ProcLog *log, int32_t command)
{
    if (command == IKestThread::kStopRequested) ++log->stopCalls;
    if (command == IKestThread::kGivingUp) ++log->giveUpCalls;
}

// A body that loops on EndOfThread and sleeps long between rounds.
int32_t PoliteBody(void *param, int32_t command, int32_t)
{
    auto *log = static_cast<ProcLog *>(param);
    Note(log, command);
    if (command != IKestThread::kRun) return 0;
    log->entered.Set();
    while (!tagThreadAPI<1>::EndOfThread()) {
        tagThreadAPI<1>::Sleep(60000);
        ++log->sleeps;
    }
    log->ended = true;
    return 0;
}

// A body that ignores stops until the test releases it.
int32_t DeafBody(void *param, int32_t command, int32_t)
{
    auto *log = static_cast<ProcLog *>(param);
    Note(log, command);
    if (command != IKestThread::kRun) return 0;
    log->entered.Set();
    log->release.Wait(plat::INFINITE);
    log->endOfThreadAfter = tagThreadAPI<1>::EndOfThread();
    log->ended = true;
    return 0;
}

class Recorder : public CBasicMsgThrd {
public:
    ~Recorder() override { Stop(); }
    void OnMsg(void *msg) override
    {
        if (onMsg) onMsg();
        std::lock_guard<std::mutex> lk(m);
        seen.push_back(static_cast<int>(reinterpret_cast<intptr_t>(msg)));
        got.Set();
    }
    std::vector<int> Seen()
    {
        std::lock_guard<std::mutex> lk(m);
        return seen;
    }
    std::mutex m;
    std::vector<int> seen;
    plat::Event got;
    std::function<void()> onMsg;
};

// A handler that blocks until released and touches only the jointly owned gate meanwhile.
struct HandlerGate {
    plat::Event entered{true};
    plat::Event release{true};
    std::atomic<int> handled{0};
};

class Blocking : public CBasicMsgThrd {
public:
    explicit Blocking(std::shared_ptr<HandlerGate> gate) : m_gate(std::move(gate)) {}
    ~Blocking() override { Stop(); }
    void OnMsg(void *) override
    {
        std::shared_ptr<HandlerGate> gate = m_gate;
        gate->entered.Set();
        gate->release.Wait(plat::INFINITE);
        ++gate->handled;
    }

private:
    std::shared_ptr<HandlerGate> m_gate;
};

void *Msg(int n)
{
    return reinterpret_cast<void *>(static_cast<intptr_t>(n));
}

} // namespace

TEST(WorkerThread, LoopOnEndOfThreadEndsWithinOneSleepAfterStop)
{
    plat::ScopedTestClock clock;
    ProcLog log;
    IKestThread *thread = tagThreadAPI<1>::Create();
    ASSERT_EQ(thread->SetProc(PoliteBody, &log), 1);
    ASSERT_EQ(thread->Start(), 1);
    ASSERT_EQ(log.entered.Wait(plat::INFINITE), plat::WAIT_OBJECT_0);
    EXPECT_EQ(thread->IsActive(), 1);
    EXPECT_EQ(thread->Nop(), 1);
    EXPECT_EQ(thread->SetProc(DeafBody, &log), 0); // refused while it runs
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1));
    EXPECT_EQ(thread->Stop(), 1); // no clock advance needed: the stop event ends the sleep
    EXPECT_TRUE(log.ended.load());
    EXPECT_EQ(log.sleeps.load(), 1);
    EXPECT_EQ(log.stopCalls.load(), 1);
    EXPECT_EQ(log.giveUpCalls.load(), 0);
    EXPECT_EQ(thread->IsActive(), 0);
    EXPECT_EQ(thread->Nop(), 0);
    // It can run again.
    log.ended = false;
    ASSERT_EQ(thread->Start(), 1);
    EXPECT_EQ(thread->Nop(), 1);
    EXPECT_EQ(thread->ShutDown(), 1);
    EXPECT_TRUE(log.ended.load());
    EXPECT_EQ(thread->Start(), 0); // the procedure is gone
    thread->Suicide();
}

TEST(WorkerThread, ADeafThreadIsGivenUpAfterTheBoundAndOutlivesItsObject)
{
    plat::ScopedTestClock clock;
    ProcLog log;
    IKestThread *thread = tagThreadAPI<1>::Create();
    thread->SetProc(DeafBody, &log);
    ASSERT_EQ(thread->Start(), 1);
    ASSERT_EQ(log.entered.Wait(plat::INFINITE), plat::WAIT_OBJECT_0);
    EXPECT_TRUE(EndsAtTheBound([&] { thread->Suicide(); }, 1000));
    EXPECT_EQ(log.stopCalls.load(), 1);
    EXPECT_EQ(log.giveUpCalls.load(), 1);
    EXPECT_FALSE(log.ended.load()); // given up, not killed
    log.release.Set();
    ASSERT_TRUE(EndsSoon(log.ended));
    EXPECT_EQ(log.endOfThreadAfter.load(), 1); // unregistered by the stop
}

TEST(WorkerThread, ThreadsWithoutAnObjectWorkPlainly)
{
    std::thread([] {
        EXPECT_EQ(tagThreadAPI<1>::EndOfThread(), 1);
        EXPECT_EQ(tagThreadAPI<1>::Nop(), 1);
        plat::Event set(true, true);
        EXPECT_EQ(tagThreadAPI<1>::Wait(&set, 1000), plat::WAIT_OBJECT_0);
    }).join();
}

TEST(MessageThread, ServesInOrderStartsOnDemandAndStops)
{
    Recorder r;
    EXPECT_FALSE(r.GetThread().Valid());
    for (int i = 1; i <= 50; ++i) r.AddMsg(Msg(i));
    EXPECT_EQ(r.Start(), 0); // started by the first message
    for (int i = 0; i < 1000 && r.Seen().size() < 50; ++i) r.got.Wait(100);
    std::vector<int> expected;
    for (int i = 1; i <= 50; ++i) expected.push_back(i);
    EXPECT_EQ(r.Seen(), expected);
    plat::Thread first = r.GetThread();
    EXPECT_EQ(r.Stop(), 1);
    EXPECT_FALSE(first.IsRunning());
    // A message after the stop starts a new thread.
    r.AddMsg(Msg(51));
    for (int i = 0; i < 1000 && r.Seen().size() < 51; ++i) r.got.Wait(100);
    EXPECT_EQ(r.Seen().back(), 51);
    EXPECT_NE(r.GetThread().Id(), first.Id());
}

TEST(MessageThread, StopRacingNewMessagesLosesNone)
{
    Recorder r;
    for (int i = 1; i <= 200; ++i) {
        r.AddMsg(Msg(i));
        if (i % 2) r.Stop();
    }
    for (int i = 0; i < 1000 && r.Seen().size() < 200; ++i) r.got.Wait(100);
    EXPECT_EQ(r.Seen().size(), 200u);
}

TEST(MessageThread, AHandlerPastTheBoundIsGivenUpAndTouchesNothingAfter)
{
    plat::ScopedTestClock clock;
    auto gate = std::make_shared<HandlerGate>();
    auto r = std::make_unique<Blocking>(gate);
    r->AddMsg(Msg(1));
    r->AddMsg(Msg(2));
    ASSERT_EQ(gate->entered.Wait(plat::INFINITE), plat::WAIT_OBJECT_0);
    plat::Thread thread = r->GetThread();
    EXPECT_TRUE(EndsAtTheBound([&] { r->Stop(); }, CBasicMsgThrd::kStopBound));
    EXPECT_TRUE(thread.IsRunning());
    // The object goes; the thread returns from the handler and must not come back to it
    // (the sanitizer build sees any use of the freed object).
    EXPECT_EQ(r->GetNextMsg(), Msg(2));
    r.reset();
    gate->release.Set();
    for (int i = 0; i < 1000 && thread.IsRunning(); ++i) std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_EQ(gate->handled.load(), 1);
}
