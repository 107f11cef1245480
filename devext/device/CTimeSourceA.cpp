#include "devext/device/CTimeSourceA.h"

#include "Kest20/KestApplication.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CFileTime.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/ComputerClock.h"
#include "platform/String.h"
#include "platform/TimeSource.h"

#include <cstdlib>

IMPLEMENT_KEST_CLASS(CTimeSourceA, CClassA)

namespace {

constexpr const char *kErrorType = "#LOG_ERROR";
constexpr int64_t kUnitsPerMs = 10000;

void PostDeviceText(const char *device, int id, const char *message)
{
    CString text;
    text.Format("<DEV=\"%s\" ID=\"%d\" MSG=\"%s\">", device, id, message);
    glReportLog(CTimeSourceA::kDeviceChannel, text, nullptr);
}

CString TimeText(int64_t utcFileTime)
{
    char buffer[CFileTime::kDateTimeTextSize];
    return CFileTime(utcFileTime).GetAsString(buffer, 0, 0);
}

} // namespace

CTimeSourceA::CTimeSourceA(CClock *clock) : m_pClock(clock ? clock : glGetClock())
{
    if (m_pClock) m_pClock->GetTime(&m_LastStdTime);
}

CTimeSourceA::~CTimeSourceA()
{
    m_evStop.Set();
    m_AdjustTask.Cancel();
}

int32_t CTimeSourceA::OnInitInstance()
{
    CResAccess setting(GetSettingInfo());
    m_nInterval = setting["Interval"].GetAsInteger(m_nInterval);
    m_nAlertOnFailTimes = setting["AlertOnFailTimes"].GetAsInteger(m_nAlertOnFailTimes);
    const int32_t deltaMs = setting["Delta of StdTime"].GetAsInteger(
        static_cast<int32_t>(m_nDeltaOfStdTime / kUnitsPerMs));
    m_nDeltaOfStdTime = static_cast<int64_t>(deltaMs) * kUnitsPerMs;
    m_bSyncLocal = setting["SyncLocal"].GetAsBool(m_bSyncLocal);
    return 1;
}

int32_t CTimeSourceA::OnActiveInstance()
{
    // Only a waiting task is taken; one still in its action is left alone.
    if (m_AdjustTask.GetStatus() == CTask::kWaiting) {
        m_evStop.Reset();
        m_AdjustTask.SetAction(tagAction(this, &CTimeSourceA::AdjustTask));
        // A zero or negative interval would make the patrol thread adjust without pause.
        m_AdjustTask.SetInterval(static_cast<uint32_t>(m_nInterval > 0 ? m_nInterval : 1) * 1000u);
        if (m_AdjustTask.Submit(glGetDevPatrolTaskMgr())) return 1;
    }
    // An active source that never adjusts would let the clock drift unnoticed.
    CString text;
    text.Format("%s : adjust task not started", GetInstanceName());
    glReportLog(kErrorType, text, nullptr);
    return 0;
}

int32_t CTimeSourceA::OnDeactiveInstance()
{
    m_evStop.Set();
    m_AdjustTask.Cancel();
    return 1;
}

int CTimeSourceA::GetStandardTime(DYNAMIC_TIME &t)
{
    t.time = plat::GetSystemTimeAsFileTime();
    glQueryStdCounter(&t.counter);
    return 1;
}

int CTimeSourceA::AdjustTask(CTask *)
{
    if (AdjustTime(m_nSuccess == 0 ? 1 : 0)) ++m_nSuccess;
    return 1;
}

int CTimeSourceA::Fail(const char *logText, const char *deviceText)
{
    glReportLog(kErrorType, logText, nullptr);
    if (++m_nFailures >= m_nAlertOnFailTimes) PostDeviceText("Clock", 1, deviceText);
    return 0;
}

int CTimeSourceA::AdjustTime(int first)
{
    if (!m_pClock) return 0;
    DYNAMIC_TIME standard{};
    const int read = GetStandardTime(standard);
    m_bLastReadFailed = read ? 0 : 1;
    if (!read) {
        CString text;
        text.Format("%s : GetStandardTime failure", GetInstanceName());
        return Fail(text, "时钟源获取失败");
    }
    standard.time -= m_nDeltaOfStdTime;
    if (!m_pClock->SetTime(&standard, first)) return Fail("SetTime failed", "校时设置失败");
    if (m_nFailures.exchange(0) != 0) PostDeviceText("Clock", 0, "校时成功");
    if (m_bSyncLocal) SyncLocalClock();
    m_dwLastAdjustTick = plat::GetTickCount();
    std::lock_guard<std::mutex> lk(m_timeLock);
    m_LastStdTime = standard;
    return 1;
}

void CTimeSourceA::SyncLocalClock()
{
    plat::SYSTEMTIME localNow{};
    plat::GetLocalTime(&localNow);
    DYNAMIC_TIME now{};
    m_pClock->GetTime(&now);
    plat::SYSTEMTIME standard{};
    CFileTime(now.time).Get(standard);

    const int64_t local = CFileTime(localNow).GetTime();
    const int64_t frames = std::llabs(now.time - local) / kUnitsPerMs * 25 / 1000;
    if (frames < kLocalSyncLimit) {
        // Success is posted only for a clock that was set.
        if (glSetComputerLocalTime(standard)) PostDeviceText("Clock_Local", 0, "校正本地时钟成功");
        return;
    }
    CString message = "标准时钟为(" + TimeText(now.time) + ")和本地时钟(" + TimeText(local) +
                      ")相差较大，请检查时钟服务器是否正常";
    PostDeviceText("Clock_Local", 2, message);
}

DYNAMIC_TIME CTimeSourceA::GetLastStdTime() const
{
    std::lock_guard<std::mutex> lk(m_timeLock);
    return m_LastStdTime;
}
