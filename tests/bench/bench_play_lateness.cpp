// Play lateness at the wire: a VDCP play-out source on a pseudo-terminal, its schedule handed to
// a task manager as a control program does, the simulator taking in each PLAY frame with the
// time; lateness = arrival - (start - PlayBeforeTime). The limit, in the same run: a bare thread
// sleeping to absolute deadlines halfway between the starts and writing one byte to another
// pseudo-terminal read by the same kind of reader.
//
//     bench_play_lateness [starts=200] [spacing ms=2500]
#include "tests/bench/BenchKit.h"
#include "tests/sim/VdcpSim.h"

#include "Kest20/CClock.h"
#include "Kest20/InstanceRegistry.h"
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/tasks/CVideoBroTaskMgr1.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kPort = 61;
constexpr int64_t kPlayBeforeMs = 100;
constexpr int64_t kUnitsPerMs = 10000;
constexpr int64_t kFirstMs = 4000; // the first start: time to check and cue the first clip

int64_t FrameworkNow()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

int32_t Ignore(void *, int32_t, int32_t, int32_t)
{
    return 0;
}

// Arrivals of single bytes on a pseudo-terminal, taken in by the simulators' reader.
class ByteArrivals {
public:
    ByteArrivals()
    {
        m_peer.When([](const kestsim::Bytes &pending) { return pending.size(); },
                    [this](const kestsim::Bytes &) {
                        const int64_t now = bench::SteadyNs();
                        std::lock_guard<std::mutex> lk(m_lock);
                        m_at.push_back(now);
                        return kestsim::Answer::Silence();
                    });
    }
    int Fd() const { return m_pty.SlaveFd(); }
    std::vector<int64_t> Arrivals()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_at;
    }

private:
    kestsim::PtyPair m_pty;
    kestsim::ScriptedPeer m_peer{m_pty};
    std::mutex m_lock;
    std::vector<int64_t> m_at;
};

// Lateness of each arrival against the due time it follows (the due times `spacing` apart).
std::vector<double> Lateness(const std::vector<int64_t> &arrivals, int64_t firstDue,
                             int64_t spacing, int count)
{
    std::vector<double> late;
    for (int64_t at : arrivals) {
        const int64_t index = (at - firstDue + spacing / 2) / spacing;
        if (at + spacing / 2 < firstDue || index >= count) continue;
        late.push_back(bench::ToMs(at - (firstDue + index * spacing)));
    }
    return late;
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const int64_t spacingMs = argc > 2 ? std::max(200, std::atoi(argv[2])) : 2500;

    kestsim::PtyPair pty;
    pty.Bind(plat::SerialPortKind::SIO, kPort);
    kestsim::VdcpSim sim(pty);
    sim.AddClip("CLIP1", 100000);
    ByteArrivals bare;

    const bench::MountedSettings settings(
        "bench_play_lateness",
        bench::Section("DevMgr", {{"VideoSrc", "{\"VDCP1\"}"}}) +
            bench::Section("VDCP1", {{"class", "CVideoSrcX_VDCP"},
                                     {"Com", std::to_string(kPort)},
                                     {"Decoder", "1"},
                                     {"ComTimeout", "300"},
                                     {"PlayBeforeTime", std::to_string(kPlayBeforeMs)},
                                     {"PrepareTime", "300"}}));
    std::vector<int64_t> plays;
    int64_t firstDueNs = 0;
    {
        CVideoDevMgr devMgr;
        devMgr.Initlization("/etc/tvx/DevMgr");
        CVideoBroTaskMgr1 mgr;

        // Framework time and monotonic time side by side, to put the starts on the wire's clock.
        const int64_t origin = FrameworkNow();
        const int64_t originNs = bench::SteadyNs();
        firstDueNs = originNs + (kFirstMs - kPlayBeforeMs) * 1000000;
        std::vector<tagVideoBroTask> tasks(static_cast<size_t>(count));
        std::vector<tagVideoBroTask *> list;
        for (int i = 0; i < count; ++i) {
            tagVideoBroTask &task = tasks[static_cast<size_t>(i)];
            task.TaskID = i + 1;
            task.Dev = "VDCP1";
            task.ID = "CLIP1";
            task.StartType = BROTASK_START_TIME;
            task.Start = origin + (kFirstMs + i * spacingMs) * kUnitsPerMs;
            task.DUR = static_cast<int32_t>(spacingMs / 40);
            task.pfnCallBack = &Ignore;
            list.push_back(&task);
        }
        list.push_back(nullptr);
        if (!mgr->Submit(list.data(), 0)) {
            std::fprintf(stderr, "the schedule was refused\n");
            return 1;
        }

        // The bare timer, halfway between the starts.
        std::thread timer([&] {
            for (int i = 0; i < count; ++i) {
                const int64_t due = firstDueNs + (i * spacingMs + spacingMs / 2) * 1000000;
                bench::SleepUntilNs(due);
                const uint8_t byte = 0x55;
                if (write(bare.Fd(), &byte, 1) != 1) break;
            }
        });
        sim.WaitForCount(0x10, 0x01, static_cast<size_t>(count),
                         static_cast<uint32_t>(kFirstMs + (count + 5) * spacingMs));
        timer.join();
        for (const auto &command : sim.Commands()) {
            if (std::getenv("BENCH_TRACE"))
                std::fprintf(stderr, "%.3f ms: %02X %02X\n",
                             bench::ToMs(command.at.time_since_epoch().count() - firstDueNs),
                             command.cmd1, command.cmd2);
        }
        for (const auto &command : sim.Commands())
            if ((command.cmd1 & 0x7F) == 0x10 && command.cmd2 == 0x01)
                plays.push_back(command.at.time_since_epoch().count());
        devMgr.Finalization();
    }
    CPtrArray devices;
    if (CClassA *device = glGetInstanceByName(CClassA::GetClassID(), "VDCP1")) devices.Add(device);
    glDeleteObjects(devices);

    const int64_t spacingNs = spacingMs * 1000000;
    const std::vector<double> late = Lateness(plays, firstDueNs, spacingNs, count);
    const std::vector<double> limit =
        Lateness(bare.Arrivals(), firstDueNs + spacingNs / 2, spacingNs, count);
    const std::string n = " (" + std::to_string(late.size()) + "/" + std::to_string(count) + ")";
    bench::Row("play lateness at the wire p50, ms" + n, bench::Percentile(late, 0.5),
               bench::Percentile(limit, 0.5), "ms");
    bench::Row("play lateness at the wire p99, ms", bench::Percentile(late, 0.99),
               bench::Percentile(limit, 0.99), "ms");
    bench::Row("play lateness at the wire max, ms", bench::Percentile(late, 1.0),
               bench::Percentile(limit, 1.0), "ms");
    return late.size() == static_cast<size_t>(count) ? 0 : 2;
}
