#include "Kest20/CDSystem.h"

#include "Kest20/DistributedSystemApi.h"
#include "Kest20/KestLog.h"
#include "KestLib20/CDSKernel.h"
#include "KestLib20/CDsInfoAccess.h"
#include "KestLib20/CDsNetMsg.h"
#include "KestLib20/CNetMsgServer.h"
#include "KestLib20/CResAccess.h"
#include "KestLib20/CWinntSystem.h"
#include "platform/Gbk.h"
#include "platform/Process.h"

#include <string>

namespace {

constexpr size_t kHostNameMax = 128;

// Hands the kernel's messages on to the distributed-system object.
class CDSystemNetMsg : public CDsNetMsg {
public:
    CDSystemNetMsg(IDSKernel *kernel, CDSystem &owner) : CDsNetMsg(kernel), m_owner(owner) {}
    ~CDSystemNetMsg() override { Unregister(); }

    int32_t OnRecvNetMsg(tagNetMsgHeader &header, const char **arguments) override
    {
        return m_owner.OnRecvNetMsg(header, arguments);
    }

private:
    CDSystem &m_owner;
};

CString ProgramName()
{
    return CWinntSystem::GetProgramName();
}

} // namespace

struct CDSystem::_Impl {
    explicit _Impl(CDSystem &owner) : netMsg(&kernel, owner) {}

    CDSKernel kernel{DistributedSystemSlot()};
    CDSystemNetMsg netMsg;
    CDsInfoAccess info;
};

IMPLEMENT_KEST_CLASS(CDSystem, CKestnut)

CDSystem::CDSystem() : m_pImpl(std::make_unique<_Impl>(*this))
{
    SetInstanceName("DSystem");
    SetSettingInfo("/etc/tvx/DSystem");
    m_pImpl->info.Set(m_pImpl->kernel.GetActivePtr());
    m_pImpl->info.Mount("/etc/net");
    // Messages arrive on the kernel's thread at any time: only now is there an object to
    // take them.
    m_pImpl->netMsg.Register();
}

CDSystem::~CDSystem()
{
    m_pImpl->netMsg.Unregister();
}

int32_t CDSystem::OnActiveInstance()
{
    IDSKernel &kernel = m_pImpl->kernel;
    kernel.GetNetMsgServ()->Start();

    CResAccess setting(GetSettingInfo());
    CStringArray groups;
    setting["Group"].GetAsStringArray(groups);
    for (const CString &group : groups) kernel.EnterGrp(group, 0);
    const CString program = ProgramName();
    kernel.EnterGrp("Kest", 0);
    kernel.EnterGrp(program, 1);

    kernel.SetProgName(program);
    kernel.SetProgTitle(setting["Title"].GetAsString(program));
    std::string host;
    if (!plat::GetHostName(&host) || host.empty()) host = "#Kest#";
    host.resize(plat::GbkCutLength(host.c_str(), kHostNameMax));
    kernel.SetHostName(host.c_str());
    return 1;
}

int32_t CDSystem::OnDeactiveInstance()
{
    m_pImpl->kernel.LeaveGrp(nullptr, 1);
    m_pImpl->kernel.Quit();
    return 1;
}

int32_t CDSystem::OnRecvNetMsg(tagNetMsgHeader &, const char **arguments)
{
    if (!arguments || !arguments[0] || !arguments[1]) return 0;
    CString text;
    for (const char **line = arguments + 2; *line; ++line) {
        if (line != arguments + 2) text += '\r';
        text += *line;
    }
    return glReportLog(arguments[1], text, nullptr);
}
