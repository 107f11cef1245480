#include "devext/device/PortDelivery.h"

#include "devext/device/CDeviceA.h"

int PortDelivery::Deliver(const void *data, size_t length)
{
    CDeviceA *device;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        device = m_pDevice;
    }
    if (!device || length == 0) return 0;
    pointer_t bytes{data, static_cast<int32_t>(length)};
    return device->DoDevInt(m_nCode, bytes);
}

void PortDelivery::Cut()
{
    std::lock_guard<std::mutex> lk(m_lock);
    m_pDevice = nullptr;
}
