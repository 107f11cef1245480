#include "drivers/switchers/production/CVideoSwitch_M2100.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/SwitchEntries.h"
#include "drivers/switchers/SwitchLineOpen.h"

#include <algorithm>

namespace {

constexpr const char *kDescription = "视频切换(M2100切换台)";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_M2100, CVideoSwitchA, kDescription)

CVideoSwitch_M2100::CVideoSwitch_M2100()
    : CSwitchVirtualGuard({.openAsDevice = true, .holdToMatrix = true})
{
}

CVideoSwitchM2100A::CVideoSwitchM2100A() : CVideoSwitchA("LVSWITCH_MCS_M2100")
{
    m_strDescription = kDescription;
    SetMatrix(32, 1);
}

int32_t CVideoSwitchM2100A::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    m_nPort = swline::ReadPortNumber(GetSettingInfo(), "Com", m_nPort);
    CResAccess setting(GetSettingInfo());
    m_bContinuous = setting["Continuous"].GetAsBool(m_bContinuous);
    m_bRetCheck = setting["RetCheck"].GetAsBool(m_bRetCheck);
    m_bTakeDirect = setting["TakeMode_Direct"].GetAsBool(m_bTakeDirect);
    m_bSetTransType = setting["SetTransType"].GetAsBool(m_bSetTransType);
    m_bSetTransRate = setting["SetTransRate"].GetAsBool(m_bSetTransRate);
    return 1;
}

int CVideoSwitchM2100A::DevOpen()
{
    SetDevStatus(m_link.Open(m_nPort, m_bContinuous, m_bRetCheck));
    return 1;
}

int CVideoSwitchM2100A::DevClose()
{
    m_link.Release();
    return 1;
}

int CVideoSwitchM2100A::DevIsOpen()
{
    return m_link.Connected();
}

std::shared_ptr<CM2100Control> CVideoSwitchM2100A::Ready()
{
    DevOpen();
    if (!DevIsOpen()) return nullptr;
    return m_link.Get();
}

int CVideoSwitchM2100A::DevTest(const char *)
{
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

int CVideoSwitchM2100A::DevSetTransType(int type)
{
    if (!m_bSetTransType) return 1;
    const auto control = Ready();
    const int code = type >= 2 && type <= 5 ? type : 1;
    if (!control || !control->SetTransType(code)) return 0;
    return CVideoSwitchA::DevSetTransType(type);
}

int CVideoSwitchM2100A::DevSetTransRate(int rate)
{
    if (!m_bSetTransRate) return 1;
    const auto control = Ready();
    const int code = rate == 2 ? 2 : rate == 3 ? 1 : 3;
    if (!control || !control->SetTransRate(code, 0)) return 0;
    return CVideoSwitchA::DevSetTransRate(rate);
}

// A take or preset on a channel the base does not keep is refused before anything is sent.
bool CVideoSwitchM2100A::HasChannel(int channel) const
{
    return channel >= 0 && channel <= GetChannels();
}

int CVideoSwitchM2100A::DevDirectTake(int channel, int entry)
{
    if (!HasChannel(channel)) return 0;
    entry = std::clamp(entry, 1, std::max(1, GetSources()));
    const auto control = Ready();
    if (!control || !control->SelectSource(BusOf(channel), entry, 0)) return 0;
    return CVideoSwitchA::DevDirectTake(channel, entry);
}

int CVideoSwitchM2100A::DevPreset(int channel, int entry)
{
    if (!HasChannel(channel)) return 0;
    entry = std::clamp(entry, 1, std::max(1, GetSources()));
    const auto control = Ready();
    if (!control || !control->Command01(1) || !control->SelectSource(kOtherBus, entry, 0)) return 0;
    return CVideoSwitchA::DevPreset(channel, entry);
}

int CVideoSwitchM2100A::DevTake(int channel)
{
    channel = std::clamp(channel, 1, std::max(1, GetChannels()));
    const auto control = Ready();
    if (!control) return 0;
    const int preset = swentry::Preset(*this, channel);
    const int ok =
        m_bTakeDirect ? control->SelectSource(BusOf(channel), preset, 0) : control->Take();
    return ok ? CVideoSwitchA::DevTake(channel) : 0;
}

int CVideoSwitchM2100A::DevQueryPgmEntry(int, int &entry)
{
    return CVideoSwitchA::DevQueryPgmEntry(1, entry);
}

int CVideoSwitchM2100A::DevQueryPstEntry(int, int &entry)
{
    return CVideoSwitchA::DevQueryPstEntry(1, entry);
}
