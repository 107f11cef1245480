#include "drivers/switchers/binary/CVideoSwitch_Network1616.h"

#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/binary/SwitchFrames.h"
#include "platform/Process.h"

namespace {

constexpr const char *kDescription = "视频切换(Network1616切换台)";

void DebugRoute(const char *format, int input, int output)
{
    CString text;
    text.Format(format, input, output);
    plat::OutputDebugString(text);
}

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_Network1616, CVideoSwitchA, kDescription)

CSerialIO_Network1616::CSerialIO_Network1616()
    : CSerialSwitchIO({4, 19200, 8, COM_PARITY_NONE, COM_STOPBITS_ONE, 50, nullptr})
{
}

CSerialIO_Network1616::~CSerialIO_Network1616()
{
    Retire();
}

int CSerialIO_Network1616::SendRoute(int output, int input)
{
    const int o = output - 1, i = input - 1;
    if (o < 0 || o > kMaxWire || i < 0 || i > kMaxWire) return 0;
    return WriteFrame(swframe::Network1616Frame(o, i));
}

CVideoSwitch_Network1616::CVideoSwitch_Network1616()
    : CVideoSwitchSerial({.typeId = "LVSWITCH_MCS_Network1616",
                          .description = kDescription,
                          .sources = 16,
                          .channels = 16,
                          .portKey = "Com",
                          .open = Open::Shared,
                          .isOpenShares = true,
                          .clampEntry = false})
{
}

int32_t CVideoSwitch_Network1616::ReadKeys(CResAccess &setting)
{
    m_nProgram = setting["PGM"].GetAsInteger(m_nProgram);
    m_nPreset = setting["PST"].GetAsInteger(m_nPreset);
    m_bWithPreset = setting["WithPreset"].GetAsBool(m_bWithPreset);
    return 1;
}

int CVideoSwitch_Network1616::SendRoute(CSerialIO_Network1616 &port, int channel, int entry)
{
    return port.SendRoute(channel, entry);
}

int CVideoSwitch_Network1616::Route(int output, int input)
{
    const auto port = SharePort();
    return port ? port->SendRoute(output, input) : 0;
}

int CVideoSwitch_Network1616::DevPreset(int channel, int entry)
{
    if (!Activate()) return 0;
    const int channels = GetChannels();
    if (channel < 1 || channel > channels) return 0;
    DebugRoute("预置 输入:%d  输出:%d", entry, channel);
    CVideoSwitchA::DevPreset(channel, entry);
    if (!m_bWithPreset) return 1;
    const int preset = m_nPreset;
    const bool ownOutput = preset > 0 && preset < channels && preset != m_nProgram;
    return Route(ownOutput ? preset : channel, entry);
}

int CVideoSwitch_Network1616::SendTake(CSerialIO_Network1616 &port, int output, int preset)
{
    DebugRoute("切换 输入:%d  输出:%d", preset, output);
    return port.SendRoute(output, preset);
}
