// Extrapolates a counter that a device reports now and then (units per second) from two
// readings taken far enough apart; a reading older than the hold time starts it over. Not
// locked: an owner that shares it between threads guards it.
#pragma once

#include "drivers/KsOvra20Api.h"

#include <cstdint>

class KSOVRA20_API CRateEstimator {
public:
    enum State : int32_t { IDLE = 0, FIRST_READING = 1, RATE_KNOWN = 3 };

    static constexpr int32_t kDefaultRate = 1000;
    static constexpr uint32_t kHoldTime = 10000;   // ms
    static constexpr uint32_t kMinSpan = 300;      // readings closer than this give no rate
    static constexpr uint32_t kSettledSpan = 1000; // a rate from a longer span is trusted
    static constexpr int32_t kSettledRate = 1000;  // and so is a faster one

    // Starts the clock on first use; forgets the state once the hold time has passed since
    // the last reading.
    void Expire();
    // Takes a reading of the counter.
    void Feed(int32_t value);
    // The counter now, extrapolated from the last reading; 1 when the rate is known.
    int Estimate(int32_t &out);

    int32_t GetRate() const { return m_nRate; }
    int32_t GetState() const { return m_nState; }

private:
    void TakeReading(uint32_t now, int32_t value);

    int32_t m_nRate = kDefaultRate;
    int32_t m_nLastValue = 0;
    uint32_t m_dwLastTick = 0; // 0: not started
    uint32_t m_dwHoldTime = kHoldTime;
    int32_t m_nState = IDLE;
};
