// The Talley tally controller: 16 sources on an RS-422 board port, 38400 baud. A take writes
// one 48-byte command twice, 10 ms apart, whose eighth byte is the source's code from the
// conversion table "/etc/tvx/TalleyConvertTable" (4 for a source not listed); nothing is
// answered. TalleyEconomic swaps one source of its presets for another while the station
// runs on its backup chain.
#pragma once

#include "drivers/switchers/CShareBusReader.h"
#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

#include <atomic>
#include <memory>

class KSOVRA20_API CSerialIO_Talley : public CSerialSwitchIO {
public:
    static constexpr int kRepeats = 2;
    static constexpr uint32_t kRepeatPauseMs = 10;
    static constexpr int kDefaultCode = 4;

    CSerialIO_Talley();
    ~CSerialIO_Talley() override;

    // Writes the command for the 1-based entry twice: 0 at once when a write fails, else 1.
    int SendSource(int entry);
    // The entry's code from the conversion table.
    static int ConvertCode(int entry);
};

// Presets are only kept; the controller cannot be asked, so the program query is the base's.
class KSOVRA20_API CVideoSwitch_Talley : public CVideoSwitchSerial<CSerialIO_Talley> {
    DECLARE_KEST_CLASS(CVideoSwitch_Talley)

    CVideoSwitch_Talley();

protected:
    int SendRoute(CSerialIO_Talley &port, int channel, int entry) override;
};

class KSOVRA20_API CVideoSwitch_TalleyEconomic : public CVideoSwitch_Talley {
    DECLARE_KEST_CLASS(CVideoSwitch_TalleyEconomic)

    CVideoSwitch_TalleyEconomic();
    // Ends the share-message subscription while the device still lives.
    ~CVideoSwitch_TalleyEconomic() override;

    // While virtual, a preset of "SrcHD1" presets "SrcHD2".
    int DevPreset(int channel, int entry) override;

    bool GetVirtual() const { return m_bVirtualFlag.load(); }

protected:
    // "Virtual", "SrcHD1" and "SrcHD2".
    int32_t ReadKeys(CResAccess &setting) override;

private:
    std::atomic<bool> m_bVirtualFlag{false}; // the share messages set it; the port is left alone
    int m_nSrcHD1 = 4;                       // set at initialisation
    int m_nSrcHD2 = 5;
    std::unique_ptr<CShareBusReader> m_pShareReader;
};
