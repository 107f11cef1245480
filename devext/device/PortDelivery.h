// The link from a port's receive thread to the port object, jointly owned by both. Closing
// the port cuts it, so a receive thread that a close had to give up never reaches the port
// object again; a delivery already under way ends before the close's bounded wait does. It
// counts what it hands on, so each block goes with its place in the line's stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

class CSerialDevA;

class PortDelivery {
public:
    PortDelivery(CSerialDevA *port, int code) : m_pPort(port), m_nCode(code) {}
    PortDelivery(const PortDelivery &) = delete;
    PortDelivery &operator=(const PortDelivery &) = delete;

    // Hands the bytes on through the port (HandOn) with the code (the port number) and their
    // place, outside any lock of the port; its result, 0 once cut. Blocks go in the order
    // the line received them, from one thread.
    int Deliver(const void *data, size_t length);
    void Cut();

private:
    std::mutex m_lock; // held only to read or clear the port and count the bytes
    CSerialDevA *m_pPort;
    const int m_nCode;
    uint64_t m_nPlace = 0; // bytes handed on before the next block, under m_lock
};
