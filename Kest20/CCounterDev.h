// Counter devices of the framework clock: each gives a 64-bit count in 100 ns units and keeps
// its own alignment offset, which brings it in line with the other devices. Every device reads
// the platform time source, so a test's manual clock drives them all.
#pragma once

#include "Kest20/Kest20Api.h"

#include <cstdint>

// The base device reads the millisecond tick count, carried on to 64 bits across its wrap.
// Not locked: the standard counter reads its devices under its own lock.
class KEST20_API CCounterDev {
public:
    CCounterDev() = default;
    virtual ~CCounterDev() = default;
    CCounterDev(const CCounterDev &) = delete;
    CCounterDev &operator=(const CCounterDev &) = delete;

    // The device's own count, without the offset.
    virtual int QueryCounter(int64_t *count);
    // The aligned reading (count plus offset) and, when asked, the count itself.
    virtual int QueryCounter_Align(int64_t *aligned, int64_t *count);
    // Periodic upkeep, run by the standard counter's refresh.
    virtual void OnHeartBeat() {}

    // This device's aligned reading less the other's.
    int64_t Difference(CCounterDev &other);
    // The two aligned readings lie strictly within `tolerance` of each other.
    bool IsSync(CCounterDev &other, int64_t tolerance);
    // Moves this device's offset so that its aligned reading meets the other's.
    void Sync(CCounterDev &other);

    int64_t GetOffset() const { return m_nOffset; }

private:
    int64_t m_nOffset = 0;
    uint32_t m_dwLastTick = 0;
    int64_t m_nTicks = 0;
    bool m_bTickRead = false;
};

// The millisecond tick count x 10,000.
class KEST20_API CCounterDev_Tick : public CCounterDev {};

// The system time as file time.
class KEST20_API CCounterDev_Time : public CCounterDev {
public:
    int QueryCounter(int64_t *count) override;
};

// The performance counter: here the monotonic clock (CLOCK_MONOTONIC) in 100 ns units.
class KEST20_API CCounterDev_Performance : public CCounterDev {
public:
    int QueryCounter(int64_t *count) override;
};

// The fine device: a stamp counter scaled into 100 ns units by the multiplier 10,000,000 x 2^18
// / frequency, the reading being stamp x multiplier shifted right by 18 bits. The processor's
// time-stamp counter needed its frequency measured against the tick count; here the monotonic
// clock, whose rate is known, gives the stamps, so TestFrequency reports that rate at once and
// SetFrequency records it.
class KEST20_API CCounterDev_RDTSC : public CCounterDev {
public:
    static constexpr uint32_t kStampFrequency = 10000000; // Hz: the monotonic clock in 100 ns

    // Takes its frequency from TestFrequency with `testPeriodMs` (the framework's device: 50).
    explicit CCounterDev_RDTSC(int testPeriodMs = 50);

    int QueryCounter(int64_t *count) override;
    // Takes the frequency again (a test period of 2000 ms, without waiting).
    void OnHeartBeat() override;

    // Records the stamp frequency in Hz and its multiplier; 0 (and nothing changes) for 0.
    int SetFrequency(uint32_t hz);
    uint32_t GetFrequency() const { return m_nFrequency; }
    // The stamp frequency in Hz. The rate is known, so neither the test period nor the wait
    // flag delays the answer, and it never fails (0).
    uint32_t TestFrequency(int testPeriodMs, bool wait) const;

private:
    uint32_t m_nFrequency = 0;
    uint64_t m_nMultiplier = 0;
};
