#include "drivers/switchers/sharing/CVideoSwitch_Net.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/CNetAddress.h"
#include "devext/device/DeviceDescription.h"

namespace {

constexpr const char *kTypeId = "LVSWITCH_MCS_NET";
constexpr const char *kDescription = "视频切换(网络切换台)";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_Net, CVideoSwitchA, kDescription)

CVideoSwitch_Net::CVideoSwitch_Net() : CVideoSwitchA(kTypeId)
{
    m_strDescription = kDescription;
    SetMatrix(16, 1);
}

CVideoSwitch_Net::~CVideoSwitch_Net() = default;

int32_t CVideoSwitch_Net::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    {
        std::lock_guard<std::mutex> lk(m_serverLock);
        m_strServer = setting["Server"].GetAsString("");
    }
    m_Client.SetRemoteDevId(setting["Dev"].GetAsString(""));
    m_nPgmChannel = setting["PGM"].GetAsInteger(1);
    m_nPstChannel = setting["PST"].GetAsInteger(2);
    return 1;
}

CString CVideoSwitch_Net::GetServer() const
{
    std::lock_guard<std::mutex> lk(m_serverLock);
    return m_strServer;
}

int CVideoSwitch_Net::DevClose()
{
    m_Client.ConnectTo(tagNetAddr{});
    return 1;
}

int CVideoSwitch_Net::DevOpen()
{
    if (m_Client.GetDestination().port == 0) {
        CNetAddress address;
        if (!address.GetByName(GetServer(), nullptr)) {
            SetDevStatus(DEVSTATUS_NET_FAILED);
            return 0;
        }
        m_Client.ConnectTo(address);
    }
    int channels = 0, sources = 0;
    if (!m_Client.CMD_DevOpen(channels, sources)) {
        m_Client.ConnectTo(tagNetAddr{}); // the next open resolves the server again
        SetDevStatus(DEVSTATUS_RUN_FAILED);
        return 0;
    }
    SetMatrix(sources, channels);
    SetDevStatus(DEVSTATUS_NORMAL, "");
    return 1;
}

int CVideoSwitch_Net::DevIsOpen()
{
    return m_Client.GetDestination().port;
}

int CVideoSwitch_Net::DevTest(const char *)
{
    int entry = 0;
    if (!m_Client.CMD_DevQueryPgmEntry(1, entry)) {
        SetDevStatus(DEVSTATUS_NET_FAILED);
        return 0;
    }
    return 1;
}

int CVideoSwitch_Net::DevSetTransType(int type)
{
    return ActiveInstance() ? m_Client.CMD_DevSetTransType(type) : 0;
}

int CVideoSwitch_Net::DevSetTransRate(int rate)
{
    return ActiveInstance() ? m_Client.CMD_DevSetTransRate(rate) : 0;
}

int CVideoSwitch_Net::DevDirectTake(int channel, int entry)
{
    if (!ActiveInstance()) return 0;
    const int program = m_nPgmChannel;
    return m_Client.CMD_DevDirectTake(program > 0 ? program : channel, entry);
}

int CVideoSwitch_Net::DevPreset(int, int entry)
{
    if (!ActiveInstance()) return 0;
    const int program = m_nPgmChannel, preset = m_nPstChannel;
    const bool own = preset > 0 && preset <= GetChannels() && preset != program;
    return m_Client.CMD_DevPreset(own ? preset : program, entry);
}

int CVideoSwitch_Net::DevTake(int channel)
{
    if (!ActiveInstance()) return 0;
    const int program = m_nPgmChannel;
    return m_Client.CMD_DevTake(program > 0 && program <= GetChannels() ? program : channel);
}

int CVideoSwitch_Net::DevQueryPgmEntry(int channel, int &entry)
{
    CVideoSwitchA::DevQueryPgmEntry(1, entry);
    return m_Client.CMD_DevQueryPgmEntry(channel, entry);
}

int CVideoSwitch_Net::DevQueryPstEntry(int channel, int &entry)
{
    CVideoSwitchA::DevQueryPstEntry(1, entry);
    return m_Client.CMD_DevQueryPstEntry(channel, entry);
}

int CVideoSwitch_Net::DevQueryTransMode(int &type, int &rate)
{
    CVideoSwitchA::DevQueryTransMode(type, rate);
    return ActiveInstance() ? m_Client.CMD_DevQueryTransMode(type, rate) : 0;
}
