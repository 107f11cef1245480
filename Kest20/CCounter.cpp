#include "Kest20/CCounter.h"

#include "KestLib20/CPatrolTask.h"

#include <mutex>

namespace {
// The fine device may stray this far from the primary (0.1 s) before all are synchronised.
constexpr int64_t kDriftLimit = 1000000;
// Agreement tolerances: 0.1 s, doubling while below 7 s.
constexpr int64_t kFirstTolerance = 1000000;
constexpr int64_t kToleranceLimit = 70000000;
constexpr uint32_t kRefreshPeriod = 5000;
} // namespace

CCounter::CCounter()
    : CCounter(std::make_unique<CCounterDev_Tick>(), std::make_unique<CCounterDev_RDTSC>(),
               std::make_unique<CCounterDev_Time>())
{
}

CCounter::CCounter(std::unique_ptr<CCounterDev> primary, std::unique_ptr<CCounterDev> fine,
                   std::unique_ptr<CCounterDev> third)
    : m_pPrimary(std::move(primary)), m_pFine(std::move(fine)), m_pThird(std::move(third)),
      m_pRefresh(std::make_unique<CPatrolTask>(kRefreshPeriod))
{
    m_pRefresh->SetAction(tagAction(this, &CCounter::RefreshTask));
}

CCounter::~CCounter()
{
    // The refresh goes first: its Cancel waits for a refresh that still uses the devices.
    m_pRefresh.reset();
}

int64_t CCounter::ReadAligned(CCounterDev &device)
{
    int64_t value = 0;
    device.QueryCounter_Align(&value, nullptr);
    return value;
}

int64_t CCounter::QueryCounter(int64_t *value)
{
    std::lock_guard<CDataLock> lk(m_lock);
    int64_t primary = ReadAligned(*m_pPrimary);
    int64_t fine = ReadAligned(*m_pFine);
    if (fine - primary > kDriftLimit || primary - fine > kDriftLimit) {
        SyncAllLocked(FindGoodCounterLocked());
        fine = ReadAligned(*m_pFine);
    }
    int64_t elapsed = fine - m_nRateFine;
    // Exact while the rate is 1; long double keeps 64 bits of the product otherwise.
    int64_t next =
        m_nRateBase + (m_dRate == 1.0
                           ? elapsed
                           : static_cast<int64_t>(static_cast<long double>(elapsed) * m_dRate));
    if (next <= m_nLast) next = m_nLast + 1;
    m_nLast = next;
    if (value) *value = next;
    return next;
}

CCounterDev *CCounter::FindGoodCounter()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return FindGoodCounterLocked();
}

CCounterDev *CCounter::FindGoodCounterLocked()
{
    for (int64_t tolerance = kFirstTolerance; tolerance < kToleranceLimit; tolerance *= 2) {
        if (m_pPrimary->IsSync(*m_pThird, tolerance) || m_pPrimary->IsSync(*m_pFine, tolerance))
            return m_pPrimary.get();
        if (m_pFine->IsSync(*m_pThird, tolerance)) return m_pThird.get();
    }
    return m_pPrimary.get();
}

void CCounter::SyncAllCounter(CCounterDev *device)
{
    std::lock_guard<CDataLock> lk(m_lock);
    SyncAllLocked(device ? device : FindGoodCounterLocked());
}

void CCounter::SyncAllLocked(CCounterDev *device)
{
    m_pPrimary->Sync(*device);
    m_pThird->Sync(*device);
    m_pFine->Sync(*device);
}

int CCounter::RefreshTask(CTask *)
{
    std::lock_guard<CDataLock> lk(m_lock);
    CCounterDev *best = FindGoodCounterLocked();
    SyncAllLocked(best);
    if (best != m_pPrimary.get()) ++m_nSwitches;
    m_pPrimary->OnHeartBeat();
    m_pFine->OnHeartBeat();
    m_pThird->OnHeartBeat();
    return 1;
}

double CCounter::GetRateOfAcc()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return m_dRate;
}

void CCounter::SetRateOfAcc(double rate)
{
    std::lock_guard<CDataLock> lk(m_lock);
    m_nRateBase = m_nLast;
    m_nRateFine = ReadAligned(*m_pFine);
    m_dRate = rate;
}

int32_t CCounter::GetSwitchCount()
{
    std::lock_guard<CDataLock> lk(m_lock);
    return m_nSwitches;
}

CPatrolTask &CCounter::GetRefreshTask()
{
    return *m_pRefresh;
}
