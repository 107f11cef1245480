#include "tests/tasks/BroTaskTestKit.h"

#include "Kest20/CCounter.h"

#include <algorithm>

IMPLEMENT_KEST_CLASS(CStubBroSrc, CVideoSrcA)

HRESULT CStubBroSrc::QueryInterface(const GUID *iid, void **object)
{
    if (!iid || !IsEqualGUID(*iid, IID_IVideoBroTaskProcess))
        return CVideoSrcA::QueryInterface(iid, object);
    *object = static_cast<IVideoBroTaskProcess *>(this);
    return S_OK;
}

namespace brotest {

int32_t StatusLog::OnStatus(void *self, int32_t id, int32_t status, int32_t extra)
{
    auto *log = static_cast<StatusLog *>(self);
    if (IVideoBroTaskMgr *mgr = log->probe) {
        auto entered = std::async(std::launch::async, [mgr] { return mgr->GetTaskCount(); });
        if (entered.wait_for(std::chrono::seconds(2)) != std::future_status::ready)
            log->lockHeld = true;
    }
    std::lock_guard<std::mutex> lk(log->m_lock);
    log->m_calls.push_back({id, status, extra, Now()});
    return 0;
}

tagVideoBroTask StatusLog::Task(int32_t id, const char *dev, int64_t startIn, int32_t durFrames,
                                int32_t startType, const char *clip)
{
    tagVideoBroTask task;
    task.TaskID = id;
    task.Dev = dev;
    task.ID = clip ? clip : ("CLIP" + std::to_string(id)).c_str();
    task.Start = Now() + startIn;
    task.DUR = durFrames;
    task.StartType = startType;
    task.pUserData = this;
    task.pfnCallBack = &StatusLog::OnStatus;
    return task;
}

std::vector<int32_t> StatusLog::Statuses(int32_t id)
{
    std::vector<int32_t> statuses;
    for (const Call &call : Calls())
        if (call.id == id) statuses.push_back(call.status);
    return statuses;
}

Call StatusLog::First(int32_t id, int32_t status)
{
    for (const Call &call : Calls())
        if (call.id == id && call.status == status) return call;
    return {id, status, 0, -1};
}

int StatusLog::Count(int32_t id, int32_t status)
{
    const auto all = Calls();
    return static_cast<int>(std::count_if(all.begin(), all.end(), [&](const Call &call) {
        return call.id == id && call.status == status;
    }));
}

void Edit(IVideoBroTaskMgr &mgr, int32_t id, const std::function<void(tagVideoBroTask &)> &edit)
{
    mgr.Lock();
    tagVideoBroTask *task = nullptr;
    if (mgr.FindTask(id, &task)) edit(*task);
    mgr.Unlock();
}

int32_t PlayPreset(IVideoBroTaskMgr &mgr)
{
    tagVideoBroTask pst;
    if (mgr.GetPstTask(pst)) mgr.SetTaskStatus(pst.TaskID, BROTASK_BEGINPLAY);
    return 1;
}

IVideoBroTaskProcess &ProcOf(CVideoDevMgr &devices, const char *id)
{
    void *answer = nullptr;
    if (CDeviceA *device = devices.GetVideoDev(id, 1, nullptr))
        device->QueryInterface(&IID_IVideoBroTaskProcess, &answer);
    EXPECT_NE(answer, nullptr) << id;
    return *static_cast<IVideoBroTaskProcess *>(answer);
}

namespace {

std::string Settings()
{
    using devtest::Section;
    return Section("DevMgr", {{"VideoSrc", "{\"SRC1\",\"SRC2\",\"LINE1\",\"LINE2\",\"LINEP\"}"}}) +
           Section("SRC1", {{"class", "CStubBroSrc"}}) +
           Section("SRC2", {{"class", "CStubBroSrc"}}) +
           Section("LINE1", {{"class", "CVideoSrcX_Line"}}) +
           Section("LINE2", {{"class", "CVideoSrcX_Line"}}) +
           Section("LINEP", {{"class", "CVideoSrc_Line"}});
}

void RebaseFrameworkClock()
{
    CCounter *counter = glGetClock()->GetCounter();
    counter->SyncAllCounter();
    counter->SetRateOfAcc(1.0);
    glGetClock()->Reset(40, 1.0);
}

} // namespace

BroTaskTest::BroTaskTest() : m_previousDebug(glSetDebugFlag(1)), m_settings(Settings())
{
    if (plat::TestClock::IsInstalled()) plat::TestClock::SetFileTime(kFileTime2020);
    glGetClock()->Reset(40, 1.0);
    m_devMgr.Initlization("/etc/tvx/DevMgr");
}

CStubBroSrc &BroTaskTest::Src(const char *id)
{
    auto *source = dynamic_cast<CStubBroSrc *>(m_devMgr.GetVideoDev(id, 1, nullptr));
    EXPECT_NE(source, nullptr) << id;
    return *source;
}

CVideoBroTaskTPU &BroTaskTest::StepOnly(IVideoBroTaskMgr &mgr)
{
    auto &tpu = static_cast<CVideoBroTaskTPU &>(*mgr.GetTPU());
    tpu.ShutDown();
    return tpu;
}

RealTime::RealTime()
{
    plat::TestClock::Uninstall();
    RebaseFrameworkClock();
}

RealTime::~RealTime()
{
    plat::TestClock::Install(plat::GetTickCount(), kFileTime2020);
    RebaseFrameworkClock();
}

int CountLines(devtest::LogCapture &log, const std::string &text)
{
    const auto lines = log.Lines();
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string &line) {
        return line.find(text) != std::string::npos;
    }));
}

} // namespace brotest
