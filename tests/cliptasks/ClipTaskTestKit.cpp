#include "tests/cliptasks/ClipTaskTestKit.h"

#include <filesystem>
#include <stdexcept>

namespace cliptest {

IMPLEMENT_KEST_CLASS(CStubStore, CVideoStoreA)
IMPLEMENT_KEST_CLASS(CStubVtr, CVideoSrcA)
IMPLEMENT_KEST_CLASS(CStubRec, CVideoRecA)
IMPLEMENT_KEST_CLASS(CStubRouter, CVideoSwitchA)

void CopyKnobs::Reset()
{
    std::lock_guard<std::mutex> lk(lock);
    held.clear();
    failing.clear();
    throwing.clear();
    copies.clear();
    opens = 0;
    released.notify_all();
}

void CopyKnobs::Hold(const std::string &clip)
{
    std::lock_guard<std::mutex> lk(lock);
    held.insert(clip);
}

void CopyKnobs::Release(const std::string &clip)
{
    std::lock_guard<std::mutex> lk(lock);
    held.erase(clip);
    released.notify_all();
}

void CopyKnobs::Drain()
{
    Reset();
    Eventually([] { return inside == 0; });
}

std::vector<std::string> CopyKnobs::Copies()
{
    std::lock_guard<std::mutex> lk(lock);
    return copies;
}

int CStubStore::DevFarCopy(const char *clip, const char *argument, const char *destStore,
                           tagCopyCallBack callback)
{
    const struct Inside {
        Inside() { ++CopyKnobs::inside; }
        ~Inside() { --CopyKnobs::inside; }
    } inside;
    callback.Report(0, 100);
    callback.Report(50, 100);
    std::unique_lock<std::mutex> lk(CopyKnobs::lock);
    CopyKnobs::copies.push_back(std::string(GetInstanceName()) + ":" + clip + "->" + destStore +
                                ":" + argument);
    CopyKnobs::released.wait(lk, [&] { return CopyKnobs::held.count(clip) == 0; });
    if (CopyKnobs::throwing.count(clip)) throw std::runtime_error("store gone");
    return CopyKnobs::failing.count(clip) ? 0 : 1;
}

int CStubVtr::DevCheckCompatible(const char *, const char *tape)
{
    std::lock_guard<std::mutex> lk(lock);
    checkedTape = tape;
    return compatible;
}

int CStubVtr::DevCueEx(const char *clip, timecode_t, timecode_t, tagCallBack *)
{
    std::lock_guard<std::mutex> lk(lock);
    cuedTape = clip;
    return ++cues, 1;
}

bool AdvanceUntil(const std::function<bool()> &done, uint32_t stepMs, uint32_t maxMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatientMs);
    for (uint32_t advanced = 0; !done(); advanced += stepMs) {
        if (std::chrono::steady_clock::now() >= until) return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (advanced < maxMs) plat::TestClock::Advance(stepMs);
    }
    return true;
}

bool ThreadEnded(uint32_t tid)
{
    return !std::filesystem::exists("/proc/self/task/" + std::to_string(tid));
}

void Calls::Add(std::string id, int32_t status, int32_t param)
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_calls.push_back({std::move(id), status, param});
}

std::vector<Call> Calls::All()
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_calls;
}

std::vector<int32_t> Calls::Statuses(int32_t except)
{
    std::vector<int32_t> statuses;
    for (const Call &call : All())
        if (call.status != except) statuses.push_back(call.status);
    return statuses;
}

std::vector<int32_t> Calls::Params(int32_t status)
{
    std::vector<int32_t> params;
    for (const Call &call : All())
        if (call.status == status) params.push_back(call.param);
    return params;
}

size_t Calls::Size()
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_calls.size();
}

std::string Settings(const std::string &extra)
{
    using devtest::Section;
    return Section("DevMgr", {{"VideoStore", "{\"STA\",\"STB\",\"STC\",\"STD\",\"STX\"}"},
                              {"VideoSrc", "{\"VTR1\",\"VTR2\",\"LINE\"}"},
                              {"VideoRec", "{\"REC1\",\"REC2\"}"},
                              {"VideoSwitch", "{\"SW1\"}"}}) +
           Section("STA", {{"class", "CStubStore"}, {"nLocation", "1"}}) +
           Section("STB", {{"class", "CStubStore"}, {"nLocation", "2"}}) +
           Section("STC", {{"class", "CStubStore"}, {"nLocation", "3"}}) +
           Section("STD", {{"class", "CStubStore"}, {"nLocation", "4"}}) +
           Section("STX", {{"class", "CNoSuchStore"}}) +
           Section("VTR1", {{"class", "CStubVtr"}, {"Entry", "3"}}) +
           Section("VTR2", {{"class", "CStubVtr"}}) + Section("LINE", {{"class", "CStubVtr"}}) +
           Section("REC1", {{"class", "CStubRec"}, {"Entrys", "{\"7\",\"9\"}"}}) +
           Section("REC2", {{"class", "CStubRec"}, {"Entry", "5"}}) +
           Section("SW1", {{"class", "CStubRouter"}}) + extra;
}

ClipTaskTest::ClipTaskTest(const std::string &extra)
    : m_previousDebug(glSetDebugFlag(1)), m_settings(Settings(extra))
{
    m_devMgr.Initlization("/etc/tvx/DevMgr");
    // Made here, one after the other: a device being made is listed in the instance registry
    // before its constructor has ended, and a task thread looking up another device at that
    // moment would call into the half-made one.
    for (const char *id : {"STA", "STB", "STC", "VTR1", "VTR2", "LINE", "REC1", "REC2", "SW1"})
        EXPECT_NE(m_devMgr.GetVideoDev(id, 1, nullptr), nullptr) << id;
    CopyKnobs::Reset();
}

ClipTaskTest::~ClipTaskTest()
{
    CopyKnobs::Drain();
    glSetDebugFlag(m_previousDebug);
}

} // namespace cliptest
