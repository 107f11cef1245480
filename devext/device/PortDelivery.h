// The link from a port's receive thread to the port object, jointly owned by both. Closing
// the port cuts it, so a receive thread that a close had to give up never reaches the port
// object again; a delivery already under way ends before the close's bounded wait does.
#pragma once

#include <cstddef>
#include <mutex>

class CDeviceA;

class PortDelivery {
public:
    PortDelivery(CDeviceA *device, int code) : m_pDevice(device), m_nCode(code) {}
    PortDelivery(const PortDelivery &) = delete;
    PortDelivery &operator=(const PortDelivery &) = delete;

    // Hands the bytes to the device's DoDevInt with the code (the port number), outside any
    // lock of the port; its result, 0 once cut.
    int Deliver(const void *data, size_t length);
    void Cut();

private:
    std::mutex m_lock; // held only to read or clear the device
    CDeviceA *m_pDevice;
    const int m_nCode;
};
