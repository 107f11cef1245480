// What the switcher sharing and composite tests share: the program's distributed-system
// kernel (through which a serving process's name resolves to 127.0.0.1), packet dispatchers,
// and a member switcher of the tests' own whose answers the tests set.
#pragma once

#include "tests/model/DeviceTestKit.h"
#include "tests/sim/RawUdpProcess.h"
#include "tests/sim/program/NetProgram.h"

#include "devext/device/CNetDisp.h"
#include "drivers/model/CVideoSwitchA.h"
#include "platform/Sync.h"

#include <atomic>
#include <string>

namespace swsharetest {
constexpr uint32_t kSoonMs = 5000;
// How long a held take waits for `release`: far beyond any take's wait, so that a held member
// is late by the test's choice alone; bounded so that a failed test does not hang.
constexpr uint32_t kHoldMs = 30000;
} // namespace swsharetest

// A member switcher: the base's bookkeeping, with knobs for refusals and slowness.
// Registered as "CShareTestSwitch", so a device manager can create it by class name.
class CShareTestSwitch : public CVideoSwitchA {
    DECLARE_KEST_CLASS(CShareTestSwitch)

    CShareTestSwitch() : CVideoSwitchA("LVSWITCH_TEST") {}
    ~CShareTestSwitch() override { release.Set(); }

    // Initialised from `setting` (may be absent) under `name`, then activated.
    bool Start(const std::string &name);

    int DevOpen() override;
    int DevClose() override;
    int DevIsOpen() override { return isOpen ? 1 : 0; }
    int DevTest(const char *text) override;
    int DevDirectTake(int channel, int entry) override;
    int DevTake(int channel) override;
    int DevPreset(int channel, int entry) override;
    int DevGetPGMBUS() override { return 40; }

    std::atomic<bool> refuse{false}; // takes and presets fail
    std::atomic<bool> failOpen{false};
    std::atomic<int> testFailures{0};      // DevTest fails this many more times
    std::atomic<bool> holdNextTake{false}; // the next take waits for `release`
    std::atomic<int> takes{0};
    std::atomic<int> closes{0};
    std::atomic<int> opens{0};
    std::atomic<bool> isOpen{false};
    plat::Event release{true, false};

private:
    // A take or preset: waits first when held, then `op` unless refusing.
    template <class Op> int Took(Op op)
    {
        ++takes;
        if (holdNextTake.exchange(false)) release.Wait(swsharetest::kHoldMs);
        return refuse ? 0 : op();
    }
};

namespace swsharetest {

using kestsim::ActiveDisp;
using kestsim::FreeUdpPort;
using kestsim::ResolveTo;

struct Entries {
    int pst = -1;
    int pgm = -1;
    bool operator==(const Entries &) const = default;
};
// The entries the base keeps for `channel`.
Entries BaseEntries(CVideoSwitchA &sw, int channel);

} // namespace swsharetest
