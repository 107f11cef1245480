// The log core: messages per second delivered to an exact-type unit (on the reporting thread)
// and to a pattern unit (on the core's own thread), with one and with four reporting threads.
// The limit, in the same run: each message's three texts copied into a vector under a mutex.
// Also the growth of the process over the exact run, where no pattern unit is registered.
//
//     bench_log_core [messages per thread=1000000]
#include "tests/bench/BenchKit.h"

#include "Kest20/KestLog.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace {

std::atomic<int64_t> g_delivered{0};

int Count(void *, const char *, const char *, const char *)
{
    g_delivered.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

// Messages per second (millions) of `threads` threads each calling `report` `perThread`
// times, until `delivered` of them have been delivered.
double Rate(int threads, int64_t perThread, const std::function<void()> &report,
            const std::function<int64_t()> &delivered)
{
    const int64_t start = bench::SteadyNs();
    std::vector<std::thread> reporters;
    for (int t = 0; t < threads; ++t)
        reporters.emplace_back([&] {
            for (int64_t i = 0; i < perThread; ++i) report();
        });
    for (std::thread &reporter : reporters) reporter.join();
    const int64_t total = threads * perThread;
    const int64_t deadline = bench::SteadyNs() + 60LL * 1000000000;
    while (delivered() < total && bench::SteadyNs() < deadline) std::this_thread::yield();
    const double seconds = static_cast<double>(bench::SteadyNs() - start) / 1e9;
    return static_cast<double>(delivered()) / seconds / 1e6;
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

} // namespace

int main(int argc, char **argv)
{
    const int64_t perThread = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 1000000;
    const char *text = "<DEV=\"VDCP1\" ID=\"0\" MSG=\"video server ok\">";

    std::mutex lock;
    std::vector<Message> kept;
    std::atomic<int64_t> keptCount{0};
    auto bare = [&](int threads) {
        kept.clear();
        kept.shrink_to_fit();
        keptCount = 0;
        return Rate(
            threads, perThread,
            [&] {
                std::lock_guard<std::mutex> lk(lock);
                kept.push_back({"BENCH_EXACT", text, ""});
                keptCount.fetch_add(1, std::memory_order_relaxed);
            },
            [&] { return keptCount.load(); });
    };

    const int exact = glRegisterLogProcessUnit("BENCH_EXACT", &Count, &g_delivered, LOG_MODE_EXACT);
    for (int threads : {1, 4}) {
        g_delivered = 0;
        const int64_t rssBefore = RssKb();
        const double rate = Rate(
            threads, perThread, [&] { glReportLog("BENCH_EXACT", text, ""); },
            [] { return g_delivered.load(); });
        const int64_t grownKb = RssKb() - rssBefore;
        bench::Row("log exact dispatch, " + std::to_string(threads) + " thread(s), M msg/s", rate,
                   bare(threads), "M/s");
        if (threads == 1)
            bench::Row("log growth, 1 thread exact, no pattern unit, MB",
                       static_cast<double>(grownKb) / 1024, 0, "MB", 1);
    }
    glUnregisterLogProcessUnit(exact);

    const int pattern =
        glRegisterLogProcessUnit("BENCH_PATTERN", &Count, &g_delivered, LOG_MODE_PATTERN);
    for (int threads : {1, 4}) {
        g_delivered = 0;
        const double rate = Rate(
            threads, perThread / 4, [&] { glReportLog("BENCH_PATTERN", text, ""); },
            [] { return g_delivered.load(); });
        bench::Row("log pattern dispatch, " + std::to_string(threads) + " thread(s), M msg/s", rate,
                   bare(threads), "M/s");
    }
    glUnregisterLogProcessUnit(pattern);
    glCloseCodeMonitor();
    return 0;
}
