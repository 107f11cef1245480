#include "devext/device/PortDelivery.h"

#include "devext/device/CSerialDevA.h"

int PortDelivery::Deliver(const void *data, size_t length)
{
    CSerialDevA *port;
    uint64_t place;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        port = m_pPort;
        place = m_nPlace;
        m_nPlace += length;
    }
    if (!port || length == 0) return 0;
    pointer_t bytes{data, static_cast<int32_t>(length)};
    return port->HandOn(m_nCode, bytes, place);
}

void PortDelivery::Cut()
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_pPort = nullptr;
}
