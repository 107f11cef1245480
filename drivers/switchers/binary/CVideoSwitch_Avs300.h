// The Avs300 switch: 8 sources on one program bus over an RS-422 board port, 38400 baud, odd
// parity. Three-byte frames, written without awaiting a reply.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

#include <atomic>

class KSOVRA20_API CSerialIO_Avs300 : public CSerialSwitchIO {
public:
    CSerialIO_Avs300();
    ~CSerialIO_Avs300() override;

    // Writes the frame of the 1-based entry; once written, the entry - 1 is kept as the
    // program state (bus 1) or the preset state (bus 0). Whether the line took it.
    int SendEntry(int entry, int bus);
    int GetProgramState() const { return m_nProgram.load(); }
    int GetPresetState() const { return m_nPreset.load(); }

private:
    std::atomic<int> m_nProgram{-1};
    std::atomic<int> m_nPreset{-1};
};

class KSOVRA20_API CVideoSwitch_Avs300 : public CVideoSwitchSerial<CSerialIO_Avs300> {
    DECLARE_KEST_CLASS(CVideoSwitch_Avs300)

    CVideoSwitch_Avs300();

protected:
    // Entries are sent as given, without clamping.
    int SendRoute(CSerialIO_Avs300 &port, int channel, int entry) override;
    int SendPreset(CSerialIO_Avs300 &port, int channel, int entry) override;
    // Sends channel 1's preset entry as program, then its program entry as preset.
    int SendTake(CSerialIO_Avs300 &port, int channel, int preset) override;
};
