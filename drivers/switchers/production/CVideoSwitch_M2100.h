// The M2100 master-control switcher: 32 sources, 1 channel, driven through the control
// object of its port, which it takes from the pool while open and shares with an M2100 keyer
// on the same line.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/model/CVideoSwitchA.h"
#include "drivers/switchers/CSwitchVirtualMode.h"
#include "drivers/switchers/production/CM2100Control.h"

#include <atomic>
#include <memory>

// The switcher on the hardware; CVideoSwitch_M2100 adds the guard of the base's virtual mode.
class KSOVRA20_API CVideoSwitchM2100A : public CVideoSwitchA {
public:
    static constexpr int kProgramBus = 0x3D;
    static constexpr int kOtherBus = 0x3E;

    int32_t OnInitInstance() override;
    // Takes the control object of port Com from the pool and checks the line: 1 (the status
    // tells 3 for a line that does not open, 5 for a switcher that does not answer).
    int DevOpen() override;
    // Gives the control object back to the pool: 1.
    int DevClose() override;
    // The control object's connected value (0 without one).
    int DevIsOpen() override;
    int DevTest(const char *argument) override;
    int DevSetTransType(int type) override;
    int DevSetTransRate(int rate) override;
    int DevDirectTake(int channel, int entry) override;
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;
    // The entries held for channel 1, whatever channel is asked.
    int DevQueryPgmEntry(int channel, int &entry) override;
    int DevQueryPstEntry(int channel, int &entry) override;

protected:
    CVideoSwitchM2100A();

private:
    // Opens as DevOpen does: the control object when the line is then connected, else null;
    // kept for the one operation.
    std::shared_ptr<CM2100Control> Ready();
    static int BusOf(int channel) { return channel == 1 ? kProgramBus : kOtherBus; }
    bool HasChannel(int channel) const;

    CM2100Link m_link; // the control object while open
    std::atomic<uint16_t> m_nPort{1};
    std::atomic<bool> m_bContinuous{true};
    std::atomic<bool> m_bRetCheck{false};
    std::atomic<bool> m_bTakeDirect{false};
    std::atomic<bool> m_bSetTransType{false};
    std::atomic<bool> m_bSetTransRate{false};
};

// While virtual (the switcher base's flag: setting Virtual, share messages with Exchange on)
// nothing is sent: the open, close and test are the device base's, and the commands only keep
// the base's entries, held to the matrix.
class KSOVRA20_API CVideoSwitch_M2100 : public CSwitchVirtualGuard<CVideoSwitchM2100A> {
    DECLARE_KEST_CLASS(CVideoSwitch_M2100)

    CVideoSwitch_M2100();
};
