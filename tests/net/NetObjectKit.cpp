#include "NetObjectKit.h"

#include "Kest20/CDSystem.h"
#include "Kest20/DistributedSystemApi.h"
#include "Kest20/KestApplication.h"
#include "tests/Kest20/FakeSettings.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nettest {

namespace {

class ProgramEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        void *made = CDSystem::GetClassID()->CreateInstance(nullptr);
        ASSERT_NE(made, nullptr);
        m_pSystem = static_cast<CDSystem *>(static_cast<IClassA *>(made));
        ASSERT_NE(glGetDistributedSystemCore(), nullptr);
        glGetDistributedSystemCore()->SetHostName("127.0.0.1");
    }
    void TearDown() override
    {
        if (m_pSystem) m_pSystem->Suicide();
        CloseApplication(0);
    }

private:
    CDSystem *m_pSystem = nullptr;
};

[[maybe_unused]] ::testing::Environment *const g_program =
    ::testing::AddGlobalTestEnvironment(new ProgramEnvironment);

} // namespace

uint16_t FreePort(int type)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof sa;
    uint16_t port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &length) == 0)
        port = ntohs(sa.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

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
