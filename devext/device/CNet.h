// The network object of a process, started by naming "Net" in the framework's start list:
// the process's packet dispatcher, the management service on service id 2 and, when
// "Http.Port" is above 10, a TCP server that hands each connection to an HTTP shell. Its
// setting ("/etc/tvx/Network" by default) holds the dispatcher's keys ("Net Name",
// "Default Port") beside "Http.Port" and "Http.Users".
#pragma once

#include "Kest20/ClassA.h"
#include "devext/Devext20Api.h"
#include "devext/device/CNetDisp.h"
#include "devext/device/CServer_NetService.h"
#include "devext/device/CTcpServer.h"

#include <cstdint>
#include <memory>

class DEVEXT20_API CNet : public CKestnut {
    DECLARE_KEST_CLASS(CNet)

    static constexpr const char *kInstanceName = "Network";
    // The port the TCP server is made for; the setting always replaces it.
    static constexpr int kDefaultHttpPort = 8000;
    // "Http.Port" at or below this leaves the TCP server off.
    static constexpr int kLowestHttpPort = 10;

    CNet();
    // Deactivates: the TCP server, the service and the dispatcher stop.
    ~CNet() override;
    CNet(const CNet &) = delete;
    CNet &operator=(const CNet &) = delete;

    // Initialises the dispatcher (0 when that fails), reads "Http.Port" and "Http.Users",
    // initialises the management service; 1.
    int32_t OnInitInstance() override;
    // Activates the service and the dispatcher; with an HTTP port (re)starts the TCP server
    // and publishes the port as "HTTP" to the distributed-system kernel. The dispatcher's
    // result.
    int32_t OnActiveInstance() override;
    // Stops the TCP server, deactivates the service, then the dispatcher: the dispatcher's
    // result.
    int32_t OnDeactiveInstance() override;

    CNetDisp &GetNetDisp() { return m_Disp; }
    CServer_NetService &GetNetService() { return m_Service; }
    // 0 when no TCP server is configured.
    int GetHttpPort() const { return m_nHttpPort; }
    int GetHttpUsers() const { return m_HttpServer->GetUserCount(); }
    bool IsHttpRunning() const { return m_HttpServer->IsRunning(); }

private:
    CNetDisp m_Disp;
    CServer_NetService m_Service;
    std::unique_ptr<CTcpServer> m_HttpServer; // made anew for the configured port
    int m_nHttpPort = kDefaultHttpPort;
};
