// What the broadcast task tests share: task records that report to a status recorder, a stub
// play-out source whose task answers the test scripts, a device manager with the test's
// settings, the debug log on, and the switch from the program's manual clock to real time.
#pragma once

#include "tests/model/DeviceTestKit.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/CVideoSrcA.h"
#include "drivers/tasks/CVideoBroTaskMgr1.h"
#include "drivers/tasks/CVideoBroTaskMgr3.h"
#include "drivers/tasks/CVideoBroTaskTPU.h"
#include "drivers/tasks/IVideoBroTaskProcess.h"

#include "Kest20/KestLog.h"

#include <atomic>
#include <functional>
#include <initializer_list>
#include <vector>

// A source whose task answers count their calls and run the test's scripts (set before a
// thread can call them); its device commands record what they were given.
class CStubBroSrc : public CVideoSrcA, public IVideoBroTaskProcess {
    DECLARE_KEST_CLASS(CStubBroSrc)

    using Script = std::function<int32_t(IVideoBroTaskMgr &)>;

    CStubBroSrc() : CVideoSrcA("LVSRC_STUB") {}
    HRESULT QueryInterface(const GUID *iid, void **object) override;
    int32_t DevTaskCue(IVideoBroTaskMgr *mgr, int32_t) override { return Run(onCue, cues, *mgr); }
    int32_t DevTaskPlay(IVideoBroTaskMgr *mgr, int32_t) override
    {
        return Run(onPlay, plays, *mgr);
    }
    int32_t DevTaskStop(IVideoBroTaskMgr *mgr, int32_t) override { return Run({}, stops, *mgr); }
    int32_t DevTaskPause(IVideoBroTaskMgr *mgr, int32_t) override { return Run({}, pauses, *mgr); }
    int32_t DevTaskTrace(IVideoBroTaskMgr *mgr, int32_t) override { return Run({}, traces, *mgr); }
    int DevPause() override { return ++devPauses, 1; }
    int DevGetPosition(int, timecode_t &at) override { return at = position.load(), 1; }
    int DevCueEx(const char *, timecode_t som, timecode_t, tagCallBack *) override
    {
        return cuedSom = som, 1;
    }
    int DevPlay(const int64_t *at) override { return playAt = at ? *at : 0, 1; }

    Script onCue, onPlay;
    std::atomic<int> cues{0}, plays{0}, stops{0}, pauses{0}, traces{0}, devPauses{0};
    std::atomic<int32_t> position{0}, cuedSom{-1};
    std::atomic<int64_t> playAt{0};

private:
    static int32_t Run(const Script &script, std::atomic<int> &count, IVideoBroTaskMgr &mgr)
    {
        ++count;
        return script ? script(mgr) : 1;
    }
};

namespace brotest {

using devtest::Eventually;
using devtest::kFileTime2020;
using devtest::kMs;
using devtest::kSecond;

inline int64_t Now()
{
    int64_t now = 0;
    glGetTimeEx(&now);
    return now;
}

struct Call {
    int32_t id, status, extra;
    int64_t at; // framework time of the call
};

// Records the status callbacks of the tasks it made; with a manager to probe, also whether
// another thread could enter the manager during each callback.
class StatusLog {
public:
    static int32_t OnStatus(void *self, int32_t id, int32_t status, int32_t extra);
    // A task `startIn` (100 ns units) from now; its clip is "CLIP<id>" unless given.
    tagVideoBroTask Task(int32_t id, const char *dev, int64_t startIn, int32_t durFrames,
                         int32_t startType = BROTASK_START_TIME, const char *clip = nullptr);
    std::vector<Call> Calls()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_calls;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_calls.clear();
    }
    // The statuses told for `id`, in order.
    std::vector<int32_t> Statuses(int32_t id);
    // The first call (id, status); `at` -1 when none.
    Call First(int32_t id, int32_t status);
    int Count(int32_t id, int32_t status);

    IVideoBroTaskMgr *probe = nullptr;
    std::atomic<bool> lockHeld{false};

private:
    std::mutex m_lock;
    std::vector<Call> m_calls;
};

// A NULL-terminated list of pointers to the records, as Submit takes it.
class TaskList {
public:
    TaskList(std::initializer_list<tagVideoBroTask> tasks) : m_tasks(tasks)
    {
        for (tagVideoBroTask &task : m_tasks) m_ptrs.push_back(&task);
        m_ptrs.push_back(nullptr);
    }
    operator tagVideoBroTask * const *() const { return m_ptrs.data(); }
    const tagVideoBroTask &operator[](size_t index) const { return m_tasks[index]; }

private:
    std::vector<tagVideoBroTask> m_tasks;
    std::vector<tagVideoBroTask *> m_ptrs;
};

// Changes the stored record as a host may, under the manager's lock.
void Edit(IVideoBroTaskMgr &mgr, int32_t id, const std::function<void(tagVideoBroTask &)> &edit);

// A script that puts the preset on air, as a source's play does.
int32_t PlayPreset(IVideoBroTaskMgr &mgr);

// The broadcast-task interface of the device `id` of `devices` (a failure when it has none).
IVideoBroTaskProcess &ProcOf(CVideoDevMgr &devices, const char *id);

// The framework clock at 2020-01-01 on the program's manual clock, the debug log on, the
// "LOG_AIR_TPU" and "LOG_AIR_TMU" lines captured, and a device manager whose sources SRC1
// and SRC2 are stub sources, LINE1 and LINE2 play-out line sources and LINEP a play-list line
// source ("GHOST" is not configured).
class BroTaskTest : public ::testing::Test {
protected:
    BroTaskTest();
    ~BroTaskTest() override { glSetDebugFlag(m_previousDebug); }

    CStubBroSrc &Src(const char *id);
    // The manager's process unit, with its threads shut down so that the test runs its steps.
    static CVideoBroTaskTPU &StepOnly(IVideoBroTaskMgr &mgr);

    ScopedTimeZone m_tz{"UTC"};
    int m_previousDebug;
    devtest::MountedSettings m_settings;
    CVideoDevMgr m_devMgr;
    devtest::DeleteDevices m_cleanup{{"SRC1", "SRC2", "LINE1", "LINE2", "LINEP"}};
    devtest::LogCapture tpuLog{"LOG_AIR_TPU"};
    devtest::LogCapture tmuLog{"LOG_AIR_TMU"};
    StatusLog calls;
};

// Leaves the program's manual clock for real time while it lives, the framework clock
// rebased on each switch (it rises strictly, and would stand still behind a clock gone back).
class RealTime {
public:
    RealTime();
    ~RealTime();
    RealTime(const RealTime &) = delete;
    RealTime &operator=(const RealTime &) = delete;
};

// How many lines of `log` contain `text`.
int CountLines(devtest::LogCapture &log, const std::string &text);
inline bool HasLine(devtest::LogCapture &log, const std::string &text)
{
    return CountLines(log, text) > 0;
}

} // namespace brotest
