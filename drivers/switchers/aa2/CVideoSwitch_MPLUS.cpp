#include "drivers/switchers/aa2/CVideoSwitch_MPLUS.h"

#include "devext/device/DeviceDescription.h"

#include <algorithm>

namespace {

constexpr const char *kDescription = "视频切换(MPLUS切换矩阵)";
constexpr int kSources = 16;
constexpr int kChannels = 16;

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_MPLUS_O, CVideoSwitchA, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_MPLUS, CVideoSwitchA, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_VRS1620, CVideoSwitchA, kDescription)

// The devices' type id is the base's: the models have none of their own.
CVideoSwitchAa2A::CVideoSwitchAa2A()
    : CSwitchRoutes({.typeId = kUnknownType,
                     .description = kDescription,
                     .sources = kSources,
                     .channels = kChannels})
{
}

int CVideoSwitchAa2A::DevOpen()
{
    CAa2SerialIO &serial = Protocol();
    if (serial.DevIsOpen()) return 1;
    if (!serial.Reopen(serial.GetPortNumber())) return 0;
    SetDevStatus(DEVSTATUS_NORMAL);
    return 1;
}

int CVideoSwitchAa2A::SendRoute(CAa2SerialIO &port, int channel, int entry)
{
    return port.SendSwitch(entry - 1, channel - 1);
}

int CVideoSwitchAa2A::QueryChannel(int channel, int &entry)
{
    if (!Activate()) return 0;
    int input = -1;
    if (!Protocol().QueryOutput(channel - 1, input) || input < 0) {
        entry = -1;
        return CVideoSwitchA::DevQueryPgmEntry(channel, entry);
    }
    entry = input + 1;
    CVideoSwitchA::DevDirectTake(channel, entry);
    return 1;
}

int32_t CVideoSwitchMplusA::OnInitInstance()
{
    const int outputs = GetChannels();
    if (!CVideoSwitchAa2A::OnInitInstance()) return 0;
    // "Channel" is the fixed output here, not the channel count the base reads it as: the
    // matrix keeps its outputs, and the fixed one among them.
    SetMatrix(GetSources(), std::max(outputs, m_nChannel));
    return 1;
}

int32_t CVideoSwitchMplusA::ReadKeys(CResAccess &setting)
{
    m_nChannel = setting["Channel"].GetAsInteger(m_nChannel);
    return 1;
}

int CVideoSwitchMplusA::DevPreset(int channel, int entry)
{
    if (!Activate()) return 0;
    return CVideoSwitchA::DevPreset(Channel(channel), ClampEntry(entry));
}

int CVideoSwitchMplusA::DevTake(int channel)
{
    const int c = Channel(channel);
    if (!HasChannel(c) || !Activate()) return 0;
    return Protocol().SendSwitch(PresetEntry(c) - 1, c - 1) ? CVideoSwitchA::DevTake(c) : 0;
}

int CVideoSwitchMplusA::DevQueryPgmEntry(int channel, int &entry)
{
    return QueryChannel(Channel(channel), entry);
}

int32_t CVideoSwitch_VRS1620::ReadKeys(CResAccess &setting)
{
    m_nPresetOutput = setting["PST"].GetAsInteger(m_nPresetOutput);
    m_nProgramOutput = setting["PGM"].GetAsInteger(m_nProgramOutput);
    return 1;
}

int CVideoSwitch_VRS1620::DevDirectTake(int channel, int entry)
{
    if (!Activate()) return 0;
    entry = ClampEntry(entry);
    channel = std::clamp(channel, 1, std::max(1, GetChannels()));
    return m_Serial.SendSwitch(entry - 1, channel - 1)
               ? CVideoSwitchA::DevDirectTake(channel, entry)
               : 0;
}

int CVideoSwitch_VRS1620::DevPreset(int channel, int entry)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    entry = ClampEntry(entry);
    if (m_nPresetOutput >= 0 && m_nPresetOutput != m_nProgramOutput)
        m_Serial.SendSwitch(entry - 1, m_nPresetOutput);
    return CVideoSwitchA::DevPreset(channel, entry);
}

int CVideoSwitch_VRS1620::SendTake(CAa2SerialIO &port, int, int preset)
{
    return port.SendSwitch(preset - 1, m_nProgramOutput);
}

int CVideoSwitch_VRS1620::DevQueryPgmEntry(int channel, int &entry)
{
    return QueryChannel(channel, entry);
}
