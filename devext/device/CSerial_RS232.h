// A COM port of the machine over a termios line: port n is the device that the port resolver
// gives for COM n. While open, a receive thread hands each chunk of received bytes (at most
// 1024) on (HandOn) with the port number and the chunk's place in the line's stream.
#pragma once

#include "devext/Devext20Api.h"
#include "devext/device/CSerialDevA.h"
#include "platform/SerialLine.h"

#include <atomic>
#include <memory>

class PortDelivery;

class DEVEXT20_API CSerial_RS232 : public CSerialDevA {
    DECLARE_KEST_CLASS(CSerial_RS232)

    // The wait of DevRead for bytes to arrive.
    static constexpr uint32_t kReadWaitMs = 1000;

    CSerial_RS232();
    // A copy would be a second owner of the same line.
    CSerial_RS232(const CSerial_RS232 &) = delete;
    CSerial_RS232 &operator=(const CSerial_RS232 &) = delete;
    ~CSerial_RS232() override;

    // Opens COM<port> with the settings (raw, exclusive, DTR and RTS on) and starts the
    // receive thread. 1 when open.
    int DevOpen() override;
    // Stops the receive thread (a bounded wait; a thread that does not end is given up and
    // no longer delivers), lowers DTR and closes the line. 1.
    int DevClose() override;
    // All bytes within the line's write bound: 1, else 0.
    int DevWrite(const char *data, int length) override;
    // Waits up to kReadWaitMs for bytes and reads those waiting, at most `length`; their
    // count, also left in `length`. Bytes go to whichever reader takes them first, so this
    // is for callers that read while nothing is delivered to them.
    int DevRead(char *buffer, int &length) override;
    // Bit 0 discards the input side, bit 1 the output side. 1, or 0 when closed.
    int DevFlush(int mode) override;
    // 0 once the far end has hung up (or a write failed): the port then waits only for its
    // close, and its protocol opens a new one on its next open.
    int DevIsOpen() override;
    // What the receive thread has taken off the line since the open (handed on or on its
    // way) and what waits to be taken; 0 when closed.
    uint64_t ReceivedCount() override;

private:
    plat::SerialLine m_Line;
    CDataLock m_ReadLock;
    std::shared_ptr<PortDelivery> m_pDelivery; // while open
    // Set by the receive thread when the line hangs up; shared with a thread given up.
    const std::shared_ptr<std::atomic<bool>> m_pHungUp = std::make_shared<std::atomic<bool>>();
};
