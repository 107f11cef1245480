// The BoHui switch: 8 inputs on 4 outputs, 9600 baud. One twelve-byte frame sets every output
// at once, so the protocol object keeps the state of all outputs; a take routes one input to
// every output of "MultiPGM". No reply is awaited.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

class KSOVRA20_API CSerialIO_BoHui : public CSerialSwitchIO {
public:
    static constexpr int kOutputs = 4;
    static constexpr int kMaxInput = 8;

    CSerialIO_BoHui();
    ~CSerialIO_BoHui() override;

    // Routes the 0-based input to every 1-based output of the list, the other outputs
    // repeating their last input. An output outside 1..4 or an input outside 0..8 fails
    // unwritten; the state is kept only once the line took the frame.
    int SendRoute(int input, const std::vector<int> &outputs);
    std::array<uint8_t, 8> GetState() const;

private:
    mutable std::mutex m_stateLock;
    std::array<uint8_t, 8> m_state{};
};

class KSOVRA20_API CVideoSwitch_BoHui : public CVideoSwitchSerial<CSerialIO_BoHui> {
    DECLARE_KEST_CLASS(CVideoSwitch_BoHui)

    CVideoSwitch_BoHui();

    // Routes the entry to the "MultiPGM" outputs (the entries are not kept).
    int DevDirectTake(int channel, int entry) override;
    // Routes the channel's preset entry to the "MultiPGM" outputs.
    int DevTake(int channel) override;

protected:
    // "MultiPGM".
    int32_t ReadKeys(CResAccess &setting) override;

private:
    int Route(const char *operation, bool active, int entry);

    std::vector<int> m_outputs; // "MultiPGM", set at initialisation
};
