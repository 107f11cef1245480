// How late a timed start leaves against its due time on the line source: each sample is a cued
// task due `lead` ms ahead, handed to the source's start call as the start thread does; the
// lateness is the time of its "BeginPlay" report less its start. Prints percentiles in ms.
//
//     build/bin/bench_play_lateness [samples=50] [lead ms=300]
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/tasks/CVideoBroTaskMgr1.h"
#include "drivers/tasks/IVideoBroTaskProcess.h"
#include "drivers/tasks/IVideoBroTaskTPU.h"

#include "Kest20/CClock.h"
#include "Kest20/InstanceRegistry.h"
#include "KestLib20/CConfigFileAccessX.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

constexpr int64_t kUnitsPerMs = 10000;

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

std::atomic<int64_t> g_onAir{0};

int32_t OnStatus(void *, int32_t, int32_t status, int32_t)
{
    if (status == BROTASK_BEGINPLAY) g_onAir = Now();
    return 0;
}

double Percentile(std::vector<double> sorted, double p)
{
    const size_t index = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(index, sorted.size() - 1)];
}

} // namespace

int main(int argc, char **argv)
{
    const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    const int64_t leadMs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 300;

    const std::filesystem::path settings =
        std::filesystem::temp_directory_path() / "bench_play_lateness.ini";
    std::ofstream(settings) << "[DevMgr]\r\nVideoSrc={\"LINE1\"}\r\n"
                               "[LINE1]\r\nclass=CVideoSrcX_Line\r\n";
    CConfigFileAccessX provider(settings.c_str());
    provider.Mount("/etc/tvx");

    std::vector<double> lateMs;
    {
        CVideoDevMgr devMgr;
        devMgr.Initlization("/etc/tvx/DevMgr");
        void *answer = nullptr;
        if (CDeviceA *line = devMgr.GetVideoDev("LINE1", 1, nullptr))
            line->QueryInterface(&IID_IVideoBroTaskProcess, &answer);
        auto *source = static_cast<IVideoBroTaskProcess *>(answer);
        if (!source) {
            std::fprintf(stderr, "no line source\n");
            return 1;
        }

        CVideoBroTaskMgr1 mgr;
        mgr->GetTPU()->ShutDown(); // the bench makes the start calls itself
        for (int i = 1; i <= samples; ++i) {
            tagVideoBroTask task;
            task.TaskID = i;
            task.Dev = "LINE1";
            task.ID = "BENCH";
            task.StartType = BROTASK_START_TIME;
            task.DUR = 25;
            task.Start = Now() + leadMs * kUnitsPerMs;
            task.pUserData = &g_onAir;
            task.pfnCallBack = &OnStatus;
            mgr->AddTask(task);
            mgr->SetTaskStatus(i, BROTASK_ENDCUE);
            g_onAir = 0;
            mgr->GetTPU()->SetUnitState(TPU_UNIT_NEW, TPU_UNIT_BUSY);
            source->DevTaskPlay(mgr.operator->(), 0);
            mgr->GetTPU()->SetUnitState(TPU_UNIT_NEW, TPU_UNIT_IDLE);
            if (g_onAir) lateMs.push_back(static_cast<double>(g_onAir - task.Start) / kUnitsPerMs);
        }
    }
    CPtrArray devices;
    if (CClassA *line = glGetInstanceByName(CClassA::GetClassID(), "LINE1")) devices.Add(line);
    glDeleteObjects(devices);
    std::filesystem::remove(settings);

    if (lateMs.empty()) {
        std::fprintf(stderr, "nothing went on air\n");
        return 1;
    }
    std::sort(lateMs.begin(), lateMs.end());
    std::printf("play lateness on the line source, %zu samples, %lld ms lead (ms):\n",
                lateMs.size(), static_cast<long long>(leadMs));
    std::printf("  min %.3f  p50 %.3f  p90 %.3f  p99 %.3f  max %.3f\n", lateMs.front(),
                Percentile(lateMs, 0.5), Percentile(lateMs, 0.9), Percentile(lateMs, 0.99),
                lateMs.back());
    return 0;
}
