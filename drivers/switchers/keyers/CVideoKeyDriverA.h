// What the keyer drivers share beside the keyer base: the wait for a group's start (cut short
// when the keyer is deactivated or closed, or the calling unit stops), pauses between
// commands that end the same way, the
// "#OVRA_KEY" report of a key put on or off, and the log line of a port that is not there.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/keyers/CVideoKeyCtrlA.h"
#include <atomic>
#include <cstdint>

class KSOVRA20_API CVideoKeyDriverA : public CVideoKeyCtrlA {
public:
    // The waits of a take run only while the keyer is active.
    int32_t OnActiveInstance() override;
    int32_t OnDeactiveInstance() override;

    // "Dev=<device name>;Open Failed" through the debug log on "LOG_DEV".
    static void LogOpenFailed(const char *devName);

protected:
    // A null description keeps the device base's.
    CVideoKeyDriverA(const char *typeId, const char *description);
    // A copy has a deactivation of its own: deactivating one never ends the other's waits.
    CVideoKeyDriverA(const CVideoKeyDriverA &other);
    CVideoKeyDriverA &operator=(const CVideoKeyDriverA &other);

    // Waits until the start time of `first`, `laterMs` later unless the task comes from the
    // user interface. False when the keyer is deactivated, or was closed or the calling unit
    // stopped meanwhile.
    bool WaitForStart(const tagVideoKeyTask &first, int32_t laterMs);
    // Waits `ms` (none when not positive); false as WaitForStart.
    bool Pause(int32_t ms);
    // The function type a key number stands for: the Logo key 256, Title 257, Time 258,
    // any other number itself.
    int32_t FuncTypeOfKey(int32_t key) const;
    // "#OVRA_KEY": the operation and the function type of a key that was set.
    static void ReportKey(int32_t operation, int32_t functype);

private:
    std::atomic<bool> m_bDeactivated{false};
};
