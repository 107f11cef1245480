#include "drivers/switchers/binary/CVideoSwitch_APS1602.h"

#include "devext/device/CSerial_M422.h"
#include "devext/device/DeviceDescription.h"
#include "drivers/switchers/binary/SwitchFrames.h"

namespace {

constexpr const char *kDescription = "视频切换(APS1602切换开关)";

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_APS1602, CVideoSwitchA, kDescription)

CSerialIO_APS1602::CSerialIO_APS1602()
    : CSerialSwitchIO(
          {4, 9600, 8, COM_PARITY_ODD, COM_STOPBITS_ONE, 50, CSerial_M422::GetClassID()}, 1, 3)
{
}

CSerialIO_APS1602::~CSerialIO_APS1602()
{
    Retire();
}

int CSerialIO_APS1602::Send(const std::vector<uint8_t> &frame)
{
    return SendRequest(frame,
                       {[this] {
                            m_decoder.Reset();
                            m_bVerdict = false;
                        },
                        [this] { return m_bVerdict ? ReplyCheck::Accept : ReplyCheck::Refuse; }});
}

int CSerialIO_APS1602::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length < 1) return 0;
    std::vector<swframe::Aps1602Verdict> verdicts;
    {
        std::lock_guard<CDataLock> lk(m_RecvLock);
        verdicts = m_decoder.Feed(static_cast<const uint8_t *>(data.data),
                                  static_cast<size_t>(data.length));
    }
    if (verdicts.empty()) return 0;
    for (const auto &verdict : verdicts) {
        if (verdict.program >= 0) m_nProgram = verdict.program;
        if (verdict.preset >= 0) m_nPreset = verdict.preset;
    }
    m_bVerdict = verdicts.back().ok;
    SignalReply();
    return m_bVerdict ? 1 : 0;
}

// The device's type id is the base's: the model has none of its own.
CVideoSwitch_APS1602::CVideoSwitch_APS1602()
    : CVideoSwitchSerialA(kUnknownType, kDescription, 16, 1)
{
}

int32_t CVideoSwitch_APS1602::OnInitInstance()
{
    if (!CVideoSwitchA::OnInitInstance()) return 0;
    ReadPortKey("COM");
    return 1;
}

int CVideoSwitch_APS1602::DevOpen()
{
    if (m_Serial.DevIsOpen()) return 1;
    const auto port = ActivePort();
    if (!port) {
        SetDevStatus(DEVSTATUS_COM_OPEN_FAILED);
        return 0;
    }
    // A line another device holds was checked when that device opened it.
    if (port.get() == &m_Serial && !m_Serial.Send(swframe::Aps1602PresetQuery())) {
        m_Serial.DevClose();
        SetDevStatus(DEVSTATUS_RUN_FAILED, "Open device failed");
        return 0;
    }
    SetDevStatus(DEVSTATUS_NORMAL);
    return 1;
}

int CVideoSwitch_APS1602::DevTest(const char *)
{
    return 1;
}

int CVideoSwitch_APS1602::Command(const std::vector<uint8_t> &frame)
{
    if (!Activate()) return 0;
    const auto port = ActivePort();
    return port ? port->Send(frame) : 0;
}

int CVideoSwitch_APS1602::DevDirectTake(int channel, int entry)
{
    if (!HasChannel(channel)) return 0;
    entry = ClampEntry(entry);
    return Command(swframe::Aps1602Take(entry - 1)) ? CVideoSwitchA::DevDirectTake(channel, entry)
                                                    : 0;
}

int CVideoSwitch_APS1602::DevPreset(int channel, int entry)
{
    if (!HasChannel(channel)) return 0;
    entry = ClampEntry(entry);
    return Command(swframe::Aps1602Preset(entry - 1)) ? CVideoSwitchA::DevPreset(channel, entry)
                                                      : 0;
}

int CVideoSwitch_APS1602::DevTake(int channel)
{
    if (!HasChannel(channel)) return 0;
    int preset = 0;
    CVideoSwitchA::DevQueryPstEntry(channel, preset);
    return Command(swframe::Aps1602Take(preset - 1)) ? CVideoSwitchA::DevTake(channel) : 0;
}

int CVideoSwitch_APS1602::DevQueryPgmEntry(int channel, int &entry)
{
    if (!Activate()) return 0;
    const auto port = ActivePort();
    if (!port) return 0;
    if (!port->Send(swframe::Aps1602ProgramQuery())) {
        entry = -1;
        return CVideoSwitchA::DevQueryPgmEntry(channel, entry);
    }
    entry = port->GetProgramSource() + 1;
    return 1;
}
