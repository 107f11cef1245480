#include "drivers/switchers/binary/CVideoSwitch_Avs300.h"

#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/SwitchEntries.h"
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
    : CVideoSwitchSerial({.typeId = "LVSWITCH_SWITCH_AVS300",
                          .description = kDescription,
                          .sources = 8,
                          .channels = 1,
                          .portKey = "Com",
                          .preset = Preset::Sent,
                          .clampEntry = false})
{
}

int CVideoSwitch_Avs300::SendRoute(CSerialIO_Avs300 &port, int, int entry)
{
    return port.SendEntry(entry, kProgramBus);
}

int CVideoSwitch_Avs300::SendPreset(CSerialIO_Avs300 &port, int, int entry)
{
    return port.SendEntry(entry, kPresetBus);
}

int CVideoSwitch_Avs300::SendTake(CSerialIO_Avs300 &port, int, int)
{
    const int program = swentry::Program(*this, 1);
    if (!port.SendEntry(PresetEntry(1), kProgramBus)) return 0;
    port.SendEntry(program, kPresetBus);
    return 1;
}
