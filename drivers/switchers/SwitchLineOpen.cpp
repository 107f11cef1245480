#include "drivers/switchers/SwitchLineOpen.h"

#include "KestLib20/CResAccess.h"

namespace swline {

int OpenOwn(CDeviceA &device, CSerialIO &own)
{
    const int opened = own.DevOpen();
    device.SetDevStatus(opened ? DEVSTATUS_NORMAL : DEVSTATUS_COM_OPEN_FAILED);
    return opened;
}

int OpenLine(CDeviceA &device, CSerialIO &own,
             const std::function<std::shared_ptr<CSerialIO>()> &find,
             const std::function<bool()> &check)
{
    if (own.DevIsOpen()) return 1;
    const std::shared_ptr<CSerialIO> line = find();
    if (!line) {
        device.SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
        return 0;
    }
    // A line another device holds was checked when that device opened it.
    if (line.get() == &own && check && !check()) {
        own.DevClose();
        device.SetDevStatus(DEVSTATUS_RUN_FAILED, "Open device failed");
        return 0;
    }
    device.SetDevStatus(DEVSTATUS_NORMAL);
    return line->DevIsOpen();
}

std::shared_ptr<CSerialIO> OwnOpened(CSerialIO &own)
{
    return own.DevOpen() ? Unowned(own) : nullptr;
}

uint16_t ReadPortNumber(const char *path, const char *key, uint16_t current)
{
    const int32_t port = CResAccess(path)[key].GetAsInteger(current);
    return port >= 0 && port <= UINT16_MAX ? static_cast<uint16_t>(port) : current;
}

} // namespace swline
