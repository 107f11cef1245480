#include "tests/sim/program/NetProgram.h"

#include "Kest20/CDSystem.h"
#include "Kest20/DistributedSystemApi.h"
#include "Kest20/KestApplication.h"
#include "tests/Kest20/FakeSettings.h"
#include "tests/sim/RawUdpProcess.h"

#include <gtest/gtest.h>

#include <string>

namespace kestsim {

namespace {

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

} // namespace kestsim
