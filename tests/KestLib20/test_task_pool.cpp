// The task pool: apartment sizes, priorities and dropping, temporary apartments, the run log
// and task messages, the issue thread and factories, the shut-down bound, and its trace lines.
#include "BoundedStop.h"
#include "KestLib20/CRlzTaskPoolWin32.h"
#include "platform/Sync.h"
#include "platform/TimeSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Collects the pool's trace; shared, because a given-up apartment may write after the test.
struct Trace {
    int32_t Write(const char *line)
    {
        std::lock_guard<std::mutex> lk(m);
        lines.emplace_back(line);
        return 0;
    }
    bool Has(const std::string &line)
    {
        std::lock_guard<std::mutex> lk(m);
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    long Count(const std::string &line)
    {
        std::lock_guard<std::mutex> lk(m);
        return std::count(lines.begin(), lines.end(), line);
    }
    bool HasPrefix(const std::string &prefix)
    {
        std::lock_guard<std::mutex> lk(m);
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string &l) { return l.rfind(prefix, 0) == 0; });
    }
    std::mutex m;
    std::vector<std::string> lines;
};

bool Eventually(const std::function<bool()> &done)
{
    for (int i = 0; i < 1000 && !done(); ++i) std::this_thread::sleep_for(5ms);
    return done();
}

// A task owned by the test; the pool only flags it released.
class TestTask : public IRlzTask {
public:
    explicit TestTask(std::string name, bool block = false) : name(std::move(name)), block(block) {}
    void Release() override { released = true; }
    int32_t Run() override
    {
        ++runs;
        started.Set();
        if (body) body();
        if (block) release.Wait(plat::INFINITE);
        if (again > 0) return again--;
        return 0;
    }
    int32_t IsReady() override { return ready.load(); }
    const char *GetName() override { return name.c_str(); }
    void OnStateChange(int32_t s, int32_t) override { state = s; }

    std::string name;
    bool block;
    int again = 0;
    std::atomic<int32_t> ready{1};
    std::atomic<int> runs{0};
    std::atomic<bool> released{false};
    std::atomic<int32_t> state{0};
    plat::Event started{true};
    plat::Event release{true};
    std::function<void()> body;
};

class TestFactory : public IRlzTaskFactory {
public:
    explicit TestFactory(const char *name) : name(name) {}
    const char *GetName() override { return name; }
    int32_t CreateTask(IRlzTask **task, int32_t *type) override
    {
        ++asked;
        if (onCreate) onCreate();
        std::lock_guard<std::mutex> lk(m);
        if (pending.empty()) return 0;
        *task = pending.front();
        *type = IRlzTaskFactory::kNormal;
        pending.erase(pending.begin());
        return 1;
    }
    const char *name;
    std::mutex m;
    std::vector<IRlzTask *> pending;
    std::atomic<int> asked{0};
    std::function<void()> onCreate;
};

// Tasks outlive the pool, and are let go before it shuts down, also when a test fails early.
struct PoolFixture : ::testing::Test {
    PoolFixture()
    {
        auto t = trace;
        pool->SetOption("log", [t](const char *line) { return t->Write(line); });
    }
    ~PoolFixture() override
    {
        for (auto &t : tasks) t->release.Set();
        delete pool;
    }
    TestTask &NewTask(const std::string &name, bool block = false)
    {
        tasks.push_back(std::make_unique<TestTask>(name, block));
        return *tasks.back();
    }
    std::deque<std::unique_ptr<TestTask>> tasks;
    std::shared_ptr<Trace> trace = std::make_shared<Trace>();
    CRlzTaskPoolWin32 *pool = new CRlzTaskPoolWin32;
};

struct ManualPool : PoolFixture {
    plat::ScopedTestClock clock{10000};
};

int Started(const std::vector<TestTask *> &tasks)
{
    int n = 0;
    for (const TestTask *t : tasks) n += t->runs.load() > 0;
    return n;
}

} // namespace

TEST_F(PoolFixture, HalfTheApartmentsServeEveryTaskTheRestOnlyUrgentOnes)
{
    TestFactory f("F");
    ASSERT_EQ(pool->InitApartment(2, 4), 1); // six apartments, half of them three
    std::vector<TestTask *> normal, urgent;
    for (int i = 0; i < 5; ++i) {
        normal.push_back(&NewTask("n" + std::to_string(i), true));
        pool->AddTask(normal.back());
    }
    ASSERT_TRUE(Eventually([&] { return Started(normal) == 3; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Started(normal), 3);
    for (int i = 0; i < 4; ++i) {
        urgent.push_back(&NewTask("u" + std::to_string(i), true));
        pool->AddTask(&f, urgent.back(), IRlzTaskFactory::kUrgent);
    }
    ASSERT_TRUE(Eventually([&] { return Started(urgent) == 3; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Started(urgent), 3); // every apartment is busy
    EXPECT_TRUE(trace->Has("trace@SmartCreateThread; Start a new apartment(total=6)"));

    // A freed apartment takes the waiting urgent task before the normal ones that wait
    // longer. (Urgent tasks go to the front of the line: the last one came first.)
    TestTask *waiting = nullptr, *running = nullptr;
    for (TestTask *t : urgent) (t->runs ? running : waiting) = t;
    ASSERT_TRUE(waiting && running);
    running->release.Set();
    ASSERT_TRUE(Eventually([&] { return Started(urgent) == 4; }));
    EXPECT_EQ(Started(normal), 3);
    waiting->release.Set();
    ASSERT_TRUE(Eventually([&] { return waiting->released.load(); }));
    ASSERT_TRUE(
        Eventually([&] { return trace->Has("warning@GetTask; task(Null.n3) jammed(thrd=5)"); }));
    EXPECT_EQ(Started(normal), 3);

    for (auto &t : urgent) t->release.Set();
    for (auto &t : normal) t->release.Set();
    ASSERT_TRUE(Eventually([&] { return Started(normal) == 5; }));
    for (auto &t : normal) ASSERT_TRUE(Eventually([&] { return t->released.load(); }));
    EXPECT_EQ(pool->InitApartment(1, 1), 0); // apartments with threads are not replaced
}

TEST_F(PoolFixture, NoApartmentStartsWhileOneIdlesAndEachTakenTaskStartsTheNext)
{
    // Apartment 1 is held idle in its first trace line, after its thread has started.
    auto gate = std::make_shared<plat::Event>(true, false);
    auto t = trace;
    pool->SetOption("log", [t, gate](const char *line) {
        t->Write(line);
        if (std::string(line) == "trace@ApartmentThrd; Apartment(1) started") gate->Wait(10000);
        return 0;
    });
    pool->InitApartment(6, 0); // half is three
    std::vector<TestTask *> held;
    for (const char *name : {"a", "b", "c"}) held.push_back(&NewTask(name, true));
    pool->AddTask(held[0]);
    ASSERT_TRUE(
        Eventually([&] { return trace->Has("trace@ApartmentThrd; Apartment(1) started"); }));
    pool->AddTask(held[1]);
    pool->AddTask(held[2]);
    EXPECT_FALSE(trace->HasPrefix("trace@SmartCreateThread; Start a new apartment(total=2)"))
        << "apartment 1 idles: it is woken, no other starts";

    // Apartment 1 takes the first task and starts the second apartment for the tasks left,
    // which starts the third: all three run at once.
    gate->Set();
    ASSERT_TRUE(Eventually([&] { return Started(held) == 3; }));
    for (int total = 1; total <= 3; ++total)
        EXPECT_EQ(trace->Count("trace@SmartCreateThread; Start a new apartment(total=" +
                               std::to_string(total) + ")"),
                  1);
    for (TestTask *task : held) task->release.Set();
    for (TestTask *task : held) ASSERT_TRUE(Eventually([&] { return task->released.load(); }));
}

TEST_F(PoolFixture, DroppableTasksGoWhenThePoolIsBusy)
{
    TestFactory f("F");
    pool->InitApartment(2, 2); // half is two
    TestTask &a = NewTask("a", true);
    TestTask &b = NewTask("b", true);
    TestTask &quick = NewTask("quick");
    TestTask &late = NewTask("late");
    TestTask &drop = NewTask("drop");
    pool->AddTask(&a);
    pool->AddTask(&b);
    ASSERT_TRUE(Eventually([&] { return a.runs && b.runs; }));
    // Two busy is not more than half: the droppable task waits, no apartment may take it.
    pool->AddTask(&f, &late, IRlzTaskFactory::kMayDrop);
    // An urgent task gets a third apartment; once done, that apartment finds the droppable
    // task while half the apartments are busy and drops it.
    pool->AddTask(&f, &quick, IRlzTaskFactory::kUrgent);
    ASSERT_TRUE(Eventually([&] { return late.released.load(); }));
    EXPECT_EQ(late.runs.load(), 0);
    EXPECT_EQ(late.state.load(), IRlzTask::kDropped);
    EXPECT_TRUE(trace->Has("warning@GetTask; F.late be abolished"));

    TestTask &hold = NewTask("hold", true);
    pool->AddTask(&f, &hold, IRlzTaskFactory::kUrgent);
    ASSERT_TRUE(Eventually([&] { return hold.runs.load() == 1; })); // three busy now
    pool->AddTask(&f, &drop, IRlzTaskFactory::kMayDrop);
    EXPECT_TRUE(drop.released.load()); // at once
    EXPECT_EQ(drop.state.load(), IRlzTask::kDropped);
    EXPECT_TRUE(trace->Has("warning@AddTask; task(F.drop) be abolished"));
    for (TestTask *t : {&a, &b, &hold}) t->release.Set();
    for (TestTask *t : {&a, &b, &hold}) ASSERT_TRUE(Eventually([&] { return t->released.load(); }));
}

TEST_F(ManualPool, TemporaryApartmentsEndAfterFiveIdleSecondsFixedOnesStay)
{
    pool->InitApartment(1, 1);
    TestTask &hold = NewTask("hold", true);
    TestTask &quick = NewTask("quick");
    pool->AddTask(&hold);
    ASSERT_EQ(hold.started.Wait(plat::INFINITE), plat::WAIT_OBJECT_0);
    pool->AddTask(nullptr, &quick, IRlzTaskFactory::kUrgent); // the temporary apartment
    ASSERT_TRUE(Eventually([&] { return quick.released.load(); }));
    hold.release.Set();
    ASSERT_TRUE(Eventually([&] { return hold.released.load(); }));

    const std::string closed2 = "trace@ApartmentThrd; Apartment(2) closed sucessfully(used=";
    for (uint32_t ms : {3000u, 2000u}) {
        ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(2));
        plat::TestClock::Advance(ms);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(trace->HasPrefix(closed2));
    plat::TestClock::Advance(1);
    ASSERT_TRUE(Eventually([&] { return trace->HasPrefix(closed2); }));
    for (int i = 0; i < 5; ++i) {
        plat::TestClock::WaitForTimedWaiters(1);
        plat::TestClock::Advance(3000);
    }
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(trace->HasPrefix("trace@ApartmentThrd; Apartment(1) closed"));

    // The ended apartment starts again when it is needed.
    TestTask &hold2 = NewTask("hold2", true);
    TestTask &quick2 = NewTask("quick2");
    pool->AddTask(&hold2);
    ASSERT_EQ(hold2.started.Wait(plat::INFINITE), plat::WAIT_OBJECT_0);
    pool->AddTask(nullptr, &quick2, IRlzTaskFactory::kUrgent);
    ASSERT_TRUE(Eventually([&] { return quick2.released.load(); }));
    hold2.release.Set();
    ASSERT_TRUE(Eventually([&] { return hold2.released.load(); }));
    EXPECT_EQ(trace->Count("trace@SmartCreateThread; Start a new apartment(total=2)"), 2);
}

TEST_F(ManualPool, RunLogTimesMessagesAndFailures)
{
    pool->InitApartment(2, 0); // one apartment serves ordinary tasks
    TestTask &slow = NewTask("slow", true);
    pool->AddTask(&slow);
    ASSERT_EQ(slow.started.Wait(plat::INFINITE), plat::WAIT_OBJECT_0);
    plat::TestClock::Advance(2500);
    slow.release.Set();
    ASSERT_TRUE(Eventually([&] { return slow.released.load(); }));
    EXPECT_TRUE(trace->Has("trace@ApartmentThrd; task(Null.slow) stopped,Time=2500,expect=0"));
    int32_t average = 0;
    ASSERT_EQ(pool->FindTaskLog(nullptr, "slow", &average), 1);
    EXPECT_EQ(average, 2500);

    TestTask &slower = NewTask("slow", true);
    pool->AddTask(&slower);
    ASSERT_EQ(slower.started.Wait(plat::INFINITE), plat::WAIT_OBJECT_0);
    EXPECT_EQ(pool->IsRunning(nullptr, "slow", 0), 1);
    plat::TestClock::Advance(3500);
    slower.release.Set();
    ASSERT_TRUE(Eventually([&] { return slower.released.load(); }));
    EXPECT_TRUE(trace->Has("trace@ApartmentThrd; task(Null.slow) stopped,Time=3500,expect=2501"));
    pool->FindTaskLog(nullptr, "slow", &average);
    EXPECT_EQ(average, 3000);
    EXPECT_EQ(pool->IsRunning(nullptr, "slow", 1000), 1);
    plat::TestClock::Advance(1001);
    EXPECT_EQ(pool->IsRunning(nullptr, "slow", 1000), 0);

    // Messages reach a running task; state words are kept per task.
    TestTask &talker = NewTask("talker");
    std::atomic<int32_t> code{0};
    std::atomic<void *> data{nullptr};
    talker.body = [&] {
        int32_t c = 0;
        void *d = nullptr;
        if (pool->GetTaskMsg(&talker, c, &d, 60000)) {
            code = c;
            data = d;
        }
    };
    talker.again = 1; // and runs a second time, without a message
    pool->AddTask(&talker);
    ASSERT_EQ(talker.started.Wait(plat::INFINITE), plat::WAIT_OBJECT_0);
    EXPECT_EQ(pool->SetTaskState(&talker, 3, 77), 1);
    EXPECT_EQ(pool->GetTaskState(&talker, 3), 77);
    EXPECT_EQ(pool->SetTaskState(&talker, 4, 1), 0);
    EXPECT_EQ(pool->SendTaskMsg(&talker, 9, &average), 1);
    ASSERT_TRUE(Eventually([&] { return talker.runs.load() == 2; }));
    EXPECT_EQ(code.load(), 9);
    EXPECT_EQ(data.load(), &average);
    ASSERT_TRUE(plat::TestClock::WaitForTimedWaiters(1));
    plat::TestClock::Advance(60000); // the second run's wait times out
    ASSERT_TRUE(Eventually([&] { return talker.released.load(); }));
    EXPECT_EQ(pool->SendTaskMsg(&talker, 1, nullptr), 0);
    EXPECT_TRUE(trace->Has("warning@SendMsg; task not found"));

    TestTask &thrower = NewTask("boom");
    thrower.body = [] { throw std::runtime_error("boom"); };
    pool->AddTask(&thrower);
    pool->AddTask(nullptr);
    ASSERT_TRUE(Eventually([&] { return thrower.released.load(); }));
    ASSERT_TRUE(
        Eventually([&] { return trace->Has("fatal@ExecuteTask; task object invalidate"); }));
    EXPECT_TRUE(trace->Has("fatal@ApartmentThrd; task(Null.boom) throw a exception"));
}

TEST_F(ManualPool, FactoriesAreAskedByTheIssueThreadAndWaitedForOnUnregister)
{
    pool->InitApartment(2, 0);
    ASSERT_EQ(pool->Start(), 1);
    EXPECT_EQ(pool->IsActive(), 1);
    TestTask &made = NewTask("made");
    TestTask &later = NewTask("later");
    later.ready = 0;
    TestFactory f("F");
    f.pending = {&made, &later};
    pool->Register(&f);
    auto step = [&](const std::function<bool()> &done) {
        for (int i = 0; i < 40 && !done(); ++i) {
            plat::TestClock::WaitForTimedWaiters(1);
            plat::TestClock::Advance(250);
            std::this_thread::sleep_for(2ms);
        }
        return Eventually(done);
    };
    ASSERT_TRUE(step([&] { return made.released.load(); }));
    EXPECT_EQ(later.runs.load(), 0); // not ready: waits
    later.ready = 1;
    ASSERT_TRUE(step([&] { return later.released.load(); }));
    EXPECT_EQ(pool->FindTaskLog(&f, "made", nullptr), 1);

    // Unregister waits for a call of the factory in progress.
    plat::Event entered(true), release(true);
    f.onCreate = [&] {
        entered.Set();
        release.Wait(plat::INFINITE);
    };
    ASSERT_TRUE(step([&] { return entered.IsSet(); }));
    std::atomic<bool> gone{false};
    std::thread unregister([&] {
        pool->Unregister(&f);
        gone = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(gone.load());
    release.Set();
    unregister.join();
    EXPECT_EQ(pool->FindTaskLog(&f, "made", nullptr), 0); // its run log went with it
    const int asked = f.asked.load();
    for (int i = 0; i < 8; ++i) {
        plat::TestClock::WaitForTimedWaiters(1);
        plat::TestClock::Advance(250);
    }
    EXPECT_EQ(f.asked.load(), asked);

    EXPECT_TRUE(trace->Has("trace@IssueThrd; Issue Thread Started"));
    pool->ShutDown();
    EXPECT_TRUE(trace->Has("trace@IssueThrd; Issue Thread Closed successfully"));
    EXPECT_EQ(pool->Start(), 0);
}

TEST(TaskPool, ShutDownGivesUpAHungTaskAndKeepsItsStateValid)
{
    plat::ScopedTestClock clock;
    auto trace = std::make_shared<Trace>();
    auto *pool = new CRlzTaskPoolWin32;
    pool->SetOption("log", [trace](const char *line) { return trace->Write(line); });
    pool->InitApartment(2, 0);
    auto hung = std::make_shared<TestTask>("hung", true);
    TestTask notReady("notReady");
    notReady.ready = 0;
    pool->AddTask(hung.get());
    pool->AddTask(&notReady);
    ASSERT_EQ(hung->started.Wait(plat::INFINITE), plat::WAIT_OBJECT_0);

    EXPECT_TRUE(EndsAtTheBound([&] { pool->Suicide(); }, 2000));
    EXPECT_TRUE(trace->Has("error@ShutDown; Terminate Apartment Thread(1)"));
    EXPECT_TRUE(notReady.released.load());
    EXPECT_FALSE(hung->released.load()); // still running: left alone

    hung->release.Set();
    ASSERT_TRUE(Eventually([&] { return hung->released.load(); }));
    EXPECT_TRUE(Eventually(
        [&] { return trace->HasPrefix("trace@ApartmentThrd; Apartment(1) closed sucessfully"); }));
}

TEST(TaskPool, AWaitForAMessageEndsWhenThePoolShutsDown)
{
    auto *pool = new CRlzTaskPoolWin32;
    auto trace = std::make_shared<Trace>();
    pool->SetOption("LOG", [trace](const char *line) { return trace->Write(line); });
    pool->InitApartment(2, 0);
    TestTask waiter("waiter");
    waiter.body = [&] {
        int32_t code;
        pool->GetTaskMsg(&waiter, code, nullptr, -1);
    };
    pool->AddTask(&waiter);
    ASSERT_EQ(waiter.started.Wait(5000), plat::WAIT_OBJECT_0);
    pool->Suicide();
    EXPECT_TRUE(waiter.released.load());
    EXPECT_TRUE(trace->Has("fatal@ApartmentThrd; task(Null.waiter) throw a exception"));
}
