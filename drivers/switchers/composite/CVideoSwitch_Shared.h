// A switcher that stands for another switcher of the process ("Dev") and forwards to it. In
// the station's main/backup virtual mode (setting "Virtual", or <Virtual = "TRUE"> on
// "#OVRA_DEV_SHARE") it leaves the target alone and only keeps its own record of the
// entries; leaving virtual mode reopens the target (three tries).
#pragma once

#include "drivers/switchers/CShareBusReader.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoSwitchA.h"
#include "platform/Sync.h"

#include <atomic>
#include <memory>
#include <mutex>

class KSOVRA20_API CVideoSwitch_Shared : public CVideoSwitchA {
    DECLARE_KEST_CLASS(CVideoSwitch_Shared)

    static constexpr int kReopenTries = 3;
    static constexpr uint32_t kReopenPauseMs = 500;
    static constexpr uint32_t kReopenFailPauseMs = 1000;

    CVideoSwitch_Shared();
    // Ends the subscription (a reopen in progress stops pausing) first.
    ~CVideoSwitch_Shared() override;

    // The base's keys, then "Virtual" and "Dev"; 1 only when "Dev" names a target.
    int32_t OnInitInstance() override;
    int DevClose() override;
    int DevOpen() override;
    int DevIsOpen() override;
    int DevTest(const char *text) override;
    // Forwarded to the target (0 when it cannot be opened or refuses), then kept in the own
    // record; in virtual mode only kept.
    int DevSetTransType(int type) override;
    int DevSetTransRate(int rate) override;
    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;

    // The main/backup change: going virtual closes the target, leaving it reopens the target
    // (pausing kReopenPauseMs before each try, kReopenFailPauseMs more after a failed one);
    // the flag changes after these steps. The same value again does nothing.
    void SetVirtualMode(bool on);
    bool GetVirtualMode() const { return m_bVirtualMode.load(); }
    CString GetTarget() const;

private:
    // Not virtual: `op` on the opened target must succeed. Then `own` on the own record.
    template <class Op, class Own> int Forward(Op op, Own own);
    // The target's result of `op` when usable; 0 otherwise; 1 in virtual mode.
    template <class Op> int AskTarget(Op op);

    mutable std::mutex m_targetLock;
    CString m_strTarget;
    std::atomic<bool> m_bVirtualMode{false};
    plat::Event m_evStop{true, false};
    std::unique_ptr<CShareBusReader> m_pShareReader;
};
