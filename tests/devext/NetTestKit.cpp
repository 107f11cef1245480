#include "NetTestKit.h"

#include "tests/Kest20/FakeSettings.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <vector>

namespace nettest {

uint16_t FreeUdpPort()
{
    uint16_t port = 0;
    loopback::UdpSocket(&port);
    return port;
}

tagNetAddr Loopback(uint16_t port)
{
    return tagNetAddr{loopback::LoopbackIp(), port};
}

ActiveDisp::ActiveDisp(const char *name, uint16_t port, const char *netName)
{
    {
        FakeSettings settings;
        const std::string path = std::string("/etc/tvx/") + name;
        settings.Set(path, "Default Port", std::to_string(port));
        if (netName) settings.Set(path, "Net Name", netName);
        disp.InitInstance(nullptr, name);
    }
    disp.ActiveInstance();
}

ActiveDisp::~ActiveDisp()
{
    disp.DeactiveInstance(0);
}

std::string ReceiveDatagram(int fd, int timeoutMs)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) != 1) return {};
    std::vector<char> buffer(65536);
    const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
    return n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : std::string();
}

std::string BytesOf(const CPacket &packet)
{
    const CPacketData *data = packet.Peek();
    if (!data) return {};
    return std::string(reinterpret_cast<const char *>(data->GetHead()),
                       static_cast<size_t>(data->GetHeadSize() + data->GetDataSize()));
}

std::string DataOf(const CPacket &packet)
{
    const CPacketData *data = packet.Peek();
    if (!data) return {};
    return std::string(reinterpret_cast<const char *>(data->GetData()),
                       static_cast<size_t>(data->GetDataSize()));
}

} // namespace nettest
