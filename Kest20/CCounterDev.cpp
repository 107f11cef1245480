#include "Kest20/CCounterDev.h"

#include "platform/TimeSource.h"

namespace {
constexpr int64_t kUnitsPerMs = 10000;
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
