// The Talley tally controller: 16 sources on an RS-422 board port, 38400 baud. A take writes
// one 48-byte command twice, 10 ms apart, whose eighth byte is the source's code from the
// conversion table "/etc/tvx/TalleyConvertTable" (4 for a source not listed); nothing is
// answered. TalleyEconomic swaps one source of its presets for another while the station
// runs on its backup chain.
#pragma once

#include "Kest20/CLogReader.h"
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

class KSOVRA20_API CVideoSwitch_Talley : public CVideoSwitchSerialA {
    DECLARE_KEST_CLASS(CVideoSwitch_Talley)

    CVideoSwitch_Talley();

    int32_t OnInitInstance() override;
    // Opens the port: status 3 and 0 when it fails, else status 0 and 1.
    int DevOpen() override;
    int DevDirectTake(int channel, int entry) override;
    // Keeps the preset entry; nothing is sent.
    int DevPreset(int channel, int entry) override;
    int DevTake(int channel) override;
    // The controller cannot be asked: the base's program entry.
    int DevQueryPgmEntry(int channel, int &entry) override;

    CSerialIO_Talley &Protocol() { return m_Serial; }

protected:
    CSerialSwitchIO &Serial() override { return m_Serial; }

private:
    CSerialIO_Talley m_Serial;
};

class KSOVRA20_API CVideoSwitch_TalleyEconomic : public CVideoSwitch_Talley {
    DECLARE_KEST_CLASS(CVideoSwitch_TalleyEconomic)

    CVideoSwitch_TalleyEconomic();
    // Ends the share-message subscription while the device still lives.
    ~CVideoSwitch_TalleyEconomic() override;

    // Talley's keys, then "Virtual", "SrcHD1" and "SrcHD2".
    int32_t OnInitInstance() override;
    // While virtual, a preset of "SrcHD1" presets "SrcHD2".
    int DevPreset(int channel, int entry) override;

    bool GetVirtual() const { return m_bVirtualFlag.load(); }

private:
    // <Virtual = "TRUE"/"FALSE"> on "#OVRA_DEV_SHARE" sets the flag; the port is left alone.
    int OnShareMessage(const char *type, const char *text, const char *info);

    std::atomic<bool> m_bVirtualFlag{false};
    int m_nSrcHD1 = 4; // set at initialisation
    int m_nSrcHD2 = 5;
    std::unique_ptr<CLogReader> m_pShareReader;
};
