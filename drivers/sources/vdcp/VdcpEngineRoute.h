// What the VDCP stores and recorders that talk through a protocol engine (CVDCP) share: the
// engine they own, the route to the engine they send through (their own, or the open engine of
// another device on the same port, by its share mode), and the open that claims their VDCP
// channel on it, reporting the outcome through the device status.
#pragma once

#include "drivers/sources/vdcp/CVDCP.h"

#include <cstdint>
#include <memory>

class CDeviceA;

class VdcpEngineRoute {
public:
    static constexpr int32_t kAccessOwn = 7;    // the own engine, or a fully shared one
    static constexpr int32_t kAccessShared = 6; // another device's engine, for its channel only

    // The engine with its command set ("BASIC" or "NEW") and options.
    VdcpEngineRoute(const char *commandSet, int32_t options);
    ~VdcpEngineRoute();
    VdcpEngineRoute(const VdcpEngineRoute &) = delete;
    VdcpEngineRoute &operator=(const VdcpEngineRoute &) = delete;

    CVDCP &Engine() { return *m_pEngine; }
    // Jointly owned, for a worker that may outlive its device.
    std::shared_ptr<CVDCP> SharedEngine() const { return m_pEngine; }

    // The keys "Com" and "Duplex" of `path`: the serial port and the share mode (4 with
    // Duplex, else 3).
    void ReadSettings(const char *path);
    int32_t GetDuplex() const { return m_nDuplex; }

    // The engine's GetSharedPort: the engine to send through and its access kind, or null.
    std::shared_ptr<ISerialVDCP> Get(int32_t *kind);
    // Claims `channel` on the route and sets the device status: 0 when it answers for the
    // channel, else 5 with the reason; a failed own open closes the engine again.
    void Open(CDeviceA &device, int32_t channel);
    // Open, then the route when its engine answers; else status 3 and null.
    std::shared_ptr<ISerialVDCP> OpenRoute(CDeviceA &device, int32_t channel);
    // Closes the own engine. A port that another device's engine holds stays with it.
    void Close();

private:
    // The own-engine steps of Open: the failure text, or null on success.
    const char *OpenOwn(ISerialVDCP &engine, int32_t channel);

    std::shared_ptr<CVDCP> m_pEngine;
    int32_t m_nPort = 2;
    int32_t m_nDuplex = 0;
};
