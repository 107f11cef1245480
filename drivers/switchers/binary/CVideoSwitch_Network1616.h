// The Network1616 router: 16 inputs on 16 outputs, 19200 baud. A six-byte frame routes an
// input to an output, written without awaiting a reply, through the protocol object that the
// open-or-share rule finds. A take routes the preset entry to the program output "PGM";
// presets are sent only with "WithPreset", to the preset output "PST" when one is set.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

#include <atomic>

class KSOVRA20_API CSerialIO_Network1616 : public CSerialSwitchIO {
public:
    static constexpr int kMaxWire = 127;

    CSerialIO_Network1616();
    ~CSerialIO_Network1616() override;

    // Routes the 1-based input to the 1-based output; an output outside 1..128 or an input
    // outside 1..128 fails unwritten. Whether the line took it.
    int SendRoute(int output, int input);
};

class KSOVRA20_API CVideoSwitch_Network1616 : public CVideoSwitchSerial<CSerialIO_Network1616> {
    DECLARE_KEST_CLASS(CVideoSwitch_Network1616)

    CVideoSwitch_Network1616();

    int DevPreset(int channel, int entry) override;

protected:
    // "PGM", "PST" and "WithPreset".
    int32_t ReadKeys(CResAccess &setting) override;
    // Any channel goes out (the base refuses one it does not keep once it went).
    bool TakesChannel(int) const override { return true; }
    int SendRoute(CSerialIO_Network1616 &port, int channel, int entry) override;
    // A take goes to the program output ("PGM") when it is one of the channels.
    int TakeOutput(int channel) const override { return ProgramOr(m_nProgram, channel); }
    int SendTake(CSerialIO_Network1616 &port, int output, int preset) override;

private:
    // The route through the protocol object the open-or-share rule finds.
    int Route(int output, int input);

    std::atomic<int> m_nProgram{1};
    std::atomic<int> m_nPreset{-1};
    std::atomic<bool> m_bWithPreset{false};
};
