#include "devext/services/CAutoTaskA.h"

#include "Kest20/ApplicationRestart.h"
#include "Kest20/FrameworkTime.h"
#include "Kest20/InstanceRegistry.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/CSimplexStringMap.h"
#include "devext/services/CStrings.h"
#include "platform/Gbk.h"
#include "platform/Process.h"

IMPLEMENT_KEST_CLASS(CAutoTaskA, CClassA)
IMPLEMENT_KEST_CLASS(CRestartApplication, CAutoTaskA)

namespace {

constexpr int kMaxEntries = 50;
constexpr int32_t kTolerance = 125;    // frames: 5 s
constexpr int32_t kMinFrequency = 125; // frames: 5 s
constexpr int64_t kUnitsPerFrame = 400000;
constexpr int64_t kToleranceUnits = kTolerance * kUnitsPerFrame;
constexpr uint32_t kActionThreadWaitMs = 5000;
constexpr int kModulePathMax = 128;
constexpr int kRestartLogLines = 128;

const char *const kTaskRoots[] = {"/etc/tvx", "/etc/task", "/etc/tvx/task"};
const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

CString Upper(CString text)
{
    return text.MakeUpper();
}

} // namespace

CAutoTaskA::CAutoTaskA() : m_pSchedule(std::make_unique<tagAutoTaskSchedule>()) {}

CAutoTaskA::~CAutoTaskA()
{
    // Waiting here would come after the derived part has gone, which the action uses.
    m_actionThread.StopWithin(0, 0);
}

int32_t CAutoTaskA::Suicide()
{
    if (!IsValid()) return 0;
    if (!WaitForOwnThread()) {
        std::lock_guard<std::mutex> lk(m_threadLock);
        if (OwnThreadRunningLocked()) {
            m_bDeleteAtEnd = true;
            return 1;
        }
    }
    return CClassA::Suicide();
}

int32_t CAutoTaskA::OnKillInstance()
{
    WaitForOwnThread();
    return CClassA::OnKillInstance();
}

bool CAutoTaskA::WaitForOwnThread()
{
    plat::Thread thread;
    {
        std::lock_guard<std::mutex> lk(m_threadLock);
        if (!OwnThreadRunningLocked()) return true;
        if (m_actionThread.Id() == plat::GetCurrentThreadId()) return false;
        thread = m_actionThread;
    }
    thread.Join(kActionThreadWaitMs);
    std::lock_guard<std::mutex> lk(m_threadLock);
    return !OwnThreadRunningLocked();
}

uint32_t CAutoTaskA::RunOwnThread()
{
    const uint32_t result = __DoActionProc(this);
    bool deleteNow = false;
    {
        std::lock_guard<std::mutex> lk(m_threadLock);
        m_bThreadDone = true;
        deleteNow = m_bDeleteAtEnd;
    }
    // Past the mark the task may be gone at any time, unless its deletion was left here.
    if (deleteNow) CClassA::Suicide();
    return result;
}

CAutoTaskA *CAutoTaskA::OpenTask(const char *name, iRtc *rtc)
{
    if (!name || !rtc) return nullptr;
    CStringArray roots;
    for (const char *root : kTaskRoots) roots.Add(root);
    CString setting;
    if (!glFindObjectInResource(setting, name, rtc, roots)) return nullptr;
    CClassA *object = glCreateComponent(name, setting, rtc, 0);
    if (!object) return nullptr;
    if (!object->ActiveInstance()) {
        object->Suicide();
        return nullptr;
    }
    return dynamic_cast<CAutoTaskA *>(object);
}

int32_t CAutoTaskA::OnInitInstance()
{
    if (!CClassA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    m_bThread = setting["Thread"].GetAsBool(m_bThread);
    m_nLife = setting["Life"].GetAsInteger(0xFFFFFF);
    m_strDescription = setting["Description"].GetAsString(m_strDescription);
    if (m_strDescription.IsEmpty()) m_strDescription = GetInstanceName();

    CSimplexStringMap map;
    map.SetAsXmlProp(setting["When"].GetAsString());
    const CSimplexStringMap &when = map;
    const CString type = Upper(when["Type"]);
    const CString every = Upper(when["Every"]);

    tagAutoTaskSchedule &schedule = *m_pSchedule;
    schedule = tagAutoTaskSchedule{};
    if (type == "TIME") {
        timecode_t frequency;
        frequency.SetAsFrames(when["Frequency"]);
        schedule.nKind = tagAutoTaskSchedule::Periodic;
        schedule.nFrequency = std::max<int32_t>(frequency, kMinFrequency);
    } else {
        schedule.nKind = every == "HOUR"   ? tagAutoTaskSchedule::Hourly
                         : every == "WEEK" ? tagAutoTaskSchedule::Weekly
                                           : tagAutoTaskSchedule::Daily;
        for (int i = 1; i <= kMaxEntries; ++i) {
            CString key;
            key.Format("E%d", i);
            CString entry = when[key];
            entry.Remove(' ');
            if (entry.IsEmpty()) break;
            schedule.entries.Add(Upper(entry));
        }
        if (schedule.entries.IsEmpty()) schedule.nKind = tagAutoTaskSchedule::None;
    }
    return schedule.nKind != tagAutoTaskSchedule::None;
}

bool CAutoTaskA::IsDueAt(int64_t now, int64_t target) const
{
    const int64_t sinceLast = now - m_nLastRun;
    if (now < target) return target - now < kToleranceUnits && sinceLast > 4 * kToleranceUnits;
    return now - target < 4 * kToleranceUnits && sinceLast >= 16 * kToleranceUnits;
}

int CAutoTaskA::CanExecute()
{
    const CFileTime now = GetFrameworkTime();
    const tagAutoTaskSchedule &schedule = *m_pSchedule;
    switch (schedule.nKind) {
    case tagAutoTaskSchedule::Periodic: {
        const int64_t sinceLast = now.GetTime() - m_nLastRun;
        return sinceLast > schedule.nFrequency * kUnitsPerFrame && sinceLast > kToleranceUnits;
    }
    case tagAutoTaskSchedule::Daily:
    case tagAutoTaskSchedule::Hourly: {
        timecode_t timeOfDay;
        now.Get(timeOfDay);
        for (const CString &entry : schedule.entries) {
            timecode_t at;
            at.SetAsFrames(entry);
            if (schedule.nKind == tagAutoTaskSchedule::Hourly)
                at.SetAsDetail(timeOfDay.GetHour(), at.GetMinute(), at.GetSecond(), at.GetFrame());
            CFileTime target = now;
            target.SetTime(at);
            if (IsDueAt(now.GetTime(), target.GetTime())) return 1;
        }
        return 0;
    }
    default:
        return 0;
    }
}

int CAutoTaskA::__Do()
{
    if (m_nLife < 0) m_nState = Expired;
    if (m_nState != Idle || !CanExecute()) return 0;
    if (!m_bThread) {
        __DoActionProc(this);
        return 1;
    }
    std::lock_guard<std::mutex> lk(m_threadLock);
    if (!OwnThreadRunningLocked() && !m_bDeleteAtEnd) {
        m_bThreadDone = false;
        m_actionThread = plat::Thread::Start([this] { return RunOwnThread(); });
        if (!m_actionThread.Valid()) m_bThreadDone = true;
    }
    return 1;
}

uint32_t CAutoTaskA::__DoActionProc(void *argument)
{
    auto *task = static_cast<CAutoTaskA *>(argument);
    if (task->m_nState != Idle) return 1;
    task->m_nState = Running;
    task->m_nLastRun = GetFrameworkTime().GetTime();
    task->BeforeDo();
    const int result = task->DoAction();
    task->AfterDo();
    if (task->m_nLife < kCountedLife) --task->m_nLife;
    task->m_nState = Idle;
    return static_cast<uint32_t>(result);
}

CString CRestartApplication::GetModulePath()
{
    const std::string path = plat::GetProgramFileName();
    return CString(path.c_str(),
                   static_cast<int>(plat::GbkCutLength(path.c_str(), kModulePathMax)));
}

int CRestartApplication::RestartProgram()
{
    return RestartThisApplication();
}

int CRestartApplication::DoAction()
{
    const CString modulePath = GetModulePath();
    plat::SYSTEMTIME local{};
    GetFrameworkTime().Get(local);
    CString line;
    line.Format("%s Restarted at %s %2d %02d:%02d", modulePath.GetString(),
                kMonths[(local.wMonth + 11) % 12], local.wDay, local.wHour,
                local.wMinute / 10 * 10);

    const CString logPath = modulePath + ".restart.log";
    devext::CStrings log;
    log.LoadFromFile(logPath);
    if (log.FindLineNoCase(line) >= 0) return 0;
    while (log.GetSize() > kRestartLogLines) log.RemoveAt(0);
    log.Add(line);
    log.SaveToFile(logPath);
    plat::OutputDebugString("Restart Application\n");
    RestartProgram();
    return 0;
}
