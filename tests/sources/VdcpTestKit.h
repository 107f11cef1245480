// What the VDCP tests share: a board port whose line is a pseudo-terminal with the VDCP
// simulator at its far end, a recorder of task status calls, and real-time waits.
#pragma once

#include "tests/kit/SimLine.h"
#include "tests/model/DeviceTestKit.h"
#include "tests/sim/VdcpSim.h"

#include "Kest20/CClock.h"
#include "drivers/tasks/tagVideoBroTask.h"

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vdcptest {

using kestsim::Bytes;
using kestsim::VdcpSim;
using Clock = std::chrono::steady_clock;

// Board port `port` on a pseudo-terminal, the simulator answering with clips "CLIP1" (250
// frames) and "NEWS0100" (1 minute).
struct SimLine {
    explicit SimLine(int port) : line(plat::SerialPortKind::SIO, port)
    {
        sim.AddClip("CLIP1", 250);
        sim.AddClip("NEWS0100", 1500);
    }
    kit::SimLine<VdcpSim> line;
    kestsim::PtyPair &pty = line.Pty();
    VdcpSim &sim = line.Sim();
};

// The settings of the road tests: the VDCP sources VDCP1 and VDCP2 on board ports `portA` and
// `portB` (each reply waited for `replyMs`) and the line source LINE1; the names of
// `kRoadSources`.
inline std::string RoadSettings(int portA, int portB, int replyMs = 300)
{
    const auto vdcp = [replyMs](const char *name, int port) {
        return devtest::Section(name, {{"class", "CVideoSrcX_VDCP"},
                                       {"Com", std::to_string(port)},
                                       {"Decoder", "1"},
                                       {"ComTimeout", std::to_string(replyMs)}});
    };
    return devtest::Section("DevMgr", {{"VideoSrc", "{\"VDCP1\",\"VDCP2\",\"LINE1\"}"}}) +
           vdcp("VDCP1", portA) + vdcp("VDCP2", portB) +
           devtest::Section("LINE1", {{"class", "CVideoSrcX_Line"}});
}
inline const std::vector<std::string> kRoadSources = {"VDCP1", "VDCP2", "LINE1"};

// The simulator's faults, one kind at a time.
using kestsim::Refusing;
using kestsim::Silent;

inline VdcpSim::Faults Corrupt()
{
    VdcpSim::Faults f;
    f.badCheck = true;
    return f;
}
inline VdcpSim::Faults Late(uint32_t ms)
{
    VdcpSim::Faults f;
    f.delayMs = ms;
    return f;
}
// Garbage first, then the answer in pieces of two bytes.
inline VdcpSim::Faults Garbled()
{
    VdcpSim::Faults f;
    f.garbage = {0xFF, 0x80};
    f.chunkSize = 2;
    f.gapMs = 5;
    return f;
}

struct TaskCall {
    int32_t id, status, extra;
    int64_t at;
};

// Every status callback of the tasks that report here, with its framework time.
class TaskCalls {
public:
    static int32_t OnStatus(void *self, int32_t id, int32_t status, int32_t extra)
    {
        auto *calls = static_cast<TaskCalls *>(self);
        int64_t now = 0;
        glGetTimeEx(&now);
        std::lock_guard<std::mutex> lk(calls->m_lock);
        calls->m_calls.push_back({id, status, extra, now});
        return 0;
    }
    // A timed task on `dev` playing `clip` from `start` for `frames`, reporting here.
    tagVideoBroTask Task(int32_t id, const char *dev, const char *clip, int64_t start,
                         int32_t frames)
    {
        tagVideoBroTask task;
        task.TaskID = id;
        task.Dev = dev;
        task.ID = clip;
        task.StartType = BROTASK_START_TIME;
        task.Start = start;
        task.DUR = frames;
        task.pUserData = this;
        task.pfnCallBack = &TaskCalls::OnStatus;
        return task;
    }
    // The time of the first call (id, status); -1 when none.
    int64_t At(int32_t id, int32_t status)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        for (const TaskCall &call : m_calls)
            if (call.id == id && call.status == status) return call.at;
        return -1;
    }
    int Count(int32_t id, int32_t status)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        int count = 0;
        for (const TaskCall &call : m_calls) count += call.id == id && call.status == status;
        return count;
    }
    int CountSince(int64_t time)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        int count = 0;
        for (const TaskCall &call : m_calls) count += call.at >= time;
        return count;
    }
    // Every call, for a failure's message.
    std::string Dump(int64_t origin)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        std::string text;
        for (const TaskCall &call : m_calls)
            text += std::to_string((call.at - origin) / devtest::kMs) + " ms: task " +
                    std::to_string(call.id) + " " + std::to_string(call.status) + " " +
                    std::to_string(call.extra) + "\n";
        return text;
    }
    // The flag bits told for `id`, together.
    int32_t Flags(int32_t id)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        int32_t flags = 0;
        for (const TaskCall &call : m_calls)
            if (call.id == id && call.status == BROTASK_ERRNOTIFY) flags |= call.extra;
        return flags;
    }

private:
    std::mutex m_lock;
    std::vector<TaskCall> m_calls;
};

inline long MsSince(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

inline void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The statuses the manager reports per task, in order (its error notes left out).
struct Statuses {
    static int32_t OnStatus(void *self, int32_t id, int32_t status, int32_t)
    {
        auto *log = static_cast<Statuses *>(self);
        std::lock_guard<std::mutex> lk(log->lock);
        if (status != BROTASK_ERRNOTIFY) log->seen.push_back(id * 100 + status);
        return 0;
    }
    std::vector<int32_t> Of(int32_t id)
    {
        std::lock_guard<std::mutex> lk(lock);
        std::vector<int32_t> out;
        for (const int32_t entry : seen)
            if (entry / 100 == id) out.push_back(entry % 100);
        return out;
    }
    std::mutex lock;
    std::vector<int32_t> seen;
};

} // namespace vdcptest
