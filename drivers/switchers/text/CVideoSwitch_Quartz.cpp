#include "drivers/switchers/text/CVideoSwitch_Quartz.h"

#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/text/TextSwitchFrames.h"

namespace {

constexpr const char *kDescription = "视频切换(Quartz切换矩阵)";
constexpr int kTries = 3;

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_Quartz, CVideoSwitchA, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_QuartzX, CVideoSwitch_Quartz, kDescription)

CSerialIO_Quartz::CSerialIO_Quartz()
    : CAnsweringSwitchIO({4, 38400, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, nullptr},
                         {.firstTries = kTries, .answeredTries = kTries})
{
}

CSerialIO_Quartz::~CSerialIO_Quartz()
{
    Retire();
}

int CSerialIO_Quartz::SendTake(const std::string &levels, int output, int input)
{
    return Ask(swframe::QuartzTake(levels, output, input));
}

CVideoSwitch_Quartz::CVideoSwitch_Quartz()
    : CVideoSwitchSerial({.typeId = "LVSWITCH_MCS_Quartz",
                          .description = kDescription,
                          .sources = 64,
                          .channels = 64,
                          .portKey = "Com",
                          .open = Open::Own,
                          .preset = Preset::Kept})
{
}

int32_t CVideoSwitch_Quartz::ReadKeys(CResAccess &setting)
{
    m_nProgramOutput = setting["PGM"].GetAsInteger(m_nProgramOutput);
    m_nBypassOutput = setting["ByPass"].GetAsInteger(m_nBypassOutput);
    m_strLevels = static_cast<const char *>(setting["Level"].GetAsString(m_strLevels.c_str()));
    return 1;
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

int CVideoSwitch_Quartz::SendTake(CSerialIO_Quartz &port, int output, int preset)
{
    const int result = port.SendTake(m_strLevels, output, preset);
    FollowBypass(preset);
    return result;
}

CVideoSwitch_QuartzX::CVideoSwitch_QuartzX() = default;
