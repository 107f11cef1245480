#include "drivers/switchers/text/CVideoSwitch_Quartz.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/text/TextSwitchFrames.h"

namespace {

constexpr const char *kDescription = "视频切换(Quartz切换矩阵)";
constexpr int kTries = 3;

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_Quartz, CVideoSwitchA, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_QuartzX, CVideoSwitch_Quartz, kDescription)

CSerialIO_Quartz::CSerialIO_Quartz()
    : CSerialSwitchIO({4, 38400, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, nullptr}, kTries, kTries)
{
}

CSerialIO_Quartz::~CSerialIO_Quartz()
{
    Retire();
}

int CSerialIO_Quartz::SendTake(const std::string &levels, int output, int input)
{
    return SendRequest(swframe::QuartzTake(levels, output, input));
}

int CSerialIO_Quartz::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length < 1) return 0;
    SignalReply();
    return 1;
}

CVideoSwitch_Quartz::CVideoSwitch_Quartz()
    : CVideoSwitchSerialA("LVSWITCH_MCS_Quartz", kDescription, 64, 64)
{
}

int32_t CVideoSwitch_Quartz::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    ReadPortKey("Com");
    CResAccess setting(GetSettingInfo());
    m_nProgramOutput = setting["PGM"].GetAsInteger(m_nProgramOutput);
    m_nBypassOutput = setting["ByPass"].GetAsInteger(m_nBypassOutput);
    m_strLevels = static_cast<const char *>(setting["Level"].GetAsString(m_strLevels.c_str()));
    return 1;
}

int CVideoSwitch_Quartz::DevOpen()
{
    if (m_Serial.DevIsOpen()) return 1;
    m_Serial.DevOpen();
    const bool open = m_Serial.DevIsOpen();
    SetDevStatus(open ? DEVSTATUS_NORMAL : DEVSTATUS_COM_OPEN_FAILED);
    return open ? 1 : 0;
}

int CVideoSwitch_Quartz::DevClose()
{
    return 1;
}

void CVideoSwitch_Quartz::FollowBypass(int input)
{
    if (m_nBypassOutput >= 0 && m_nBypassOutput != m_nProgramOutput)
        m_Serial.SendTake(m_strLevels, m_nBypassOutput, input);
}

int CVideoSwitch_Quartz::DevDirectTake(int channel, int entry)
{
    if (!Activate()) return 0;
    entry = ClampEntry(entry);
    const int output = Output(channel);
    if (!HasChannel(output)) return 0;
    int result = m_Serial.SendTake(m_strLevels, output, entry);
    if (result) result = CVideoSwitchA::DevDirectTake(output, entry);
    FollowBypass(entry);
    return result;
}

int CVideoSwitch_Quartz::DevPreset(int channel, int entry)
{
    if (!Activate()) return 0;
    return CVideoSwitchA::DevPreset(channel, ClampEntry(entry));
}

int CVideoSwitch_Quartz::DevTake(int channel)
{
    if (!Activate()) return 0;
    int preset = 0;
    CVideoSwitchA::DevQueryPstEntry(channel, preset);
    const int output = Output(channel);
    if (!HasChannel(output)) return 0;
    int result = m_Serial.SendTake(m_strLevels, output, preset);
    if (result) result = CVideoSwitchA::DevTake(output);
    FollowBypass(preset);
    return result;
}

CVideoSwitch_QuartzX::CVideoSwitch_QuartzX() = default;
