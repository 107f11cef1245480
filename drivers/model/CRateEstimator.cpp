#include "drivers/model/CRateEstimator.h"

#include "platform/TimeSource.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

void CRateEstimator::Expire()
{
    const uint32_t now = plat::GetTickCount();
    if (m_dwLastTick == 0) {
        m_dwLastTick = now;
        m_nLastValue = 0;
        m_nRate = kDefaultRate;
        m_nState = IDLE;
    } else if (now - m_dwLastTick > m_dwHoldTime) {
        m_nState = IDLE;
    }
}

void CRateEstimator::TakeReading(uint32_t now, int32_t value)
{
    m_dwLastTick = now;
    m_nLastValue = value;
}

void CRateEstimator::Feed(int32_t value)
{
    Expire();
    const uint32_t now = plat::GetTickCount();
    if (m_nState == IDLE) {
        TakeReading(now, value);
        m_nState = FIRST_READING;
    } else if (m_nState == FIRST_READING) {
        const uint32_t span = now - m_dwLastTick;
        const int64_t rate = span <= kMinSpan ? 0
                                              : (static_cast<int64_t>(value) - m_nLastValue) *
                                                    1000 / static_cast<int64_t>(span);
        if (span > kSettledSpan || std::llabs(rate) > kSettledRate) {
            m_nRate = static_cast<int32_t>(std::clamp<int64_t>(rate, INT32_MIN, INT32_MAX));
            TakeReading(now, value);
            m_nState = RATE_KNOWN;
        }
    }
}

int CRateEstimator::Estimate(int32_t &out)
{
    Expire();
    const uint32_t span = plat::GetTickCount() - m_dwLastTick;
    out = static_cast<int32_t>(m_nLastValue + static_cast<int64_t>(m_nRate) * span / 1000);
    return m_nState == RATE_KNOWN ? 1 : 0;
}
