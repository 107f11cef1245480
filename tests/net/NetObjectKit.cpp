#include "NetObjectKit.h"

#include "tests/Kest20/FakeSettings.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace nettest {

ActiveNet::ActiveNet(const Keys &keys)
{
    {
        FakeSettings settings;
        settings.Set("/etc/tvx/Network", "Net Name", kNetName);
        settings.Set("/etc/tvx/Network", "Default Port", std::to_string(FreePort(SOCK_DGRAM)));
        for (const auto &[key, value] : keys) settings.Set("/etc/tvx/Network", key, value);
        EXPECT_EQ(net.InitInstance(nullptr, nullptr), 1);
    }
    EXPECT_EQ(net.ActiveInstance(), 1);
}

ActiveNet::~ActiveNet()
{
    net.DeactiveInstance(0);
}

tagNetAddr ActiveNet::Addr()
{
    return tagNetAddr{htonl(INADDR_LOOPBACK), static_cast<uint16_t>(net.GetNetDisp().GetPort())};
}

} // namespace nettest
