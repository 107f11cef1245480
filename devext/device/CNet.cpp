#include "devext/device/CNet.h"

#include "Kest20/DistributedSystemApi.h"
#include "KestLib20/CResAccess.h"
#include "devext/services/CHttpShell.h"

#include <cstdlib>
#include <new>

IMPLEMENT_KEST_CLASS(CNet, CKestnut)

namespace {

constexpr int kHighestPort = 0xFFFF;

CTcpSession *MakeHttpShell(void *, SOCKET s)
{
    return new (std::nothrow) CHttpShell(s);
}

// "Http.Port": a decimal text; a port the server cannot listen on leaves it off.
int ReadHttpPort(const CString &text)
{
    const long port = text.IsEmpty() ? 0 : std::strtol(text, nullptr, 10);
    return port > CNet::kLowestHttpPort && port <= kHighestPort ? static_cast<int>(port) : 0;
}

} // namespace

CNet::CNet() : m_HttpServer(std::make_unique<CTcpServer>(kDefaultHttpPort))
{
    SetInstanceName(kInstanceName);
}

CNet::~CNet()
{
    DeactiveInstance(1);
}

int32_t CNet::OnInitInstance()
{
    if (!m_Disp.InitInstance(GetSettingInfo(), nullptr)) return 0;
    CResAccess setting(GetSettingInfo());
    m_nHttpPort = ReadHttpPort(setting["Http.Port"].GetAsString(""));
    m_HttpServer = std::make_unique<CTcpServer>(m_nHttpPort);
    m_HttpServer->SetUserCount(setting["Http.Users"].GetAsInteger(1));
    m_HttpServer->SetSessionFactory(&MakeHttpShell, nullptr);
    m_Service.InitInstance(nullptr, nullptr);
    return 1;
}

int32_t CNet::OnActiveInstance()
{
    m_Service.ActiveInstance();
    const int32_t result = m_Disp.ActiveInstance();
    if (m_nHttpPort) {
        m_HttpServer->Stop();
        IDSKernel *kernel = m_HttpServer->Start() ? glGetDistributedSystemCore() : nullptr;
        if (kernel) kernel->SetEnvAsInteger("HTTP", m_nHttpPort);
    }
    return result;
}

int32_t CNet::OnDeactiveInstance()
{
    m_HttpServer->Stop();
    m_Service.DeactiveInstance(0);
    return m_Disp.DeactiveInstance(0);
}
