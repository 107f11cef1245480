// Idle and scale. Idle: the CPU of this process holding 64 open line sources doing nothing for
// a span, beside the same process with none open over the same span before. Scale: the CPU of
// the device manager's threads with 5 x 256 devices listed and all of them checked, beside 5 x
// 1 devices, and the cost of one check (CPU per check) in both.
//
//     bench_idle_scale [idle s=10] [scale s=10]
#include "tests/bench/BenchKit.h"

#include "Kest20/InstanceRegistry.h"
#include "Kest20/KestLog.h"
#include "drivers/model/CVideoDevMgr.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <unistd.h>

namespace {

std::atomic<int64_t> g_checks{0};

int CountCheck(void *, const char *, const char *, const char *)
{
    g_checks.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

std::set<int> Threads()
{
    std::set<int> tids;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/self/task"))
        tids.insert(std::atoi(entry.path().filename().c_str()));
    return tids;
}

// CPU time of the thread `tid` of this process (the kernel's per-thread clock).
int64_t ThreadCpuNs(int tid)
{
    const clockid_t clock = static_cast<clockid_t>((~static_cast<unsigned>(tid) << 3) | 6);
    timespec ts{};
    if (clock_gettime(clock, &ts) != 0) return 0;
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int64_t CpuOf(const std::set<int> &tids)
{
    int64_t sum = 0;
    for (int tid : tids) sum += ThreadCpuNs(tid);
    return sum;
}

void Idle(int seconds)
{
    bench::SleepUntilNs(bench::SteadyNs() + seconds * 1000000000LL);
}

double Percent(int64_t cpuNs, int64_t wallNs)
{
    return 100.0 * static_cast<double>(cpuNs) / static_cast<double>(wallNs);
}

void Cleanup(const std::vector<std::string> &ids)
{
    CPtrArray devices;
    for (const std::string &id : ids)
        if (CClassA *device = glGetInstanceByName(CClassA::GetClassID(), id.c_str()))
            devices.Add(device);
    glDeleteObjects(devices);
}

// Settings of `perKind` devices of each of the five kinds, all of them in the check list.
std::string ManyDevices(int perKind, std::vector<std::string> &ids)
{
    const std::pair<const char *, const char *> kinds[] = {{"VideoSrc", "CVideoSrcA"},
                                                           {"VideoRec", "CVideoRecA"},
                                                           {"VideoAux", "CVideoAuxA"},
                                                           {"VideoStore", "CVideoStoreA"},
                                                           {"VideoSwitch", "CVideoSwitchA"}};
    std::vector<std::pair<std::string, std::string>> lists;
    std::string sections;
    for (const auto &[list, cls] : kinds) {
        std::vector<std::string> kind;
        for (int i = 0; i < perKind; ++i) {
            kind.push_back(std::string(list) + "_" + std::to_string(i));
            sections += bench::Section(kind.back(), {{"class", cls}});
        }
        lists.emplace_back(list, bench::IdList(kind));
        ids.insert(ids.end(), kind.begin(), kind.end());
    }
    lists.emplace_back("CheckDevList", bench::IdList(ids));
    return bench::Section("DevMgr", lists) + sections;
}

struct ScaleFigure {
    double percent = 0;
    double perCheckUs = 0;
};

// The manager's threads over `seconds`, once its first pass over the list has opened them.
ScaleFigure Scale(int perKind, int seconds)
{
    std::vector<std::string> ids;
    const bench::MountedSettings settings("bench_scale_" + std::to_string(perKind),
                                          ManyDevices(perKind, ids));
    ScaleFigure figure;
    {
        const std::set<int> before = Threads();
        CVideoDevMgr devMgr;
        devMgr.Initlization("/etc/tvx/DevMgr");
        Idle(9); // the first check comes after 3 s, the next pass 5 s later
        std::set<int> added;
        for (int tid : Threads())
            if (!before.count(tid)) added.insert(tid);
        const int64_t cpu = CpuOf(added);
        const int64_t checks = g_checks.load();
        const int64_t start = bench::SteadyNs();
        Idle(seconds);
        const int64_t used = CpuOf(added) - cpu;
        figure.percent = Percent(used, bench::SteadyNs() - start);
        const int64_t done = g_checks.load() - checks;
        figure.perCheckUs =
            done ? static_cast<double>(used) / 1000.0 / static_cast<double>(done) : 0;
        devMgr.Finalization();
    }
    Cleanup(ids);
    return figure;
}

} // namespace

int main(int argc, char **argv)
{
    const int idleSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int scaleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;

    // Idle: nothing open, then 64 line sources open, over the same span each.
    {
        std::vector<std::string> ids;
        std::string sections;
        for (int i = 0; i < 64; ++i) {
            ids.push_back("LINE" + std::to_string(i));
            sections += bench::Section(ids.back(), {{"class", "CVideoSrcX_Line"}});
        }
        const bench::MountedSettings settings(
            "bench_idle", bench::Section("DevMgr", {{"VideoSrc", bench::IdList(ids)}}) + sections);
        CVideoDevMgr devMgr;
        devMgr.Initlization("/etc/tvx/DevMgr");
        int64_t start = bench::SteadyNs();
        int64_t cpu = bench::ProcessCpuNs();
        Idle(idleSeconds);
        const double bare = Percent(bench::ProcessCpuNs() - cpu, bench::SteadyNs() - start);
        int opened = 0;
        for (const std::string &id : ids) opened += devMgr.GetVideoDev(id.c_str(), 1) != nullptr;
        Idle(1);
        start = bench::SteadyNs();
        cpu = bench::ProcessCpuNs();
        Idle(idleSeconds);
        const double held = Percent(bench::ProcessCpuNs() - cpu, bench::SteadyNs() - start);
        bench::Row("idle, " + std::to_string(opened) + " open line sources, % of a core", held,
                   bare, "%");
        devMgr.Finalization();
        Cleanup(ids);
    }

    const int unit = glRegisterLogProcessUnit("#OVRA_DEV", &CountCheck, &g_checks, LOG_MODE_EXACT);
    const ScaleFigure few = Scale(1, scaleSeconds);
    const ScaleFigure many = Scale(256, scaleSeconds);
    glUnregisterLogProcessUnit(unit);
    bench::Row("check thread, 5 x 256 devices (limit 5 x 1), % core", many.percent, few.percent,
               "%");
    bench::Row("one device check, 5 x 256 (limit 5 x 1), us", many.perCheckUs, few.perCheckUs, "us",
               1);
    return 0;
}
