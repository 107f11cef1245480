#include "drivers/switchers/binary/CVideoSwitch_APS1602.h"

#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/binary/SwitchFrames.h"

namespace {

constexpr const char *kDescription = "视频切换(APS1602切换开关)";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_APS1602, CVideoSwitchA, kDescription)

CSerialIO_APS1602::CSerialIO_APS1602()
    : CAnsweringSwitchIO(
          {4, 9600, 8, COM_PARITY_ODD, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()})
{
}

CSerialIO_APS1602::~CSerialIO_APS1602()
{
    Retire();
}

int CSerialIO_APS1602::Send(const std::vector<uint8_t> &frame)
{
    return Ask(frame);
}

std::optional<CSerialIO::ReplyCheck>
CSerialIO_APS1602::Read(const std::vector<swframe::Aps1602Verdict> &verdicts)
{
    for (const auto &verdict : verdicts) {
        if (verdict.program >= 0) m_nProgram = verdict.program;
        if (verdict.preset >= 0) m_nPreset = verdict.preset;
    }
    return verdicts.back().ok ? ReplyCheck::Accept : ReplyCheck::Refuse;
}

// The device's type id is the base's: the model has none of its own.
CVideoSwitch_APS1602::CVideoSwitch_APS1602()
    : CVideoSwitchSerial({.typeId = kUnknownType,
                          .description = kDescription,
                          .sources = 16,
                          .channels = 1,
                          .open = Open::Shared,
                          .preset = Preset::Sent})
{
}

bool CVideoSwitch_APS1602::CheckDevice()
{
    return m_Serial.Send(swframe::Aps1602PresetQuery());
}

int CVideoSwitch_APS1602::SendRoute(CSerialIO_APS1602 &port, int, int entry)
{
    return port.Send(swframe::Aps1602Take(entry - 1));
}

int CVideoSwitch_APS1602::SendPreset(CSerialIO_APS1602 &port, int, int entry)
{
    return port.Send(swframe::Aps1602Preset(entry - 1));
}

int CVideoSwitch_APS1602::DevQueryPgmEntry(int channel, int &entry)
{
    const auto port = ReadyPort();
    if (!port) return 0;
    if (!port->Send(swframe::Aps1602ProgramQuery())) {
        entry = -1;
        return CVideoSwitchA::DevQueryPgmEntry(channel, entry);
    }
    entry = port->GetProgramSource() + 1;
    return 1;
}
