// Calls into a device made by threads that a stop may give up (the task engine's unit threads):
// each is noted for its length, and the device manager closes a device only once the calls in
// it have ended (bounded), so that a thread given up inside a device never runs on in a device
// that the close of the application then frees.
#pragma once

#include <cstdint>

class CDeviceA;

class CDeviceCall {
public:
    // Notes a call into `device` on the calling thread (nothing for null).
    explicit CDeviceCall(CDeviceA *device);
    ~CDeviceCall();
    CDeviceCall(const CDeviceCall &) = delete;
    CDeviceCall &operator=(const CDeviceCall &) = delete;

    // Waits up to `boundMs` until no call noted on another thread is in `device`; true when
    // none is.
    static bool WaitEnded(CDeviceA *device, uint32_t boundMs);

private:
    CDeviceA *m_pDevice;
};
