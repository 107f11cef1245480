// The device manager's check list and check thread.
#include "drivers/model/VideoDevMgrImpl.h"

#include "devext/device/CDeviceA.h"
#include "platform/TimeSource.h"

#include <algorithm>

namespace {
constexpr const char *kConnectFailed = " 设备连接失败";
constexpr const char *kTestThrew = " 测试中发生意外错误";
} // namespace

void CVideoDevMgr_Impl::AddCheck(const char *id, uint32_t interval, bool force)
{
    {
        std::lock_guard<CDataLock> lk(m_lock);
        CString upper(id);
        upper.MakeUpper();
        if (!force && std::find(m_CheckIds.begin(), m_CheckIds.end(), upper) == m_CheckIds.end())
            return;
        m_Checks.push_back({CString(id), 0, interval});
    }
    StartCheckThread();
}

void CVideoDevMgr_Impl::RemoveCheck(const char *id)
{
    std::lock_guard<CDataLock> lk(m_lock);
    auto found = std::find_if(m_Checks.begin(), m_Checks.end(),
                              [id](const CheckEntry &e) { return e.id.CompareNoCase(id) == 0; });
    if (found != m_Checks.end()) m_Checks.erase(found);
}

void CVideoDevMgr_Impl::RemoveAllChecks()
{
    {
        std::lock_guard<CDataLock> lk(m_lock);
        m_Checks.clear();
    }
    m_evCheckWake.Set(); // the thread sees the empty list and ends
}

int CVideoDevMgr_Impl::CheckNextDevice()
{
    CString id;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        const uint32_t now = plat::GetTickCount();
        auto due = std::find_if(m_Checks.begin(), m_Checks.end(), [now](const CheckEntry &e) {
            return now - e.dwLastCheck > e.dwInterval;
        });
        if (due == m_Checks.end()) return 0;
        due->dwLastCheck = now;
        id = due->id;
    }
    tagDevStatus status;
    try {
        CDeviceA *device = GetAnyDev(id, 1, &status);
        if (device && !device->DevTest(nullptr))
            status.SetStatus(DEVSTATUS_RUN_FAILED, id + kConnectFailed);
    } catch (...) {
        status.SetStatus(DEVSTATUS_UNKNOWN, id + kTestThrew);
    }
    SetDevStatusByID(id, status);
    return 1;
}

void CVideoDevMgr_Impl::StartCheckThread()
{
    std::lock_guard<std::mutex> tl(m_threadLock);
    if (!m_pThread) return;
    {
        std::lock_guard<CDataLock> lk(m_lock);
        if (m_bCheckRunning) return;
        m_bCheckRunning = true;
        m_evCheckEnded.Reset();
    }
    m_evCheckWake.Reset(); // a wake meant for an earlier run
    // A run that has just ended may still be leaving its thread.
    if (m_pThread->IsActive()) m_pThread->Stop();
    if (!m_pThread->Start()) {
        std::lock_guard<CDataLock> lk(m_lock);
        m_bCheckRunning = false;
        m_evCheckEnded.Set();
    }
}

void CVideoDevMgr_Impl::StopCheckThread()
{
    std::lock_guard<std::mutex> tl(m_threadLock);
    if (!m_pThread) return;
    RemoveAllChecks();
    m_evCheckEnded.Wait(kCheckEndWaitMs);
    m_pThread->Suicide(); // asks, waits 1000 ms, gives a thread in a long test up
    m_pThread = nullptr;
}

void CVideoDevMgr_Impl::EndCheckRunLocked(std::shared_ptr<CVideoDevMgr_Impl> &hold)
{
    m_bCheckRunning = false;
    hold.swap(m_pSelfHold);
    m_evCheckEnded.Set();
}

bool CVideoDevMgr_Impl::EndIfNoChecks()
{
    std::shared_ptr<CVideoDevMgr_Impl> hold;
    std::lock_guard<CDataLock> lk(m_lock);
    if (!m_Checks.empty()) return false;
    EndCheckRunLocked(hold);
    return true;
}

void CVideoDevMgr_Impl::RunCheckThread()
{
    tagThreadAPI<1>::Wait(&m_evCheckWake, kFirstCheckWaitMs);
    while (!tagThreadAPI<1>::EndOfThread()) {
        if (EndIfNoChecks()) return;
        if (!CheckNextDevice()) tagThreadAPI<1>::Wait(&m_evCheckWake, kIdleCheckWaitMs);
    }
    std::shared_ptr<CVideoDevMgr_Impl> hold; // released last: it may be the state's last owner
    std::lock_guard<CDataLock> lk(m_lock);
    EndCheckRunLocked(hold);
}

int32_t CVideoDevMgr_Impl::CheckThreadProc(void *param, int32_t command, int32_t)
{
    auto *self = static_cast<CVideoDevMgr_Impl *>(param);
    if (command == IKestThread::kRun) {
        self->RunCheckThread();
    } else if (command == IKestThread::kGivingUp) {
        // The run goes on past its owner: it keeps the state alive until it ends.
        std::lock_guard<CDataLock> lk(self->m_lock);
        if (self->m_bCheckRunning) self->m_pSelfHold = self->shared_from_this();
    }
    return 0;
}
