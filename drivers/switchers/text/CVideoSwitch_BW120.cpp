#include "drivers/switchers/text/CVideoSwitch_BW120.h"

#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/text/TextSwitchFrames.h"

namespace {

constexpr const char *kDescription = "视频切换(BW120切换开关)";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_BW120, CVideoSwitchA, kDescription)

CSerialIO_BW120::CSerialIO_BW120()
    : CSerialSwitchIO({2, 9600, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, nullptr})
{
}

CSerialIO_BW120::~CSerialIO_BW120()
{
    Retire();
}

CVideoSwitch_BW120::CVideoSwitch_BW120()
    : CVideoSwitchSerial({.typeId = "LVSWITCH_SWITCH_BW120",
                          .description = kDescription,
                          .sources = 16,
                          .channels = 2,
                          .clampEntry = false})
{
}

bool CVideoSwitch_BW120::TakesChannel(int channel) const
{
    return channel >= 1 && channel <= swframe::kBw120Channels && HasChannel(channel);
}

int CVideoSwitch_BW120::SendRoute(CSerialIO_BW120 &port, int channel, int entry)
{
    return port.WriteFrame(swframe::Bw120Command(channel, entry));
}
