#include "devext/device/CNetAddress.h"

#include "Kest20/DistributedSystemApi.h"
#include "devext/device/CArgListA.h"
#include "devext/device/CNetClientA.h"
#include "devext/device/CNetDisp.h"
#include "devext/device/NetHost.h"

namespace {

// What resolving asks of the management service of another process.
constexpr uint16_t kManagementService = 2;
constexpr int kManagementTimeout = 1500;
constexpr int kMsgGetDispPort = 0x03;
constexpr int kMsgGetServiceId = 0x13;
constexpr uint16_t kFirstManagementPort = 7000;
constexpr uint16_t kLastManagementPort = 7064;
// The kernel is asked from its table as it stands, without a heartbeat round first.
constexpr int32_t kTableMode = 1;
constexpr int kTextSize = 512;

// The port of the dispatcher named `name` on the host the client is connected to: every
// dispatcher port of the host is asked, and the one process of that name answers.
int AskDispPort(CNetClientA &client, CString name, uint16_t &port)
{
    tagArgItem items[] = {ArgOf(name)};
    CPacket reply;
    if (!client.Ask4Group(kMsgGetDispPort, kFirstManagementPort, kLastManagementPort,
                          CArgListA(items), reply))
        return 0;
    tagArgItem answer[] = {ArgRaw(port)};
    return CArgListA(answer).Unpack(reply);
}

// The mail box id of the service named `name` in the process the client is connected to.
int AskServiceId(CNetClientA &client, CString name, uint16_t &id)
{
    tagArgItem in[] = {ArgOf(name)};
    tagArgItem out[] = {ArgRaw(id)};
    return client.RemoteFunc(kMsgGetServiceId, CArgListA(in), CArgListA(out)) ? 1 : 0;
}

} // namespace

int CNetAddress::GetByName(const char *text, uint16_t *serviceId)
{
    tagURL url;
    if (url.LoadFromString(text)) return GetByUrl(url, serviceId);
    const CNetDisp *disp = CNetDisp::GetProcessDisp();
    m_addr = tagNetAddr{htonl(INADDR_LOOPBACK), static_cast<uint16_t>(disp ? disp->GetPort() : 0)};
    return 0;
}

int CNetAddress::GetByUrl(const tagURL &url, uint16_t *serviceId)
{
    if (!serviceId) return GetByDS(url);
    m_addr = tagNetAddr{};
    if (!CNetDisp::GetProcessDisp()) return 0;
    const uint32_t ip = glGetAddressByName(url.host);
    if (!ip) return 0;
    CNetClientA client(kManagementService);
    client.SetReplyTimeout(kManagementTimeout);
    client.ConnectTo(tagNetAddr{ip, 0});
    uint16_t port = 0;
    if (!AskDispPort(client, url.path, port)) return 0;
    m_addr = tagNetAddr{ip, port};
    client.ConnectTo(m_addr);
    uint16_t id = 0;
    if (AskServiceId(client, url.query, id)) *serviceId = id;
    return 1;
}

int CNetAddress::GetByDS(const tagURL &url)
{
    m_addr = tagNetAddr{};
    IDSKernel *kernel = glGetDistributedSystemCore();
    if (!kernel) return 0;
    int32_t node = 0;
    if (url.host.CompareNoCase("any") != 0) {
        node = kernel->HostNameToNodeID(kTableMode, url.host, nullptr);
        if (!node) return 0;
    }
    const char *keys[] = {"P_NAME", nullptr};
    const char *values[] = {url.path, nullptr};
    NETPID process;
    int32_t count = 1;
    if (kernel->FindProcess(kTableMode, node, &process, &count, keys, values) < 1 || count < 1)
        return 0;
    const int32_t port = kernel->GetKestPort(kTableMode, process);
    const int32_t processNode = static_cast<int32_t>(process.node);
    char host[kTextSize] = {};
    uint32_t ip = 0;
    if (kernel->GetHostName(kTableMode, processNode, host, sizeof host))
        ip = glGetAddressByName(host);
    if (!ip) ip = kernel->GetIP(kTableMode, processNode);
    if (port <= 0 || port > 0xFFFF || !ip) return 0;
    m_addr = tagNetAddr{ip, static_cast<uint16_t>(port)};
    return 1;
}
