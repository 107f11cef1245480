#include "devext/device/CTimeSource_Net.h"

#include "Kest20/DistributedSystemApi.h"
#include "KestLib20/CResAccess.h"
#include "devext/device/CNetAddress.h"

IMPLEMENT_KEST_CLASS(CTimeSource_Net, CTimeSourceA)

namespace {

// Kernel queries answer from the table as it stands.
constexpr int32_t kTableMode = 1;

} // namespace

CTimeSource_Net::CTimeSource_Net(CClock *clock) : CTimeSourceA(clock) {}

CTimeSource_Net::~CTimeSource_Net()
{
    DeactiveInstance(1);
}

int32_t CTimeSource_Net::OnInitInstance()
{
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_strServer = CResAccess(GetSettingInfo())["Timer Server"].GetAsString(m_strServer);
        m_bReady = 0;
    }
    return CTimeSourceA::OnInitInstance();
}

int CTimeSource_Net::SetTimerServer(const char *server)
{
    std::lock_guard<std::mutex> lk(m_lock);
    return SetTimerServerLocked(server);
}

int CTimeSource_Net::SetTimerServerLocked(const char *server)
{
    m_bReady = 0;
    if (server) m_strServer = server;
    if (!m_strServer.IsEmpty()) {
        if (!m_Url.LoadFromString(m_strServer)) m_Url.host.Empty();
    } else {
        IDSKernel *kernel = glGetDistributedSystemCore();
        if (!kernel) return 0;
        const CString group = CResAccess(GetSettingInfo())["Group"].GetAsString(kDefaultGroup);
        NETPID found[kGroupProcesses];
        int32_t count = kGroupProcesses;
        if (kernel->FindByGrpFilter(kTableMode, group, found, &count) > 0 && count > 0) {
            char host[kMaxHostName + 1] = {};
            kernel->GetHostName(kTableMode, static_cast<int32_t>(found[0].node), host, sizeof host);
            m_Url.host = host;
            m_Url.path = kServerPath;
        }
    }
    if (m_Url.host.IsEmpty()) return 0;
    CNetAddress address;
    if (!address.GetByUrl(m_Url, nullptr)) return 0;
    m_Client.ConnectTo(address);
    m_bReady = 1;
    return 1;
}

int CTimeSource_Net::GetStandardTime(DYNAMIC_TIME &t)
{
    std::lock_guard<std::mutex> lk(m_lock);
    if (!m_bReady) SetTimerServerLocked(nullptr);
    if (!m_bReady) return 0;
    int64_t time = 0;
    int64_t roundTrip = 0;
    // The first answer warms the path; the second one is taken.
    for (int ask = 0; ask < 2; ++ask)
        if (!m_Client.CMD_GetTimeAsUCFileTime(time, roundTrip)) {
            m_bReady = 0;
            return 0;
        }
    int64_t counter = 0;
    glQueryStdCounter(&counter);
    t.time = time;
    t.counter = counter - kCounterAllowance + roundTrip / -2;
    return 1;
}

bool CTimeSource_Net::IsReady() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_bReady != 0;
}

CString CTimeSource_Net::GetServerText() const
{
    std::lock_guard<std::mutex> lk(m_lock);
    return m_strServer;
}
