// The BJAS switch: 16 sources on two outputs, 19200 baud. Seven-byte frames route an input to
// an output, written without awaiting a reply; the preset goes to a preset output of its
// own ("PST") when one is set, and a take routes the preset entry to the program output.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

#include <atomic>

class KSOVRA20_API CSerialIO_BJAS : public CSerialSwitchIO {
public:
    CSerialIO_BJAS();
    ~CSerialIO_BJAS() override;

    // Routes the 1-based input to the 1-based output: whether the line took it.
    int SendRoute(int output, int input);
};

class KSOVRA20_API CVideoSwitch_BJAS : public CVideoSwitchSerial<CSerialIO_BJAS> {
    DECLARE_KEST_CLASS(CVideoSwitch_BJAS)

    CVideoSwitch_BJAS();

    // Keeps the entry as the preset; routes it to the preset output when that is set apart
    // from the program output. 1.
    int DevPreset(int channel, int entry) override;

    int GetPresetEntry() const { return m_nPresetEntry.load(); }
    int GetProgramOutput() const { return m_nProgramOutput.load(); }
    int GetPresetOutput() const { return m_nPresetOutput.load(); }

protected:
    // "PST" and "PGM" (0-based outputs, -1 none) made 1-based.
    int32_t ReadKeys(CResAccess &setting) override;
    int SendRoute(CSerialIO_BJAS &port, int channel, int entry) override;
    // Routes the preset entry kept to the program output; 0 while none is kept.
    int SendTake(CSerialIO_BJAS &port, int channel, int preset) override;

private:
    std::atomic<int> m_nPresetEntry{-1};
    std::atomic<int> m_nProgramOutput{1};
    std::atomic<int> m_nPresetOutput{-1};
};
