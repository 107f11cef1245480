// A soak of the play-out road (SOAK_TASKS tasks, 200 by default, and SOAK_SEED; label soak,
// which the test command leaves out): a schedule of 3 s items cycling over two VDCP sources and
// a line source, with random faults on the VDCP lines (late answers, silence, hang-ups followed
// by a new line at the same port), with the process unit's threads on the manual clock, in
// both manager variants. It reports every item passed over without a flag, every item passed
// over on a source without a fault (the line source, or a VDCP line that had none, or none
// not yet used up, from 15 s before the item's cue or start to its end), every item of the
// line source that went on air more than 1 s late in variant 1 and, in variant 3, every item
// that never reached its final status, and every status told out of order (after EndPlay, any
// but a later stop status; anything after the last); the manager and TPU log lines with the status
// calls go to $TMPDIR/road-soak-<variant>.log. What it finds is made a deterministic test elsewhere
// (tests/sources/test_vdcp_road.cpp, tests/sources/test_vdcp_silent_server.cpp,
// tests/tasks/test_lost_preset.cpp).
#include "drivers/model/CVideoDevMgr.h"
#include "drivers/tasks/CVideoBroTaskMgr1.h"
#include "drivers/tasks/CVideoBroTaskMgr3.h"
#include "tests/sources/VdcpTestKit.h"

#include "Kest20/CClock.h"
#include "Kest20/CLogReader.h"
#include "Kest20/KestLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <random>

using namespace vdcptest;

namespace {

constexpr int kPorts[] = {61, 62};
constexpr int64_t kMs = devtest::kMs;
constexpr int64_t kSecond = devtest::kSecond;

int EnvOr(const char *name, int value)
{
    const char *text = std::getenv(name);
    return text ? std::atoi(text) : value;
}

// The status calls and the log lines, each with its manual time.
class Trace : public CLogReader {
public:
    struct Call {
        int32_t id, status, extra;
        int64_t at;
    };

    explicit Trace(const char *type) : CLogReader(type, LOG_MODE_EXACT) { Subscribe(); }
    ~Trace() override { Unsubscribe(); }
    static int32_t OnStatus(void *self, int32_t id, int32_t status, int32_t extra)
    {
        auto *trace = static_cast<Trace *>(self);
        std::lock_guard<std::mutex> lk(trace->m_lock);
        trace->m_calls.push_back({id, status, extra, devtest::ManualTime::Now()});
        return 0;
    }
    int OnRecvLog(const char *type, const char *text, const char *) override
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_lines.emplace_back(devtest::ManualTime::Now(), std::string(type) + " " + text);
        return 1;
    }
    std::vector<Call> Calls()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_calls;
    }
    bool Told(int32_t id, int32_t status)
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return std::any_of(m_calls.begin(), m_calls.end(),
                           [&](const Call &c) { return c.id == id && c.status == status; });
    }
    std::vector<std::pair<int64_t, std::string>> Lines()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_lines;
    }
    // Everything, with the lines of `other`, in time order, the times from `origin` in ms.
    void Write(const std::string &path, int64_t origin, Trace &other,
               const std::vector<std::string> &notes)
    {
        std::vector<std::pair<int64_t, std::string>> all = other.Lines();
        {
            std::lock_guard<std::mutex> lk(m_lock);
            all.insert(all.end(), m_lines.begin(), m_lines.end());
            for (const Call &c : m_calls)
                all.emplace_back(c.at, "task " + std::to_string(c.id) + " status " +
                                           std::to_string(c.status) + " " +
                                           std::to_string(c.extra));
        }
        std::stable_sort(all.begin(), all.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        FILE *file = std::fopen(path.c_str(), "w");
        if (!file) return;
        for (const auto &[at, text] : all)
            std::fprintf(file, "%8lld %s\n", static_cast<long long>((at - origin) / kMs),
                         text.c_str());
        for (const std::string &note : notes) std::fprintf(file, "%s\n", note.c_str());
        std::fclose(file);
    }

private:
    std::mutex m_lock;
    std::vector<Call> m_calls;
    std::vector<std::pair<int64_t, std::string>> m_lines;
};

class RoadSoak : public ::testing::TestWithParam<int> {
protected:
    ~RoadSoak() override { glSetDebugFlag(m_previousDebug); }

    devtest::ManualTime m_time;
    // Every line made, the latest of each port in `m_line`; the earlier ones stay (hung up)
    // until the end, so that the port names the newest.
    std::vector<std::unique_ptr<SimLine>> m_made;
    SimLine *m_line[2] = {};
    devtest::MountedSettings m_settings{RoadSettings(kPorts[0], kPorts[1])};
    CVideoDevMgr m_devices;
    devtest::DeleteDevices m_cleanup{kRoadSources};
    int m_previousDebug = glSetDebugFlag(1);
    Trace m_tpu{"LOG_AIR_TPU"};
    Trace m_tmu{"LOG_AIR_TMU"};
    Trace &m_calls = m_tpu;
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Variants, RoadSoak, ::testing::Values(1, 3));

TEST_P(RoadSoak, NoTaskOnASourceWithoutAFaultIsPassedOver)
{
    const int variant = GetParam();
    const int tasks = EnvOr("SOAK_TASKS", 200);
    std::mt19937 rng(static_cast<unsigned>(EnvOr("SOAK_SEED", 1)));
    for (int i = 0; i < 2; ++i) {
        m_made.push_back(std::make_unique<SimLine>(kPorts[i]));
        m_line[i] = m_made.back().get();
    }
    m_devices.Initlization("/etc/tvx/DevMgr");

    const char *devs[] = {"VDCP1", "LINE1", "VDCP2", "LINE1"};
    const int64_t origin = devtest::ManualTime::Now();
    std::vector<tagVideoBroTask> planned;
    for (int i = 0; i < tasks; ++i) {
        tagVideoBroTask task;
        task.TaskID = i + 1;
        task.Dev = devs[i % 4];
        task.ID = "CLIP1";
        task.StartType = BROTASK_START_TIME;
        task.Start = origin + 5 * kSecond + 3 * kSecond * i;
        task.DUR = 75;
        task.pUserData = &m_calls;
        task.pfnCallBack = &Trace::OnStatus;
        planned.push_back(task);
    }
    std::vector<tagVideoBroTask *> list;
    for (tagVideoBroTask &task : planned) list.push_back(&task);
    list.push_back(nullptr);
    std::unique_ptr<CVideoBroTaskMgr1> one;
    std::unique_ptr<CVideoBroTaskMgr3> three;
    if (variant == 1) {
        one = std::make_unique<CVideoBroTaskMgr1>();
        ASSERT_EQ((*one)->Submit(list.data(), 0), 1);
    } else {
        three = std::make_unique<CVideoBroTaskMgr3>();
        ASSERT_EQ((*three)->Submit(list.data(), 1), 1);
    }

    // Faults every 2 to 10 s on one of the lines; a line hung up comes back 1 to 5 s later.
    std::vector<std::string> notes;
    // Per line, when it had a fault: from the moment a fault was set until the simulator had
    // used it up, or from a hang-up until the line came back.
    std::vector<std::pair<int64_t, int64_t>> faulty[2];
    auto note = [&](int64_t at, int which, const std::string &what) {
        if (what == "back")
            faulty[which].back().second = at;
        else
            faulty[which].emplace_back(at, at);
        notes.push_back("FAULT " + std::to_string((at - origin) / kMs) + " ms: line " +
                        std::to_string(which) + " " + what);
    };
    int64_t comesBack[2] = {0, 0};
    int64_t nextFault = origin + 8 * kSecond;
    const int32_t last = variant == 1 ? BROTASK_ENDPLAY : BROTASK_EJECTEND;
    const int64_t end = planned.back().GetEndTime() + 5 * kSecond;
    while (devtest::ManualTime::Now() < end + 600 * kSecond &&
           (devtest::ManualTime::Now() < end || !m_calls.Told(tasks, last))) {
        const int64_t now = devtest::ManualTime::Now();
        for (int which = 0; which < 2; ++which) {
            if (!comesBack[which] || now < comesBack[which]) continue;
            m_made.push_back(std::make_unique<SimLine>(kPorts[which]));
            m_line[which] = m_made.back().get();
            comesBack[which] = 0;
            note(now, which, "back");
        }
        if (now >= nextFault) {
            const int which = static_cast<int>(rng() % 2);
            const int kind = static_cast<int>(rng() % 10);
            if (!comesBack[which]) {
                if (kind < 5) {
                    const uint32_t ms = 100 + rng() % 700;
                    m_line[which]->sim.SetFaults(Late(ms), 1 + static_cast<int>(rng() % 6));
                    note(now, which, "late " + std::to_string(ms));
                } else if (kind < 8) {
                    m_line[which]->sim.SetFaults(Silent(), 1 + static_cast<int>(rng() % 4));
                    note(now, which, "silent");
                } else {
                    m_line[which]->sim.Peer().HangUp();
                    comesBack[which] = now + static_cast<int64_t>(1000 + rng() % 4000) * kMs;
                    note(now, which, "hang-up");
                }
            }
            nextFault = now + static_cast<int64_t>(2000 + rng() % 8000) * kMs;
        }
        for (int which = 0; which < 2; ++which) {
            const VdcpSim::Faults held = m_line[which]->sim.Peer().GetFaults();
            if (!comesBack[which] && (held.silent || held.delayMs) && !faulty[which].empty())
                faulty[which].back().second = now;
        }
        devtest::StepClock(20);
    }
    one.reset();
    three.reset();
    m_devices.Finalization();

    const auto calls = m_calls.Calls();
    std::vector<std::string> findings;
    for (const tagVideoBroTask &task : planned) {
        int32_t flags = 0;
        int64_t onAir = -1;
        // When the engine first and last told of it: a variant-3 item starts as the one before
        // ends, which may be later than planned.
        int64_t first = task.Start, ended = task.GetEndTime();
        bool final = false;
        int32_t endedStatus = 0; // the latest status from EndPlay on
        std::string disorder;
        for (const Trace::Call &c : calls) {
            if (c.id != task.TaskID) continue;
            // Once ended, a task only moves on through the stop's statuses, and after its last
            // status nothing is told.
            if (final ||
                (endedStatus && c.status != BROTASK_ERRNOTIFY && c.status <= endedStatus) ||
                (c.status == BROTASK_EJECTBEGIN && !endedStatus))
                disorder += " " + std::to_string(c.status);
            first = std::min(first, c.at);
            if (c.status == BROTASK_ENDPLAY) ended = std::max(ended, c.at);
            if (c.status == BROTASK_ERRNOTIFY) flags |= c.extra;
            if (c.status == BROTASK_BEGINPLAY && onAir < 0) onAir = c.at;
            if (c.status >= BROTASK_ENDPLAY && c.status <= BROTASK_FINISHED) endedStatus = c.status;
            final |= c.status == last;
        }
        const std::string which = "task " + std::to_string(task.TaskID) + " on " + task.Dev.szText +
                                  " at " + std::to_string((task.Start - origin) / kMs) + " ms";
        const bool line = std::string(task.Dev.szText) == "LINE1";
        bool faulted = false;
        if (!line) {
            const int w = std::string(task.Dev.szText) == "VDCP1" ? 0 : 1;
            const int64_t from = first - 15 * kSecond, to = ended;
            for (const auto &[begin, over] : faulty[w]) faulted |= begin <= to && over >= from;
        }
        if (onAir < 0 && !flags) findings.push_back(which + ": passed over without a flag");
        if (onAir < 0 && !faulted)
            findings.push_back(which + ": passed over on a source without a fault, flags " +
                               std::to_string(flags));
        if (variant == 1 && line && onAir - task.Start > kSecond)
            findings.push_back(which + ": late by " + std::to_string((onAir - task.Start) / kMs));
        if (!final) findings.push_back(which + ": never reached its final status");
        if (!disorder.empty()) findings.push_back(which + ": told out of order:" + disorder);
    }
    const char *tmp = std::getenv("TMPDIR");
    m_tpu.Write(std::string(tmp ? tmp : "/tmp") + "/road-soak-" + std::to_string(variant) + ".log",
                origin, m_tmu, notes);
    for (const std::string &finding : findings) ADD_FAILURE() << finding;
}
