// The standard counter: a strictly rising 64-bit count in 100 ns units taken from the fine
// device, kept in line with the tick count (the primary) and the system time (the third
// device). When the fine device drifts from the primary, every device is brought in line with
// the one that agrees with another; a patrol task does the same every 5000 ms.
#pragma once

#include "Kest20/CCounterDev.h"
#include "Kest20/Kest20Api.h"
#include "KestLib20/CDataLock.h"

#include <cstdint>
#include <memory>

class CTask;
class CPatrolTask;

class KEST20_API CCounter {
public:
    // A tick device, a fine device and a system-time device.
    CCounter();
    CCounter(std::unique_ptr<CCounterDev> primary, std::unique_ptr<CCounterDev> fine,
             std::unique_ptr<CCounterDev> third);
    // Cancels the refresh task, waiting for a refresh in progress.
    ~CCounter();
    CCounter(const CCounter &) = delete;
    CCounter &operator=(const CCounter &) = delete;

    // The next reading: never repeats and never goes back. Also stored in *value when given.
    int64_t QueryCounter(int64_t *value = nullptr);
    // The device that agrees with another at the smallest tolerance (0.1 s doubling up to
    // 6.4 s): the primary when it agrees with either, else the third when the fine device
    // agrees with it, else the primary.
    CCounterDev *FindGoodCounter();
    // Brings every device in line with `device`, or with the best device when none is given.
    void SyncAllCounter(CCounterDev *device = nullptr);
    // Action of the refresh task: syncs to the best device and runs each device's heartbeat.
    int RefreshTask(CTask *task);

    double GetRateOfAcc();
    // The counter runs at `rate` times its devices from now on, carrying on from its last
    // reading.
    void SetRateOfAcc(double rate);
    // How many refreshes found a best device other than the primary.
    int32_t GetSwitchCount();
    // The refresh task (period 5000 ms), for submission to a patrol task manager.
    CPatrolTask &GetRefreshTask();

private:
    int64_t ReadAligned(CCounterDev &device);
    CCounterDev *FindGoodCounterLocked();
    void SyncAllLocked(CCounterDev *device);

    std::unique_ptr<CCounterDev> m_pPrimary;
    std::unique_ptr<CCounterDev> m_pFine;
    std::unique_ptr<CCounterDev> m_pThird;
    int64_t m_nLast = 0;
    int32_t m_nSwitches = 0;
    double m_dRate = 1.0;
    // Fine reading and counter value at which the rate was last set.
    int64_t m_nRateFine = 0;
    int64_t m_nRateBase = 0;
    CDataLock m_lock;
    std::unique_ptr<CPatrolTask> m_pRefresh;
};
