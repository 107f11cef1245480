// The log core: messages per second delivered to an exact-type unit (on the reporting thread)
// and to a pattern unit (on the core's own thread), with 1, 4 and 8 reporting threads. The
// limits, in the same run and with as many threads: for exact units each message's three texts
// copied into a vector under a mutex; for pattern units the three texts handed off bare to one
// consumer thread (a queue under a mutex, the consumer woken through a condition variable when
// it waits). Also the growth of the process over the exact run, where no pattern unit is
// registered.
//
//     bench_log_core [messages per thread=1000000]
#include "tests/bench/BenchKit.h"

#include "Kest20/KestLog.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace {

constexpr const char *kText = "<DEV=\"VDCP1\" ID=\"0\" MSG=\"video server ok\">";

// Messages delivered. An exact unit counts on the reporting thread and each reporter adds its
// count at its end, so the unit itself shares nothing between reporters; the pattern unit
// counts on the log thread alone.
std::atomic<int64_t> g_delivered{0};
thread_local int64_t t_delivered = 0;

int CountHere(void *, const char *, const char *, const char *)
{
    ++t_delivered;
    return 1;
}

int CountOnLogThread(void *, const char *, const char *, const char *)
{
    g_delivered.store(g_delivered.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    return 1;
}

// Messages per second (millions) of `threads` threads each calling `report` `perThread`
// times, until all of them have been delivered.
double Rate(int threads, int64_t perThread, const std::function<void()> &report)
{
    g_delivered = 0;
    const int64_t start = bench::SteadyNs();
    std::vector<std::thread> reporters;
    for (int t = 0; t < threads; ++t)
        reporters.emplace_back([&] {
            t_delivered = 0;
            for (int64_t i = 0; i < perThread; ++i) report();
            g_delivered += t_delivered;
        });
    for (std::thread &reporter : reporters) reporter.join();
    const int64_t total = threads * perThread;
    const int64_t deadline = bench::SteadyNs() + 60LL * 1000000000;
    // Looked at now and then only, so that the consumer keeps its counter to itself.
    while (g_delivered.load() < total && bench::SteadyNs() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    const double seconds = static_cast<double>(bench::SteadyNs() - start) / 1e9;
    return static_cast<double>(g_delivered.load()) / seconds / 1e6;
}

int64_t RssKb()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        int64_t value = 0;
        if (key == "VmRSS:" && status >> value) return value;
        status.ignore(1 << 10, '\n');
    }
    return 0;
}

struct Message {
    std::string type, text, info;
};

// The exact limit: the texts copied into a vector under a mutex.
double KeptUnderMutex(int threads, int64_t perThread)
{
    std::mutex lock;
    std::vector<Message> kept;
    return Rate(threads, perThread, [&] {
        std::lock_guard<std::mutex> lk(lock);
        kept.push_back({"BENCH_EXACT", kText, ""});
        ++t_delivered;
    });
}

// The pattern limit: the texts handed to one consumer thread.
double HandedOff(int threads, int64_t perThread)
{
    std::mutex lock;
    std::condition_variable ready;
    std::deque<Message> queue;
    bool waiting = false, done = false;
    std::thread consumer([&] {
        std::deque<Message> taken;
        std::unique_lock<std::mutex> lk(lock);
        while (!done) {
            if (queue.empty()) {
                waiting = true;
                ready.wait(lk);
                waiting = false;
                continue;
            }
            taken.swap(queue);
            lk.unlock();
            g_delivered.store(g_delivered.load(std::memory_order_relaxed) +
                                  static_cast<int64_t>(taken.size()),
                              std::memory_order_relaxed);
            taken.clear();
            lk.lock();
        }
    });
    const double rate = Rate(threads, perThread, [&] {
        bool wake;
        {
            std::lock_guard<std::mutex> lk(lock);
            queue.push_back({"BENCH_PATTERN", kText, ""});
            wake = waiting;
        }
        if (wake) ready.notify_one();
    });
    {
        std::lock_guard<std::mutex> lk(lock);
        done = true;
    }
    ready.notify_one();
    consumer.join();
    return rate;
}

} // namespace

int main(int argc, char **argv)
{
    const int64_t perThread = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 1000000;
    const int threadCounts[] = {1, 4, 8};

    const int exact = glRegisterLogProcessUnit("BENCH_EXACT", &CountHere, nullptr, LOG_MODE_EXACT);
    for (int threads : threadCounts) {
        const int64_t rssBefore = RssKb();
        const double rate = Rate(threads, perThread, [] { glReportLog("BENCH_EXACT", kText, ""); });
        const int64_t grownKb = RssKb() - rssBefore;
        bench::Row("log exact dispatch, " + std::to_string(threads) + " thread(s), M msg/s", rate,
                   KeptUnderMutex(threads, perThread), "M/s");
        if (threads == 1)
            bench::Row("log growth, 1 thread exact, no pattern unit, MB",
                       static_cast<double>(grownKb) / 1024, 0, "MB", 1);
    }
    glUnregisterLogProcessUnit(exact);

    int self = 0;
    const int pattern =
        glRegisterLogProcessUnit("BENCH_PATTERN", &CountOnLogThread, &self, LOG_MODE_PATTERN);
    for (int threads : threadCounts) {
        const double rate =
            Rate(threads, perThread / 4, [] { glReportLog("BENCH_PATTERN", kText, ""); });
        bench::Row("log pattern dispatch, " + std::to_string(threads) + " thread(s), M msg/s", rate,
                   HandedOff(threads, perThread / 4), "M/s");
    }
    glUnregisterLogProcessUnit(pattern);
    glCloseCodeMonitor();
    return 0;
}
