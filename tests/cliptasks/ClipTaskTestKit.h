// What the clip copy and record task tests share: stub stores whose far copies the test can
// hold, fail or make throw; a stub tape source, recorder and router that record their calls;
// a device manager with the test's settings on the manual clock; and recorders of callbacks.
#pragma once

#include "tests/model/DeviceTestKit.h"

#include "drivers/model/CVideoDevMgr.h"
#include "drivers/model/CVideoRecA.h"
#include "drivers/model/CVideoSrcA.h"
#include "drivers/model/CVideoStoreA.h"
#include "drivers/model/CVideoSwitchA.h"
#include "drivers/tasks/CVideoRecTask.h"

#include "Kest20/KestLog.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace cliptest {

using devtest::Eventually;
using devtest::kSecond;

// Real time a test grants the threads it drives to reach a state on a busy machine.
constexpr int kPatientMs = 30000;

// Advances the manual clock `stepMs` at a time until `done` holds, at most `maxMs` in all; then
// it goes on watching in real time (up to kPatientMs in all), so that a thread starved on a
// busy machine still arrives without the clock running past the state the test waits for.
// Whether `done` held.
bool AdvanceUntil(const std::function<bool()> &done, uint32_t stepMs = 50, uint32_t maxMs = 20000);

// How the stub stores copy, by clip id; shared by every stub store.
struct CopyKnobs {
    static inline std::mutex lock;
    static inline std::condition_variable released;
    static inline std::set<std::string> held, failing, throwing;
    static inline std::vector<std::string> copies; // "store:clip->dest:argument" per call
    static inline std::atomic<int> inside{0};      // copies not yet returned
    static inline std::atomic<int> opens{0};       // stub stores opened

    static void Reset();
    // Releases every copy and waits until none is left in a store, so that the stores can go.
    static void Drain();
    static void Hold(const std::string &clip);
    static void Release(const std::string &clip);
    static std::vector<std::string> Copies();
};

class CStubStore : public CVideoStoreA {
    DECLARE_KEST_CLASS(CStubStore)
    CStubStore() : CVideoStoreA("LVSTORE_STUB") {}
    int DevOpen() override { return ++CopyKnobs::opens, 1; }
    // Reports (0, 100) and (50, 100), waits while the clip is held, then fails, throws or
    // succeeds by the knobs.
    int DevFarCopy(const char *clip, const char *argument, const char *destStore,
                   tagCopyCallBack callback) override;
};

// A tape source that answers at once and records what it was asked.
class CStubVtr : public CVideoSrcA {
    DECLARE_KEST_CLASS(CStubVtr)
    CStubVtr() : CVideoSrcA("LVSRC_STUBVTR") {}
    int DevCheckCompatible(const char *type, const char *tape) override;
    int DevCueEx(const char *clip, timecode_t som, timecode_t dur, tagCallBack *) override;
    int DevPlay(const int64_t *) override { return ++plays, 1; }
    int DevStop() override { return ++stops, 1; }
    int DevEject() override { return ++ejects, 1; }
    int DevGetPosition(int, timecode_t &at) override { return at = 1000, 1; }
    int DevGetPosition2(int, timecode_t &at) override { return at = 1000, 1; }

    std::mutex lock;
    std::string checkedTape, cuedTape;
    std::atomic<int> compatible{1}, cues{0}, plays{0}, stops{0}, ejects{0};
};

// A recorder whose clips exist with `existing` frames before recording and `recorded` after.
class CStubRec : public CVideoRecA {
    DECLARE_KEST_CLASS(CStubRec)
    CStubRec() : CVideoRecA("LVREC_STUB") {}
    int DevRecInit(const char *, timecode_t, int) override { return ++inits, 1; }
    int DevRecord(const int64_t *) override { return ++records, 1; }
    int DevStop() override { return ++stops, 1; }
    int DevGetClipSize(const char *, timecode_t &size) override
    {
        size = records ? recorded.load() : existing.load();
        return 1;
    }

    std::atomic<int> inits{0}, records{0}, stops{0};
    std::atomic<int32_t> existing{0}, recorded{250};
};

class CStubRouter : public CVideoSwitchA {
    DECLARE_KEST_CLASS(CStubRouter)
    CStubRouter() : CVideoSwitchA("LVSW_STUB") {}
    int DevOpen() override { return 1; }
    int DevDirectTake(int channel, int entry) override
    {
        std::lock_guard<std::mutex> lk(lock);
        takes.emplace_back(channel, entry);
        return succeed;
    }
    std::vector<std::pair<int, int>> Takes()
    {
        std::lock_guard<std::mutex> lk(lock);
        return takes;
    }

    std::atomic<int> succeed{1};

private:
    std::mutex lock;
    std::vector<std::pair<int, int>> takes;
};

// Whether the thread of that system id has ended (it is gone from the process).
bool ThreadEnded(uint32_t tid);

struct Call {
    std::string id;
    int32_t status, param;
    friend bool operator==(const Call &, const Call &) = default;
};

// Records every callback; answers `answer` (by status) or 0.
class Calls {
public:
    void Add(std::string id, int32_t status, int32_t param);
    std::vector<Call> All();
    std::vector<int32_t> Statuses(int32_t except = -1);
    std::vector<int32_t> Params(int32_t status);
    size_t Size();

    std::map<int32_t, int32_t> answer; // set before a thread can call

private:
    std::mutex m_lock;
    std::vector<Call> m_calls;
};

// A record task's receiver of status calls: records them (and answers by `calls.answer`), and
// calls `onStatus` first when set.
class Receiver : public CVideoRecTaskReceiver {
public:
    int32_t OnStatus(const char *id, int32_t status, int32_t param)
    {
        calls.Add(id, status, param);
        if (onStatus) onStatus(id, status, param);
        const auto answer = calls.answer.find(status);
        return answer == calls.answer.end() ? 0 : answer->second;
    }
    Calls calls;
    std::function<void(const char *, int32_t, int32_t)> onStatus; // set before the submit
};

// Stores STA, STB, STC, STD (stub stores) and STX (class not registered); sources VTR1, VTR2
// and LINE (stub tape sources; VTR1 at router input 3), recorders REC1 (router outputs 7 and 9)
// and REC2 (output 5), router SW1. Extra settings sections follow. The fixture makes every
// device but STD before the test begins.
std::string Settings(const std::string &extra = "");

class ClipTaskTest : public ::testing::Test {
protected:
    explicit ClipTaskTest(const std::string &extra = "");
    ~ClipTaskTest() override;

    template <class T> T &Dev(const char *id)
    {
        auto *device = dynamic_cast<T *>(m_devMgr.GetVideoDev(id, 1, nullptr));
        EXPECT_NE(device, nullptr) << id;
        return *device;
    }

    devtest::ManualTime m_time;
    int m_previousDebug;
    devtest::MountedSettings m_settings;
    CVideoDevMgr m_devMgr;
    devtest::DeleteDevices m_cleanup{
        {"STA", "STB", "STC", "STD", "VTR1", "VTR2", "LINE", "REC1", "REC2", "SW1"}};
};

} // namespace cliptest
