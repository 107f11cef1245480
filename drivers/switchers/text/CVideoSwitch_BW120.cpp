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

int CSerialIO_BW120::SendTake(int channel, int entry)
{
    return WriteFrame(swframe::Bw120Command(channel, entry));
}

CVideoSwitch_BW120::CVideoSwitch_BW120()
    : CVideoSwitchSerialA("LVSWITCH_SWITCH_BW120", kDescription, 16, 2)
{
}

int32_t CVideoSwitch_BW120::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    ReadPortKey("COM");
    return 1;
}

int CVideoSwitch_BW120::DevOpen()
{
    return OpenPlain();
}

bool CVideoSwitch_BW120::TakesChannel(int channel) const
{
    return channel >= 1 && channel <= swframe::kBw120Channels && HasChannel(channel);
}

int CVideoSwitch_BW120::DevDirectTake(int channel, int entry)
{
    if (!TakesChannel(channel) || !Activate() || !m_Serial.SendTake(channel, entry)) return 0;
    return CVideoSwitchA::DevDirectTake(channel, entry);
}

int CVideoSwitch_BW120::DevTake(int channel)
{
    if (!TakesChannel(channel) || !Activate()) return 0;
    int preset = 0;
    CVideoSwitchA::DevQueryPstEntry(channel, preset);
    if (!m_Serial.SendTake(channel, preset)) return 0;
    return CVideoSwitchA::DevTake(channel);
}
