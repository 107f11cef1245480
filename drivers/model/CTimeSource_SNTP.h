// A time source that asks a network time server by the simple network time protocol.
#pragma once

#include "devext/device/CTimeSourceA.h"
#include "drivers/KsOvra20Api.h"
#include "platform/String.h"

#include <cstdint>

class KSOVRA20_API CTimeSource_SNTP : public CTimeSourceA {
    DECLARE_KEST_CLASS(CTimeSource_SNTP)

    CTimeSource_SNTP();

    // Reads "Server" (a host name or a dotted IPv4 address), then the base keys.
    int32_t OnInitInstance() override;
    // The computer's universal time corrected by the server's offset: 1; 0 when the server
    // gave no answer.
    int GetStandardTime(DYNAMIC_TIME &t) override;

    const CString &GetServer() const { return m_strServer; }
    // The server's port: 123; tests point the source at a server of their own.
    void SetServerPort(uint16_t port) { m_nPort = port; }

private:
    CString m_strServer;
    uint16_t m_nPort;
};
