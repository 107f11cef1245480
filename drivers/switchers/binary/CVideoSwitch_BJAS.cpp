#include "drivers/switchers/binary/CVideoSwitch_BJAS.h"

#include "KestLib20/CResAccess.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/binary/SwitchFrames.h"

namespace {

constexpr const char *kDescription = "视频切换(BJAS切换开关)";
constexpr int kNone = -1;

int OneBased(int output)
{
    return output == kNone ? kNone : output + 1;
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_BJAS, CVideoSwitchA, kDescription)

CSerialIO_BJAS::CSerialIO_BJAS()
    : CSerialSwitchIO({2, 19200, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, nullptr})
{
}

CSerialIO_BJAS::~CSerialIO_BJAS()
{
    Retire();
}

int CSerialIO_BJAS::SendRoute(int output, int input)
{
    return WriteFrame(swframe::BjasFrame(output, input, input));
}

CVideoSwitch_BJAS::CVideoSwitch_BJAS()
    : CVideoSwitchSerialA("LVSWITCH_MCS_BJAS", kDescription, 16, 2)
{
}

int32_t CVideoSwitch_BJAS::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    ReadPortKey("COM");
    CResAccess setting(GetSettingInfo());
    m_nPresetOutput = OneBased(setting["PST"].GetAsInteger(kNone));
    m_nProgramOutput = OneBased(setting["PGM"].GetAsInteger(0));
    return 1;
}

int CVideoSwitch_BJAS::DevOpen()
{
    return OpenPlain();
}

int CVideoSwitch_BJAS::DevDirectTake(int channel, int entry)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    entry = ClampEntry(entry);
    if (!m_Serial.SendRoute(channel, entry)) return 0;
    return CVideoSwitchA::DevDirectTake(channel, entry);
}

int CVideoSwitch_BJAS::DevPreset(int, int entry)
{
    if (!Activate()) return 0;
    const int output = m_nPresetOutput;
    if (output > 1 && output != m_nProgramOutput) m_Serial.SendRoute(output, entry);
    m_nPresetEntry = entry;
    return 1;
}

int CVideoSwitch_BJAS::DevTake(int channel)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    int entry = m_nPresetEntry;
    if (entry < 0) return 0;
    entry = ClampEntry(entry);
    if (!m_Serial.SendRoute(m_nProgramOutput, entry)) return 0;
    return CVideoSwitchA::DevTake(channel);
}
