// The ONYX matrix: 64 inputs on 64 outputs, 38400 baud, unit 0x79, level 15. A seven-byte
// take frame is written without waiting; the matrix polls the line and is answered at once
// from the receive path, and its confirmation of a take is recorded. Devices on one line
// share one protocol object. ONYXX runs each command on every bus of its "BUS" list.
#pragma once

#include "drivers/KsOvra20Api.h"
#include "drivers/switchers/CSerialSwitchIO.h"
#include "drivers/switchers/CSwitchPerBus.h"
#include "drivers/switchers/CVideoSwitchSerialA.h"
#include "drivers/switchers/binary/SwitchFrames.h"

#include <atomic>

class KSOVRA20_API CSerialIO_ONYX : public CSerialSwitchIO {
public:
    static constexpr int kUnit = 0x79;
    static constexpr int kLevel = 15;

    CSerialIO_ONYX();
    ~CSerialIO_ONYX() override;

    // Alone on the line, after dropping what was received, writes the take of the entry to the
    // channel (both 1-based, each 1..255; else it fails unwritten). Whether the
    // line took it.
    int SendTake(int entry, int channel);
    // Whether the matrix confirmed the last take.
    bool IsConfirmed() const { return m_bConfirmed.load(); }

    int OnRecvData(int port, pointer_t &data) override;

private:
    swframe::COnyxDecoder m_decoder{kUnit, kLevel}; // under the receive lock
    std::atomic<int> m_nLastEntry{-1};
    std::atomic<int> m_nLastChannel{-1};
    std::atomic<bool> m_bConfirmed{false};
};

class KSOVRA20_API CVideoSwitch_ONYX : public CVideoSwitchSerial<CSerialIO_ONYX> {
    DECLARE_KEST_CLASS(CVideoSwitch_ONYX)

    CVideoSwitch_ONYX();

protected:
    int SendRoute(CSerialIO_ONYX &port, int channel, int entry) override;
};

// ONYX on every bus of its "BUS" list.
class KSOVRA20_API CVideoSwitch_ONYXX : public CSwitchPerBus<CVideoSwitch_ONYX> {
    DECLARE_KEST_CLASS(CVideoSwitch_ONYXX)

    CVideoSwitch_ONYXX();
};
