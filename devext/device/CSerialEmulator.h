// The far end of a virtual serial port, played in software: what a protocol writes to the
// virtual port with the emulator's port number arrives in OnRecvData, and SendData hands
// bytes to the protocol as if the line had received them. The base echoes every write back.
// An emulator takes part once it is active; derived emulators set the port and the flag, and
// retire in their destructor (GetByPort hands out a held reference, which that waits for).
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CDeviceA.h"

#include <atomic>
#include <memory>

class DEVEXT20_API CSerialEmulator : public CDeviceA {
    DECLARE_KEST_CLASS(CSerialEmulator)

    CSerialEmulator();
    CSerialEmulator(const CSerialEmulator &) = delete;
    CSerialEmulator &operator=(const CSerialEmulator &) = delete;
    // Retires the object (late for a derived emulator's members: it retires first).
    ~CSerialEmulator() override;

    // What a protocol wrote to the virtual port; the base sends it back and answers 1.
    virtual int OnRecvData(const unsigned char *data, int length);

    // Hands the bytes on through the open virtual port on this emulator's port number (its
    // HandOn with the port number): the handler's result, 0 when there is no such port.
    int SendData(const unsigned char *data, int length);

    int GetPort() const { return m_nPort; }
    bool IsActive() const { return m_bActive != 0; }

    // The first active emulator (registration order) with port number `port`, held; else
    // null.
    static std::shared_ptr<CSerialEmulator> GetByPort(int port);

protected:
    // No port finds the emulator any more; waits until no other thread holds it.
    void Retire();

    std::atomic<int> m_nPort{20};
    std::atomic<int> m_bActive{0};
};
