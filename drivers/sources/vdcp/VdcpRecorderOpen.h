// The open and the status report of the VDCP recorders that send through a port object of
// their own or of another device on the same port (the shared channel port and the Leitch
// port): the steps are the same for both kinds of port object.
#pragma once

#include "drivers/sources/vdcp/CSerialIO_VDCP_SHARED.h"
#include "drivers/sources/vdcp/VdcpRecorder.h"

#include "Kest20/KestLog.h"
#include "devext/device/CDeviceA.h"
#include "platform/TimeSource.h"

#include <cstdint>

namespace vdcprec {

constexpr uint32_t kRoutePauseMs = 50;
constexpr uint32_t kReopenPauseMs = 200;

// Claims `encoder` for `device` on `route`. On its own port (`route` is `own`) the port is
// opened afresh and the channel closed, opened and selected; on another device's port the
// channel selected there must be the encoder. Sets the device name and status; false, with
// status 5 and the reason, when the channel cannot be had.
template <class Port> bool ClaimEncoder(CDeviceA &device, Port &own, Port &route, int32_t encoder)
{
    plat::Sleep(kRoutePauseMs);
    int32_t status2 = -1;
    if (&route == &own) {
        own.Close();
        plat::Sleep(kReopenPauseMs);
        own.DevOpen();
        own.ClosePort(encoder);
        plat::Sleep(kReopenPauseMs);
        if (!own.OpenPort(encoder, 0, nullptr)) {
            own.Close();
            device.SetDevStatus(DEVSTATUS_RUN_FAILED, "Open device failed");
            return false;
        }
        own.SelectPort(encoder);
        if (!FreshStatus(own, nullptr, &status2) || status2 != encoder) {
            own.Close();
            device.SetDevStatus(DEVSTATUS_RUN_FAILED, "Open Encoder Error");
            return false;
        }
    } else if (!FreshStatus(route, nullptr, &status2) || status2 != encoder) {
        // The port is held for another channel.
        device.SetDevStatus(DEVSTATUS_RUN_FAILED, "Encoder port conflict");
        return false;
    }
    CString name;
    name.Format("DEV_VSRC%d", encoder);
    device.SetDevName(name);
    device.SetDevStatus(DEVSTATUS_NORMAL);
    return true;
}

// Asks the status and posts it, read as a recorder's, on "#OVRA_STATUSDEV"; the request's
// result.
template <class Port> int ReportStatus(CDeviceA &device, Port &route)
{
    int32_t status1 = 0;
    const int result = FreshStatus(route, &status1, nullptr);
    CString text;
    text.Format("<DEV=\"%s\" ID=\"%d\" MSG=\"%s\">", device.GetInstanceName(), status1,
                CSerialIO_VDCP_SHARED::GetStateText(status1, 1).GetString());
    glReportLog("#OVRA_STATUSDEV", text, nullptr);
    return result;
}

} // namespace vdcprec
