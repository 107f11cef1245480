#include "SwShareTestKit.h"

#include "Kest20/CDSystem.h"
#include "Kest20/DistributedSystemApi.h"
#include "Kest20/KestApplication.h"
#include "tests/Kest20/FakeSettings.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

IMPLEMENT_KEST_CLASS(CShareTestSwitch, CVideoSwitchA)

namespace swsharetest {

namespace {

// The distributed-system object is made once and never activated: its kernel answers from
// this process's own values, so resolving a name sends nothing. At the end the application
// closes, so that no framework thread outlives the program's statics.
class ProgramEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        void *made = CDSystem::GetClassID()->CreateInstance(nullptr);
        ASSERT_NE(made, nullptr);
        m_pSystem = static_cast<CDSystem *>(static_cast<IClassA *>(made));
        IDSKernel *kernel = glGetDistributedSystemCore();
        ASSERT_NE(kernel, nullptr);
        kernel->SetHostName("127.0.0.1");
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

uint16_t FreeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
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

void ResolveTo(const char *netName, uint16_t port)
{
    IDSKernel *kernel = glGetDistributedSystemCore();
    ASSERT_NE(kernel, nullptr);
    kernel->SetProgName(netName);
    kernel->SetEnvAsInteger("KEST_PORT", port);
}

ActiveDisp::ActiveDisp(const char *name)
{
    {
        FakeSettings settings;
        settings.Set(std::string("/etc/tvx/") + name, "Default Port",
                     std::to_string(FreeUdpPort()));
        disp.InitInstance(nullptr, name);
    }
    disp.ActiveInstance();
}

ActiveDisp::~ActiveDisp()
{
    disp.DeactiveInstance(0);
}

Entries BaseEntries(CVideoSwitchA &sw, int channel)
{
    Entries e;
    sw.CVideoSwitchA::DevQueryPstEntry(channel, e.pst);
    sw.CVideoSwitchA::DevQueryPgmEntry(channel, e.pgm);
    return e;
}

} // namespace swsharetest

bool CShareTestSwitch::Start(const std::string &name)
{
    return InitInstance(("/etc/tvx/" + name).c_str(), name.c_str()) == 1 && ActiveInstance() == 1;
}

int CShareTestSwitch::DevOpen()
{
    ++opens;
    isOpen = !failOpen;
    return isOpen ? 1 : 0;
}

int CShareTestSwitch::DevClose()
{
    ++closes;
    isOpen = false;
    return 1;
}

int CShareTestSwitch::DevTest(const char *)
{
    if (testFailures <= 0) return 1;
    --testFailures;
    SetDevStatus(DEVSTATUS_RUN_FAILED, "member down");
    return 0;
}

int CShareTestSwitch::DevDirectTake(int channel, int entry)
{
    return Took([&] { return CVideoSwitchA::DevDirectTake(channel, entry); });
}

int CShareTestSwitch::DevTake(int channel)
{
    return Took([&] { return CVideoSwitchA::DevTake(channel); });
}

int CShareTestSwitch::DevPreset(int channel, int entry)
{
    return Took([&] { return CVideoSwitchA::DevPreset(channel, entry); });
}
