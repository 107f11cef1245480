#include "Kest20/CCounterDev.h"

#include "platform/TimeSource.h"

namespace {
constexpr int64_t kUnitsPerMs = 10000;
constexpr int kMultiplierShift = 18;
constexpr int kHeartBeatTestMs = 2000;
} // namespace

int CCounterDev::QueryCounter(int64_t *count)
{
    // The 32-bit tick wraps every 49.7 days; adding up wrap-safe steps keeps the count going.
    uint32_t tick = plat::GetTickCount();
    m_nTicks = m_bTickRead ? m_nTicks + plat::TickDiff(tick, m_dwLastTick) : tick;
    m_dwLastTick = tick;
    m_bTickRead = true;
    if (count) *count = m_nTicks * kUnitsPerMs;
    return 1;
}

int CCounterDev::QueryCounter_Align(int64_t *aligned, int64_t *count)
{
    int64_t raw = 0;
    QueryCounter(&raw);
    if (aligned) *aligned = raw + m_nOffset;
    if (count) *count = raw;
    return 1;
}

int64_t CCounterDev::Difference(CCounterDev &other)
{
    int64_t mine = 0, theirs = 0;
    QueryCounter_Align(&mine, nullptr);
    other.QueryCounter_Align(&theirs, nullptr);
    return mine - theirs;
}

bool CCounterDev::IsSync(CCounterDev &other, int64_t tolerance)
{
    int64_t diff = Difference(other);
    return diff > -tolerance && diff < tolerance;
}

void CCounterDev::Sync(CCounterDev &other)
{
    if (&other == this) return;
    m_nOffset -= Difference(other);
}

int CCounterDev_Time::QueryCounter(int64_t *count)
{
    if (count) *count = plat::GetSystemTimeAsFileTime();
    return 1;
}

int CCounterDev_Performance::QueryCounter(int64_t *count)
{
    if (count) *count = plat::MonotonicCounter100ns();
    return 1;
}

CCounterDev_RDTSC::CCounterDev_RDTSC(int testPeriodMs)
{
    SetFrequency(TestFrequency(testPeriodMs, true));
}

int CCounterDev_RDTSC::QueryCounter(int64_t *count)
{
    // 128 bits: the stamp times 2^18 would leave 64 bits after some 40 days of uptime.
    const auto stamp = static_cast<unsigned __int128>(plat::MonotonicCounter100ns());
    if (count) *count = static_cast<int64_t>((stamp * m_nMultiplier) >> kMultiplierShift);
    return 1;
}

void CCounterDev_RDTSC::OnHeartBeat()
{
    if (const uint32_t hz = TestFrequency(kHeartBeatTestMs, false)) SetFrequency(hz);
}

int CCounterDev_RDTSC::SetFrequency(uint32_t hz)
{
    if (hz == 0) return 0;
    m_nFrequency = hz;
    m_nMultiplier = (static_cast<uint64_t>(10000000) << kMultiplierShift) / hz;
    return 1;
}

uint32_t CCounterDev_RDTSC::TestFrequency(int, bool) const
{
    return kStampFrequency;
}
