// A software serial line whose far end is the active CSerialEmulator with the same port
// number: writes go to the emulator's OnRecvData, and what the emulator sends is handed on
// (HandOn) as it comes. Known to the rest of the system only by its run-time class record.
#pragma once

#include "devext/device/CSerialDevA.h"
#include "devext/device/CSerialEmulator.h"

#include <atomic>

class CSerial_Virtual : public CSerialDevA {
    DECLARE_KEST_CLASS(CSerial_Virtual)

    CSerial_Virtual() = default;
    // A copy would be a second holder of the port number.
    CSerial_Virtual(const CSerial_Virtual &) = delete;
    CSerial_Virtual &operator=(const CSerial_Virtual &) = delete;
    ~CSerial_Virtual() override;

    // Open while it holds its peer.
    int DevIsOpen() override;

    // Open while an active emulator has the port number; 0 when another port object holds
    // the number or no emulator is there.
    int DevOpen() override;
    int DevClose() override;
    // The emulator's OnRecvData result; with the emulator gone the port closes and gives 0.
    int DevWrite(const char *data, int length) override;
    // Received bytes are only handed on: `length` 0, result 0.
    int DevRead(char *buffer, int &length) override;

private:
    // The peer found at the open, only as the open flag: each write looks it up afresh.
    std::atomic<CSerialEmulator *> m_pEmulator{nullptr};
};
