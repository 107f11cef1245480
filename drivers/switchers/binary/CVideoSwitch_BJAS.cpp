#include "drivers/switchers/binary/CVideoSwitch_BJAS.h"

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
    : CVideoSwitchSerial({.typeId = "LVSWITCH_MCS_BJAS",
                          .description = kDescription,
                          .sources = 16,
                          .channels = 2})
{
}

int32_t CVideoSwitch_BJAS::ReadKeys(CResAccess &setting)
{
    m_nPresetOutput = OneBased(setting["PST"].GetAsInteger(kNone));
    m_nProgramOutput = OneBased(setting["PGM"].GetAsInteger(0));
    return 1;
}

int CVideoSwitch_BJAS::SendRoute(CSerialIO_BJAS &port, int channel, int entry)
{
    return port.SendRoute(channel, entry);
}

int CVideoSwitch_BJAS::DevPreset(int, int entry)
{
    if (!Activate()) return 0;
    const int output = m_nPresetOutput;
    if (output > 1 && output != m_nProgramOutput) m_Serial.SendRoute(output, entry);
    m_nPresetEntry = entry;
    return 1;
}

int CVideoSwitch_BJAS::SendTake(CSerialIO_BJAS &port, int, int)
{
    const int entry = m_nPresetEntry;
    if (entry < 0) return 0;
    return port.SendRoute(m_nProgramOutput, ClampEntry(entry));
}
