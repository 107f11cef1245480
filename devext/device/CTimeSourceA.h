// The base of every station clock and time source: a component that, on a patrol task of the
// device patrol manager, asks its source for the standard time and sets the framework clock to
// it, optionally sets the computer's local clock as well, and reports failures on the device
// channel. Derived classes supply GetStandardTime; the base takes the computer's clock.
#pragma once

#include "Kest20/CClock.h"
#include "Kest20/ClassA.h"
#include "KestLib20/CPatrolTask.h"
#include "devext/Devext20Api.h"
#include "platform/Sync.h"

#include <atomic>
#include <cstdint>
#include <mutex>

class DEVEXT20_API CTimeSourceA : public CClassA {
    DECLARE_KEST_CLASS(CTimeSourceA)

    static constexpr int32_t kDefaultInterval = 64;   // seconds
    static constexpr int32_t kDefaultAlertTimes = 10; // failures in a row
    static constexpr int64_t kLocalSyncLimit = 90000; // frames: one hour
    static constexpr const char *kDeviceChannel = "#OVRA_DEV";

    // Null: the framework clock.
    explicit CTimeSourceA(CClock *clock = nullptr);
    CTimeSourceA(const CTimeSourceA &) = delete;
    CTimeSourceA &operator=(const CTimeSourceA &) = delete;
    // Stops the adjust task, waiting for an adjustment in progress.
    ~CTimeSourceA() override;

    // Reads "Interval", "AlertOnFailTimes", "Delta of StdTime" and "SyncLocal", each keeping
    // the current value as its default. 1.
    int32_t OnInitInstance() override;
    // Starts the adjust task on the device patrol manager every interval: 1, or 0 (logged)
    // when the task is not taken.
    int32_t OnActiveInstance() override;
    // Stops the adjust task, cutting short the waits of an adjustment in progress. 1.
    int32_t OnDeactiveInstance() override;

    // The standard time and the counter reading taken with it: 1, or 0 when the source gave
    // none. Base: the computer's clock.
    virtual int GetStandardTime(DYNAMIC_TIME &t);

    // The patrol callback: AdjustTime, first until one adjustment has succeeded. 1.
    int AdjustTask(CTask *task);
    // Reads the standard time and sets the clock to it (hard when `first`): 1 on success.
    int AdjustTime(int first);

    int32_t GetSuccessCount() const { return m_nSuccess.load(); }
    int32_t GetFailureCount() const { return m_nFailures.load(); }
    int32_t IsLastReadFailed() const { return m_bLastReadFailed.load(); }
    DYNAMIC_TIME GetLastStdTime() const;
    uint32_t GetLastAdjustTick() const { return m_dwLastAdjustTick.load(); }
    int32_t GetInterval() const { return m_nInterval; }
    const CPatrolTask &GetAdjustTask() const { return m_AdjustTask; }

protected:
    // Set while the source is being stopped: the waits of GetStandardTime end on it.
    const plat::Event &StopSignal() const { return m_evStop; }
    // The failure and its device text from the alert threshold on; 0.
    int Fail(const char *logText, const char *deviceText);
    void SyncLocalClock();

    CClock *m_pClock;
    int32_t m_nInterval = kDefaultInterval;
    int32_t m_nAlertOnFailTimes = kDefaultAlertTimes;
    int64_t m_nDeltaOfStdTime = 0; // 100 ns units
    bool m_bSyncLocal = false;

private:
    mutable std::mutex m_timeLock; // guards m_LastStdTime
    DYNAMIC_TIME m_LastStdTime{};
    std::atomic<int32_t> m_bLastReadFailed{0};
    std::atomic<int32_t> m_nSuccess{0};
    std::atomic<int32_t> m_nFailures{0};
    std::atomic<uint32_t> m_dwLastAdjustTick{0};
    plat::Event m_evStop{true, false};
    CPatrolTask m_AdjustTask;
};
