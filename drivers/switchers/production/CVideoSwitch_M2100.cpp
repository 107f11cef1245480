#include "drivers/switchers/production/CVideoSwitch_M2100.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"

#include <algorithm>

namespace {

constexpr const char *kDescription = "视频切换(M2100切换台)";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_M2100, CVideoSwitchA, kDescription)

CVideoSwitch_M2100::CVideoSwitch_M2100() : CVideoSwitchA("LVSWITCH_MCS_M2100")
{
    m_strDescription = kDescription;
    SetMatrix(32, 1);
}

int32_t CVideoSwitch_M2100::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    CResAccess setting(GetSettingInfo());
    const int32_t port = setting["Com"].GetAsInteger(m_nPort);
    if (port >= 0 && port <= UINT16_MAX) m_nPort = static_cast<uint16_t>(port);
    m_bContinuous = setting["Continuous"].GetAsBool(m_bContinuous);
    m_bRetCheck = setting["RetCheck"].GetAsBool(m_bRetCheck);
    m_bTakeDirect = setting["TakeMode_Direct"].GetAsBool(m_bTakeDirect);
    m_bSetTransType = setting["SetTransType"].GetAsBool(m_bSetTransType);
    m_bSetTransRate = setting["SetTransRate"].GetAsBool(m_bSetTransRate);
    return 1;
}

int CVideoSwitch_M2100::DevOpen()
{
    if (IsVirtual()) return CVideoSwitchA::DevOpen();
    SetDevStatus(m_link.Open(m_nPort, m_bContinuous, m_bRetCheck));
    return 1;
}

int CVideoSwitch_M2100::DevClose()
{
    if (IsVirtual()) return CVideoSwitchA::DevClose();
    m_link.Release();
    return 1;
}

int CVideoSwitch_M2100::DevIsOpen()
{
    if (IsVirtual()) return CVideoSwitchA::DevIsOpen();
    return m_link.Connected();
}

std::shared_ptr<CM2100Control> CVideoSwitch_M2100::Ready()
{
    DevOpen();
    if (!DevIsOpen()) return nullptr;
    return m_link.Get();
}

int CVideoSwitch_M2100::DevTest(const char *argument)
{
    if (IsVirtual()) return CVideoSwitchA::DevTest(argument);
    SetDevStatus(DEVSTATUS_NORMAL);
    DevOpen();
    const auto control = m_link.Get();
    int status = 0;
    if (!control || !control->QueryStatus(status)) {
        SetDevStatus(DEVSTATUS_RUN_FAILED);
        return 0;
    }
    if (status == 0 && m_bRetCheck) {
        SetDevStatus(DEVSTATUS_RUN_FAILED, "Device Locked");
        return 0;
    }
    // The open's check may have answered from a refusal of just before: the switcher has
    // answered now.
    SetDevStatus(DEVSTATUS_NORMAL);
    return 1;
}

int CVideoSwitch_M2100::DevSetTransType(int type)
{
    if (IsVirtual()) return CVideoSwitchA::DevSetTransType(type);
    if (!m_bSetTransType) return 1;
    const auto control = Ready();
    const int code = type >= 2 && type <= 5 ? type : 1;
    if (!control || !control->SetTransType(code)) return 0;
    return CVideoSwitchA::DevSetTransType(type);
}

int CVideoSwitch_M2100::DevSetTransRate(int rate)
{
    if (IsVirtual()) return CVideoSwitchA::DevSetTransRate(rate);
    if (!m_bSetTransRate) return 1;
    const auto control = Ready();
    const int code = rate == 2 ? 2 : rate == 3 ? 1 : 3;
    if (!control || !control->SetTransRate(code, 0)) return 0;
    return CVideoSwitchA::DevSetTransRate(rate);
}

// A take or preset on a channel the base does not keep is refused before anything is sent.
bool CVideoSwitch_M2100::HasChannel(int channel) const
{
    return channel >= 0 && channel <= GetChannels();
}

int CVideoSwitch_M2100::DevDirectTake(int channel, int entry)
{
    if (!HasChannel(channel)) return 0;
    entry = std::clamp(entry, 1, std::max(1, GetSources()));
    if (IsVirtual()) return CVideoSwitchA::DevDirectTake(channel, entry);
    const auto control = Ready();
    if (!control || !control->SelectSource(BusOf(channel), entry, 0)) return 0;
    return CVideoSwitchA::DevDirectTake(channel, entry);
}

int CVideoSwitch_M2100::DevPreset(int channel, int entry)
{
    if (!HasChannel(channel)) return 0;
    entry = std::clamp(entry, 1, std::max(1, GetSources()));
    if (IsVirtual()) return CVideoSwitchA::DevPreset(channel, entry);
    const auto control = Ready();
    if (!control || !control->Command01(1) || !control->SelectSource(kOtherBus, entry, 0)) return 0;
    return CVideoSwitchA::DevPreset(channel, entry);
}

int CVideoSwitch_M2100::DevTake(int channel)
{
    channel = std::clamp(channel, 1, std::max(1, GetChannels()));
    if (IsVirtual()) return CVideoSwitchA::DevTake(channel);
    const auto control = Ready();
    if (!control) return 0;
    int preset = 0;
    CVideoSwitchA::DevQueryPstEntry(channel, preset);
    const int ok =
        m_bTakeDirect ? control->SelectSource(BusOf(channel), preset, 0) : control->Take();
    return ok ? CVideoSwitchA::DevTake(channel) : 0;
}

int CVideoSwitch_M2100::DevQueryPgmEntry(int, int &entry)
{
    return CVideoSwitchA::DevQueryPgmEntry(1, entry);
}

int CVideoSwitch_M2100::DevQueryPstEntry(int, int &entry)
{
    return CVideoSwitchA::DevQueryPstEntry(1, entry);
}
