// A station control program in small: it starts the framework from its settings file
// (playout.CLSID beside the program), loads the device list, creates a broadcast task
// manager, hands it a short schedule on two line sources and prints every status change as the
// engine reports it, with the time since the schedule was made. One item names a source that
// is not in the device list: it cannot play, and the engine passes it over (ends it with its
// error flag) by the time the next item must be prepared, so that the next item is cued ahead
// and plays at its own time. The program closes once the last task has ended, or after a
// bounded wait.
//
//     playout [variant: 1 or 3]
//
// Exit code 0 when every task that can play went on air and ended and the one that cannot was
// passed over, 1 otherwise.
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/tasks/CVideoBroTaskMgr1.h"
#include "drivers/tasks/CVideoBroTaskMgr3.h"
#include "drivers/tasks/IVideoBroTaskTPU.h"

#include "Kest20/CClock.h"
#include "Kest20/KestApplication.h"
#include "platform/Sync.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

constexpr int64_t kUnitsPerMs = 10000;
constexpr int64_t kUnitsPerSecond = 1000 * kUnitsPerMs;
// How long the schedule may take before the program gives up.
constexpr uint32_t kScheduleBoundMs = 30000;

const char *StatusName(int32_t status)
{
    static const char *const kNames[] = {"",          "Begin",        "DevChkBegin",  "DevChecking",
                                         "DevChkEnd", "ClipChkBegin", "ClipChecking", "ClipChkEnd",
                                         "BeginCue",  "Cuing",        "EndCue",       "BeginPlay",
                                         "Playing",   "EndPlay",      "EjectBegin",   "Ejecting",
                                         "EjectEnd",  "Finished"};
    if (status == BROTASK_ERRNOTIFY) return "ErrNotify";
    if (status > 0 && status < static_cast<int32_t>(std::size(kNames))) return kNames[status];
    return "?";
}

int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

// Prints the reports of the engine's threads one line at a time and signals when the last
// task of the schedule has ended.
class StatusPrinter {
public:
    StatusPrinter(int64_t origin, int32_t lastId, int32_t lastStatus)
        : m_origin(origin), m_lastId(lastId), m_lastStatus(lastStatus)
    {
    }

    static int32_t OnStatus(void *self, int32_t id, int32_t status, int32_t extra)
    {
        static_cast<StatusPrinter *>(self)->Print(id, status, extra);
        return 0;
    }

    bool WaitForEnd(uint32_t ms) { return m_ended.Wait(ms) == plat::WAIT_OBJECT_0; }
    int OnAirCount()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_onAir;
    }
    // Tasks ended without having gone on air.
    int PassedOverCount()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        int count = 0;
        for (int32_t id : m_endedIds)
            if (std::find(m_aired.begin(), m_aired.end(), id) == m_aired.end()) ++count;
        return count;
    }

private:
    void Print(int32_t id, int32_t status, int32_t extra)
    {
        const double at = static_cast<double>(Now() - m_origin) / kUnitsPerSecond;
        std::lock_guard<std::mutex> lock(m_lock);
        if (status == BROTASK_ERRNOTIFY)
            std::printf("%8.3f s  task %d  %s (flags %d)\n", at, id, StatusName(status), extra);
        else
            std::printf("%8.3f s  task %d  %s\n", at, id, StatusName(status));
        std::fflush(stdout);
        if (status == BROTASK_BEGINPLAY) {
            ++m_onAir;
            m_aired.push_back(id);
        }
        if (status == BROTASK_ENDPLAY) m_endedIds.push_back(id);
        if (id == m_lastId && status == m_lastStatus) m_ended.Set();
    }

    const int64_t m_origin;
    const int32_t m_lastId;
    const int32_t m_lastStatus;
    std::mutex m_lock;
    int m_onAir = 0;
    std::vector<int32_t> m_aired, m_endedIds;
    plat::Event m_ended{true, false};
};

struct PlannedTask {
    int32_t id;
    const char *dev;
    const char *clip;
    int64_t startInMs;
    int32_t frames;
};

// Four items back to back, the first 2 s from now: three on the two sources, and between them
// one on LINE9, which the device list does not have.
constexpr PlannedTask kSchedule[] = {
    {1, "LINE1", "NEWS-OPEN", 2000, 50},
    {2, "LINE2", "WEATHER", 4000, 50},
    {4, "LINE9", "PROMO", 6000, 25},
    {3, "LINE1", "NEWS-CLOSE", 7000, 25},
};
// The items that cannot play.
constexpr size_t kCannotPlay = 1;

// Runs the schedule until its last task reports `lastStatus`. `pstId` names the first task
// to the manager (a variant-3 manager would otherwise leave it to the operator's take).
template <class Mgr> int RunSchedule(Mgr &mgr, int32_t pstId, int32_t lastStatus)
{
    const int64_t origin = Now();
    const int32_t lastId = kSchedule[std::size(kSchedule) - 1].id;
    StatusPrinter printer(origin, lastId, lastStatus);

    std::vector<tagVideoBroTask> tasks;
    for (const PlannedTask &planned : kSchedule) {
        tagVideoBroTask task;
        task.TaskID = planned.id;
        task.Dev = planned.dev;
        task.ID = planned.clip;
        task.StartType = BROTASK_START_TIME;
        task.Start = origin + planned.startInMs * kUnitsPerMs;
        task.DUR = planned.frames;
        task.pfnCallBack = &StatusPrinter::OnStatus;
        task.pUserData = &printer;
        tasks.push_back(task);
        std::printf("task %d: clip %s on %s at +%.3f s for %d frames\n", planned.id, planned.clip,
                    planned.dev, static_cast<double>(planned.startInMs) / 1000, planned.frames);
    }
    std::printf("(an item ends as the next goes on air; the one that cannot play is passed over "
                "when the next must be prepared, 1 s before it, the line source's PrepareTime; "
                "the last one's EndPlay comes 1 s after its end: the trace thread ends a program "
                "one second after its end time)\n");
    std::vector<tagVideoBroTask *> list;
    for (tagVideoBroTask &task : tasks) list.push_back(&task);
    list.push_back(nullptr);

    if (mgr->Submit(list.data(), pstId) != 1) {
        std::printf("the manager refused the schedule\n");
        return 1;
    }
    const bool ended = printer.WaitForEnd(kScheduleBoundMs);
    // The manager stops its threads before the printer they call goes.
    mgr->RemoveAllTask();
    mgr->GetTPU()->Stop();
    const int onAir = printer.OnAirCount();
    const int passedOver = printer.PassedOverCount();
    std::printf("%d of %zu tasks went on air, %d could not play and was passed over; the "
                "schedule %s\n",
                onAir, std::size(kSchedule), passedOver,
                ended ? "has ended" : "did not end in time");
    const bool whole = onAir == static_cast<int>(std::size(kSchedule) - kCannotPlay) &&
                       passedOver == static_cast<int>(kCannotPlay);
    return ended && whole ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    const int variant = argc > 1 ? std::atoi(argv[1]) : 1;
    if (variant != 1 && variant != 3) {
        std::fprintf(stderr, "usage: %s [1|3]\n", argv[0]);
        return 2;
    }
    StartApplication("");
    int result = 1;
    {
        CVideoDevMgr devices;
        if (!devices.Initlization("/etc/tvx/DevMgr")) {
            std::printf("the device list could not be loaded\n");
        } else if (variant == 1) {
            std::printf("variant 1 task manager\n");
            CVideoBroTaskMgr1 mgr;
            result = RunSchedule(mgr, 0, BROTASK_ENDPLAY);
        } else {
            std::printf("variant 3 task manager\n");
            // Played tasks stay in its list and are stopped on their sources after they end.
            CVideoBroTaskMgr3 mgr;
            result = RunSchedule(mgr, kSchedule[0].id, BROTASK_EJECTEND);
        }
        devices.Finalization();
    }
    CloseApplication(0);
    return result;
}
