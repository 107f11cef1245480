#include "drivers/switchers/binary/CVideoSwitch_BJSX.h"

#include "devext/device/DeviceDescription.h"
#include "drivers/model/DeviceCalls.h"
#include "drivers/switchers/binary/SwitchFrames.h"

namespace {

constexpr const char *kDescription = "视频切换(BJSX切换开关)";
constexpr const char *kDescriptionV20 = "视频切换(BJSXV20切换开关)";
constexpr CSerialSwitchIO::Line kLine = {1,  9600,   8, COM_PARITY_NONE, COM_STOPBITS_ONE,
                                         50, nullptr};
constexpr uint32_t kRouteDelayMs = 10;

} // namespace

IMPLEMENT_KEST_DEVICE(CVideoSwitch_BJSX, CVideoSwitchA, kDescription)
IMPLEMENT_KEST_DEVICE(CVideoSwitch_BJSX_V20, CVideoSwitchA, kDescriptionV20)

CSerialIO_BJSX::CSerialIO_BJSX() : CSerialIO_BjsxA(kLine) {}

CSerialIO_BJSX::~CSerialIO_BJSX()
{
    Retire();
}

int CSerialIO_BJSX::SendSource(int source)
{
    const auto frame = swframe::BjsxFrame(source);
    return frame ? WriteFrame(*frame) : 0;
}

int CSerialIO_BJSX::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length < 1) return 0;
    m_nReplyCode = swframe::BjsxReplyCode(*static_cast<const uint8_t *>(data.data));
    SignalReply();
    return 1;
}

CSerialIO_BJSX_V20::CSerialIO_BJSX_V20() : CSerialIO_BjsxA(kLine)
{
    for (auto &input : m_routed) input = -1;
}

CSerialIO_BJSX_V20::~CSerialIO_BJSX_V20()
{
    Retire();
}

int CSerialIO_BJSX_V20::SendSource(int source)
{
    const swframe::Bytes take = swframe::BjsxV20Take(source);
    if (take.empty()) return 0;
    m_bTaking = true;
    if (!WriteFrame(take)) return 0;
    if (!CCallingUnit::Nap(kRouteDelayMs)) return 0;
    return WriteFrame(swframe::BjsxV20Route(source));
}

int CSerialIO_BJSX_V20::GetRoutedInput(int output) const
{
    return output >= 0 && output < kOutputs ? m_routed[static_cast<size_t>(output)].load() : -1;
}

int CSerialIO_BJSX_V20::OnRecvData(int, pointer_t &data)
{
    if (!data.data || data.length < 1) return 0;
    const auto *bytes = static_cast<const uint8_t *>(data.data);
    if (bytes[0] == 0xBB && data.length == 4) {
        m_routed[bytes[2] & 0x0F] = bytes[2] >> 4;
    } else if (bytes[0] == 0x80 && m_bTaking) {
        m_bAccepted = true;
    } else if (bytes[0] == 0x90 && data.length == 3) {
        m_nErrorCode = bytes[1];
    } else {
        m_bTaking = false;
    }
    SignalReply();
    return 1;
}

CVideoSwitchBjsxA::CVideoSwitchBjsxA(const char *typeId, const char *description,
                                     const char *logType)
    : CSwitchRoutes({.typeId = typeId,
                     .description = description,
                     .sources = 16,
                     .channels = 1,
                     .logType = logType})
{
}

int CVideoSwitchBjsxA::SendRoute(CSerialIO_BjsxA &port, int, int entry)
{
    return port.SendSource(entry - 1);
}

int CVideoSwitchBjsxA::DevPreset(int, int entry)
{
    if (!Activate()) return 0;
    m_nPresetEntry = entry;
    return 1;
}

int CVideoSwitchBjsxA::DevTake(int channel)
{
    if (!HasChannel(channel) || !Activate()) return 0;
    const int entry = m_nPresetEntry;
    if (entry < 0) return 0;
    const int ok = Send(Serial(), Command::Route, channel, ClampEntry(entry))
                       ? CVideoSwitchA::DevTake(channel)
                       : 0;
    LogCommand("Take", ok);
    return ok;
}

int CVideoSwitchBjsxA::DevQueryPgmEntry(int, int &entry)
{
    entry = m_nPresetEntry;
    return 1;
}

CVideoSwitch_BJSX::CVideoSwitch_BJSX()
    : CVideoSwitchSerial("LVSWITCH_MCS_BJSX", kDescription, "LOG_BJSX")
{
}

CVideoSwitch_BJSX_V20::CVideoSwitch_BJSX_V20()
    : CVideoSwitchSerial("LVSWITCH_MCS_BJSX_V20", kDescriptionV20, "LOG_BJSX_V20")
{
}
