#include "drivers/switchers/binary/CVideoSwitch_Avs300.h"

#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/binary/SwitchFrames.h"

namespace {

constexpr const char *kDescription = "视频切换(Avs300切换开关)";
constexpr int kProgramBus = 1;
constexpr int kPresetBus = 0;

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_Avs300, CVideoSwitchA, kDescription)

CSerialIO_Avs300::CSerialIO_Avs300()
    : CSerialSwitchIO(
          {2, 38400, 8, COM_PARITY_ODD, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()})
{
}

CSerialIO_Avs300::~CSerialIO_Avs300()
{
    Retire();
}

int CSerialIO_Avs300::SendEntry(int entry, int bus)
{
    if (!WriteFrame(swframe::Avs300Frame(entry))) return 0;
    (bus == kProgramBus ? m_nProgram : m_nPreset) = entry - 1;
    return 1;
}

CVideoSwitch_Avs300::CVideoSwitch_Avs300()
    : CVideoSwitchSerialA("LVSWITCH_SWITCH_AVS300", kDescription, 8, 1)
{
}

int32_t CVideoSwitch_Avs300::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    ReadPortKey("Com");
    return 1;
}

int CVideoSwitch_Avs300::DevOpen()
{
    return OpenPlain();
}

int CVideoSwitch_Avs300::DevDirectTake(int channel, int entry)
{
    if (!HasChannel(channel) || !Activate() || !m_Serial.SendEntry(entry, kProgramBus)) return 0;
    return CVideoSwitchA::DevDirectTake(channel, entry);
}

int CVideoSwitch_Avs300::DevPreset(int channel, int entry)
{
    if (!HasChannel(channel) || !Activate() || !m_Serial.SendEntry(entry, kPresetBus)) return 0;
    return CVideoSwitchA::DevPreset(channel, entry);
}

int CVideoSwitch_Avs300::DevTake(int channel)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    int preset = 0, program = 0;
    CVideoSwitchA::DevQueryPstEntry(1, preset);
    CVideoSwitchA::DevQueryPgmEntry(1, program);
    if (!m_Serial.SendEntry(preset, kProgramBus)) return 0;
    m_Serial.SendEntry(program, kPresetBus);
    return CVideoSwitchA::DevTake(channel);
}
