// How the serial switchers and keyers open their line and the device status each open
// reports, and how a device that only names another's line reads its port number.
#pragma once

#include "devext/device/CDeviceA.h"
#include "devext/device/CSerialIO.h"
#include "drivers/KsOvra20Api.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace swline {

// The own port's open: status 3 when it fails, 0 when it opens; its result.
KSOVRA20_API int OpenOwn(CDeviceA &device, CSerialIO &own);
// 1 at once while the own port is open. Else the line `find` gives (null: none; the own
// object once its port opens, or another device's on the line): none, status 3 and 0; the
// own port opened but failing `check` (when given), closed again with status 5 "Open device
// failed" and 0; else status 0 and whether the line is open.
KSOVRA20_API int OpenLine(CDeviceA &device, CSerialIO &own,
                          const std::function<std::shared_ptr<CSerialIO>()> &find,
                          const std::function<bool()> &check = {});
// The own object once its port opens (1 at once when open), else null: what OpenLine finds
// for a device that never shares.
KSOVRA20_API std::shared_ptr<CSerialIO> OwnOpened(CSerialIO &own);
// `object` for the time of one operation, without owning it: the device's own protocol
// object, which lives as long as the device.
template <class Object> std::shared_ptr<Object> Unowned(Object &object)
{
    return std::shared_ptr<Object>(std::shared_ptr<void>(), &object);
}

// The port number in the key `key` of the setting `path` for a device that names the line of
// another object (a pooled control object, a switcher's protocol object): `current` when the
// key is missing or its number does not fit 0..65535.
KSOVRA20_API uint16_t ReadPortNumber(const char *path, const char *key, uint16_t current);

} // namespace swline
